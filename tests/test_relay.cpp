#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/relay.hpp"

namespace {

using blocks::relay_step;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

double step_double(double u, double upper, double lower, double held) {
    return relay_step<double>(u, upper, lower, held, 0.0, 1.0);
}
std::int32_t step_int(double u, double upper, double lower, std::int32_t held) {
    return relay_step<std::int32_t>(u, upper, lower, held, 1, 0);
}

TEST(RelayStep, StrictThresholdsKeepTheHeldValueOnEquality) {
    EXPECT_EQ(0.5, step_double(3.0, 3.0, 1.0, 0.5));
    EXPECT_EQ(0.5, step_double(1.0, 3.0, 1.0, 0.5));
    EXPECT_EQ(0.0, step_double(std::nextafter(3.0, 4.0), 3.0, 1.0, 0.5));
    EXPECT_EQ(1.0, step_double(std::nextafter(1.0, 0.0), 3.0, 1.0, 0.5));
    EXPECT_EQ(7, step_int(3.0, 3.0, 1.0, 7));
    EXPECT_EQ(7, step_int(1.0, 3.0, 1.0, 7));
}

TEST(RelayStep, EqualThresholds) {
    EXPECT_EQ(1, step_int(2.5, 2.0, 2.0, 0));
    EXPECT_EQ(0, step_int(1.5, 2.0, 2.0, 1));
    EXPECT_EQ(1, step_int(2.0, 2.0, 2.0, 1));
    EXPECT_EQ(0, step_int(2.0, 2.0, 2.0, 0));
}

TEST(RelayStep, UpperTestComesFirstWhenTheThresholdsCross) {
    // lower 5 above upper 3: u = 4 is above the upper threshold.
    EXPECT_EQ(0.0, step_double(4.0, 3.0, 5.0, 1.0));
    EXPECT_EQ(1, step_int(4.0, 3.0, 5.0, 0));
}

TEST(RelayStep, NanKeepsTheHeldValue) {
    EXPECT_EQ(1.0, step_double(nan, 3.0, 1.0, 1.0));
    EXPECT_EQ(1, step_int(nan, 3.0, 1.0, 1));
    EXPECT_EQ(0, step_int(nan, 3.0, 1.0, 0));
}

}  // namespace
