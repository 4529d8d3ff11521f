// Model steps per second of the engine demo, and the share of time spent
// inside block methods.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>
#include <fstream>
#include <map>
#include <string>
#include <sstream>

#include "host/sim/engine.hpp"
#include "core/gas_properties.hpp"
#include "host/model/model_file.hpp"

namespace {

host::ModelSpec example_model(const char* file, double stop, bool logging) {
    host::ModelSpec spec = host::read_model_file(file);
    spec.search_path = {BLOCKS_LIBRARY_DIR};
    spec.solver.stop = stop;
    if (!logging) spec.log.clear();
    return spec;
}

host::ModelSpec engine_demo(double stop, bool logging = false) { return example_model(ENGINE_DEMO_MODEL, stop, logging); }

// ode4 steps of the engine demo, logging off.
void engine_demo_steps(benchmark::State& state) {
    const double stop = 10.0;
    long long steps = 0;
    for (auto _ : state) {
        host::Simulation simulation(engine_demo(stop));
        simulation.run({});
        steps += simulation.steps();
    }
    state.counters["steps_per_s"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
}
BENCHMARK(engine_demo_steps)->Unit(benchmark::kMillisecond);

// The same run with each block method timed: the share of the run spent in
// block methods (S-functions and built-ins) rather than in the engine. The
// clock reads around each call count as the engine's.
void engine_demo_time_in_blocks(benchmark::State& state) {
    using clock = std::chrono::steady_clock;
    double in_blocks = 0.0, total = 0.0;
    for (auto _ : state) {
        host::Simulation simulation(engine_demo(2.0));
        clock::time_point call_started{};
        simulation.set_observer([&](const host::Node&, host::Method, double, bool, bool after) {
            if (!after) {
                call_started = clock::now();
            } else {
                in_blocks += std::chrono::duration<double>(clock::now() - call_started).count();
            }
        });
        const auto started = clock::now();
        simulation.run({});
        total += std::chrono::duration<double>(clock::now() - started).count();
    }
    state.counters["share_in_block_methods"] = in_blocks / total;
}
BENCHMARK(engine_demo_time_in_blocks)->Unit(benchmark::kMillisecond)->Iterations(5);

// The whole demo as a user runs it, under ode45 (rtol 1e-6) against ode4 at
// 1 ms, both logging the model's rows (log: every: 10, under ode45 an
// interval of 10 ms): steps, evaluations of the derivatives, seconds, and
// the largest difference of the logged continuous signals (those taking more
// than two values), relative to the signal's largest magnitude.
void engine_demo_ode45_against_ode4(benchmark::State& state) {
    struct Result {
        std::vector<std::vector<double>> rows;
        long long steps = 0, evaluations = 0;
        double seconds = 0;
    };
    auto run = [](host::SolverMethod method) {
        host::ModelSpec spec = engine_demo(60.0, true);
        spec.solver.method = method;
        spec.solver.rtol = 1e-6;
        Result result;
        host::Simulation simulation(std::move(spec));
        const auto started = std::chrono::steady_clock::now();
        simulation.run([&](double, const std::vector<double>& row) { result.rows.push_back(row); });
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        result.steps = simulation.steps_taken();
        result.evaluations = simulation.rhs_evaluations();
        return result;
    };
    Result fixed, variable;
    for (auto _ : state) {
        fixed = run(host::SolverMethod::ode4);
        variable = run(host::SolverMethod::ode45);
    }
    // Each continuous signal's largest difference relative to its largest
    // magnitude, and where; the label lists them, largest first.
    double largest = 0.0;
    std::vector<std::pair<double, std::string>> per_signal;
    const auto names = host::Simulation(engine_demo(60.0, true)).column_names();
    for (std::size_t column = 0; !fixed.rows.empty() && column < fixed.rows[0].size(); ++column) {
        std::vector<double> values;
        double magnitude = 0.0;
        for (const auto& row : fixed.rows) {
            if (std::find(values.begin(), values.end(), row[column]) == values.end() && values.size() < 3)
                values.push_back(row[column]);
            magnitude = std::max(magnitude, std::fabs(row[column]));
        }
        if (values.size() <= 2) continue;  // a relay, a flag, a constant
        double column_largest = 0.0;
        std::size_t at = 0;
        for (std::size_t i = 0; i < std::min(fixed.rows.size(), variable.rows.size()); ++i) {
            const double difference = std::fabs(fixed.rows[i][column] - variable.rows[i][column]) / magnitude;
            if (difference > column_largest) column_largest = difference, at = i;
        }
        largest = std::max(largest, column_largest);
        char text[160];
        std::snprintf(text, sizeof text, "%s %.2g at t = %.2f s", names[column].c_str(), column_largest,
                      0.01 * static_cast<double>(at));
        per_signal.emplace_back(column_largest, text);
    }
    std::sort(per_signal.rbegin(), per_signal.rend());
    std::string label;
    for (const auto& [difference, text] : per_signal) label += (label.empty() ? "" : "; ") + text;
    state.SetLabel(label);
    state.counters["ode4_steps"] = static_cast<double>(fixed.steps);
    state.counters["ode4_rhs_evals"] = static_cast<double>(4 * fixed.steps);
    state.counters["ode4_s"] = fixed.seconds;
    state.counters["ode45_steps"] = static_cast<double>(variable.steps);
    state.counters["ode45_rhs_evals"] = static_cast<double>(variable.evaluations);
    state.counters["ode45_s"] = variable.seconds;
    state.counters["largest_relative_difference"] = largest;
    state.counters["rows_compared"] = static_cast<double>(std::min(fixed.rows.size(), variable.rows.size()));
}
BENCHMARK(engine_demo_ode45_against_ode4)->Unit(benchmark::kMillisecond)->Iterations(1);

// One hour of engine time at 0.1 degree of crank angle (engine_hour.yaml:
// 105 rpm, the blower running throughout, 22.68 M ode4 steps, logged every
// 1000th) extrapolated from its first 1/100, logged as the model says. An
// engine step is also given in evaluations of the gas-property model, timed
// in the same run at the states the blower sees, so that the figure
// compares across machines.
void engine_hour(benchmark::State& state) {
    constexpr double hour = 3600.0, share = 0.01;
    const host::ModelSpec spec = example_model(ENGINE_HOUR_MODEL, hour * share, true);
    double seconds = 0.0;
    long long steps = 0, rows = 0;
    for (auto _ : state) {
        host::Simulation simulation(spec);
        const auto started = std::chrono::steady_clock::now();
        simulation.run([&](double, const std::vector<double>&) { ++rows; });
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        steps += simulation.steps();
    }
    constexpr int evaluations = 2000000;
    blocks::GasProperties out{};
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < evaluations; ++i) {
        blocks::combustion_gas_properties(100000.0 + (i % 1000), 300.0 + (i % 200), 0.0, out);
        benchmark::DoNotOptimize(out);
    }
    const double per_evaluation = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() /
                                  evaluations;
    const double per_step = seconds / static_cast<double>(steps);
    state.counters["hour_s"] = per_step * hour / spec.solver.step;
    state.counters["steps_per_s"] = 1.0 / per_step;
    state.counters["step_in_gas_evaluations"] = per_step / per_evaluation;
    state.counters["rows"] = static_cast<double>(rows) / static_cast<double>(state.iterations());
}
BENCHMARK(engine_hour)->Unit(benchmark::kMillisecond)->Iterations(3);

// A model of 100 000 blocks (a Constant and a chain of Gains) read from its
// text and set up: the reader and the engine's checks must stay linear in
// the size of a model.
void large_model_set_up(benchmark::State& state) {
    constexpr int blocks = 100000;
    std::string text = "solver: {step: 0.1, stop: 0.1}\nblocks:\n  b0: {type: Constant, value: 1}\n";
    for (int i = 1; i < blocks; ++i) text += "  b" + std::to_string(i) + ": {type: Gain, gain: 1}\n";
    text += "connections:\n";
    for (int i = 1; i < blocks; ++i) text += "  - b" + std::to_string(i - 1) + ".0 -> b" + std::to_string(i) + ".0\n";
    for (auto _ : state) {
        host::Simulation simulation(host::read_model_text(text, "large.yaml", "."));
        benchmark::DoNotOptimize(simulation);
    }
    state.counters["blocks"] = blocks;
}
BENCHMARK(large_model_set_up)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
