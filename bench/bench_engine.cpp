// Model steps per second of the engine demo, and the share of time spent
// inside block methods.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>

#include "host/sim/engine.hpp"
#include "host/model/model_file.hpp"

namespace {

host::ModelSpec engine_demo(double stop) {
    std::ifstream in(ENGINE_DEMO_MODEL);
    std::stringstream text;
    text << in.rdbuf();
    host::ModelSpec spec = host::read_model_text(text.str(), ENGINE_DEMO_MODEL, ".");
    spec.search_path = {BLOCKS_LIBRARY_DIR};
    spec.solver.stop = stop;
    spec.log.clear();  // logging off
    return spec;
}

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

}  // namespace

BENCHMARK_MAIN();
