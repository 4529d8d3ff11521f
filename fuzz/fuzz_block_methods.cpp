// Each block created by the host with dialog parameters of any count, class,
// size and complexity, then driven by any sequence of its methods, run-time
// parameter changes, inputs and states. Asserted:
//   - a refused parameter or a failed method leaves a non-empty message;
//   - a failed method writes no output;
//   - blower: drive +0 or -0 gives seven exact zeros;
//   - sarnith gives 0.0 or 1.0 and quorvel 0 or 1, always;
//   - Brisquel's command output lies in [0.1, 1.0], is NaN or is the 0.0 of
//     a record that has not computed a command yet; its schedules stay
//     within their tables;
//   - no MATLAB array is left behind.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "arbitrary_arrays.hpp"
#include "block_manifest.hpp"
#include "host/sfunction/data_types.hpp"
#include "host/sfunction/instance.hpp"
#include "mex_runtime.hpp"

namespace {

constexpr std::size_t block_count = std::size(blocks::manifest);

std::shared_ptr<const host::Library> library(std::size_t index) {
    static std::shared_ptr<const host::Library> loaded[block_count];
    if (!loaded[index]) loaded[index] = host::Library::load(blocks::manifest[index].name, {BLOCKS_LIBRARY_DIR});
    return loaded[index];
}

std::vector<unsigned char> output_bytes(const host::SFunctionInstance& block) {
    std::vector<unsigned char> bytes;
    for (int port = 0; port < block.num_outputs(); ++port) {
        const auto* signal = static_cast<const unsigned char*>(block.output_signal(port));
        const std::size_t size =
            static_cast<std::size_t>(block.output(port).width) * host::data_type(block.output(port).data_type).size;
        bytes.insert(bytes.end(), signal, signal + size);
    }
    return bytes;
}

void check_outputs(const std::string& sfunction, host::SFunctionInstance& block) {
    if (sfunction == "blower") {
        if (block.input_buffer(2)[0] != 0.0) return;
        for (int port = 0; port < 3; ++port)
            for (int i = 0; i < block.output(port).width; ++i)
                if (!fuzzing::same_bits(block.output_doubles(port)[i], 0.0)) std::abort();
    } else if (sfunction == "sarnith") {
        const double y = block.output_doubles(0)[0];
        if (!fuzzing::same_bits(y, 0.0) && !fuzzing::same_bits(y, 1.0)) std::abort();
    } else if (sfunction == "quorvel") {
        std::int32_t y;
        std::memcpy(&y, block.output_signal(0), sizeof y);
        if (y != 0 && y != 1) std::abort();
    } else if (sfunction == "Brisquel") {
        const double* y = block.output_doubles(0);
        const double command = y[4];
        if (!std::isnan(command) && !(command >= 0.1 && command <= 1.0) && !fuzzing::same_bits(command, 0.0))
            std::abort();
        if (!(y[0] >= 0.781443829292892 && y[0] <= 1.36079575102423)) std::abort();
        if (!(y[3] >= -8.0 && y[3] <= 0.0629566078587464)) std::abort();
    }
}

void set_inputs(fuzzing::FuzzInput& in, host::SFunctionInstance& block) {
    for (int port = 0; port < block.num_inputs(); ++port) {
        double* signal = block.input_buffer(port);
        for (int i = 0; i < block.input(port).width; ++i) signal[i] = in.number();
    }
    for (int i = 0; i < block.num_cont_states(); ++i) block.cont_states()[i] = in.number();
}

// Runs one method; a failure must explain itself and leave the outputs as they were.
template <typename Action>
bool run_method(host::SFunctionInstance& block, Action&& method) {
    const std::vector<unsigned char> before = output_bytes(block);
    try {
        method();
        return true;
    } catch (const host::BlockError& error) {
        if (error.message().empty()) std::abort();
        if (output_bytes(block) != before) std::abort();
        return false;
    }
}

void drive(fuzzing::FuzzInput& in, const std::string& sfunction, host::SFunctionInstance& block, int parameter_count) {
    double time = 0.0;
    for (int call = 0; call < 32 && !in.exhausted(); ++call) {
        switch (in.byte() % 7) {
            case 0: run_method(block, [&] { block.start(); }); break;
            case 1: run_method(block, [&] { block.initialize_conditions(); }); break;
            case 2: {
                set_inputs(in, block);
                const bool major = in.byte() % 2 == 0;
                if (run_method(block, [&] { block.outputs(time, major); })) check_outputs(sfunction, block);
                break;
            }
            case 3: run_method(block, [&] { block.update(time); }); time += 0.001; break;
            case 4: set_inputs(in, block); run_method(block, [&] { block.derivatives(time); }); break;
            case 5: run_method(block, [&] { block.terminate(); }); break;
            case 6: {
                if (parameter_count == 0) break;
                const int index = static_cast<int>(in.count(static_cast<std::size_t>(parameter_count - 1)));
                host::ArrayPtr value(fuzzing::arbitrary_array(in));
                run_method(block, [&] { block.set_parameter(index, std::move(value)); });
                break;
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput in(data, size);
    const std::size_t kind = in.byte() % block_count;
    const std::uint8_t count_choice = in.byte();
    // Mostly the declared count; sometimes another, which the host refuses.
    const int parameter_count = count_choice < 240 ? blocks::manifest[kind].parameters : count_choice % 12;
    const long arrays_before = mexrt::live_arrays();
    {
        std::vector<host::ArrayPtr> parameters;
        for (int i = 0; i < parameter_count; ++i) parameters.emplace_back(fuzzing::arbitrary_array(in));
        std::unique_ptr<host::SFunctionInstance> block;
        try {
            block = std::make_unique<host::SFunctionInstance>("fuzzed", library(kind), std::move(parameters));
        } catch (const host::BlockError& error) {
            if (error.message().empty()) std::abort();
        } catch (const host::HostError&) {
            // A parameter count other than the declared one.
        }
        if (block) {
            block->prepare();
            drive(in, blocks::manifest[kind].name, *block, parameter_count);
        }
    }
    if (mexrt::live_arrays() != arrays_before) std::abort();
    return 0;
}
