// How the host and blocksim write numbers, times and counts in files and messages.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>

namespace host {

// The shortest text that reads back as the same double.
inline std::string format_number(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Times in messages: twelve significant digits hide the rounding of n * step.
inline std::string format_time(double time) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.12g", time);
    return buffer;
}

// "1 row", "3 rows"
inline std::string count_of(long long n, const std::string& thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

}  // namespace host
