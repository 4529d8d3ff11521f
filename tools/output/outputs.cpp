#include "output/outputs.hpp"

#include <cmath>
#include <system_error>

#include "commands/commands.hpp"
#include "commands/text.hpp"
#include "host/common/errors.hpp"
#include "output/output_file.hpp"

namespace blocksim {

std::string checked_path(const std::string& what, const std::string& text) {
    const std::string control = control_character(text);
    if (!control.empty())
        throw UsageError(what + " holds a control character (" + control +
                         "); paths take no line breaks, tabs or other control characters");
    return text;
}

std::string gigabytes(double bytes) { return format_number(std::round(bytes / 1e8) / 10) + " GB"; }

CsvEstimate estimate_csv(const host::Simulation& simulation) {
    const auto& solver = simulation.solver();
    const auto interval = simulation.log_interval();
    double logged_steps = 0;
    if (interval) logged_steps = std::floor(solver.stop / *interval);
    // The solver's steps are max_step long at most: this many at least.
    else if (simulation.logs_solver_steps()) logged_steps = std::floor(solver.stop / solver.max_step_or_default());
    else logged_steps = std::floor(static_cast<double>(simulation.steps()) / simulation.log_every());
    CsvEstimate estimate;
    estimate.rows = logged_steps + 2;
    estimate.row_bytes = bytes_per_value * static_cast<double>(simulation.column_names().size() + 1);
    estimate.bytes = estimate.rows * estimate.row_bytes;
    return estimate;
}

// Whether two paths name one file, whether or not it exists yet.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (std::filesystem::exists(a, error) && std::filesystem::exists(b, error))
        return std::filesystem::equivalent(a, b, error);
    return std::filesystem::weakly_canonical(std::filesystem::absolute(a), error) ==
           std::filesystem::weakly_canonical(std::filesystem::absolute(b), error);
}

void refuse_output_over_inputs(const std::filesystem::path& output, const std::string& what,
                               const std::string& option, const std::vector<host::FileRead>& inputs) {
    for (const auto& input : inputs)
        if (same_file(output, input.file))
            throw host::HostError("refusing to write the " + what + " to " + output.string() + ": that is " +
                                  input.role + " (" + input.file.string() + "); choose another file with " + option);
}

RunOutputs choose_outputs(const std::optional<std::filesystem::path>& model_file,
                          const std::optional<std::filesystem::path>& out,
                          const std::optional<std::filesystem::path>& plot) {
    RunOutputs outputs;
    if (out) {
        outputs.csv = *out;
    } else if (model_file) {
        outputs.csv = model_file->parent_path() / model_file->stem();
        outputs.csv += ".csv";
    } else {
        outputs.csv = "engine.csv";
    }
    outputs.png = plot ? *plot : std::filesystem::path(outputs.csv).replace_extension(".png");
    return outputs;
}

void refuse_overwriting_inputs(const RunOutputs& outputs, const std::vector<host::FileRead>& inputs,
                               bool with_plot) {
    refuse_output_over_inputs(outputs.csv, "results", "--out", inputs);
    refuse_output_over_inputs(tagged_name(outputs.csv, "partial"), "rows of an unfinished run", "--out", inputs);
    if (!with_plot) return;
    refuse_output_over_inputs(outputs.png, "plot", "--plot", inputs);
    if (same_file(outputs.csv, outputs.png))
        throw host::HostError("refusing to write the results and the plot to one file, " + outputs.csv.string() +
                              "; choose another with --plot");
}

}  // namespace blocksim
