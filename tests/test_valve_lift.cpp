#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/valve_lift.hpp"

namespace {

using blocks::angle_in_revolution;
using blocks::profile_lookup;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct Valve {
    std::vector<double> peak_lift{2}, start_gain{1}, open_duration{40}, close_duration{40}, dwell_gain{1};
    std::vector<double> open_angles{0, 20, 40}, close_angles{0, 20, 40};
    std::vector<double> open_lifts{0, 0.3, 1}, close_lifts{1, 0.3, 0};
    double start_signal = 80, dwell_signal = 20;

    double at_radians(double crank_angle) const {
        double lift = -1;
        blocks::valve_lift(crank_angle, start_signal, dwell_signal, &lift, peak_lift.data(), peak_lift.size(),
                           start_gain.data(), start_gain.size(), open_duration.data(), open_duration.size(),
                           close_duration.data(), close_duration.size(), dwell_gain.data(), dwell_gain.size(),
                           open_angles.data(), open_angles.size(), close_angles.data(), close_angles.size(),
                           open_lifts.data(), open_lifts.size(), close_lifts.data(), close_lifts.size());
        return lift;
    }
    // About `degrees`: the degree values that radians reach are about 57
    // units in the last place apart, so most whole degrees are not hit exactly.
    double at_degrees(double degrees) const { return at_radians(degrees * blocks::valve_pi / 180.0); }
};

TEST(ValveLift, WorkedExample) {
    const Valve valve;
    const struct { double degrees, lift; } cases[] = {
        {80, 0}, {90, 0.3}, {120, 2}, {130, 2}, {150, 1.3}, {180, 0}, {450, 0.3}};
    for (const auto& c : cases) EXPECT_NEAR(c.lift, valve.at_degrees(c.degrees), 1e-12) << c.degrees;
    EXPECT_EQ(2.0, valve.at_degrees(130));  // the dwell is peak_lift exactly
}

TEST(ValveLift, DegreesUseTheTwelveDigitPi) {
    const double two_pi = 2 * std::acos(-1.0);
    EXPECT_EQ(359.9999999999763, blocks::crank_degrees(two_pi));
    EXPECT_EQ(359.99999999997635, angle_in_revolution(blocks::crank_degrees(two_pi)));
}

TEST(ValveLift, ReductionToOneRevolution) {
    EXPECT_EQ(0.25, angle_in_revolution(720.25));
    EXPECT_EQ(-10.5, angle_in_revolution(-10.5));
    EXPECT_EQ(0.5, angle_in_revolution(-359.5));
    EXPECT_EQ(-0.5, angle_in_revolution(-360.5));
    EXPECT_EQ(0.0, angle_in_revolution(360.0));
    EXPECT_EQ(359.75, angle_in_revolution(359.75));
    EXPECT_EQ(90.0, angle_in_revolution(450.0));
}

// The crank angle nearest `degrees` and the angle in the revolution it gives.
struct Reachable {
    double radians, theta;
};
Reachable reachable(double degrees) {
    const double radians = degrees * blocks::valve_pi / 180.0;
    return {radians, angle_in_revolution(blocks::crank_degrees(radians))};
}

TEST(ValveLift, WindowEndsAreExcluded) {
    Valve valve;  // total 100
    const Reachable at = reachable(180.0);
    valve.start_signal = at.theta;  // theta == start
    EXPECT_EQ(0.0, valve.at_radians(at.radians));
    valve.start_signal = at.theta - 100.0;  // theta == start + total, both steps exact
    ASSERT_EQ(at.theta, valve.start_signal + 100.0);
    EXPECT_EQ(0.0, valve.at_radians(at.radians));
    valve.start_signal = at.theta - 99.5;
    EXPECT_GT(valve.at_radians(at.radians), 0.0);
    // Outside the window the lift is exactly 0, whatever peak_lift is.
    valve.start_signal = 80;
    valve.peak_lift = {1e6};
    EXPECT_EQ(0.0, valve.at_degrees(50));
    EXPECT_EQ(0.0, valve.at_degrees(300));
}

TEST(ValveLift, PhaseBoundaries) {
    Valve valve;
    valve.open_lifts = {0, 0.3, 0.9};
    // w exactly open_duration: the opening profile at 40, not the dwell.
    Reachable at = reachable(60.0);
    valve.start_signal = at.theta - 40.0;
    ASSERT_EQ(40.0, at.theta - valve.start_signal);
    EXPECT_NEAR(0.9 * 2, valve.at_radians(at.radians), 1e-12);
    // w exactly open_duration + dwell: exactly peak_lift.
    at = reachable(100.0);
    valve.start_signal = at.theta - 60.0;
    ASSERT_EQ(60.0, at.theta - valve.start_signal);
    EXPECT_EQ(2.0, valve.at_radians(at.radians));
    // Zero dwell: closing follows opening at once, and nothing gives the dwell.
    valve.dwell_signal = 0.0;
    valve.start_signal = 0.0;
    EXPECT_NEAR(0.65 * 2, valve.at_degrees(50.0), 1e-9);
    for (double degrees = 0.5; degrees < 80; degrees += 0.5) EXPECT_LT(valve.at_degrees(degrees), 2.0) << degrees;
}

TEST(ValveLift, EventPastThreeSixtyIsCutNotWrapped) {
    Valve valve;
    valve.start_signal = 300;
    valve.dwell_signal = 20;  // total 100: 300 < theta < 400
    EXPECT_GT(valve.at_degrees(330), 0.0);
    EXPECT_GT(valve.at_degrees(359), 0.0);
    for (double degrees : {0.5, 10.0, 20.0, 39.5}) EXPECT_EQ(0.0, valve.at_degrees(degrees)) << degrees;
}

TEST(ValveLift, NegativeAnglesStayNegative) {
    Valve valve;
    valve.start_signal = -30;  // event from -30 to 70 degrees
    EXPECT_NEAR(2 * (0 + 0.3 * 19.5 / 20), valve.at_degrees(-10.5), 1e-9);  // w = 19.5
    valve.start_signal = 80;
    EXPECT_EQ(0.0, valve.at_degrees(-10.5));
}

TEST(ProfileLookup, BreakpointsAndExtensionBelowTheFirst) {
    const double X[] = {0, 20, 40}, Y[] = {0.2, 0.5, 1.0};
    EXPECT_EQ(0.2, profile_lookup(X, 3, Y, 3, 0.0));
    EXPECT_DOUBLE_EQ(0.5, profile_lookup(X, 3, Y, 3, 20.0));
    EXPECT_DOUBLE_EQ(1.0, profile_lookup(X, 3, Y, 3, 40.0));
    EXPECT_DOUBLE_EQ(0.2 - 0.3 * 10 / 20, profile_lookup(X, 3, Y, 3, -10.0));
    EXPECT_DOUBLE_EQ(0.5 + 0.5 * 5 / 20, profile_lookup(X, 3, Y, 3, 25.0));
}

TEST(ProfileLookup, OddTablesStayInBounds) {
    const double X[] = {0, 20, 40}, Y[] = {0.2, 0.5, 1.0};
    // Above the last breakpoint the last lift is held.
    EXPECT_EQ(1.0, profile_lookup(X, 3, Y, 3, 41.0));
    EXPECT_EQ(1.0, profile_lookup(X, 3, Y, 3, 1e300));
    // Unequal lengths: the points both tables hold.
    EXPECT_EQ(0.5, profile_lookup(X, 3, Y, 2, 30.0));
    EXPECT_DOUBLE_EQ(0.35, profile_lookup(X, 2, Y, 3, 10.0));
    // One point gives its lift; none gives 0.
    EXPECT_EQ(0.2, profile_lookup(X, 1, Y, 3, 30.0));
    EXPECT_EQ(0.2, profile_lookup(X, 3, Y, 1, -5.0));
    EXPECT_EQ(0.0, profile_lookup(X, 0, Y, 3, 10.0));
    EXPECT_EQ(0.0, profile_lookup(nullptr, 0, nullptr, 0, 10.0));
}

// Found by fuzzing: a repeated first breakpoint made the extension below
// the table divide by zero (an infinite or NaN lift from finite tables).
TEST(ProfileLookup, RepeatedFirstBreakpointGivesItsLift) {
    const double X[] = {7e-38, 7e-38, 1.3}, Y[] = {-8577.5, -2.0, 0.0};
    EXPECT_EQ(-8577.5, profile_lookup(X, 3, Y, 3, 0.0));
    EXPECT_EQ(-8577.5, profile_lookup(X, 3, Y, 3, 7e-38));
    // Above it the next segment takes over as usual.
    EXPECT_DOUBLE_EQ(-1.0, profile_lookup(X, 3, Y, 3, 0.65 + 3.5e-38));
    const double flat[] = {5, 5}, lifts[] = {0.25, 0.75};
    EXPECT_EQ(0.25, profile_lookup(flat, 2, lifts, 2, 5.0));
    EXPECT_EQ(0.75, profile_lookup(flat, 2, lifts, 2, 6.0));  // above the last: held
}

TEST(ValveLift, OddParameterTablesGiveDefinedLifts) {
    Valve valve;
    valve.open_angles = {0, 20};  // ends before open_duration: last lift held
    valve.open_lifts = {0, 0.5, 1};
    EXPECT_NEAR(1.0, valve.at_degrees(115), 1e-12);  // w = 35 beyond the table
    valve.close_angles = {0};
    valve.close_lifts = {0.7};
    EXPECT_NEAR(1.4, valve.at_degrees(150), 1e-12);
    valve.close_lifts.clear();
    EXPECT_EQ(0.0, valve.at_degrees(150));
}

TEST(ValveLift, HugeAndNonFiniteAnglesGiveDefinedResults) {
    // Beyond 32-bit whole degrees the reduction continues in floating point.
    EXPECT_EQ(90.25, angle_in_revolution(360.0 * 1e7 + 90.25));
    EXPECT_EQ(-90.25, angle_in_revolution(-(360.0 * 1e7 + 90.25)));
    const double big = std::ldexp(1.0, 31);  // 2^31 = 5965232 * 360 + 128
    EXPECT_EQ(128.0, angle_in_revolution(big));
    EXPECT_EQ(-128.0, angle_in_revolution(-big));
    EXPECT_EQ(127.5, angle_in_revolution(big - 0.5));  // just inside the 32-bit path
    const double huge = std::ldexp(1.0, 80);
    const double reduced = angle_in_revolution(huge);
    EXPECT_GE(reduced, 0.0);
    EXPECT_LT(reduced, 360.0);
    EXPECT_EQ(std::fmod(huge, 360.0), reduced);
    for (double d : {nan, inf, -inf}) EXPECT_TRUE(std::isnan(angle_in_revolution(d))) << d;

    Valve valve;
    for (double radians : {nan, inf, -inf, 1e300, -1e300, 4e7}) {
        const double lift = valve.at_radians(radians);
        EXPECT_TRUE(lift == 0.0 || (lift > 0.0 && lift <= 2.0)) << radians;
    }
    EXPECT_EQ(0.0, valve.at_radians(nan));
    EXPECT_EQ(0.0, valve.at_radians(inf));
}

}  // namespace
