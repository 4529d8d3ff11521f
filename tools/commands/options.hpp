// The options of blocksim's commands, as their parsers read them from the
// command line, and the CLI11 set-up of each command. A mistake is a
// UsageError (see commands.hpp).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace blocksim {

// A solver key given on the command line (--max-step 0.01), named as in
// the model file's solver map (max_step).
struct SolverSetting {
    std::string key;
    double value;
};

struct RunOptions {
    std::optional<std::filesystem::path> model_file, out, plot;
    std::optional<std::string> solver;
    std::vector<SolverSetting> solver_settings;
    bool no_plot = false;
    bool force = false;
    std::vector<std::filesystem::path> paths;
};
void setup_run_command(CLI::App& command, RunOptions& options);
RunOptions parse_run_options(const std::vector<std::string>& args);

struct SweepOptions {
    std::optional<std::filesystem::path> file, out, merge;
    std::optional<int> jobs, tasks;
    int shard = 0, shards = 0;  // shards 0: every case
    bool keep_runs = false, no_plot = false, slurm = false, submit = false, force = false;
    std::vector<std::filesystem::path> paths;
};
void setup_sweep_command(CLI::App& command, SweepOptions& options);
SweepOptions parse_sweep_options(const std::vector<std::string>& args);

struct InfoOptions {
    std::string name;
    std::vector<std::string> parameters;  // YAML values, one per dialog parameter
    bool raw = false;
    std::vector<std::filesystem::path> paths;
};
void setup_info_command(CLI::App& command, InfoOptions& options);

struct ExportOptions {
    std::filesystem::path model, fmu;
    int fmi_version = 2;                  // 2 or 3
    std::vector<std::string> platforms;   // linux64, win64, win32; empty: every one whose binaries are found
    std::vector<std::string> parameters;  // as a sweep names them
    std::vector<std::filesystem::path> paths;
};
void setup_export_command(CLI::App& command, ExportOptions& options);

}  // namespace blocksim
