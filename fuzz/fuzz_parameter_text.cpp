// A dialog parameter written as text, as `blocksim info` takes it. Asserted:
// only the host's errors, and an accepted value within the reader's bounds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/model/model_file.hpp"
#include "scratch.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const host::ArrayPtr parameter = host::parameter_from_text(text, "parameter 1");
        if (!parameter || mxGetNumberOfElements(parameter.get()) > host::input_limits().most_values) std::abort();
    } catch (const host::HostError& error) {
        fuzzing::check_message(error.what());
    }
    return 0;
}
