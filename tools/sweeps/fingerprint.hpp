// What a sweep's results were computed from: the SHA-256 of each file it
// reads (the sweep file, the model file, its tables and the S-function
// libraries it loads). A shard records it, so that shards of different
// inputs are never merged into one summary.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/model/sweep_file.hpp"

namespace blocksim {

// The SHA-256 of `bytes` (FIPS 180-4), as 64 lowercase hex digits.
std::string sha256_hex(std::string_view bytes);

struct InputHash {
    std::filesystem::path file;
    std::string sha256;
};

// Each input of the sweep, in a fixed order; throws naming a file it cannot read.
std::vector<InputHash> sweep_fingerprint(const host::SweepSpec& spec);

// The fingerprint as the comment lines that start a shard: "# sha256 HEX FILE".
std::string fingerprint_lines(const std::vector<InputHash>& inputs);
// The hashes of those lines, in order; a line that is not one is skipped.
std::vector<std::string> hashes_in_lines(const std::vector<std::string>& lines);

}  // namespace blocksim
