#include "host/sim/sfunction_node.hpp"

namespace host {

SFunctionNode::SFunctionNode(std::string name, std::shared_ptr<const Library> library,
                             std::vector<ArrayPtr> parameters)
    : Node(name), instance_(std::move(name), std::move(library), std::move(parameters)) {}

void SFunctionNode::settle_sample_times() {
    instance_.settle_sample_times();
    const double period = instance_.sample_time();
    if (period > 0.0)
        throw HostError(instance_.label() + " has a discrete sample time of " + std::to_string(period) +
                        " s; blocksim runs continuous and inherited sample times only");
}

void SFunctionNode::allocate(double* states, double* derivatives) {
    if (num_states() > 0) instance_.allocate(states, derivatives);
    else instance_.allocate();
}

}  // namespace host
