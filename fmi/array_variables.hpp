// An FMU's variables as FMI 3.0 declares them: the scalar variables of
// variables.hpp, with each run that FMI 2.0 names element by element
// ("open_angles[1]" .. "open_angles[3]", "der(x[1])", "der(x[2])") one
// array variable ("open_angles", "der(x)") of that many elements. Scalars
// named otherwise ("inlet.p") stay scalars. Value reference k is the k-th.
#pragma once

#include <string>
#include <vector>

#include "fmi/variables.hpp"

namespace fmu {

struct ArrayVariable {
    std::string name;
    std::size_t first = 0, count = 1;  // its scalar variables, in order
    bool array = false;                // declared with a Dimension
};

std::vector<ArrayVariable> array_variables(const Variables& scalars);

// The FMI 3.0 value reference of the array variable that holds scalar `scalar`.
unsigned array_value_reference(const std::vector<ArrayVariable>& arrays, std::size_t scalar);

}  // namespace fmu
