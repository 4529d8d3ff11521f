// Cost per call of the models and of one block evaluation through the host.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>

#include "host/sfunction/instance.hpp"
#include "core/blower_outputs.hpp"
#include "core/gas_properties.hpp"
#include "host/sfunction/library.hpp"

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

}  // namespace

BENCHMARK_MAIN();
