// The scalar variables an FMU exposes, in the order of its
// modelDescription.xml: value reference k is the k-th variable (from 1),
// which is also its index in the ModelStructure.
#pragma once

#include <string>
#include <vector>

namespace fmu {

enum class Causality { input, output, parameter, local };
enum class BaseType { real, integer };

// What a variable stands for in the FMU's model.
enum class Role {
    input,           // element `element` of input port `index` (of Inport `index` in a model)
    output,          // element `element` of output port `index` (of Outport `index` in a model)
    logged_signal,   // logged column `index` of a model without Outports
    parameter,       // element `element` of dialog parameter `index` (a model's parameter `index`)
    state,           // continuous state `element`
    derivative,      // its derivative
    discrete_state,  // element `element` of DWork `index`
    internal_step,   // the co-simulation's internal fixed step [s]
};

struct Variable {
    std::string name;         // structured naming: "inlet.p", "flow_coefficients[2]", "der(x[2])"
    std::string description;
    Role role;
    Causality causality;
    BaseType type;
    bool discrete;            // variability "discrete" (or "fixed" for a parameter), else "continuous"
    bool tunable = false;     // a parameter that may change after initialization
    std::string start;        // empty: no start value
    std::string unit;         // a unit of fmi/units.hpp; empty: none (a pure number's is "1")
    int index = 0;
    int element = 0;
    unsigned derivative_of = 0;  // for a derivative: the value reference of its state
};

using Variables = std::vector<Variable>;

// The value reference of variables[i].
inline unsigned value_reference(std::size_t i) { return static_cast<unsigned>(i + 1); }

// A real number as written into the description and read back exactly.
std::string exact_text(double value);

}  // namespace fmu
