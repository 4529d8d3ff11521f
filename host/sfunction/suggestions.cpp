#include "host/sfunction/suggestions.hpp"

#include <algorithm>
#include <cctype>

namespace host {

namespace {

// Edits (insert, delete, replace, case counted as none) from a to b.
std::size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            const std::size_t next = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = row[j];
            row[j] = next;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string did_you_mean(const std::string& word, const std::vector<std::string>& known) {
    const std::string* best = nullptr;
    std::size_t best_distance = 0;
    for (const auto& name : known) {
        const std::size_t distance = edit_distance(word, name);
        if (!best || distance < best_distance) {
            best = &name;
            best_distance = distance;
        }
    }
    if (!best || best_distance > 2 || 2 * best_distance >= std::max(word.size(), best->size())) return "";
    return " (did you mean '" + *best + "'?)";
}

}  // namespace host
