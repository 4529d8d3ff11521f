// "Did you mean" for a name a user mistyped.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace host {

// " (did you mean 'gain'?)" when one known name is close to `word` (two
// edits at most, and fewer than half its letters), else "".
std::string did_you_mean(const std::string& word, const std::vector<std::string>& known);
// That close name itself, if there is one.
std::optional<std::string> closest_name(const std::string& word, const std::vector<std::string>& known);

}  // namespace host
