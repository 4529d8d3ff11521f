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

TEST(GasProperties, LowPressureLimitIsTheIdealGasPolynomial) {
    // b_i of air (r = 1): constant + slope.
    const double b[7] = {3.514956 - 0.005026, 0.131438 - 0.383504,    0.477182 + 0.185214,     -0.287367 - 0.0694862,
                         0.0742561 + 0.0164041, -0.00916344 - 0.00204537, 0.000439896 + 0.00010161};
    const double R = 8314.7 * 4.773384 / 138.2266;
    for (double T : {250.0, 600.0, 1500.0}) {
        const double theta = T / 1000.0;
        double H = 0.0, cp_sum = 0.0;
        for (int i = 6; i >= 0; --i) {
            H = H * theta + b[i];
            cp_sum = cp_sum * theta + (i + 1) * b[i];
        }
        const GasProperties g = at(1e-6, T, 0.0);
        EXPECT_NEAR(g.h, R * T * H, 1e-9 * std::fabs(R * T * H)) << T;
        EXPECT_NEAR(g.cp, R * cp_sum, 1e-9 * R * cp_sum) << T;
        // In the limit the model's cp is the true temperature derivative of h.
        const double dT = 1e-3;
        const double dh_dT = (at(1e-6, T + dT, 0.0).h - at(1e-6, T - dT, 0.0).h) / (2 * dT);
        EXPECT_NEAR(g.cp, dh_dT, 1e-6 * g.cp) << T;
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
