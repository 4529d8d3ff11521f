// The blower's worked examples, shared by the tests of the routine, of the
// library through the host and of blocksim's example model: inlet 1 bar,
// outlet 1.5 bar, drive 1, eta 0.7, characteristic [2 0.5 0.1], sigma 0.0698.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>

// About ten significant digits: the examples are printed to ten.
#define EXPECT_TEN_DIGITS(expected, actual) EXPECT_NEAR(actual, expected, 1e-9 * std::fabs(expected))

namespace worked_examples {

struct BlowerExample {
    std::array<double, 3> inlet;  // p_in [Pa], T_in [K], c
    std::array<double, 3> inlet_flow;
    std::array<double, 3> outlet_flow;
    double power;  // W
};

// Stoichiometric gas at 350 K.
inline constexpr BlowerExample blower_gas{{100000, 350, 1},
                                          {0.9642479884, 350055.4660, 0.06291317030},
                                          {0.9642479884, 409879.6112, 0.06291317030},
                                          59824.14516};

// Air at 300 K: no composition flow. The enthalpy flows are given as h_in.
inline constexpr double blower_air_mass_flow = 1.041506864;  // kg/s
inline constexpr double blower_air_h_in = 299973.3350;       // J/kg
inline constexpr double blower_air_power = 55314.23907;      // W

}  // namespace worked_examples
