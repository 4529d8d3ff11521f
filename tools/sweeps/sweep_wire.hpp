// The messages between a sweep and its worker processes: a case number
// down the pipe; the case number, its status and its metrics back up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "sweeps/sweep_run.hpp"

namespace blocksim {

std::string encode_result(std::uint64_t case_number, const CaseResult& result);

// A whole message at the front of `buffer`, taken off it; nothing while the
// message is still arriving. Sizes are checked against what has arrived
// before anything is allocated for them.
std::optional<std::pair<std::size_t, CaseResult>> decode_result(std::string& buffer);

}  // namespace blocksim
