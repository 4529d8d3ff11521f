// The cases of a sweep: one value per varied entry, in the order of `vary`.
//
//   grid  every combination of the entries' values, the last entry varying
//         fastest; a range gives `count` points a + (b - a) * i / (count - 1)
//   lhs   a Latin hypercube of `runs` cases: each range is cut into `runs`
//         equal strata and each stratum holds exactly one case. The draws
//         come from a 64-bit Mersenne Twister seeded with `seed`, turned into
//         numbers by this file's own arithmetic (the standard library's
//         distributions and shuffle differ between implementations), so one
//         seed gives the same cases everywhere.
#pragma once

#include <cstdint>
#include <vector>

#include "host/model/sweep_file.hpp"

namespace blocksim {

using SweepCase = std::vector<double>;

std::vector<SweepCase> sweep_cases(const host::SweepSpec& spec);
// How many cases sweep_cases gives, known before they are made.
double case_count(const host::SweepSpec& spec);

// The values a grid gives one entry.
std::vector<double> grid_values(const host::SweepEntry& entry);

// `runs` cases over `ranges`, as described above.
std::vector<SweepCase> latin_hypercube(const std::vector<std::pair<double, double>>& ranges, int runs,
                                       std::uint64_t seed);

}  // namespace blocksim
