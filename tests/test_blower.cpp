#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "core/blower_outputs.hpp"
#include "core/gas_properties.hpp"
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
