// Each block's mexFunction called as from the MATLAB command line,
// sizes = NAME(t, x, u, flag, params...), with any number of arguments of
// any class, size and complexity, and 0 to 2 results asked for. Asserted:
//   - a call either returns the 38 size fields as a double column, or fails
//     through mexErrMsgTxt with a non-empty message and no result written;
//   - no MATLAB array is left behind either way.
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "arbitrary_arrays.hpp"
#include "block_manifest.hpp"
#include "host/sfunction/library.hpp"
#include "mex_runtime.hpp"

namespace {

constexpr std::size_t block_count = std::size(blocks::manifest);
constexpr std::size_t size_field_count = 38;

std::shared_ptr<const host::Library> library(std::size_t index) {
    static std::shared_ptr<const host::Library> loaded[block_count];
    if (!loaded[index]) loaded[index] = host::Library::load(blocks::manifest[index].name, {BLOCKS_LIBRARY_DIR});
    return loaded[index];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput in(data, size);
    const auto block = library(in.byte() % block_count);
    const int nlhs = static_cast<int>(in.count(2));
    std::vector<mxArray*> arguments(in.count(14));
    const long arrays_before = mexrt::live_arrays();
    for (mxArray*& argument : arguments) argument = fuzzing::arbitrary_array(in);

    mxArray* results[2] = {nullptr, nullptr};
    bool failed = false;
    try {
        block->call(nlhs, results, static_cast<int>(arguments.size()),
                    const_cast<const mxArray**>(arguments.data()));
    } catch (const host::MexCallError& error) {
        failed = true;
        if (std::string(error.what()).empty()) std::abort();
        if (results[0] || results[1]) std::abort();
    }
    if (!failed) {
        const mxArray* sizes = results[0];
        if (!sizes || !mxIsDouble(sizes) || mxGetNumberOfElements(sizes) != size_field_count || results[1])
            std::abort();
    }
    for (mxArray* result : results) mxDestroyArray(result);
    for (mxArray* argument : arguments) mxDestroyArray(argument);
    if (mexrt::live_arrays() != arrays_before) std::abort();
    return 0;
}
