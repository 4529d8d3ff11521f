// The model-file reader over any text, and every model it accepts checked
// and, when short, run under the solver it names (see model_run.hpp).
#include <cstdint>
#include <string>

#include "model_run.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::run_model_text(std::string(reinterpret_cast<const char*>(data), size), std::nullopt);
    return 0;
}
