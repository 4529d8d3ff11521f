// Cases run on worker processes: each worker is a fork of blocksim that
// takes case numbers from a pipe and sends back each result. A worker holds
// its own copy of every block library's memory, so cases cannot disturb one
// another, and a case that crashes its worker is reported and the worker
// replaced; the sweep goes on.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <limits>
#include <vector>

#include "sweeps/sweep_run.hpp"

namespace blocksim {

using CaseJob = std::function<CaseResult(std::size_t case_number)>;
using CaseDone = std::function<void(std::size_t case_number, CaseResult result)>;

#ifdef _WIN32
// Without fork the cases run in this process, one at a time.
inline constexpr int max_workers = 1;
#else
inline constexpr int max_workers = std::numeric_limits<int>::max();
#endif

// Runs `job` for every case in `cases` on `workers` processes, calling `done`
// here as each case finishes (in any order). Returns false, with the cases
// not yet reported left undone, when `stop` becomes true; the workers are
// then ended.
bool run_on_workers(int workers, const std::vector<std::size_t>& cases, const CaseJob& job, const CaseDone& done,
                    const std::atomic<bool>* stop);

}  // namespace blocksim
