// The built-in blocks that a model of S-function blocks needs: sources,
// arithmetic, routing and continuous states, all over doubles.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/model/builtins.hpp"
#include "host/sim/node.hpp"

namespace host {

std::unique_ptr<Node> make_builtin(const std::string& name, const BuiltinSpec& spec);

// An Inport's or Outport's signal, for what runs the model from outside: an
// Inport's to write (`input`), an Outport's to read (`signal`, of
// `data_type`). Connected once the model is allocated.
struct ExternalPort {
    std::string block;
    int index;
    int width;
    int data_type;
    double* input;       // Inport
    const void* signal;  // Outport
};
std::optional<ExternalPort> external_port(Node& node);

}  // namespace host
