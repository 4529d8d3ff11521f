// What an FMU's modelDescription.xml says, of FMI 2.0 or 3.0, in one form:
// its interfaces, its variables and the structure an importer needs (the
// outputs, the continuous states and their derivatives, the event
// indicators). The XML is read by a parser that expands no entities and
// reads no document type or external file; a description that declares a
// document type is refused, as are one larger than the limit and one whose
// references do not resolve.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

enum class FmiVersion { fmi2, fmi3 };

// The bytes of a modelDescription.xml read at most.
inline constexpr std::uint64_t most_description_bytes = 128'000'000;

struct FmuVariable {
    std::string name;
    std::uint32_t value_reference = 0;
    // "Real", "Integer", "Boolean", "String", "Enumeration" (FMI 2.0);
    // "Float64", "Int32", ... (FMI 3.0)
    std::string type;
    std::string causality;    // "parameter", "input", "output", "local", ...
    std::string variability;  // "constant", "fixed", "tunable", "discrete", "continuous"
    std::string initial;      // "exact", "approx", "calculated" or "" (not given)
    std::string unit, description;
    std::optional<std::string> start;  // as written; an array's values separated by spaces
    // An FMI 3.0 array's extents, outermost first; empty for a scalar.
    std::vector<std::uint64_t> dimensions;
    std::uint64_t width() const;  // its number of elements: 1 for a scalar
    // The variable whose derivative this one is (an index into the
    // description's variables), for a state's derivative.
    std::optional<std::size_t> derivative_of;
    bool is_real() const;  // Real, Float64 or Float32
};

struct FmuInterface {
    std::string model_identifier;
    bool can_handle_variable_step = false;           // co-simulation
    bool needs_completed_integrator_step = true;     // model exchange
    bool can_get_and_set_state = false;
};

struct FmuDescription {
    FmiVersion version = FmiVersion::fmi2;
    std::string fmi_version;        // "2.0", "3.0"
    std::string model_name;
    std::string token;              // guid (2.0) or instantiationToken (3.0)
    std::string description, generation_tool;
    std::optional<FmuInterface> co_simulation, model_exchange;
    std::vector<FmuVariable> variables;
    std::vector<std::size_t> outputs;      // indices into variables, in the description's order
    std::vector<std::size_t> derivatives;  // of the continuous states, in the states' order
    std::size_t event_indicators = 0;      // number of scalar event indicators
    std::optional<double> default_step;    // DefaultExperiment stepSize

    // The variable named `name`, or nullptr.
    const FmuVariable* variable(const std::string& name) const;
    // Its inputs and outputs in the description's order: an FMU block's ports.
    std::vector<std::size_t> inputs() const;
    // The continuous states: the variables the derivatives are of, and
    // their number of elements.
    std::vector<std::size_t> states() const;
    std::uint64_t state_count() const;
};

// Reads a modelDescription.xml's text; `source` names it in messages. Throws
// FmuError ("model.fmu: modelDescription.xml: ...").
FmuDescription parse_description(std::string_view xml, const std::string& source);
// Reads `folder`/modelDescription.xml, within most_description_bytes.
FmuDescription read_description(const std::filesystem::path& folder, const std::string& source);

}  // namespace host
