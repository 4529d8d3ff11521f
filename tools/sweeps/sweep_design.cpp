#include "sweeps/sweep_design.hpp"

#include <random>

namespace blocksim {

namespace {

// A uniform double in [0, 1): the top 53 bits of one draw.
double unit_draw(std::mt19937_64& random) { return static_cast<double>(random() >> 11) * 0x1.0p-53; }

// A uniform whole number in [0, n), without the bias of a plain modulo.
std::uint64_t below(std::mt19937_64& random, std::uint64_t n) {
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % n;
    for (;;) {
        const std::uint64_t draw = random();
        if (draw < limit) return draw % n;
    }
}

}  // namespace

std::vector<double> grid_values(const host::SweepEntry& entry) {
    if (!entry.range) return entry.values;
    const auto [low, high] = *entry.range;
    std::vector<double> values;
    for (int i = 0; i < entry.count; ++i)
        values.push_back(i == entry.count - 1 ? high : low + (high - low) * i / (entry.count - 1));
    return values;
}

std::vector<SweepCase> latin_hypercube(const std::vector<std::pair<double, double>>& ranges, int runs,
                                       std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<SweepCase> cases(static_cast<std::size_t>(runs), SweepCase(ranges.size()));
    for (std::size_t d = 0; d < ranges.size(); ++d) {
        // Fisher-Yates: case i lies in stratum strata[i].
        std::vector<int> strata(static_cast<std::size_t>(runs));
        for (int i = 0; i < runs; ++i) strata[static_cast<std::size_t>(i)] = i;
        for (std::size_t i = strata.size(); i > 1; --i) std::swap(strata[i - 1], strata[below(random, i)]);
        const auto [low, high] = ranges[d];
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const double at = (strata[i] + unit_draw(random)) / runs;
            cases[i][d] = low + (high - low) * at;
        }
    }
    return cases;
}

double case_count(const host::SweepSpec& spec) {
    if (spec.design == host::SweepDesign::lhs) return spec.runs;
    double count = 1;
    for (const auto& entry : spec.vary) count *= static_cast<double>(grid_values(entry).size());
    return count;
}

std::vector<SweepCase> sweep_cases(const host::SweepSpec& spec) {
    if (spec.design == host::SweepDesign::lhs) {
        std::vector<std::pair<double, double>> ranges;
        for (const auto& entry : spec.vary) ranges.push_back(*entry.range);
        return latin_hypercube(ranges, spec.runs, spec.seed);
    }
    std::vector<std::vector<double>> axes;
    for (const auto& entry : spec.vary) axes.push_back(grid_values(entry));
    std::vector<SweepCase> cases{SweepCase{}};
    for (const auto& axis : axes) {
        std::vector<SweepCase> longer;
        longer.reserve(cases.size() * axis.size());
        for (const auto& partial : cases)
            for (const double value : axis) {
                longer.push_back(partial);
                longer.back().push_back(value);
            }
        cases = std::move(longer);
    }
    return cases;
}

}  // namespace blocksim
