// How the host and blocksim write numbers, times and counts in files and messages.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>

namespace host {

// The shortest text that reads back as the same double. A NaN is "nan":
// its sign bit (0 * inf gives -nan) means nothing.
inline std::string format_number(double value) {
    if (value != value) return "nan";
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

// The first control character of `text` (a line break, a tab, ...) as
// "0x0a", or "" when it has none. Names and paths never hold one: a line
// break in a name would end a line of a plot script or of a CSV header.
inline std::string control_character(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02x", byte);
            return code;
        }
    }
    return "";
}

}  // namespace host
