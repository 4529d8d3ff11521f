// The sweep-file reader over any text, beside the example models. Asserted:
// only the host's errors; an accepted sweep gives as many cases as it says,
// each value of a range within that range, and its first case sets into
// the model.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/model/sweep_file.hpp"
#include "model_run.hpp"
#include "sweeps/sweep_design.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::keep_blocks_loaded();
    const auto file = fuzzing::scratch_file("sweep.yaml", std::string(reinterpret_cast<const char*>(data), size));
    try {
        host::SweepSpec spec = host::read_sweep_file(file);
        const double count = blocksim::case_count(spec);
        if (count > 10000) return 0;  // valid, but too many to make at every input
        const auto cases = blocksim::sweep_cases(spec);
        if (static_cast<double>(cases.size()) != count) std::abort();
        for (const auto& values : cases) {
            if (values.size() != spec.vary.size()) std::abort();
            for (std::size_t i = 0; i < values.size(); ++i)
                if (const auto& range = spec.vary[i].range;
                    range && !(values[i] >= range->first && values[i] <= range->second))
                    std::abort();
        }
        if (!cases.empty()) {
            host::ModelSpec model = spec.model;
            for (std::size_t i = 0; i < spec.vary.size(); ++i) host::set_sweep_value(model, spec.vary[i], cases[0][i]);
        }
    } catch (const host::HostError& error) {
        fuzzing::check_message(error.what());
    }
    return 0;
}
