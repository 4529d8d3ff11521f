// valve_lift over any angles, inputs, parameters and profile tables of any
// length and shape (ascending or not, unequal angle and lift counts), each
// table in an allocation of exactly its size. Asserted:
//   - outside the event window, start < theta < start + total, the lift is
//     exactly 0;
//   - with finite, moderate numbers everywhere the lift is finite, whatever
//     the tables' shape.
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/valve_lift.hpp"
#include "fuzz_input.hpp"

namespace {

constexpr std::size_t scalar_parameters = 5;  // peak_lift .. dwell_gain
constexpr std::size_t parameter_count = 9;
constexpr std::size_t longest_table = 8;

bool all_moderate(const std::vector<double>& values) {
    for (double value : values)
        if (!fuzzing::moderate(value)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput in(data, size);
    const double crank_angle = in.number(), start_signal = in.number(), dwell_signal = in.number();
    std::vector<std::vector<double>> parameters(parameter_count);
    for (std::size_t i = 0; i < parameter_count; ++i)
        parameters[i] = in.numbers(i < scalar_parameters ? 1 : in.count(longest_table));

    auto data_of = [&](std::size_t i) { return parameters[i].empty() ? nullptr : parameters[i].data(); };
    double lift = fuzzing::unwritten_marker();
    blocks::valve_lift(crank_angle, start_signal, dwell_signal, &lift, data_of(0), 1, data_of(1), 1, data_of(2), 1,
                       data_of(3), 1, data_of(4), 1, data_of(5), parameters[5].size(), data_of(6),
                       parameters[6].size(), data_of(7), parameters[7].size(), data_of(8), parameters[8].size());

    const double theta = blocks::angle_in_revolution(blocks::crank_degrees(crank_angle));
    const double start = start_signal * parameters[1][0];
    const double total = (dwell_signal * parameters[4][0] + parameters[2][0]) + parameters[3][0];
    if (!(start < theta && theta < start + total) && !fuzzing::same_bits(lift, 0.0)) std::abort();

    bool moderate = fuzzing::moderate(crank_angle) && fuzzing::moderate(start_signal) &&
                    fuzzing::moderate(dwell_signal);
    for (const auto& parameter : parameters) moderate = moderate && all_moderate(parameter);
    if (moderate && !std::isfinite(lift)) std::abort();

    // The lookup on its own, at any point.
    const double x = in.number();
    const double looked_up =
        blocks::profile_lookup(data_of(5), parameters[5].size(), data_of(7), parameters[7].size(), x);
    if (moderate && fuzzing::moderate(x) && !std::isfinite(looked_up)) std::abort();
    return 0;
}
