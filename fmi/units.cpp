#include "fmi/units.hpp"

#include <algorithm>
#include <stdexcept>

namespace fmu {

namespace {

//                            kg   m   s  A  K mol cd rad  factor
constexpr Unit units[] = {
    {"1",    /* pure number */ 0,  0,  0, 0, 0, 0, 0, 0, 1.0},
    {"s",                      0,  0,  1, 0, 0, 0, 0, 0, 1.0},
    {"m",                      0,  1,  0, 0, 0, 0, 0, 0, 1.0},
    {"bar",  /* 1e5 Pa */      1, -1, -2, 0, 0, 0, 0, 0, 1e5},
    {"K",                      0,  0,  0, 0, 1, 0, 0, 0, 1.0},
    {"Pa",   /* N/m^2 */       1, -1, -2, 0, 0, 0, 0, 0, 1.0},
    {"W",    /* J/s */         1,  2, -3, 0, 0, 0, 0, 0, 1.0},
    {"kg/s",                   1,  0, -1, 0, 0, 0, 0, 0, 1.0},
    {"rad",                    0,  0,  0, 0, 0, 0, 0, 1, 1.0},
    {"deg",  /* pi/180 rad */  0,  0,  0, 0, 0, 0, 0, 1, 0.017453292519943295},
};

}  // namespace

const Unit* find_unit(const std::string& name) {
    for (const Unit& unit : units)
        if (name == unit.name) return &unit;
    return nullptr;
}

std::vector<const Unit*> units_of(const std::vector<std::string>& names) {
    std::vector<const Unit*> used;
    for (const Unit& unit : units)
        if (std::find(names.begin(), names.end(), unit.name) != names.end()) used.push_back(&unit);
    return used;
}

}  // namespace fmu
