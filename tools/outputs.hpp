// The files a run writes, chosen so that no output lands on an input.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/model/model.hpp"

namespace blocksim {

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
