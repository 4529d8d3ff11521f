// The units an FMU's variables carry, each with its SI base-unit exponents
// and factor as the FMI standards define a unit (value in base units =
// factor * value + offset). One table for every FMU and both FMI versions.
#pragma once

#include <string>
#include <vector>

namespace fmu {

struct Unit {
    const char* name;  // as in a variable's unit attribute: "Pa"
    int kg, m, s, A, K, mol, cd, rad;
    double factor;
};

// The unit named `name`, or nullptr for none of the table's.
const Unit* find_unit(const std::string& name);

// The table's units among `names`, each once, in the table's order.
std::vector<const Unit*> units_of(const std::vector<std::string>& names);

}  // namespace fmu
