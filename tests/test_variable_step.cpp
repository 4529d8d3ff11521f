// The variable-step methods: accuracy against known solutions, a stiff
// model, switching times hit exactly, the logging grid and the host's
// major and minor steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine_fixture.hpp"
#include "host/sim/variable_step.hpp"

namespace {

using namespace testing_engine;

std::string with(std::string text, const std::string& key, const std::string& value) {
    return text.replace(text.find(key), key.size(), value);
}

// A Lag fed by a Step at 1.2345, and the integral of a sine, side by side.
const char* const known_solutions = R"(
solver: {method: METHOD, stop: 4, rtol: RTOL, atol: ATOL}
blocks:
  step: {type: Step, time: 1.2345}
  lag:  {type: Lag, time_constant: 0.5}
  sine: {type: Sine}
  x:    {type: Integrator}
connections:
  - step.0 -> lag.0
  - sine.0 -> x.0
log:
  signals: [lag.0, x.0]
)";

double lag_solution(double t) { return t <= 1.2345 ? 0.0 : 1 - std::exp(-(t - 1.2345) / 0.5); }

TEST(VariableStep, EachMethodMeetsItsToleranceOnKnownSolutions) {
    for (const char* method : {"ode45", "ode23", "bdf"})
        for (double rtol : {1e-6, 1e-8, 1e-10}) {
            SCOPED_TRACE(std::string(method) + " rtol " + std::to_string(rtol));
            char tolerances[2][32];
            std::snprintf(tolerances[0], sizeof tolerances[0], "%g", rtol);
            std::snprintf(tolerances[1], sizeof tolerances[1], "%g", rtol * 1e-3);
            const std::string text =
                with(with(with(known_solutions, "METHOD", method), "RTOL", tolerances[0]), "ATOL", tolerances[1]);
            host::Simulation simulation(model(text));
            const Rows rows = run(simulation);
            double lag_error = 0, sine_error = 0;
            for (std::size_t i = 0; i < rows.times.size(); ++i) {
                lag_error = std::max(lag_error, std::fabs(rows.values[i][0] - lag_solution(rows.times[i])));
                sine_error = std::max(sine_error, std::fabs(rows.values[i][1] - (1 - std::cos(rows.times[i]))));
            }
            EXPECT_LT(lag_error, 10 * rtol);
            EXPECT_LT(sine_error, 10 * rtol);
            EXPECT_EQ(4.0, rows.times.back());
        }
}

TEST(VariableStep, ASwitchingTimeIsHitExactlyAndTheIntegratorStartsAgainThere) {
    host::Simulation simulation(model(with(with(with(known_solutions, "METHOD", "ode45"), "RTOL", "1e-6"), "ATOL", "1e-9")));
    const Rows rows = major_steps(simulation, "lag");
    std::size_t at_switch = 0;
    while (at_switch < rows.times.size() && rows.times[at_switch] != 1.2345) ++at_switch;
    ASSERT_LT(at_switch, rows.times.size()) << "no major step at the Step's time";
    for (std::size_t i = 0; i <= at_switch; ++i) EXPECT_EQ(0.0, rows.values[i][0]) << rows.times[i];
    EXPECT_GT(rows.values[at_switch + 1][0], 0.0);
}

TEST(VariableStep, BdfTakesAFractionOfTheStepsOfOde45OnAStiffModel) {
    const char* const stiff = R"(
solver: {method: METHOD, stop: 2, rtol: 1e-6, atol: 1e-9}
blocks:
  one:  {type: Constant, value: 1}
  fast: {type: Lag, time_constant: 1e-5}
  slow: {type: Lag, time_constant: 1}
connections:
  - one.0 -> fast.0
  - fast.0 -> slow.0
log: {interval: 0.5, signals: [slow.0]}
)";
    long long steps[2];
    int i = 0;
    for (const char* method : {"bdf", "ode45"}) {
        host::Simulation simulation(model(with(stiff, "METHOD", method)));
        const Rows rows = run(simulation);
        EXPECT_NEAR(1 - std::exp(-2.0), rows.values.back()[0], 1e-4) << method;
        steps[i++] = simulation.steps_taken();
    }
    EXPECT_LT(steps[0] * 50, steps[1]) << "bdf " << steps[0] << ", ode45 " << steps[1];
}

// Neither every nor interval: a row at each step the solver takes and at
// each time it stops at (the Step's, the stop time), not a grid it is held to.
TEST(VariableStep, WithoutEveryOrIntervalTheRowsAreTheSolversOwnSteps) {
    const char* const stiff = R"(
solver: {method: bdf, stop: 10, rtol: 1e-6, atol: 1e-9}
blocks:
  sine: {type: Sine}
  fast: {type: Lag, time_constant: 1e-5}
  slow: {type: Lag, time_constant: 1}
  kick: {type: Step, time: 1.2345}
connections:
  - sine.0 -> fast.0
  - fast.0 -> slow.0
LOG)";
    host::Simulation own_steps(model(with(stiff, "LOG", "log: {signals: [slow.0, kick.0]}")));
    EXPECT_TRUE(own_steps.logs_solver_steps());
    const Rows rows = run(own_steps);
    // Held to the 1 ms grid bdf took over 10 000 steps here.
    EXPECT_LT(own_steps.steps_taken(), 1000);
    ASSERT_EQ(static_cast<std::size_t>(own_steps.steps_taken()) + 1, rows.times.size());
    host::Simulation again(model(with(stiff, "LOG", "log: {signals: [slow.0, kick.0]}")));
    EXPECT_EQ(rows.times, major_steps(again, "slow").times) << "a row at every major step, and only there";
    const auto kick = std::find(rows.times.begin(), rows.times.end(), 1.2345);
    ASSERT_NE(rows.times.end(), kick) << "no row at the Step's time";
    const auto k = static_cast<std::size_t>(kick - rows.times.begin());
    EXPECT_EQ(0.0, rows.values[k - 1][1]);
    EXPECT_EQ(1.0, rows.values[k][1]);
    EXPECT_EQ(10.0, rows.times.back());
    // The slow lag of sin t: (sin t - cos t + e^-t) / 2.
    EXPECT_NEAR((std::sin(10.0) - std::cos(10.0) + std::exp(-10.0)) / 2, rows.values.back()[0], 1e-4);

    // log: every keeps the fixed-step run's rows, on the model's 1 ms step.
    host::Simulation grid(model(with(stiff, "LOG", "log: {every: 1, signals: [slow.0, kick.0]}")));
    EXPECT_FALSE(grid.logs_solver_steps());
    const Rows grid_rows = run(grid);
    ASSERT_EQ(10001u, grid_rows.times.size());
    EXPECT_EQ(1234 * 0.001, grid_rows.times[1234]);
    EXPECT_GT(grid.steps_taken(), 10000);
}

TEST(VariableStep, ALogIntervalPutsTheRowsOnExactMultiples) {
    host::Simulation simulation(model(R"(
solver: {method: ode23, stop: 1}
blocks:
  sine: {type: Sine, frequency: 7}
  x: {type: Integrator}
connections:
  - sine.0 -> x.0
log: {interval: 0.1, signals: [x.0]}
)"));
    const Rows rows = run(simulation);
    ASSERT_EQ(11u, rows.times.size());
    for (std::size_t k = 0; k < rows.times.size(); ++k) EXPECT_EQ(static_cast<double>(k) * 0.1, rows.times[k]);
}

TEST(VariableStep, WithoutContinuousStatesStepsAreMaxStepLong) {
    host::Simulation simulation(model(R"(
solver: {method: ode45, stop: 1, max_step: 0.25}
blocks:
  c: {type: Clock}
  relay: {sfunction: sarnith, parameters: [0.6, 0.3]}
connections:
  - c.0 -> relay.0
log:
  interval: 0.5
  signals: [relay.0]
)"));
    const Rows rows = major_steps(simulation, "relay");
    EXPECT_EQ((std::vector<double>{0, 0.25, 0.5, 0.75, 1}), rows.times);
    // 1.0 below 0.3, held between, 0.0 above 0.6.
    EXPECT_EQ((std::vector<std::vector<double>>{{1}, {1}, {1}, {0}, {0}}), rows.values);
}

TEST(VariableStep, StepsWithoutStatesEndAtTheStopTimeWhateverTheRoundingOfMaxStep) {
    // 0.98 / 0.02 rounds to just below 49: the next multiple must still be 1.0.
    host::Simulation simulation(model(R"(
solver: {method: ode23, stop: 1, max_step: 0.02}
blocks:
  c: {type: Clock}
log: {interval: 0.5, signals: [c.0]}
)"));
    const Rows rows = major_steps(simulation, "c");
    ASSERT_EQ(51u, rows.times.size());
    for (std::size_t k = 1; k < rows.times.size(); ++k) EXPECT_GT(rows.times[k], rows.times[k - 1]);
    EXPECT_EQ(1.0, rows.times.back());
}

TEST(VariableStep, LogEveryCountsTheModelsFixedStepNotTheSolversSteps) {
    host::Simulation simulation(model(R"(
solver: {method: ode45, step: 0.01, stop: 1, rtol: 1e-6}
blocks:
  sine: {type: Sine}
  x: {type: Integrator}
connections:
  - sine.0 -> x.0
log: {every: 5, signals: [x.0]}
)"));
    ASSERT_TRUE(simulation.log_interval().has_value());
    EXPECT_EQ(0.05, *simulation.log_interval());
    const Rows rows = run(simulation);
    ASSERT_EQ(21u, rows.times.size());
    for (std::size_t k = 0; k < rows.times.size(); ++k) EXPECT_EQ(static_cast<double>(k) * 0.05, rows.times[k]);
}

TEST(VariableStep, MinorStepsCallOutputsAndDerivativesAndMajorStepsUpdate) {
    host::Simulation simulation(model(calling_sequence_model("{method: ode45, stop: 0.5, rtol: 1e-6}")));
    long long major_outputs = 0, minor_outputs = 0, minor_derivatives = 0, updates = 0, major_derivatives = 0;
    std::vector<std::string> sequence;
    simulation.set_observer([&](const host::Node& node, host::Method method, double, bool major, bool after) {
        if (after || node.name() != "relay") return;
        if (method == host::Method::outputs) (major ? major_outputs : minor_outputs)++;
        if (method == host::Method::derivatives) (major ? major_derivatives : minor_derivatives)++;
        if (method == host::Method::update) {
            EXPECT_TRUE(major) << "an update in a minor step";
            ++updates;
        }
        if (method == host::Method::outputs || method == host::Method::update)
            sequence.push_back(std::string(major ? "major " : "minor ") + host::method_name(method));
    });
    run(simulation);
    // One major step at t = 0 and one after each accepted step, each an update
    // but the last; every evaluation of the derivatives is a minor step.
    EXPECT_EQ(simulation.steps_taken() + 1, major_outputs);
    EXPECT_EQ(simulation.steps_taken(), updates);
    EXPECT_EQ(0, major_derivatives);
    EXPECT_EQ(simulation.rhs_evaluations(), minor_outputs);
    EXPECT_EQ(simulation.rhs_evaluations(), minor_derivatives);
    EXPECT_GT(simulation.rhs_evaluations(), simulation.steps_taken());
    ASSERT_GE(sequence.size(), 3u);
    EXPECT_EQ("major mdlOutputs", sequence[0]);
    EXPECT_EQ("major mdlUpdate", sequence[1]);
}

TEST(VariableStep, AnIntegratorFailureEndsTheRunWithTheTimeAndTheCause) {
    host::Simulation simulation(model(R"(
solver: {method: ode45, stop: 1}
blocks:
  bad: {type: Step, time: 0.5, after: .nan}
  x: {type: Integrator}
connections:
  - bad.0 -> x.0
log:
  signals: [x.0]
)"));
    Rows rows;
    try {
        run_into(simulation, rows);
        FAIL() << "expected the integrator to fail";
    } catch (const host::IntegratorError& error) {
        EXPECT_EQ("the integrator stopped at t = 0.5 s: a derivative of block 'x' (Integrator) is NaN",
                  std::string(error.what()));
    }
    ASSERT_FALSE(rows.times.empty());
    EXPECT_EQ(0.5, rows.times.back()) << "the rows up to the failure are kept";
}

}  // namespace
