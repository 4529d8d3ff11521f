// Hysteresis relay: switches to `above_value` when the input rises above the
// upper threshold, to `below_value` when it falls below the lower one, and
// otherwise keeps the value held from the last major step.
#pragma once

namespace blocks {

// Comparisons are strict and the upper one comes first, so with the lower
// threshold above the upper one an input between them gives above_value. A
// NaN input passes neither test and keeps the held value.
template <typename Output>
Output relay_step(double u, double upper_threshold, double lower_threshold, Output held, Output above_value,
                  Output below_value) {
    if (u > upper_threshold) return above_value;
    if (u < lower_threshold) return below_value;
    return held;
}

}  // namespace blocks
