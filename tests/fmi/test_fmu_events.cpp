// FMUs for model exchange as blocks: their states integrated by the
// model's solver, their time and state events found and handled, and
// co-simulation under the variable-step solvers. The FMUs are the tests'
// own (tests/fmu_import/fmus): a bouncing ball (FMI 2.0, a state event)
// and a staircase (FMI 3.0, time events, an array output).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "../blocksim_fixture.hpp"

namespace {

const fs::path test_fmus = TEST_FMU_DIR;
using FmuEvents = Blocksim;

// The ball's height and speed at t, from its equations: dropped from 1 m,
// h'' = -g, and at each landing the speed reversed and kept at e of it;
// t before the bounces pile up (at 2 v1 e / (g (1 - e)) after the first).
struct BallState {
    double h, v;
    int bounces;
    double from_landing;  // the time to the nearest landing
};
BallState exact_ball(double t, double g = 9.81, double e = 0.7) {
    double start = 0, h = 1, v = 0;
    for (int bounces = 0; bounces < 1000; ++bounces) {
        const double landing = start + (v + std::sqrt(v * v + 2 * g * h)) / g;
        if (t < landing) {
            const double tau = t - start;
            const double near = bounces ? std::min(tau, landing - t) : landing - t;
            return {h + v * tau - g * tau * tau / 2, v - g * tau, bounces, near};
        }
        v = -e * (v - g * (landing - start));
        h = 0;
        start = landing;
    }
    ADD_FAILURE() << "t = " << t << " is past the time the bounces pile up";
    return {};
}

std::string ball_model(const std::string& solver, const std::string& block) {
    return "solver: " + solver + "\n"
           "blocks:\n"
           "  ball: " + block + "\n"
           "log:\n"
           "  signals: [ball.h, ball.v]\n";
}

// The ball bounces where its equations say, under a fixed-step solver (the
// landing found by bisection of the step: ode4 is exact on a parabola, so
// every row is) and under the variable-step ones (their root finding).
TEST_F(FmuEvents, TheBouncingBallBouncesAtItsTimes) {
    fs::copy_file(test_fmus / "bouncing_ball.fmu", directory_ / "ball.fmu");
    // A variable-step solver's landing is where its root finding puts it:
    // rows that close to a landing may lie on its other side.
    struct Case {
        std::string solver;
        double tolerance, near_a_landing;
    };
    for (const Case& c : {Case{"{method: ode4, step: 0.01, stop: 2}", 1e-9, 0},
                          Case{"{method: ode45, stop: 2, rtol: 1e-9, atol: 1e-12, max_step: 0.01}", 1e-6, 1e-6},
                          Case{"{method: bdf, stop: 2, rtol: 1e-9, atol: 1e-12, max_step: 0.01}", 1e-5, 1e-5}}) {
        SCOPED_TRACE(c.solver);
        write("ball.yaml", ball_model(c.solver, "{fmu: ball.fmu, interface: me}"));
        const Result run = blocksim("run ball.yaml --out ball.csv --no-plot");
        ASSERT_EQ(0, run.status) << run.output;
        const auto [header, rows] = csv("ball.csv");
        ASSERT_EQ((std::vector<std::string>{"time", "ball.0[0]", "ball.1[0]"}), header);
        int bounces = 0;
        for (const auto& row : rows) {
            const BallState exact = exact_ball(row[0]);
            if (exact.from_landing < c.near_a_landing) continue;
            ASSERT_NEAR(exact.h, row[1], c.tolerance) << "t = " << row[0];
            ASSERT_NEAR(exact.v, row[2], 10 * c.tolerance) << "t = " << row[0];
            bounces = exact.bounces;
        }
        EXPECT_EQ(4, bounces);
        EXPECT_EQ(2.0, rows.back()[0]);
    }
}

// A parameter by name changes the bounces: with e = 0.5 the ball keeps half its speed.
TEST_F(FmuEvents, AParameterByNameReachesTheFmu) {
    fs::copy_file(test_fmus / "bouncing_ball.fmu", directory_ / "ball.fmu");
    write("ball.yaml", ball_model("{method: ode4, step: 0.01, stop: 1.2}",
                                  "{fmu: ball.fmu, parameters: {e: 0.5, g: 9.0}}"));
    const Result run = blocksim("run ball.yaml --out ball.csv --no-plot");
    ASSERT_EQ(0, run.status) << run.output;
    for (const auto& row : csv("ball.csv").second) ASSERT_NEAR(exact_ball(row[0], 9.0, 0.5).h, row[1], 1e-9);
}

// A sweep varies an FMU block's parameter by its variable's name: each
// case's ball keeps its own share of the speed.
TEST_F(FmuEvents, ASweepVariesAnFmuParameterByName) {
    fs::copy_file(test_fmus / "bouncing_ball.fmu", directory_ / "ball.fmu");
    write("ball.yaml", ball_model("{method: ode4, step: 0.01, stop: 1}", "{fmu: ball.fmu}"));
    write("sweep.yaml", "model: ball.yaml\n"
                        "vary:\n"
                        "  - {block: ball, parameter: e, values: [0.5, 0.6, 0.7]}\n"
                        "metrics:\n"
                        "  height: {signal: ball.h, of: final}\n");
    const Result result = blocksim("sweep sweep.yaml --no-plot --jobs 1");
    ASSERT_EQ(0, result.status) << result.output;
    std::ifstream summary(directory_ / "sweep" / "summary.csv");
    std::string line;
    std::getline(summary, line);
    EXPECT_EQ("case,ball.e,height,status", line);
    for (const double e : {0.5, 0.6, 0.7}) {
        ASSERT_TRUE(std::getline(summary, line));
        const std::size_t first = line.find(','), second = line.find(',', first + 1), third = line.find(',', second + 1);
        EXPECT_EQ(e, std::stod(line.substr(first + 1, second - first - 1)));
        EXPECT_NEAR(exact_ball(1.0, 9.81, e).h, std::stod(line.substr(second + 1, third - second - 1)), 1e-9) << line;
        EXPECT_EQ("ok", line.substr(third + 1));
    }
    // A key, or no parameter, is named as a mistake.
    write("keyed.yaml", "model: ball.yaml\nvary:\n  - {block: ball, key: e, values: [0.3]}\n");
    const Result keyed = blocksim("sweep keyed.yaml --no-plot");
    EXPECT_EQ(1, keyed.status);
    EXPECT_EQ("blocksim: error: keyed.yaml:3: FMU block 'ball' has variables, not keys: write parameter: NAME\n",
              keyed.output);
}

// The staircase climbs at t = 0.25, 0.5, ...: under ode1 with steps of
// 0.1 s the steps are cut at the climbs between grid points, so the area
// under it is exact; a climb on a grid point shows in that row.
TEST_F(FmuEvents, TimeEventsCutTheStepsAndShowInTheirRow) {
    fs::copy_file(test_fmus / "stairs.fmu", directory_ / "stairs.fmu");
    for (const std::string solver : {"{method: ode1, step: 0.1, stop: 2}", "{method: ode45, stop: 2}"}) {
        SCOPED_TRACE(solver);
        write("stairs.yaml", "solver: " + solver + "\n"
                             "blocks:\n"
                             "  gain: {type: Constant, value: 3}\n"
                             "  stairs: {fmu: stairs.fmu}\n"
                             "connections: [gain.0 -> stairs.u]\n"
                             "log:\n"
                             "  interval: 0.1\n"
                             "  signals: [stairs.x, stairs.y]\n");
        const Result run = blocksim("run stairs.yaml --out stairs.csv --no-plot");
        ASSERT_EQ(0, run.status) << run.output;
        const auto [header, rows] = csv("stairs.csv");
        ASSERT_EQ((std::vector<std::string>{"time", "stairs.0[0]", "stairs.1[0]", "stairs.1[1]"}), header);
        ASSERT_EQ(21u, rows.size());
        for (const auto& row : rows) {
            const double t = row[0];
            const double climbs = std::floor(t / 0.25 + 1e-9);
            const double area = 0.25 * climbs * (climbs - 1) / 2 + climbs * (t - 0.25 * climbs);
            ASSERT_NEAR(area, row[1], 1e-12) << "t = " << t;
            ASSERT_EQ(climbs, row[2]) << "t = " << t;
            ASSERT_EQ(3 * climbs, row[3]) << "t = " << t;
        }
    }
}

// Co-simulation under a variable-step solver: the communication points
// are the multiples of step:, where the solver stops.
TEST_F(FmuEvents, CoSimulationUnderAVariableStepSolverStepsAtItsPoints) {
    fs::copy_file(test_fmus / "stairs.fmu", directory_ / "stairs.fmu");
    write("stairs.yaml", "solver: {method: ode45, stop: 1}\n"
                         "blocks:\n"
                         "  stairs: {fmu: stairs.fmu, interface: cs, step: 0.125}\n"
                         "  climbs: {type: Selector, elements: [0]}\n"
                         "  area: {type: Integrator}\n"
                         "  zero: {type: Constant, value: 0}\n"
                         "connections:\n"
                         "  - zero.0 -> stairs.u\n"
                         "  - stairs.y -> climbs.0\n"
                         "  - climbs.0 -> area.0\n"
                         "log:\n"
                         "  signals: [stairs.x, area.0]\n");
    const Result run = blocksim("run stairs.yaml --out stairs.csv --no-plot");
    ASSERT_EQ(0, run.status) << run.output;
    const auto rows = csv("stairs.csv").second;
    std::vector<double> points;
    for (const auto& row : rows)
        if (std::fmod(row[0], 0.125) == 0) points.push_back(row[0]);
    EXPECT_EQ((std::vector<double>{0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1}), points);
    // x at 1 s, read after the step to 1 s: exact.
    EXPECT_EQ(1.5, rows.back()[1]);
    // After the step from t the outputs are the FMU's at t + 0.125 s, which
    // the model integrates from t: the climbs at 0.25, 0.5 and 0.75 s are
    // seen 0.125 s before them, so the area is 0.125 (1 + 1 + 2 + 2 + 3 + 3 + 4).
    EXPECT_NEAR(2.0, rows.back()[2], 1e-12);
}

// A model of a lag, an integrator, a relay and a step exported for model
// exchange and run as a block under ode4: its outputs are the model's own
// run's, bit for bit, in FMI 2.0 and 3.0 (the step's switch a time event,
// the relay's memory kept at completed integrator steps).
TEST_F(FmuEvents, AnExportedModelForModelExchangeGivesTheModelsOwnNumbers) {
    const std::string inner = "solver: {method: ode4, step: 0.125, stop: 3}\n"
                              "blocks:\n"
                              "  push:  {type: Step, time: 0.625, before: 0, after: 2}\n"
                              "  u:     {type: Inport, value: 0.5}\n"
                              "  sum:   {type: Sum, signs: \"++\"}\n"
                              "  lag:   {type: Lag, time_constant: 0.4}\n"
                              "  area:  {type: Integrator, initial: 1}\n"
                              "  relay: {sfunction: sarnith, parameters: [1.5, 1]}\n"
                              "  y:     {type: Outport, index: 1}\n"
                              "  flag:  {type: Outport, index: 2}\n"
                              "  total: {type: Outport, index: 3}\n"
                              "connections:\n"
                              "  - push.0 -> sum.0\n"
                              "  - u.0 -> sum.1\n"
                              "  - sum.0 -> lag.0\n"
                              "  - lag.0 -> y.0, area.0, relay.0\n"
                              "  - relay.0 -> flag.0\n"
                              "  - area.0 -> total.0\n";
    write("inner.yaml", inner);
    write("logged.yaml", inner + "log:\n  signals: [lag.0, relay.0, area.0]\n");
    ASSERT_EQ(0, blocksim("run logged.yaml --out inner.csv --no-plot").status);
    const auto own = csv("inner.csv").second;
    for (const std::string fmi : {"2", "3"}) {
        SCOPED_TRACE("FMI " + fmi);
        const Result exported = blocksim("export inner.yaml --fmi " + fmi + " --platforms linux64 --fmu inner.fmu");
        ASSERT_EQ(0, exported.status) << exported.output;
        write("outer.yaml", "solver: {method: ode4, step: 0.125, stop: 3}\n"
                            "blocks:\n"
                            "  half: {type: Constant, value: 0.5}\n"
                            "  model: {fmu: inner.fmu, interface: me}\n"
                            "connections: [half.0 -> model.u]\n"
                            "log:\n"
                            "  signals: [model.y, model.flag, model.total]\n");
        const Result run = blocksim("run outer.yaml --out outer.csv --no-plot");
        ASSERT_EQ(0, run.status) << run.output;
        const auto imported = csv("outer.csv").second;
        ASSERT_EQ(own.size(), imported.size());
        for (std::size_t k = 0; k < own.size(); ++k) ASSERT_EQ(own[k], imported[k]) << "t = " << own[k][0];
        EXPECT_EQ(0.0, own.back()[2]);  // the relay switched
        fs::remove(directory_ / "inner.fmu");
    }
}

TEST_F(FmuEvents, MistakesOfInterfacesAndStepsAreNamed) {
    fs::copy_file(test_fmus / "stairs.fmu", directory_ / "stairs.fmu");
    auto model = [&](const std::string& solver, const std::string& block) {
        write("m.yaml", "solver: " + solver + "\nblocks:\n  stairs: " + block +
                            "\n  zero: {type: Constant, value: 0}\nconnections: [zero.0 -> stairs.u]\n");
        return blocksim("run m.yaml --out m.csv --no-plot");
    };
    auto expect_error = [&](const Result& result, const std::string& message) {
        EXPECT_EQ(1, result.status) << result.output;
        EXPECT_EQ("blocksim: error: " + message + "\n", result.output);
    };
    expect_error(model("{method: ode45, stop: 1}", "{fmu: stairs.fmu, interface: cs}"),
                 "m.yaml:3: block 'stairs' (stairs.fmu): under ode45 a co-simulation FMU needs its communication "
                 "step: give step: (s)");
    expect_error(model("{method: ode4, step: 0.1, stop: 1}", "{fmu: stairs.fmu, step: 0.2}"),
                 "m.yaml:3: block 'stairs' (stairs.fmu): step: sets a co-simulation FMU's communication step; under "
                 "model exchange the model's solver steps the FMU");
    expect_error(model("{method: ode4, step: 0.1, stop: 1}", "{fmu: stairs.fmu, parameters: {period: 0}}"),
                 "block 'stairs' (stairs.fmu): fmi3ExitInitializationMode returned fmi3Error: period must be "
                 "positive\nblocksim: the run stopped at t = 0 s; m.partial.csv holds the 0 rows written up to t = 0 s");
    expect_error(model("{method: ode4, step: 0.1, stop: 1}", "{fmu: stairs.fmu, parameters: {restless: 1}}"),
                 "block 'stairs' (stairs.fmu): its discrete states did not settle at t = 0 after 1000 event "
                 "iterations\nblocksim: the run stopped at t = 0 s; m.partial.csv holds the 0 rows written up to t = 0 s");
}

// A relay without hysteresis slides along its threshold: once x reaches it,
// every event makes the next one at once. The run ends at the bound on
// events within one step, keeping the rows before it.
TEST_F(FmuEvents, AnIndicatorThatChattersEndsTheRunAtTheBoundOnEvents) {
    fs::copy_file(test_fmus / "chatter.fmu", directory_ / "chatter.fmu");
    write("m.yaml", "solver: {method: ode4, step: 0.125, stop: 1}\nblocks:\n  relay: {fmu: chatter.fmu}\n"
                    "log:\n  signals: [relay.x]\n");
    const Result run = blocksim("run m.yaml --out m.csv --no-plot");
    EXPECT_EQ(1, run.status) << run.output;
    EXPECT_EQ("blocksim: error: more than 10000 events within the step from t = 0.5 s: an event indicator chatters "
              "around zero\nblocksim: the run stopped at t = 0.5 s; m.partial.csv holds the 5 rows written up to "
              "t = 0.5 s\n",
              run.output);
    const auto rows = csv("m.partial.csv").second;
    ASSERT_EQ(5u, rows.size());
    for (const auto& row : rows) EXPECT_DOUBLE_EQ(row[0], row[1]);  // x = t until the threshold
    EXPECT_FALSE(fs::exists(directory_ / "m.csv"));
}

// Ctrl-C during a sweep of FMU blocks: the sweep stops, its workers are
// told to end in the middle of their cases, and each removes the folders
// its FMU blocks unpacked into before it dies.
TEST_F(FmuEvents, AnInterruptedSweepLeavesNoUnpackedFmu) {
    fs::copy_file(test_fmus / "bouncing_ball.fmu", directory_ / "ball.fmu");
    write("ball.yaml", ball_model("{method: ode4, step: 1e-5, stop: 900}", "{fmu: ball.fmu}"));
    write("sweep.yaml", "model: ball.yaml\nvary:\n  - {block: ball, parameter: e, values: [0.5, 0.6, 0.7, 0.8]}\n"
                        "metrics:\n  height: {signal: ball.h, of: final}\n");
    const fs::path scratch = directory_ / "tmp";
    fs::create_directories(scratch);
    setenv("TMPDIR", scratch.c_str(), 1);
    const pid_t pid = spawn({"sweep", "sweep.yaml", "--no-plot", "--jobs", "2", "--force"}, "sweep.log");
    unsetenv("TMPDIR");
    auto unpacked = [&] {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(scratch)) ++count;
        return count;
    };
    for (int wait = 0; wait < 1500 && unpacked() < 2; ++wait) usleep(20000);
    ASSERT_EQ(2u, unpacked()) << "both workers run a case: " << read("sweep.log");
    usleep(100000);  // well into their cases
    ASSERT_EQ(0, kill(-pid, SIGINT));
    EXPECT_EQ(130, finished(pid)) << read("sweep.log");
    EXPECT_EQ(0u, unpacked()) << read("sweep.log");
}

}  // namespace
