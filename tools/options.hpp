// The options of blocksim's commands, as their parsers read them from the
// command line. A mistake is a UsageError (see commands.hpp).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace blocksim {

struct RunOptions {
    std::optional<std::filesystem::path> model_file, out, plot;
    std::optional<std::string> solver;
    std::optional<double> step, stop, rtol, atol, max_step, initial_step;
    bool no_plot = false;
    bool force = false;
    std::vector<std::filesystem::path> paths;
};
RunOptions parse_run_options(const std::vector<std::string>& args);

struct SweepOptions {
    std::optional<std::filesystem::path> file, out, merge;
    std::optional<int> jobs, tasks;
    int shard = 0, shards = 0;  // shards 0: every case
    bool keep_runs = false, no_plot = false, slurm = false, submit = false, force = false;
    std::vector<std::filesystem::path> paths;
};
SweepOptions parse_sweep_options(const std::vector<std::string>& args);

}  // namespace blocksim
