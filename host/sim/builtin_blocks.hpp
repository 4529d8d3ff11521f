// The built-in blocks that a model of S-function blocks needs: sources,
// arithmetic, routing and continuous states, all over doubles.
#pragma once

#include <memory>
#include <string>

#include "host/model/builtins.hpp"
#include "host/sim/node.hpp"

namespace host {

std::unique_ptr<Node> make_builtin(const std::string& name, const BuiltinSpec& spec);

}  // namespace host
