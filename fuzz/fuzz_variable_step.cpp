// The variable-step engine: the first byte picks ode45, ode23 or bdf, the
// rest is a model text, read, checked and, when short, run under that
// method whatever its solver says (see model_run.hpp).
#include <cstdint>
#include <string>

#include "model_run.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    constexpr host::SolverMethod methods[] = {host::SolverMethod::ode45, host::SolverMethod::ode23,
                                              host::SolverMethod::bdf};
    fuzzing::run_model_text(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), methods[data[0] % 3]);
    return 0;
}
