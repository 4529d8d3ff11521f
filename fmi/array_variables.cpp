#include "fmi/array_variables.hpp"

#include <stdexcept>

namespace fmu {

namespace {

// "open_angles[3]" -> {"open_angles", 3}, "der(x[2])" -> {"der(x)", 2};
// {"", 0} for a name that is no array element.
std::pair<std::string, std::size_t> element_of(const std::string& name) {
    const bool derivative = name.rfind("der(", 0) == 0 && name.back() == ')';
    const std::string inner = derivative ? name.substr(4, name.size() - 5) : name;
    const std::size_t open = inner.rfind('[');
    if (open == std::string::npos || inner.back() != ']' || open + 2 > inner.size() - 1) return {"", 0};
    std::size_t index = 0;
    for (std::size_t i = open + 1; i + 1 < inner.size(); ++i) {
        if (inner[i] < '0' || inner[i] > '9') return {"", 0};
        index = index * 10 + static_cast<std::size_t>(inner[i] - '0');
    }
    const std::string base = inner.substr(0, open);
    return {derivative ? "der(" + base + ")" : base, index};
}

}  // namespace

std::vector<ArrayVariable> array_variables(const Variables& scalars) {
    std::vector<ArrayVariable> arrays;
    for (std::size_t i = 0; i < scalars.size(); ++i) {
        const auto [base, index] = element_of(scalars[i].name);
        if (index == 1) {
            ArrayVariable array{base, i, 1, true};
            while (i + 1 < scalars.size() && scalars[i + 1].role == scalars[i].role &&
                   element_of(scalars[i + 1].name) == std::make_pair(base, array.count + 1)) {
                ++array.count;
                ++i;
            }
            arrays.push_back(array);
        } else {
            arrays.push_back({scalars[i].name, i, 1, false});
        }
    }
    return arrays;
}

unsigned array_value_reference(const std::vector<ArrayVariable>& arrays, std::size_t scalar) {
    for (std::size_t k = 0; k < arrays.size(); ++k)
        if (scalar >= arrays[k].first && scalar < arrays[k].first + arrays[k].count) return static_cast<unsigned>(k + 1);
    throw std::out_of_range("no array variable holds scalar variable " + std::to_string(scalar));
}

}  // namespace fmu
