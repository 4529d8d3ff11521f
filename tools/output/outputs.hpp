// The files a run writes, chosen so that no output lands on an input.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/model/model.hpp"
#include "host/sim/engine.hpp"

namespace blocksim {

// A path from the command line (`what`: "--out", "the model file"); one
// with a control character is a UsageError.
std::string checked_path(const std::string& what, const std::string& text);

// An output larger than this, by its estimate, needs --force.
constexpr double largest_output_bytes = 2e9;
// What one value takes in a CSV, on average, for the estimates.
constexpr double bytes_per_value = 20;
// "2.3 GB", to a tenth.
std::string gigabytes(double bytes);

// A run's CSV before the run: its rows (a variable-step run logs at its log
// interval, a fixed-step one every n-th step, both the first and the last;
// a run logged at the solver's own steps at least one row per max_step).
struct CsvEstimate {
    double rows = 0, row_bytes = 0, bytes = 0;
};
CsvEstimate estimate_csv(const host::Simulation& simulation);

struct RunOutputs {
    std::filesystem::path csv;
    std::filesystem::path png;
};

// Whether two paths name one file, whether or not it exists yet.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

// Refuses, with a message naming both and `option` to choose another, an
// output (the `what`: "results", "plot", "summary") that is one of the inputs.
void refuse_output_over_inputs(const std::filesystem::path& output, const std::string& what,
                               const std::string& option, const std::vector<host::FileRead>& inputs);

// --out and --plot as given; otherwise MODEL.csv and MODEL.png next to the
// model (engine.csv and .png in the working folder for the built-in demo),
// the plot beside the CSV when only --out is given.
RunOutputs choose_outputs(const std::optional<std::filesystem::path>& model_file,
                          const std::optional<std::filesystem::path>& out,
                          const std::optional<std::filesystem::path>& plot);

// Refuses, with a message naming both, an output that is one of the files
// the run reads or the other output.
void refuse_overwriting_inputs(const RunOutputs& outputs, const std::vector<host::FileRead>& inputs,
                               bool with_plot);

}  // namespace blocksim
