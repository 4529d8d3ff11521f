#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "core/controller.hpp"

namespace {

using blocks::ControlRecord;
using Vector6 = std::array<double, 6>;
using Vector2 = std::array<double, 2>;

const Vector6 initial_vector = {1.07005329225731, 1.2, 1.0, -2.59972335254129, 0.5, 1.0};
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct Controller {
    ControlRecord record{};  // zero-filled, as for a new instance
    Vector2 x{};

    Controller() { blocks::initialize_controller(record, x.data()); }

    Vector6 outputs(const std::array<double, 3>& u) {
        Vector6 y{};
        blocks::controller_outputs(record, x.data(), u.data(), y.data());
        return y;
    }
    Vector2 derivatives(const std::array<double, 3>& u) {
        Vector2 dx{};
        blocks::controller_derivatives(record, x.data(), u.data(), dx.data());
        return dx;
    }
    Vector6 staged() const {
        Vector6 s{};
        for (int i = 0; i < 6; ++i) s[i] = record.staged[i];
        return s;
    }
};

TEST(Controller, InitialisationFillsRecordAndStates) {
    ControlRecord record{};
    double x0[2] = {7, 7};
    blocks::initialize_controller(record, x0);
    EXPECT_EQ(0.0, x0[0]);
    EXPECT_EQ(0.0, x0[1]);
    EXPECT_EQ(13.0, record.table_length);
    EXPECT_EQ(0, record.num_dialog_params);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(initial_vector[i], record.staged[i]) << i;
    EXPECT_EQ(record.staged, record.staged_view.data);
    EXPECT_EQ(6, record.lagged_view.rows * record.lagged_view.cols);
    // held_input0 and command are left as they were.
    record.held_input0 = 42;
    record.command = 0.7;
    blocks::initialize_controller(record, x0);
    EXPECT_EQ(42, record.held_input0);
    EXPECT_EQ(0.7, record.command);
}

TEST(Controller, JustAfterLoadingSequence) {
    Controller c;
    const std::array<double, 3> u = {12520000.0, 0.9375, 1.0};

    EXPECT_EQ(initial_vector, c.outputs(u));
    EXPECT_EQ((Vector6{1.05797398861621, 1.2, 1.0, -8.0, 0.0, 1.0}), c.staged());
    EXPECT_EQ(0.546875, c.record.command);

    const Vector2 dx = c.derivatives(u);
    EXPECT_EQ(0.5208333333333334, dx[0]);
    EXPECT_EQ(0.9765625, dx[1]);
    const Vector6 staged_by_derivatives = {0.890176689582543, 1.2, 1.0, -5.35141943573803, 0.546875, 1.0};
    EXPECT_EQ(staged_by_derivatives, c.staged());

    EXPECT_EQ(staged_by_derivatives, c.outputs(u));
}

TEST(Controller, ProportionalAndDerivativeTermsOfASmallError) {
    Controller c;
    c.outputs({0, 0.9375, 1.0});
    EXPECT_EQ(0.0625, c.record.control_error);
    EXPECT_EQ(0.15625, c.record.prop_term);
    EXPECT_EQ(0.390625, c.record.deriv_term);
    EXPECT_EQ(0.546875, c.record.command);
}

struct ScheduleCase {
    double ratio, a, b;
};

TEST(Controller, ScheduleOverTheRatio) {
    const double last_a = 1.05797398861621, last_b = -8.0;
    const ScheduleCase cases[] = {
        {1.2, 1.36079575102423, 0.0629566078587464},
        {1.1, 1.36079575102423, 0.0629566078587464},
        {0.95, 1.243511603492785, -1.0624175314667168},
        {0.5, 0.890176689582543, -5.35141943573803},
        {0.25, last_a, last_b},
        {0.2, last_a, last_b},
        {0.0, last_a, last_b},
        {-3.0, last_a, last_b},
        {nan, last_a, last_b},
    };
    Controller c;
    for (const auto& s : cases) {
        SCOPED_TRACE(s.ratio);
        c.record.ratio = s.ratio;
        blocks::lookup_schedules(c.record);
        EXPECT_EQ(1.0, c.record.found);
        EXPECT_EQ(s.a, c.record.scheduled_a);
        EXPECT_EQ(s.b, c.record.scheduled_b);
    }
}

TEST(Controller, ScheduleRatioComesFromTheInputOfThePreviousOutputCall) {
    Controller c;
    c.outputs({23788000.0, 0, 0});  // ratio 0.95, held for the next evaluation
    c.outputs({0, 0, 0});
    EXPECT_EQ(1.243511603492785, c.record.scheduled_a);
    EXPECT_EQ(-1.0624175314667168, c.record.scheduled_b);
}

TEST(Controller, CommandIsClampedButLimitsAndNanPass) {
    struct { double error, sum, command; } cases[] = {
        {0.5, 4.375, 1.0},
        {-0.5, -4.375, 0.1},
    };
    for (const auto& k : cases) {
        Controller c;
        c.outputs({0, 0, k.error});
        EXPECT_EQ(k.sum, c.record.deriv_term + c.record.prop_term);
        EXPECT_EQ(k.command, c.record.command);
    }
    // Sum = 8.75 e + x0 - x1 with e = 0: the states set the sum exactly.
    for (double limit : {0.1, 1.0}) {
        Controller c;
        c.x = {limit, 0.0};
        c.outputs({0, 0, 0});
        EXPECT_EQ(limit, c.record.command);
    }
    Controller c;
    c.outputs({0, nan, 1.0});
    EXPECT_TRUE(std::isnan(c.record.command));
    // The NaN command is staged by the next evaluation and handed out after it.
    c.outputs({0, 0, 0});
    EXPECT_TRUE(std::isnan(c.outputs({0, 0, 0})[4]));
}

TEST(Controller, IntegralKeepsGrowingWhileTheCommandSitsAtALimit) {
    Controller c;
    const std::array<double, 3> u = {0, 0, 0.5};  // e = 0.5: command at the upper limit
    const double h = 0.01;
    double previous = c.x[0];
    for (int step = 0; step < 200; ++step) {
        c.outputs(u);
        EXPECT_EQ(1.0, c.record.command);
        const Vector2 dx = c.derivatives(u);
        EXPECT_EQ(2.5 * 0.5 / 0.3, dx[0]);
        c.x[0] += h * dx[0];
        c.x[1] += h * dx[1];
        EXPECT_GT(c.x[0], previous);
        previous = c.x[0];
    }
    EXPECT_NEAR(200 * h * 2.5 * 0.5 / 0.3, c.x[0], 1e-9);
}

TEST(Controller, ClosedLoopSettlesOnTheSetPoint) {
    // Plant y' = (command - y) / 0.5, Euler steps; the integral removes the offset.
    Controller c;
    double plant = 0.0;
    const double set_point = 0.6, h = 0.001;
    for (int step = 0; step < 20000; ++step) {
        const std::array<double, 3> u = {12520000.0, plant, set_point};
        c.outputs(u);
        const Vector2 dx = c.derivatives(u);
        const double command = c.record.command;
        c.x[0] += h * dx[0];
        c.x[1] += h * dx[1];
        plant += h * (command - plant) / 0.5;
    }
    EXPECT_NEAR(set_point, plant, 1e-6);
    EXPECT_NEAR(set_point, c.record.command, 1e-6);
}

}  // namespace
