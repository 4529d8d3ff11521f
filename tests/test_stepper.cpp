// The fixed-step Runge-Kutta methods on their own: their order of accuracy
// and the calls they make at each stage.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/sim/stepper.hpp"

namespace {

// x' = cos(t) x, x(0) = 1, so x(t) = exp(sin t): depends on both t and x,
// so a wrong stage time or weight shows.
double error_at_two_seconds(host::SolverMethod method, double h) {
    std::vector<double> x = {1.0}, dx = {0.0};
    host::RungeKuttaStepper stepper(method, 1);
    double stage_time = 0.0;
    auto derivatives = [&](double t) { dx[0] = std::cos(t) * x[0]; };
    const int steps = static_cast<int>(std::lround(2.0 / h));
    for (int n = 0; n < steps; ++n) {
        const double t = n * h;
        derivatives(t);
        stepper.step(t, h, x, dx, [&](double t_stage) { stage_time = t_stage; },
                     [&](double t_stage) {
                         EXPECT_EQ(stage_time, t_stage) << "outputs come before the derivatives of a stage";
                         derivatives(t_stage);
                     });
    }
    return std::fabs(x[0] - std::exp(std::sin(2.0)));
}

TEST(RungeKuttaStepper, HalvingTheStepDividesTheErrorByTwoToTheOrder) {
    const struct {
        host::SolverMethod method;
        double order;
    } methods[] = {{host::SolverMethod::ode1, 1}, {host::SolverMethod::ode2, 2}, {host::SolverMethod::ode3, 3},
                   {host::SolverMethod::ode4, 4}};
    for (const auto& [method, order] : methods) {
        SCOPED_TRACE(host::solver_method_name(method));
        const double coarse = error_at_two_seconds(method, 0.02);
        const double fine = error_at_two_seconds(method, 0.01);
        EXPECT_NEAR(order, std::log2(coarse / fine), 0.2) << coarse << " then " << fine;
    }
}

TEST(RungeKuttaStepper, CallsEachFurtherStageAtItsTime) {
    const struct {
        host::SolverMethod method;
        std::vector<double> stage_times;  // for a step of 0.5 from t = 1
    } methods[] = {{host::SolverMethod::ode1, {}},
                   {host::SolverMethod::ode2, {1.5}},
                   {host::SolverMethod::ode3, {1.25, 1.375}},
                   {host::SolverMethod::ode4, {1.25, 1.25, 1.5}}};
    for (const auto& [method, expected] : methods) {
        SCOPED_TRACE(host::solver_method_name(method));
        std::vector<double> x = {0.0}, dx = {1.0};
        std::vector<std::string> calls;
        std::vector<double> times;
        host::RungeKuttaStepper(method, 1).step(
            1.0, 0.5, x, dx, [&](double t) { calls.push_back("outputs"), times.push_back(t); },
            [&](double) { calls.push_back("derivatives"); });
        EXPECT_EQ(expected, times);
        for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(i % 2 ? "derivatives" : "outputs", calls[i]);
        EXPECT_DOUBLE_EQ(0.5, x[0]);  // x' = 1 throughout: every method gives x + h
    }
}

}  // namespace
