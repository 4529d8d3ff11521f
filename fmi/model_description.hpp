// modelDescription.xml of an FMU: FMI 2.0 or 3.0, co-simulation and, where
// the model has it, model exchange, with one binary for both.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fmi/variables.hpp"

namespace fmu {

struct Description {
    std::string model_name;        // also the modelIdentifier: the binary's name
    std::string description;
    std::string guid;
    std::string generation_tool;
    // "structured" (u0[1], der(x[1])) or "flat" (any name: a model's signals as blocksim names them)
    std::string naming = "structured";
    bool model_exchange = true;
    unsigned continuous_states = 0;
    std::optional<double> stop_time, step_size;  // the DefaultExperiment, when given
    Variables variables;
    // A source FMU's files, relative to its sources/ folder, in both interfaces' SourceFiles.
    std::vector<std::string> source_files;
};

void write_model_description(std::ostream& out, const Description& description);
// The same FMU as FMI 3.0 declares it: arrays for the runs of elements
// (array_variables.hpp); the source files are in sources/buildDescription.xml.
void write_model_description_fmi3(std::ostream& out, const Description& description);

// "<" and "&" and quotes as XML entities.
std::string xml_escaped(const std::string& text);

}  // namespace fmu
