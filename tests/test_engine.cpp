// The simulation engine: calling order, solvers, built-in blocks and the
// checks made before a run.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/controller.hpp"
#include "host/sim/engine.hpp"
#include "host/sim/sfunction_node.hpp"
#include "engine_fixture.hpp"
#include "host/model/model_file.hpp"

namespace {

using namespace testing_engine;

std::string build_error(const std::string& text) {
    try {
        host::Simulation simulation(model(text));
    } catch (const std::exception& error) {
        return error.what();
    }
    ADD_FAILURE() << "expected the model to be refused";
    return {};
}

struct Call {
    std::string block;
    host::Method flag;
    double time;
    bool major;
    bool operator==(const Call& other) const {
        return block == other.block && flag == other.flag && time == other.time && major == other.major;
    }
};

std::ostream& operator<<(std::ostream& out, const Call& call) {
    return out << call.block << ' ' << host::method_name(call.flag) << " t=" << call.time
               << (call.major ? " major" : " minor");
}

std::vector<Call> record_calls(const std::string& method) {
    host::Simulation simulation(model(calling_sequence_model("{method: " + method + ", step: 0.5, stop: 0.5}")));
    std::vector<Call> calls;
    simulation.set_observer([&](const host::Node& node, host::Method flag, double t, bool major, bool after) {
        if (!after && (node.name() == "ctrl" || node.name() == "relay")) calls.push_back({node.name(), flag, t, major});
    });
    run(simulation);
    return calls;
}

TEST(Engine, CallingSequenceUnderOde1) {
    const std::vector<Call> expected = {
        {"ctrl", host::Method::start, 0, true},
        {"relay", host::Method::start, 0, true},
        {"ctrl", host::Method::initialize_conditions, 0, true},
        {"relay", host::Method::initialize_conditions, 0, true},
        {"ctrl", host::Method::outputs, 0, true},
        {"relay", host::Method::outputs, 0, true},
        {"ctrl", host::Method::update, 0, true},
        {"relay", host::Method::update, 0, true},
        {"ctrl", host::Method::derivatives, 0, true},
        {"relay", host::Method::derivatives, 0, true},
        {"ctrl", host::Method::outputs, 0.5, true},
        {"relay", host::Method::outputs, 0.5, true},
        {"ctrl", host::Method::terminate, 0.5, true},
        {"relay", host::Method::terminate, 0.5, true},
    };
    EXPECT_EQ(expected, record_calls("ode1"));
}

TEST(Engine, CallingSequenceUnderOde4HasMinorStagesWithoutUpdates) {
    const auto calls = record_calls("ode4");
    std::vector<Call> step;  // the calls of the one step, from t = 0 to the outputs at 0.5
    for (const auto& call : calls)
        if (call.flag != host::Method::start && call.flag != host::Method::initialize_conditions &&
            call.flag != host::Method::terminate)
            step.push_back(call);
    std::vector<Call> expected = {
        {"ctrl", host::Method::outputs, 0, true},       {"relay", host::Method::outputs, 0, true},
        {"ctrl", host::Method::update, 0, true},        {"relay", host::Method::update, 0, true},
        {"ctrl", host::Method::derivatives, 0, true},   {"relay", host::Method::derivatives, 0, true},
    };
    for (double t : {0.25, 0.25, 0.5}) {
        expected.push_back({"ctrl", host::Method::outputs, t, false});
        expected.push_back({"relay", host::Method::outputs, t, false});
        expected.push_back({"ctrl", host::Method::derivatives, t, false});
        expected.push_back({"relay", host::Method::derivatives, t, false});
    }
    expected.push_back({"ctrl", host::Method::outputs, 0.5, true});
    expected.push_back({"relay", host::Method::outputs, 0.5, true});
    EXPECT_EQ(expected, step);
}

TEST(Engine, RelayOutputSwitchesInMinorStagesWhileItsMemoryWaitsForTheUpdate) {
    // An integrator ramps the relay's input through the upper threshold within one step.
    host::Simulation simulation(model(R"(
solver: {method: ode4, step: 1, stop: 1}
blocks:
  one:   {type: Constant, value: 1}
  ramp:  {type: Integrator, initial: 0}
  relay: {sfunction: quorvel, parameters: [0.6, 0.2]}
connections:
  - one.0 -> ramp.0
  - ramp.0 -> relay.0
log:
  signals: [ramp.0, relay.0]
)"));
    std::vector<double> stage_outputs;  // what each minor-stage output call gave, read right after it
    int updates = 0;
    simulation.set_observer([&](const host::Node& node, host::Method flag, double, bool major, bool after) {
        if (node.name() != "relay" || !after) return;
        if (flag == host::Method::update) ++updates;
        if (flag == host::Method::outputs && !major)
            stage_outputs.push_back(*static_cast<const std::int32_t*>(node.output_signal(0)));
    });
    const Rows rows = run(simulation);
    // Stages at t = 0.5, 0.5 and 1 see inputs 0.5, 0.5 and 1: the last one is
    // above the threshold and switches although no update ran since t = 0.
    EXPECT_EQ((std::vector<double>{0, 0, 1}), stage_outputs);
    EXPECT_EQ(1, updates);
    EXPECT_EQ((std::vector<double>{0, 0}), rows.values[0]);
    EXPECT_NEAR(1.0, rows.values[1][0], 1e-15);
    EXPECT_EQ(1.0, rows.values[1][1]);
}

TEST(Engine, ControllerOutputsUnderOde4LagOneEvaluation) {
    host::Simulation simulation(model(R"(
solver: {method: ode4, step: 0.1, stop: 1}
blocks:
  u:    {type: Constant, value: [20000000, 0.4, 0.8]}
  ctrl: {sfunction: Brisquel}
connections:
  - u.0 -> ctrl.0
log:
  signals: [ctrl.0]
)"));
    // Every call the engine makes on the controller, with the states it hands
    // over and the outputs it gets back, minor stages included.
    struct ControllerCall {
        host::Method method;
        std::array<double, 2> x;
        std::vector<double> y;
    };
    std::vector<ControllerCall> calls;
    simulation.set_observer([&](const host::Node& node, host::Method method, double, bool, bool after) {
        if (node.name() != "ctrl" || (method != host::Method::outputs && method != host::Method::derivatives)) return;
        auto& instance = dynamic_cast<const host::SFunctionNode&>(node).instance();
        if (!after) {
            calls.push_back({method, {instance.cont_states()[0], instance.cont_states()[1]}, {}});
        } else if (method == host::Method::outputs) {
            const double* y = instance.output_doubles(0);
            calls.back().y.assign(y, y + 6);
        }
    });
    const Rows rows = run(simulation);
    ASSERT_EQ(11u, rows.times.size());
    ASSERT_EQ(10u * 4 * 2 + 1, calls.size());  // 4 stages of outputs and derivatives a step, and the last outputs

    // The same calls on the controller model directly give the same outputs:
    // each hands out what the evaluation before it staged.
    blocks::ControlRecord record{};
    std::array<double, 2> x0{};
    blocks::initialize_controller(record, x0.data());
    EXPECT_EQ(x0, calls.front().x);
    const double u[3] = {20000000, 0.4, 0.8};
    std::size_t logged = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        double y[6], dx[2];
        if (calls[i].method == host::Method::derivatives) {
            blocks::controller_derivatives(record, calls[i].x.data(), u, dx);
            continue;
        }
        blocks::controller_outputs(record, calls[i].x.data(), u, y);
        EXPECT_EQ(std::vector<double>(y, y + 6), calls[i].y) << "call " << i;
        if (i % 8 == 0) {  // a major step: the row logged
            EXPECT_EQ(calls[i].y, rows.values[logged]) << "row " << logged;
            ++logged;
        }
    }
    EXPECT_EQ(rows.times.size(), logged);
}

TEST(Engine, Ode4IntegratesACubicExactly) {
    // x' = t^2 / 2 (two integrators of the clock and a gain): x(t) = t^3 / 6,
    // which fourth-order Runge-Kutta reproduces to rounding.
    host::Simulation simulation(model(R"(
solver: {method: ode4, step: 0.25, stop: 2}
blocks:
  clock: {type: Clock}
  square: {type: Product, inputs: 2}
  half: {type: Gain, gain: 0.5}
  x: {type: Integrator, initial: 1}
connections:
  - clock.0 -> square.0, square.1
  - square.0 -> half.0
  - half.0 -> x.0
log:
  signals: [x.0]
)"));
    const Rows rows = run(simulation);
    ASSERT_EQ(9u, rows.times.size());
    for (std::size_t i = 0; i < rows.times.size(); ++i) {
        const double t = rows.times[i];
        EXPECT_NEAR(1 + t * t * t / 6, rows.values[i][0], 1e-12) << t;
    }
}

TEST(Engine, Ode1AndLagAgainstTheirClosedForm) {
    host::Simulation simulation(model(R"(
solver: {method: ode1, step: 0.1, stop: 1}
blocks:
  one: {type: Step, time: 0, before: 0, after: 1}
  lag: {type: Lag, time_constant: 0.5, initial: 0}
connections:
  - one.0 -> lag.0
log:
  signals: [lag.0]
)"));
    const Rows rows = run(simulation);
    // Euler: x_{n+1} = x_n + 0.2 (1 - x_n), x_n = 1 - 0.8^n
    for (std::size_t n = 0; n < rows.times.size(); ++n)
        EXPECT_NEAR(1 - std::pow(0.8, static_cast<double>(n)), rows.values[n][0], 1e-12) << n;
}

TEST(Engine, BuiltinSignalBlocks) {
    host::Simulation simulation(model(R"(
solver: {method: ode1, step: 1, stop: 2}
blocks:
  clock: {type: Clock}
  ramp: {type: Ramp, slope: 2, start: 1, initial: 5}
  sine: {type: Sine, amplitude: 2, frequency: 0.5, phase: 0.25, bias: 1}
  vec: {type: Constant, value: [1, 2, 3]}
  mux: {type: Mux, inputs: 3}
  pick: {type: Selector, elements: [3, 0, 4]}
  diff: {type: Sum, signs: "+-"}
  scale: {type: Gain, gain: [1, 10, 100]}
connections:
  - clock.0 -> mux.0
  - vec.0 -> mux.1, diff.0
  - ramp.0 -> mux.2
  - mux.0 -> pick.0
  - sine.0 -> diff.1
  - pick.0 -> scale.0
log:
  signals: [mux.0, diff.0, scale.0, sine.0]
)"));
    const Rows rows = run(simulation);
    for (std::size_t n = 0; n < 3; ++n) {
        const double t = static_cast<double>(n);
        const double ramp = 5 + 2 * std::max(0.0, t - 1);
        const double sine = 1 + 2 * std::sin(0.5 * t + 0.25);
        const std::vector<double> expected = {t, 1, 2, 3, ramp,       // mux
                                              1 - sine, 2 - sine, 3 - sine,  // diff: scalar expanded
                                              3, 10 * t, 100 * ramp,   // selector [3, 0, 4] then gains
                                              sine};
        ASSERT_EQ(expected.size(), rows.values[n].size());
        for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(expected[i], rows.values[n][i]) << n << ' ' << i;
    }
    EXPECT_EQ((std::vector<std::string>{"mux.0[0]", "mux.0[1]", "mux.0[2]", "mux.0[3]", "mux.0[4]", "diff.0[0]",
                                        "diff.0[1]", "diff.0[2]", "scale.0[0]", "scale.0[1]", "scale.0[2]",
                                        "sine.0[0]"}),
              simulation.column_names());
}

TEST(Engine, ChecksBeforeTheRun) {
    EXPECT_EQ("test.yaml:7: algebraic loop: a -> b -> a, through a.0 -> b.0 (line 7), b.0 -> a.0 (line 9); every "
              "block on it feeds its input straight through to its output",
              build_error(R"(
blocks:
  a: {type: Gain, gain: 2}
  b: {type: Sum, signs: "++"}
  c: {type: Constant, value: 1}
connections:
  - a.0 -> b.0
  - c.0 -> b.1
  - b.0 -> a.0
)"));
    EXPECT_EQ("test.yaml:8: block 'fan' (S-function 'blower') input port 0 has width 3, but the signal connected to "
              "it has width 1",
              build_error(R"(
blocks:
  one: {type: Constant, value: 1}
  fan: {sfunction: blower, parameters: [0.7, [2, 0.5, 0.1], 0.0698]}
  outlet: {type: Constant, value: [150000, 0, 0]}
connections:
  - outlet.0 -> fan.1
  - one.0 -> fan.0, fan.2
)"));
    EXPECT_EQ("test.yaml:8: block 'double' (Gain) input port 0 takes double, but the signal connected to it is "
              "int32 (id 10)",
              build_error(R"(
blocks:
  u: {type: Constant, value: 1}
  flag: {sfunction: quorvel, parameters: [1, 0]}
  double: {type: Gain, gain: 2}
connections:
  - u.0 -> flag.0
  - flag.0 -> double.0
)"));
    EXPECT_EQ("test.yaml:4: input fan.2 of block 'fan' (S-function 'blower') is not connected", build_error(R"(
blocks:
  inlet: {type: Constant, value: [100000, 300, 0]}
  fan: {sfunction: blower, parameters: [0.7, [2, 0.5, 0.1], 0.0698]}
connections:
  - inlet.0 -> fan.0, fan.1
)"));
    EXPECT_EQ("test.yaml:7: block 'fan' (S-function 'blower') has no input port 3; it has 3 input ports", build_error(R"(
blocks:
  inlet: {type: Constant, value: [100000, 300, 0]}
  fan: {sfunction: blower, parameters: [0.7, [2, 0.5, 0.1], 0.0698]}
connections:
  - inlet.0 -> fan.0, fan.1, fan.2
  - inlet.0 -> fan.3
)"));
    EXPECT_EQ("test.yaml:7: input g.0 is already driven (line 6)", build_error(R"(
blocks:
  a: {type: Constant, value: 1}
  g: {type: Gain, gain: 1}
connections:
  - a.0 -> g.0
  - a.0 -> g.0
)"));
    EXPECT_EQ("test.yaml:5: no block named 'nobody'", build_error(R"(
blocks:
  g: {type: Gain, gain: 1}
connections:
  - nobody.0 -> g.0
)"));
    EXPECT_EQ("test.yaml:6: no block named 'rely' (did you mean 'relay'?)", build_error(R"(
blocks:
  g: {type: Gain, gain: 1}
  relay: {type: Gain, gain: 1}
connections:
  - g.0 -> rely.0
)"));
}

TEST(Engine, EveryBlockIsTerminatedAfterAFailure) {
    host::Simulation simulation(model(R"(
solver: {method: ode1, step: 0.1, stop: 1}
blocks:
  clock: {type: Clock}
  failing: {sfunction: failer, parameters: [0.35]}
  ctrl_in: {type: Constant, value: [1, 2, 3]}
  ctrl: {sfunction: Brisquel}
connections:
  - clock.0 -> failing.0
  - ctrl_in.0 -> ctrl.0
log:
  signals: [failing.0]
)"));
    std::vector<std::string> terminated;
    simulation.set_observer([&](const host::Node& node, host::Method flag, double, bool, bool after) {
        if (flag == host::Method::terminate && !after) terminated.push_back(node.name());
    });
    std::vector<double> logged;
    try {
        simulation.run([&](double t, const std::vector<double>&) { logged.push_back(t); });
        FAIL() << "expected the block to fail";
    } catch (const host::BlockError& error) {
        EXPECT_EQ("failing", error.block());
        EXPECT_EQ("failer", error.sfunction());
        EXPECT_EQ("simulated failure", error.message());
        ASSERT_TRUE(error.time().has_value());
        EXPECT_NEAR(0.4, *error.time(), 1e-12);
    }
    EXPECT_EQ(4u, logged.size());  // t = 0, 0.1, 0.2, 0.3
    EXPECT_NEAR(0.3, simulation.time(), 1e-12);
    EXPECT_EQ(simulation.execution_order(), terminated);
    EXPECT_EQ(4u, terminated.size());
}

}  // namespace

namespace {

using namespace testing_engine;

TEST(Engine, AStepSwitchesAtAMajorStepSoNoEarlierStageSeesIt) {
    // Under ode4 a Lag fed by a Step at t = 1 reads exactly 0 at t = 1 and
    // then follows 1 - exp(-(t - 1) / tau) as closely as ode4 does.
    host::Simulation simulation(model(R"(
solver: {method: ode4, step: 0.1, stop: 2}
blocks:
  step: {type: Step, time: 1}
  lag:  {type: Lag, time_constant: 0.5}
connections:
  - step.0 -> lag.0
log:
  signals: [step.0, lag.0]
)"));
    const Rows rows = run(simulation);
    ASSERT_EQ(21u, rows.times.size());
    for (std::size_t n = 0; n <= 10; ++n) {
        EXPECT_EQ(0.0, rows.values[n][1]) << "t = " << rows.times[n];
        EXPECT_EQ(n == 10 ? 1.0 : 0.0, rows.values[n][0]) << "t = " << rows.times[n];
    }
    for (std::size_t n = 11; n < rows.times.size(); ++n)
        EXPECT_NEAR(1 - std::exp(-(rows.times[n] - 1) / 0.5), rows.values[n][1], 1e-5) << rows.times[n];
}

TEST(Engine, AStopTimeOffTheGridEndsWithAShorterStep) {
    host::Simulation simulation(model(R"(
solver: {method: ode4, step: 1, stop: 5.5}
blocks:
  one: {type: Constant, value: 1}
  x: {type: Integrator}
connections:
  - one.0 -> x.0
log:
  signals: [x.0]
)"));
    EXPECT_EQ(6, simulation.steps());
    EXPECT_EQ(0.5, simulation.last_step());
    const Rows rows = run(simulation);
    EXPECT_EQ((std::vector<double>{0, 1, 2, 3, 4, 5, 5.5}), rows.times);
    EXPECT_DOUBLE_EQ(5.5, rows.values.back()[0]);
    EXPECT_EQ(5.5, simulation.time());
}

TEST(Engine, WithoutALogSectionEveryOutputIsLoggedAPanelPerBlock) {
    host::Simulation simulation(model(R"(
blocks:
  clock: {type: Clock}
  pair: {type: Mux}
  relay: {sfunction: quorvel, parameters: [0.5, 0.2]}
connections:
  - clock.0 -> pair.0, pair.1, relay.0
)"));
    EXPECT_EQ((std::vector<std::string>{"clock.0[0]", "pair.0[0]", "pair.0[1]", "relay.0[0]"}),
              simulation.column_names());
    ASSERT_EQ(3u, simulation.groups().size());
    EXPECT_EQ("pair", simulation.groups()[1].name);
    EXPECT_EQ((std::vector<int>{1, 2}), simulation.groups()[1].columns);
}

TEST(Engine, ALogGroupMayPlotOverASignalLoggedOnce) {
    host::Simulation simulation(model(R"(
blocks:
  clock: {type: Clock}
  twice: {type: Gain, gain: 2}
connections:
  - clock.0 -> twice.0
log:
  groups:
    "over time": [twice.0, clock.0]
    "over the clock": {x: clock.0, signals: [twice.0], x_range: [0, 0.5]}
)"));
    EXPECT_EQ((std::vector<std::string>{"twice.0[0]", "clock.0[0]"}), simulation.column_names());
    const auto& over_clock = simulation.groups()[1];
    EXPECT_EQ(1, over_clock.x_column);
    EXPECT_EQ((std::vector<int>{0}), over_clock.columns);
    EXPECT_EQ(std::make_pair(0.0, 0.5), *over_clock.x_range);
}

TEST(Engine, PlotKeysAreLabelsOrTheShortestNameAndAxesCarryUnits) {
    host::Simulation simulation(model(R"(
blocks:
  clock: {type: Clock}
  pair: {type: Mux}
  fan: {sfunction: blower, parameters: [0.7, [2, 0.5, 0.1], 0.0698]}
  inlet: {type: Constant, value: [100000, 300, 0]}
  outlet: {type: Constant, value: [150000, 0, 0]}
connections:
  - clock.0 -> pair.0, pair.1, fan.2
  - inlet.0 -> fan.0
  - outlet.0 -> fan.1
log:
  groups:
    defaults: [clock.0, pair.0, fan.2, "fan.0[1]"]
    power: {label: shaft power, unit: W, signals: [{signal: fan.2, label: fan}]}
    shared: [{signal: "fan.0[0]", label: mass flow, unit: kg/s}, {signal: "fan.1[0]", unit: kg/s}]
    labelled: [{signal: pair.0, label: time}]
  signals: [{signal: "fan.0[1]", label: enthalpy flow, unit: W}]
)"));
    const auto& groups = simulation.groups();
    ASSERT_EQ(5u, groups.size());
    // clock.0[0] of a one-port block is "clock"; fan.2[0] of width 1 is "fan.2".
    EXPECT_EQ((std::vector<std::string>{"clock", "pair.0[0]", "pair.0[1]", "fan.2", "fan.0[1]"}), groups[0].keys);
    EXPECT_EQ("", groups[0].y_label);
    EXPECT_EQ("t [s]", groups[0].x_label);
    EXPECT_EQ((std::vector<std::string>{"fan"}), groups[1].keys);
    EXPECT_EQ("shaft power [W]", groups[1].y_label);
    EXPECT_EQ((std::vector<std::string>{"mass flow [kg/s]", "fan.1[0] [kg/s]"}), groups[2].keys);
    EXPECT_EQ("[kg/s]", groups[2].y_label) << "signals that share a unit give it to the axis";
    EXPECT_EQ((std::vector<std::string>{"time[0]", "time[1]"}), groups[3].keys);
    EXPECT_EQ("enthalpy flow", groups[4].name);
    EXPECT_EQ((std::vector<std::string>{"enthalpy flow [W]"}), groups[4].keys);
    // The CSV's columns keep their names, whatever the labels.
    EXPECT_EQ((std::vector<std::string>{"clock.0[0]", "pair.0[0]", "pair.0[1]", "fan.2[0]", "fan.0[1]", "fan.0[0]",
                                        "fan.1[0]"}),
              simulation.column_names());
    try {
        model("blocks:\n  c: {type: Clock}\nlog:\n  signals: [{label: clock}]\n");
        ADD_FAILURE() << "a signal map without its signal";
    } catch (const host::HostError& error) {
        EXPECT_EQ("test.yaml:4: a logged signal's map needs 'signal', as {signal: fan.2, label: power}",
                  std::string(error.what()));
    }
}

TEST(Engine, ConvertTurnsAnInt32SignalIntoDoublesAndBack) {
    host::Simulation simulation(model(R"(
solver: {method: ode1, step: 1, stop: 3}
blocks:
  u: {type: Table, file: convert_inputs.csv}
  flag: {sfunction: quorvel, parameters: [2, 1]}
  as_double: {type: Convert}
  scaled: {type: Gain, gain: [2.5, -3e9, 0.5]}
  back: {type: Convert, to: int32}
  mux: {type: Mux, inputs: 3}
connections:
  - u.0 -> flag.0
  - flag.0 -> as_double.0
  - as_double.0 -> mux.0, mux.1, mux.2
  - mux.0 -> scaled.0
  - scaled.0 -> back.0
log:
  signals: [as_double.0, back.0]
)",
                                      TEST_DATA_DIR));
    const Rows rows = run(simulation);
    // u = 3, 0, 3, 3: the flag is 1, 0, 1, 1.
    EXPECT_EQ((std::vector<double>{1, 3, -2147483648.0, 1}), rows.values[0]);  // 2.5 rounds away from 0
    EXPECT_EQ((std::vector<double>{0, 0, 0, 0}), rows.values[1]);
}

TEST(Engine, AStopRequestEndsTheRunAfterTheStepWithEveryBlockTerminated) {
    host::Simulation simulation(model(R"(
solver: {method: ode4, step: 0.1, stop: 100}
blocks:
  clock: {type: Clock}
  ctrl_in: {type: Constant, value: [20000000, 0.4, 0.8]}
  ctrl: {sfunction: Brisquel}
connections:
  - ctrl_in.0 -> ctrl.0
log:
  signals: [clock.0]
)"));
    std::atomic<bool> stop{false};
    simulation.set_stop_request(&stop);
    int terminated = 0;
    simulation.set_observer([&](const host::Node&, host::Method method, double, bool, bool after) {
        if (method == host::Method::terminate && after) ++terminated;
    });
    std::vector<double> logged;
    try {
        simulation.run([&](double t, const std::vector<double>&) {
            logged.push_back(t);
            if (logged.size() == 5) stop = true;
        });
        FAIL() << "expected the run to stop";
    } catch (const host::RunStopped& stopped) {
        EXPECT_NEAR(0.4, stopped.time(), 1e-12);
    }
    EXPECT_EQ(5u, logged.size());
    EXPECT_EQ(3, terminated);
}

}  // namespace

TEST(Engine, AnObservedRunSeesEveryBlockAndLogsWhatAnUnobservedRunLogs) {
    // Without an observer the engine skips the blocks whose outputs are set
    // once (Constant); the results must not depend on it, and an observer
    // still sees every block called at every stage.
    const std::string text = R"(
solver: {method: ode4, step: 0.01, stop: 0.5}
blocks:
  ambient: {type: Constant, value: 100000}
  level:   {type: Lag, time_constant: 0.2, initial: 0.1}
  gain:    {type: Gain, gain: 200000}
  outlet_p: {type: Sum, signs: "++"}
  rest:    {type: Constant, value: [0, 0]}
  outlet:  {type: Mux, inputs: 2}
  inlet:   {type: Constant, value: [100000, 300, 0]}
  drive:   {type: Constant, value: 1}
  fan:     {sfunction: blower, parameters: [0.7, [2, 0.5, 0.1], 0.0698]}
  one:     {type: Constant, value: 1}
connections:
  - one.0 -> level.0
  - level.0 -> gain.0
  - gain.0 -> outlet_p.0
  - ambient.0 -> outlet_p.1
  - outlet_p.0 -> outlet.0
  - rest.0 -> outlet.1
  - inlet.0 -> fan.0
  - outlet.0 -> fan.1
  - drive.0 -> fan.2
log:
  signals: [level.0, outlet_p.0, "fan.0[0]", fan.2]
)";
    host::Simulation unobserved(model(text));
    const Rows plain = run(unobserved);

    host::Simulation observed(model(text));
    std::map<std::string, int> output_calls;
    observed.set_observer([&](const host::Node& node, host::Method method, double, bool, bool after) {
        if (!after && method == host::Method::outputs) ++output_calls[node.name()];
    });
    const Rows seen = run(observed);

    ASSERT_EQ(51u, plain.times.size());
    EXPECT_EQ(plain.times, seen.times);
    EXPECT_EQ(plain.values, seen.values);
    // 50 steps of four stages and the final major step.
    for (const char* name : {"ambient", "rest", "inlet", "drive", "one", "gain", "fan"})
        EXPECT_EQ(201, output_calls[name]) << name;
    // The pressure climbs from 120 kPa towards 300 kPa, so the blower's
    // power changes from row to row: the held blocks did feed the others.
    EXPECT_NE(plain.values[1][3], plain.values[50][3]);
    EXPECT_DOUBLE_EQ(120000.0, plain.values[0][1]);
}
