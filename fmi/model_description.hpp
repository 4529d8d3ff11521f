// modelDescription.xml of an FMU: FMI 2.0, co-simulation and, where the
// model has it, model exchange, with one binary for both.
#pragma once

#include <ostream>
#include <string>

#include "fmi/variables.hpp"

namespace fmu {

struct Description {
    std::string model_name;        // also the modelIdentifier: the binary's name
    std::string description;
    std::string guid;
    std::string generation_tool;
    bool model_exchange = true;
    unsigned continuous_states = 0;
    Variables variables;
};

void write_model_description(std::ostream& out, const Description& description);

// "<" and "&" and quotes as XML entities.
std::string xml_escaped(const std::string& text);

}  // namespace fmu
