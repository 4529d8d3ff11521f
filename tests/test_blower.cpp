#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <limits>
#include <vector>

#include "core/blower_outputs.hpp"
#include "core/gas_model.hpp"
#include "core/gas_properties.hpp"
#include "blower_full_path.hpp"
#include "worked_examples.hpp"

namespace {

struct BlowerCase {
    std::array<double, 3> inlet{100000, 350, 1};
    std::array<double, 3> outlet{150000, 0, 0};
    double drive = 1.0;
    std::vector<double> eta{0.7}, characteristic{2, 0.5, 0.1}, sigma{0.0698};

    std::array<double, 3> inlet_flow{}, outlet_flow{};
    double power = 0.0;

    BlowerCase& run() {
        blocks::blower_outputs(inlet.data(), outlet.data(), &drive, inlet_flow.data(), outlet_flow.data(), &power,
                               eta.data(), eta.size(), characteristic.data(), characteristic.size(), sigma.data(),
                               sigma.size());
        return *this;
    }
};

double h(double p, double T, double c) {
    blocks::GasProperties g{};
    blocks::combustion_gas_properties(p, T, c, g);
    return g.h;
}


TEST(BlowerOutputs, WorkedExampleStoichiometricGas) {
    const auto& example = worked_examples::blower_gas;
    BlowerCase b;
    b.inlet = example.inlet;
    b.run();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TEN_DIGITS(example.inlet_flow[i], b.inlet_flow[i]) << i;
        EXPECT_TEN_DIGITS(example.outlet_flow[i], b.outlet_flow[i]) << i;
    }
    EXPECT_TEN_DIGITS(example.power, b.power);
    EXPECT_TEN_DIGITS(363034.6863, b.inlet_flow[1] / b.inlet_flow[0]);  // h_in
}

TEST(BlowerOutputs, WorkedExampleAir) {
    BlowerCase b;
    b.inlet = {100000, 300, 0};
    b.run();
    EXPECT_TEN_DIGITS(worked_examples::blower_air_mass_flow, b.inlet_flow[0]);
    EXPECT_TEN_DIGITS(worked_examples::blower_air_h_in, b.inlet_flow[1] / b.inlet_flow[0]);
    EXPECT_TEN_DIGITS(worked_examples::blower_air_power, b.power);
    EXPECT_EQ(0.0, b.inlet_flow[2]);
    EXPECT_EQ(0.0, b.outlet_flow[2]);
    // The isentropic outlet temperature 336.9380798 K gives the power.
    EXPECT_TEN_DIGITS((h(150000, 336.9380798, 0) - worked_examples::blower_air_h_in) * worked_examples::blower_air_mass_flow / 0.7, b.power);
}

TEST(BlowerOutputs, ZeroDriveSwitchesEverythingOffWhateverThePressures) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double drive : {0.0, -0.0}) {
        for (double pressure : {0.0, nan}) {
            BlowerCase b;
            b.inlet_flow = b.outlet_flow = {9, 9, 9};
            b.power = 9;
            b.drive = drive;
            b.inlet[0] = b.outlet[0] = pressure;
            b.run();
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(0.0, b.inlet_flow[i]);
                EXPECT_EQ(0.0, b.outlet_flow[i]);
            }
            EXPECT_EQ(0.0, b.power);
        }
    }
}

TEST(BlowerOutputs, NanDriveIsComputedNotSwitchedOff) {
    BlowerCase b;
    b.drive = std::numeric_limits<double>::quiet_NaN();
    b.run();
    EXPECT_TRUE(std::isnan(b.inlet_flow[0]));
    EXPECT_TRUE(std::isnan(b.power));
}

TEST(BlowerOutputs, EqualPressuresGiveNoPowerAndEqualEnthalpyFlows) {
    BlowerCase b;
    b.outlet[0] = b.inlet[0];
    b.run();
    EXPECT_EQ(0.0, b.power);
    EXPECT_EQ(b.inlet_flow[1], b.outlet_flow[1]);
    EXPECT_TEN_DIGITS((2 * std::exp(-0.5) + 0.1) * std::sqrt(298.15 / 350), b.inlet_flow[0]);
}

TEST(BlowerOutputs, FallingPressureGivesNegativePower) {
    BlowerCase b;
    b.outlet[0] = 80000;
    b.run();
    EXPECT_GT(b.inlet_flow[0], 0.0);
    EXPECT_LT(b.power, 0.0);
    EXPECT_LT(b.outlet_flow[1], b.inlet_flow[1]);
}

TEST(BlowerOutputs, NegativeDriveReversesFlowAndPower) {
    BlowerCase forward = BlowerCase{}.run();
    BlowerCase reverse;
    reverse.drive = -1.0;
    reverse.run();
    EXPECT_EQ(-forward.inlet_flow[0], reverse.inlet_flow[0]);
    EXPECT_LT(reverse.power, 0.0);
    EXPECT_TEN_DIGITS(-forward.power, reverse.power);
}

TEST(BlowerOutputs, ZeroBetaMakesTheCharacteristicConstant) {
    BlowerCase low, high;
    low.characteristic = high.characteristic = {2, 0, 0.1};
    low.outlet[0] = 110000;
    high.outlet[0] = 300000;
    low.run();
    high.run();
    EXPECT_EQ(low.inlet_flow[0], high.inlet_flow[0]);
    EXPECT_TEN_DIGITS(2.1 * std::sqrt(298.15 / 350), low.inlet_flow[0]);
}

TEST(BlowerOutputs, NoFuelMeansNoCompositionFlow) {
    BlowerCase air, no_sigma;
    air.inlet[2] = 0.0;
    no_sigma.sigma = {0.0};
    air.run();
    no_sigma.run();
    EXPECT_EQ(0.0, air.inlet_flow[2]);
    EXPECT_EQ(0.0, air.outlet_flow[2]);
    EXPECT_EQ(0.0, no_sigma.inlet_flow[2]);
    EXPECT_EQ(0.0, no_sigma.outlet_flow[2]);
}

TEST(BlowerOutputs, ElementsBeyondThoseReadAreIgnored) {
    BlowerCase plain = BlowerCase{}.run();
    BlowerCase longer;
    longer.eta = {0.7, 99};
    longer.characteristic = {2, 0.5, 0.1, -5, 7};
    longer.sigma = {0.0698, 3};
    longer.run();
    EXPECT_EQ(plain.inlet_flow, longer.inlet_flow);
    EXPECT_EQ(plain.outlet_flow, longer.outlet_flow);
    EXPECT_EQ(plain.power, longer.power);
}

}  // namespace

namespace {

// Equal to the bit, or both NaN: which NaN an operation on NaNs gives
// depends on the order of its operands, which the compiler may swap.
bool same_bits(double a, double b) {
    return std::isnan(a) ? std::isnan(b) : std::memcmp(&a, &b, sizeof a) == 0;
}

// blower_outputs reads only h and kappa; its outputs must be those of the
// full property evaluation to the bit.
::testing::AssertionResult equals_full_path(const std::array<double, 3>& inlet, const std::array<double, 3>& outlet,
                                            double drive, double eta, const std::array<double, 3>& characteristic,
                                            double sigma) {
    std::array<double, 3> inlet_flow{}, outlet_flow{};
    double power = 0.0;
    blocks::blower_outputs(inlet.data(), outlet.data(), &drive, inlet_flow.data(), outlet_flow.data(), &power, &eta, 1,
                           characteristic.data(), 3, &sigma, 1);
    const std::array<double, 7> fast = {inlet_flow[0],  inlet_flow[1],  inlet_flow[2], outlet_flow[0],
                                        outlet_flow[1], outlet_flow[2], power};
    const auto full = blower_full_path::outputs(inlet.data(), outlet.data(), drive, eta, characteristic.data(), sigma);
    for (int i = 0; i < 7; ++i)
        if (!same_bits(fast[i], full[i]))
            return ::testing::AssertionFailure() << "output " << i << ": " << fast[i] << " against " << full[i]
                                                 << " at p_in " << inlet[0] << ", T_in " << inlet[1] << ", c "
                                                 << inlet[2] << ", p_out " << outlet[0];
    return ::testing::AssertionSuccess();
}

TEST(BlowerOutputs, BitIdenticalToTheFullPropertyEvaluationOverTenMillionStates) {
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> log_pressure(std::log(1e3), std::log(1e8)), temperature(200.0, 3000.0),
        composition(0.0, 10.0), ratio(0.2, 5.0), drive(-2.0, 2.0), efficiency(0.3, 1.0), coefficient(0.0, 5.0);
    for (int i = 0; i < 10'000'000; ++i) {
        const double p_in = std::exp(log_pressure(random));
        const std::array<double, 3> inlet = {p_in, temperature(random), composition(random)};
        const std::array<double, 3> outlet = {p_in * ratio(random), 0, 0};
        const std::array<double, 3> characteristic = {coefficient(random), coefficient(random), coefficient(random)};
        ASSERT_TRUE(equals_full_path(inlet, outlet, drive(random), efficiency(random), characteristic, 0.0698));
    }
}

TEST(BlowerOutputs, BitIdenticalToTheFullPropertyEvaluationAtTheEdges) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::array<double, 3> characteristic = {2, 0.5, 0.1};
    for (double p_in : {100000.0, 0.0, -1e5, nan, inf})
        for (double T_in : {350.0, 0.0, -10.0, nan})
            for (double c : {0.0, 1.0, -1 / 0.0698, nan})
                for (double p_out : {150000.0, 0.0, nan})
                    for (double drive : {1.0, -0.0, 0.0, nan, -1.0})
                        EXPECT_TRUE(equals_full_path({p_in, T_in, c}, {p_out, 0, 0}, drive, 0.7, characteristic, 0.0698));
}

TEST(GasProperties, EnthalpyAndKappaAloneEqualTheFullEvaluation) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> log_pressure(std::log(1e3), std::log(1e8)), temperature(200.0, 3000.0),
        composition(0.0, 10.0);
    for (int i = 0; i < 100'000; ++i) {
        const double p = std::exp(log_pressure(random)), T = temperature(random), c = composition(random);
        blocks::GasProperties full{};
        blocks::combustion_gas_properties(p, T, c, full);
        double h = 0, kappa = 0;
        const blocks::GasComposition gas = blocks::gas_composition(c);
        blocks::gas_enthalpy_and_kappa(p, T, gas, h, kappa);
        ASSERT_TRUE(same_bits(full.h, h) && same_bits(full.kappa, kappa) && same_bits(full.h, blocks::gas_enthalpy(p, T, gas)))
            << p << " " << T << " " << c;
    }
}

}  // namespace

namespace {

// Calls sharing one inlet memo, with inlets that repeat, change in one
// element, flip the sign of a zero or turn NaN: each call's outputs equal,
// bit for bit, those of a call without the memo.
TEST(BlowerOutputs, AnInletMemoChangesNoOutputOverChangingAndRepeatedInlets) {
    std::mt19937_64 random(8122026);
    std::uniform_real_distribution<double> log_pressure(std::log(1e3), std::log(1e8)), temperature(200.0, 3000.0),
        composition(0.0, 10.0), ratio(0.2, 5.0), unit(0.0, 1.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::array<double, 3> characteristic = {2, 0.5, 0.1};
    const double eta = 0.7, sigma = 0.0698;
    blocks::BlowerInletMemo memo{};
    std::array<double, 3> inlet = {1e5, 350, 1};
    int reused = 0;
    for (int i = 0; i < 200'000; ++i) {
        const double change = unit(random);
        if (change < 0.1) inlet = {std::exp(log_pressure(random)), temperature(random), composition(random)};
        else if (change < 0.15) inlet[static_cast<std::size_t>(i % 3)] = nan;
        else if (change < 0.2) inlet[static_cast<std::size_t>(i % 3)] = i % 2 ? 0.0 : -0.0;
        else if (change < 0.3) inlet[1] = std::nextafter(inlet[1], 1e9);  // one ulp away
        else ++reused;
        const std::array<double, 3> outlet = {1e5 * ratio(random), 0, 0};
        const double drive = unit(random) < 0.05 ? 0.0 : 1.0;

        std::array<double, 7> with{}, without{};
        blocks::blower_outputs(inlet.data(), outlet.data(), &drive, with.data(), with.data() + 3, with.data() + 6, &eta,
                               1, characteristic.data(), 3, &sigma, 1, &memo);
        blocks::blower_outputs(inlet.data(), outlet.data(), &drive, without.data(), without.data() + 3,
                               without.data() + 6, &eta, 1, characteristic.data(), 3, &sigma, 1);
        for (int k = 0; k < 7; ++k)
            ASSERT_TRUE(same_bits(with[k], without[k]))
                << "call " << i << ", output " << k << ": " << with[k] << " against " << without[k];
    }
    EXPECT_GT(reused, 100'000);  // most calls met the inlet of the call before
}

}  // namespace
