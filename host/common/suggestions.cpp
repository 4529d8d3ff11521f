#include "host/common/suggestions.hpp"

#include <algorithm>
#include <cctype>
#include <vector>

namespace host {

namespace {

// Edits from a to b: insert, delete, replace or swap two neighbours; a
// change of case is no edit.
std::size_t edit_distance(const std::string& a, const std::string& b) {
    auto same = [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    };
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same(a[i - 1], b[j - 1]) ? 0 : 1)});
            if (i > 1 && j > 1 && same(a[i - 1], b[j - 2]) && same(a[i - 2], b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

std::optional<std::string> closest_name(const std::string& word, const std::vector<std::string>& known) {
    const std::string* best = nullptr;
    std::size_t best_distance = 0;
    for (const auto& name : known) {
        const std::size_t distance = edit_distance(word, name);
        if (!best || distance < best_distance) {
            best = &name;
            best_distance = distance;
        }
    }
    if (!best || best_distance > 2 || 2 * best_distance >= std::max(word.size(), best->size())) return std::nullopt;
    return *best;
}

std::string did_you_mean(const std::string& word, const std::vector<std::string>& known) {
    const auto closest = closest_name(word, known);
    return closest ? " (did you mean '" + *closest + "'?)" : "";
}

}  // namespace host
