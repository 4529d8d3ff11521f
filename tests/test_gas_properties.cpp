#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "core/gas_properties.hpp"

namespace {

using blocks::combustion_gas_properties;
using blocks::GasProperties;

GasProperties at(double p, double T, double c) {
    GasProperties out{};
    combustion_gas_properties(p, T, c, out);
    return out;
}

// Agreement to seven significant digits: half a unit in the seventh digit.
void expect_seven_digits(double expected, double actual, const char* name) {
    const double tolerance = 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(expected))) - 6.0);
    EXPECT_NEAR(actual, expected, tolerance) << name;
}

struct ReferenceState {
    double p, T, c;
    // RZ, h, s, u, dRZ_dp, dRZ_dT, du_dp, du_dT, cp, cv, kappa
    std::array<double, 11> values;
};

const ReferenceState reference_states[] = {
    {100000, 300, 0,
     {287.0354, 299973.3, 5379.743, 213862.7, -9.649947e-07, 0.002476028, -0.001939539, 719.3701, 1007.148, 718.7221,
      1.401304}},
    {250000, 400, 0.3,
     {287.3576, 406007.6, 6266.723, 291064.6, 1.500189e-07, 0.002517757, -0.001671814, 754.3383, 1042.703, 753.2896,
      1.384199}},
    {1000000, 1200, 0.9,
     {288.6721, 1370505, 7889.349, 1024098, 9.971943e-07, -0.0003694618, -0.0006644622, 1008.646, 1296.875, 1008.091,
      1.286466}},
    {100000, 300, 1,
     {287.3629, 309461.2, 6941.699, 223252.4, -3.689269e-06, 0.004879942, -0.003286373, 777.3107, 1066.138, 776.2111,
      1.373515}},
};

TEST(GasProperties, ReferenceStatesToSevenDigits) {
    for (const auto& state : reference_states) {
        SCOPED_TRACE(testing::Message() << "p=" << state.p << " T=" << state.T << " c=" << state.c);
        const GasProperties g = at(state.p, state.T, state.c);
        const double computed[] = {g.RZ, g.h, g.s, g.u, g.dRZ_dp, g.dRZ_dT, g.du_dp, g.du_dT, g.cp, g.cv, g.kappa};
        const char* names[] = {"RZ", "h", "s", "u", "dRZ_dp", "dRZ_dT", "du_dp", "du_dT", "cp", "cv", "kappa"};
        for (std::size_t i = 0; i < state.values.size(); ++i) expect_seven_digits(state.values[i], computed[i], names[i]);
    }
}

TEST(GasProperties, GasConstantOfAirAndStoichiometricGasInTheLowPressureLimit) {
    // At p -> 0, Z -> 1 and RZ -> R.
    EXPECT_NEAR(at(1e-9, 300, 0).RZ, 287.1318, 5e-5);
    EXPECT_NEAR(at(1e-9, 300, 1).RZ, 287.7318, 5e-5);
    EXPECT_NEAR(at(1e-9, 900, 0).RZ, 287.1318, 5e-5);
}

// Ideal-gas properties of dry air from tables independent of this model:
// h from Cengel & Boles, Thermodynamics: An Engineering Approach, Table A-17
// (same zero of enthalpy, 0 K), cp and kappa from its Table A-2b. The model's
// fit agrees with them to a quarter of a percent in h and one percent in cp.
TEST(GasProperties, LowPressureLimitIsIdealGasAirAsTabulated) {
    const struct {
        double T, h, cp, kappa;  // K, J/kg, J/(kg K), -
    } table[] = {
        {300, 300190, 1005, 1.400}, {400, 400980, 1013, 1.395},  {600, 607020, 1051, 1.376},
        {800, 821950, 1099, 1.354}, {1000, 1046040, 1142, 1.336},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << "T=" << row.T);
        const GasProperties g = at(1e-6, row.T, 0.0);
        EXPECT_NEAR(g.h, row.h, 0.0025 * row.h);
        EXPECT_NEAR(g.cp, row.cp, 0.01 * row.cp);
        EXPECT_NEAR(g.kappa, row.kappa, 0.0025 * row.kappa);
        // In the limit the model's cp is the true temperature derivative of h.
        const double dT = 1e-3;
        const double dh_dT = (at(1e-6, row.T + dT, 0.0).h - at(1e-6, row.T - dT, 0.0).h) / (2 * dT);
        EXPECT_NEAR(g.cp, dh_dT, 1e-6 * g.cp);
    }
}

TEST(GasProperties, PressureDerivativesDoNotDependOnPressure) {
    const GasProperties low = at(1.0, 500, 0.4), high = at(2e6, 500, 0.4);
    EXPECT_DOUBLE_EQ(low.dRZ_dp, high.dRZ_dp);
    EXPECT_NEAR(low.du_dp, high.du_dp, 1e-12 * std::fabs(high.du_dp));
}

TEST(GasProperties, CompositionDerivativesMatchCentralDifferences) {
    const struct { double p, T, c; } points[] = {
        {100000, 300, 0}, {250000, 400, 0.3}, {1000000, 1200, 0.9}, {5e6, 800, 1.4}, {50000, 2000, 0.05}};
    for (const auto& point : points) {
        SCOPED_TRACE(testing::Message() << "p=" << point.p << " T=" << point.T << " c=" << point.c);
        const double dc = 1e-5;
        const GasProperties g = at(point.p, point.T, point.c);
        const GasProperties up = at(point.p, point.T, point.c + dc), down = at(point.p, point.T, point.c - dc);
        const double dRZ_dc = (up.RZ - down.RZ) / (2 * dc);
        const double du_dc = (up.u - down.u) / (2 * dc);
        EXPECT_NEAR(g.dRZ_dc, dRZ_dc, 1e-6 * std::fabs(dRZ_dc) + 1e-9);
        EXPECT_NEAR(g.du_dc, du_dc, 1e-6 * std::fabs(du_dc) + 1e-6);
    }
}

TEST(GasProperties, ZeroPressureGivesUnitCompressibilityAndNonFiniteEntropy) {
    const GasProperties g = at(0.0, 300, 0.0);
    EXPECT_DOUBLE_EQ(g.RZ, 8314.7 * 4.773384 / 138.2266);
    EXPECT_TRUE(std::isfinite(g.h));
    EXPECT_FALSE(std::isfinite(g.s));
    EXPECT_FALSE(std::isfinite(g.du_dp));
    EXPECT_FALSE(std::isfinite(g.cv));
    EXPECT_FALSE(std::isfinite(g.kappa));
}

}  // namespace
