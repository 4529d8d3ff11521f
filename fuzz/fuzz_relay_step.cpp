// relay_step for both output types over any input, thresholds and values:
// the result is always the above-value, the below-value or the held one.
#include <cstdint>
#include <cstdlib>

#include "core/relay.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput in(data, size);
    const double u = in.number(), upper = in.number(), lower = in.number();

    const double held = in.number(), above = in.number(), below = in.number();
    const double result = blocks::relay_step<double>(u, upper, lower, held, above, below);
    if (!fuzzing::same_bits(result, above) && !fuzzing::same_bits(result, below) &&
        !fuzzing::same_bits(result, held))
        std::abort();

    std::int32_t held_int, above_int, below_int;
    in.fill(&held_int, sizeof held_int);
    in.fill(&above_int, sizeof above_int);
    in.fill(&below_int, sizeof below_int);
    const std::int32_t result_int = blocks::relay_step<std::int32_t>(u, upper, lower, held_int, above_int, below_int);
    if (result_int != above_int && result_int != below_int && result_int != held_int) std::abort();
    return 0;
}
