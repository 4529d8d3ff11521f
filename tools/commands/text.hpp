// How blocksim writes numbers, times and counts: as the host does.
#pragma once

#include <string>

#include "host/common/text.hpp"

namespace blocksim {

using host::control_character;
using host::count_of;
using host::format_number;
using host::format_time;

// A word for the shell: `text` in single quotes.
inline std::string shell_word(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace blocksim
