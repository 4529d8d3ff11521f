// The variables of a block's FMU, from what its library declares with the
// example dialog values and the names, units and examples of its record: both the description generator
// and the FMU's binary make them here, so that they agree.
#pragma once

#include <vector>

#include "block_manifest.hpp"
#include "fmi/variables.hpp"
#include "host/sfunction/instance.hpp"

namespace fmu {

// The internal step of a block's co-simulation unless the importer sets another [s].
inline constexpr double default_internal_step = 1e-3;

// The example values of a block's dialog parameters, as doubles: "[2 0.5 0.1]" -> {2, 0.5, 0.1}.
std::vector<std::vector<double>> example_parameters(const blocks::ManifestEntry& block);
// An input's value in its block's worked example: where a block FMU's input starts.
double example_value(const blocks::Signal& signal);
std::vector<host::ArrayPtr> parameter_arrays(const std::vector<std::vector<double>>& values);

// Inputs and outputs per port element (named by the record, which must
// list as many as the library declares), parameters per element in dialog
// order, continuous states and their derivatives, each DWork's elements as
// discrete states, then the internal step. `instance` is prepared.
Variables block_variables(const host::SFunctionInstance& instance, const blocks::ManifestEntry& block,
                          const std::vector<std::vector<double>>& parameters);

}  // namespace fmu
