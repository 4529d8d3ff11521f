// Sweep files: one model run over a design of its parameters' values.
//
//   model: engine.yaml                   # relative to this file
//   vary:
//     - {block: fan, parameter: 1, values: [0.6, 0.7, 0.8]}   # dialog parameter 1 (from 1), element 0
//     - {block: fan, parameter: 2, element: 1, range: [0.5, 1.5], count: 5}
//     - {block: scavenge, key: time_constant, values: [1.0, 2.0]}   # a key of a built-in block
//     - {block: vdp, parameter: mu, values: [0.5, 1.0]}   # an FMU block's variable, by name
//   design: grid        # every combination, the last entry varying fastest;
//                       # lhs: a Latin hypercube of `runs` cases from `seed` (ranges only)
//   metrics:            # over every major step of a run
//     power_final: {signal: fan.2, of: final}   # final, min, max, mean (time average), integral
//
// The reader checks the file against the model's blocks; the signals of
// the metrics are checked once the model is built.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/model/model.hpp"

namespace host {

// One varied value: a dialog parameter's element, a built-in block's key,
// or an FMU block's variable.
struct SweepEntry {
    std::string block;
    int parameter = 0;  // from 1; 0 for a key
    int element = -1;   // -1 when not given: element 0
    std::string key;
    bool fmu_variable = false;  // key names an FMU block's variable
    std::vector<double> values;                     // as given, or
    std::optional<std::pair<double, double>> range;  // [low, high]
    int count = 0;                                  // grid points over the range, both ends included
    int line = 0;
    // "fan.parameter1", "fan.parameter2[1]", "scavenge.time_constant"
    std::string column() const;
};

enum class SweepDesign { grid, lhs };

// What a metric takes of a signal over every major step: its last value,
// least, greatest, time average or trapezoidal integral.
enum class MetricKind { final, min, max, mean, integral };

struct MetricSpec {
    std::string name;
    SignalRef signal;
    MetricKind of = MetricKind::final;
    int line = 0;
};

// What a cluster needs to know of the sweep's jobs on Slurm, as #SBATCH
// options: many clusters refuse jobs without --time or --account. Each
// value is one word: sbatch reads those lines word by word.
struct SlurmSpec {
    std::string time, partition, account, qos;  // empty: not given
    std::vector<std::string> options;           // further options, as "--mem=4G"
    // "--time=01:00:00", ... in the order above, then the options.
    std::vector<std::string> sbatch_options() const;
};

struct SweepSpec {
    std::filesystem::path file;
    ModelSpec model;
    std::vector<SweepEntry> vary;
    SweepDesign design = SweepDesign::grid;
    int runs = 0;  // lhs
    std::uint64_t seed = 0;
    std::vector<MetricSpec> metrics;
    SlurmSpec slurm;
    // "sweep.yaml:12: ", for messages about what stands on that line.
    std::string at(int line) const;
};

// A sweep design with more cases than this is refused.
constexpr double most_sweep_cases = 1e7;

SweepSpec read_sweep_file(const std::filesystem::path& file);

// Sets entry `entry`'s value in `model`, a copy of the sweep's model. Throws
// ModelError when a built-in key that must be positive is given another value.
void set_sweep_value(ModelSpec& model, const SweepEntry& entry, double value);
// The value entry `entry` has in `model`.
double sweep_value(const ModelSpec& model, const SweepEntry& entry);

// The entry a column name stands for ("fan.parameter2[1]",
// "scavenge.time_constant"), checked against the model as a sweep's vary
// entries are. Throws ModelError saying what is wrong.
SweepEntry sweep_entry_named(const ModelSpec& model, const std::string& name);

}  // namespace host
