// An FMU as a block of a running model, in co-simulation: at each major
// step its inputs are set and one communication step is taken (every n-th
// major step for a block whose step is n model steps), and its outputs are
// read after it. So what the model sees of a co-simulation FMU's outputs at
// t is what the FMU computed from its inputs one communication step before.
#pragma once

#include <memory>
#include <string>

#include "host/model/model.hpp"
#include "host/sim/node.hpp"

namespace host {

std::unique_ptr<Node> make_fmu_node(const std::string& name, const FmuBlockSpec& spec, const SolverSpec& solver);

// Lets the engine make FMU blocks (set_fmu_node_maker).
void enable_fmu_blocks();

}  // namespace host
