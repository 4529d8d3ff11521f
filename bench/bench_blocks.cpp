// Cost per call of the models and of one block evaluation through the host.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <memory>

#include "host/sfunction/instance.hpp"
#include "core/blower_outputs.hpp"
#include "core/gas_properties.hpp"
#include "host/sfunction/library.hpp"
#include "straightforward.hpp"

namespace {

void combustion_gas_properties(benchmark::State& state) {
    blocks::GasProperties out{};
    double T = 350.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(T);
        blocks::combustion_gas_properties(100000.0, T, 1.0, out);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(combustion_gas_properties);

void blower_outputs(benchmark::State& state) {
    std::array<double, 3> inlet{100000, 350, 1}, outlet{150000, 0, 0}, inlet_flow{}, outlet_flow{};
    double drive = 1.0, power = 0.0;
    const double eta[] = {0.7}, characteristic[] = {2, 0.5, 0.1}, sigma[] = {0.0698};
    for (auto _ : state) {
        benchmark::DoNotOptimize(inlet);
        blocks::blower_outputs(inlet.data(), outlet.data(), &drive, inlet_flow.data(), outlet_flow.data(), &power,
                               eta, 1, characteristic, 3, sigma, 1);
        benchmark::DoNotOptimize(power);
    }
}
BENCHMARK(blower_outputs);

// mdlOutputs of a loaded blower.mexa64: SimStruct, glue dispatch and method.
void blower_block_outputs(benchmark::State& state) {
    std::vector<host::ArrayPtr> parameters;
    parameters.push_back(host::make_double({0.7}));
    parameters.push_back(host::make_double({2, 0.5, 0.1}));
    parameters.push_back(host::make_double({0.0698}));
    host::SFunctionInstance block("blower", host::Library::load("blower", {BLOCKS_LIBRARY_DIR}), std::move(parameters));
    block.prepare();
    double* inlet = block.input_buffer(0);
    inlet[0] = 100000;
    inlet[1] = 350;
    inlet[2] = 1;
    block.input_buffer(1)[0] = 150000;
    block.input_buffer(2)[0] = 1;
    for (auto _ : state) {
        block.outputs(0.0);
        benchmark::DoNotOptimize(block.output_doubles(2)[0]);
    }
}
BENCHMARK(blower_block_outputs);

// A routine's time over that of the straightforward evaluation, both timed
// in alternating rounds of the same run over the same varying states, so
// that the ratio compares across machines.
template <typename Ours, typename Reference>
void ratio_to_straightforward(benchmark::State& state, Ours&& ours, Reference&& reference) {
    using clock = std::chrono::steady_clock;
    constexpr int round = 20000;
    double ours_seconds = 0, reference_seconds = 0;
    for (auto _ : state) {
        for (int pass = 0; pass < 2; ++pass) {
            const auto started = clock::now();
            for (int i = 0; i < round; ++i) pass == 0 ? ours(i) : reference(i);
            (pass == 0 ? ours_seconds : reference_seconds) += std::chrono::duration<double>(clock::now() - started).count();
        }
    }
    state.counters["ratio"] = ours_seconds / reference_seconds;
    state.counters["ns_ours"] = 1e9 * ours_seconds / (round * static_cast<double>(state.iterations()));
    state.counters["ns_straightforward"] = 1e9 * reference_seconds / (round * static_cast<double>(state.iterations()));
}

// Inlet temperatures 300..400 K and compositions 0..1, the blower at work.
double temperature_of(int i) { return 300.0 + 0.005 * (i % 20000); }
double composition_of(int i) { return 0.001 * (i % 1000); }

void gas_properties_against_straightforward(benchmark::State& state) {
    blocks::GasProperties out{};
    ratio_to_straightforward(
        state,
        [&](int i) {
            blocks::combustion_gas_properties(100000.0, temperature_of(i), composition_of(i), out);
            benchmark::DoNotOptimize(out);
        },
        [&](int i) {
            straightforward::gas_properties(100000.0, temperature_of(i), composition_of(i), out);
            benchmark::DoNotOptimize(out);
        });
}
BENCHMARK(gas_properties_against_straightforward)->Unit(benchmark::kMillisecond);

void blower_against_straightforward(benchmark::State& state) {
    double outlet[3] = {150000, 0, 0}, inlet_flow[3], outlet_flow[3], power = 0;
    const double eta = 0.7, characteristic[] = {2, 0.5, 0.1}, sigma = 0.0698, drive = 1.0;
    ratio_to_straightforward(
        state,
        [&](int i) {
            const double inlet[3] = {100000, temperature_of(i), composition_of(i)};
            blocks::blower_outputs(inlet, outlet, &drive, inlet_flow, outlet_flow, &power, &eta, 1, characteristic, 3,
                                   &sigma, 1);
            benchmark::DoNotOptimize(power);
        },
        [&](int i) {
            const double inlet[3] = {100000, temperature_of(i), composition_of(i)};
            straightforward::blower(inlet, outlet, drive, eta, characteristic, sigma, inlet_flow, outlet_flow, &power);
            benchmark::DoNotOptimize(power);
        });
}
BENCHMARK(blower_against_straightforward)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
