// A whole model as an FMU: what blocksim export puts in its
// resources, which the FMU's binary reads back, and the variables both make
// from the model.
//
//   resources/export.txt    one fact a line: "guid {...}", "model model/engine.yaml",
//                           "parameter fan.parameter1" (one line per FMU parameter)
//   resources/model/        the model file and the table files it reads, at their
//                           places relative to it
//   resources/libraries/    the S-function libraries the model loads
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "fmi/variables.hpp"
#include "host/model/model.hpp"
#include "host/model/sweep_file.hpp"
#include "host/sim/engine.hpp"

namespace fmu {

inline constexpr const char* export_file = "export.txt";
inline constexpr const char* model_folder = "model";
inline constexpr const char* libraries_folder = "libraries";
// The generic binary that runs any exported model, beside the block
// libraries: fmu_model.so on Linux, fmu_model.dll on Windows.
inline constexpr const char* model_binary = "fmu_model";

struct ModelExport {
    std::string guid;
    std::filesystem::path model;          // relative to the resources folder
    std::vector<std::string> parameters;  // as a sweep names them: "fan.parameter2[1]"
};

std::string export_text(const ModelExport& facts);
ModelExport read_export(const std::filesystem::path& resources);

// The model as its FMU runs it, its libraries taken from the resources only.
host::ModelSpec exported_model(const std::filesystem::path& resources, const ModelExport& facts);
std::vector<host::SweepEntry> model_parameters(const host::ModelSpec& model, const std::vector<std::string>& names);

// The Inports' elements as inputs, the Outports' as outputs (without an
// Outport: every logged signal, by its label and with its unit), then the
// parameters and, for model exchange, the continuous states and their
// derivatives. Flat names: "flag", "pressure[1]", "shaft power",
// "fan.parameter1", "lag.x", "der(lag.x)".
Variables model_variables(const host::Simulation& simulation, const host::ModelSpec& model,
                          const std::vector<host::SweepEntry>& parameters, bool with_states);

// Why the model cannot be an FMU for model exchange; empty when it can.
std::string model_exchange_refusal(const host::Simulation& simulation);

}  // namespace fmu
