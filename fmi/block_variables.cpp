#include "fmi/block_variables.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "fmi/units.hpp"
#include "host/sfunction/data_types.hpp"

namespace fmu {

std::vector<std::vector<double>> example_parameters(const blocks::ManifestEntry& block) {
    std::vector<std::vector<double>> values;
    for (const auto& parameter : block.dialog()) {
        std::vector<double> elements;
        const char* text = parameter.default_value;
        while (*text) {
            if (*text == '[' || *text == ']' || *text == ' ' || *text == ',') {
                ++text;
                continue;
            }
            char* end = nullptr;
            elements.push_back(std::strtod(text, &end));
            if (end == text)
                throw std::invalid_argument(std::string(block.name) + "." + parameter.name + ": the example value '" +
                                            parameter.default_value + "' is not a list of numbers");
            text = end;
        }
        values.push_back(std::move(elements));
    }
    return values;
}

double example_value(const blocks::Signal& signal) {
    char* end = nullptr;
    const double value = std::strtod(signal.example, &end);
    if (end == signal.example || *end != '\0')
        throw std::invalid_argument(std::string("input ") + signal.name + ": the example value '" + signal.example +
                                    "' is not a number");
    return value;
}

std::vector<host::ArrayPtr> parameter_arrays(const std::vector<std::vector<double>>& values) {
    std::vector<host::ArrayPtr> arrays;
    for (const auto& elements : values) arrays.push_back(host::make_double(elements));
    return arrays;
}

namespace {

// Structured naming: arrays count their elements from 1.
std::string indexed(const std::string& base, int element) { return base + "[" + std::to_string(element + 1) + "]"; }
// A one-element parameter or DWork is a plain scalar.
std::string element_name(const std::string& base, int element, int width) {
    return width == 1 ? base : indexed(base, element);
}

BaseType base_type(int data_type, const std::string& what) {
    switch (host::data_type(data_type).storage) {
    case host::Storage::float64: return BaseType::real;
    case host::Storage::int32: return BaseType::integer;
    default: throw std::invalid_argument(what + " is " + host::data_type_label(data_type) + ": an FMU has no such variable");
    }
}

// A record's unit as a variable's: none where the unit is the user's.
std::string variable_unit(const char* unit) {
    if (std::string(unit) == "-") return "";
    if (!find_unit(unit)) throw std::invalid_argument(std::string("unit '") + unit + "' is not in the FMUs' unit table");
    return unit;
}

// Each element of each port as its record names it: "inlet.p" [Pa], with
// the worked example's value as an input's start.
void add_ports(Variables& variables, const host::SFunctionInstance& instance, const blocks::ManifestEntry& block,
               Role role) {
    const bool inputs = role == Role::input;
    const int ports = inputs ? instance.num_inputs() : instance.num_outputs();
    const auto listed = inputs ? block.inputs() : block.outputs();
    std::size_t elements = 0;
    for (int port = 0; port < ports; ++port) {
        const host::PortSpec spec = inputs ? instance.input(port) : instance.output(port);
        const std::string what = (inputs ? "input port " : "output port ") + std::to_string(port);
        const BaseType type = base_type(spec.data_type, what);
        if (inputs && type != BaseType::real) throw std::invalid_argument(what + " is not double");
        const auto signals = blocks::port_signals(block, inputs, port);
        if (signals.size() != static_cast<std::size_t>(spec.width))
            throw std::invalid_argument(std::string("the record of ") + block.name + " names " +
                                        std::to_string(signals.size()) + " elements of its " + what +
                                        ", the library declares width " + std::to_string(spec.width));
        elements += signals.size();
        for (int element = 0; element < spec.width; ++element) {
            const blocks::Signal& signal = signals[static_cast<std::size_t>(element)];
            Variable v;
            v.name = signal.name;
            v.description = signal.meaning;
            v.role = role;
            v.causality = inputs ? Causality::input : Causality::output;
            v.type = type;
            v.discrete = type == BaseType::integer;  // only a Real can vary continuously
            v.start = inputs ? exact_text(example_value(signal)) : "";
            v.unit = type == BaseType::real ? variable_unit(signal.unit) : "";
            v.index = port;
            v.element = element;
            variables.push_back(std::move(v));
        }
    }
    if (elements != listed.size())
        throw std::invalid_argument(std::string("the record of ") + block.name + " names " +
                                    std::to_string(listed.size()) + (inputs ? " input" : " output") +
                                    " elements, the library declares " + std::to_string(elements));
}

void add_parameters(Variables& variables, const blocks::ManifestEntry& block,
                    const std::vector<std::vector<double>>& parameters) {
    for (std::size_t p = 0; p < parameters.size(); ++p) {
        const auto& dialog = block.dialog()[p];
        const int width = static_cast<int>(parameters[p].size());
        for (int element = 0; element < width; ++element) {
            Variable v;
            v.name = element_name(dialog.name, element, width);
            v.description = dialog.meaning;
            v.role = Role::parameter;
            v.causality = Causality::parameter;
            v.type = BaseType::real;
            v.discrete = true;
            v.tunable = true;  // the block reads its parameters at every call
            v.start = exact_text(parameters[p][element]);
            v.unit = variable_unit(dialog.unit);
            v.index = static_cast<int>(p);
            v.element = element;
            variables.push_back(std::move(v));
        }
    }
}

void add_states(Variables& variables, const host::SFunctionInstance& instance) {
    const int states = instance.num_cont_states();
    const std::size_t first_state = variables.size();
    for (int role = 0; role < 2; ++role) {
        for (int element = 0; element < states; ++element) {
            Variable v;
            const std::string state = indexed("x", element);
            v.name = role == 0 ? state : "der(" + state + ")";
            v.description = (role == 0 ? "the block's continuous states" : "their derivatives") +
                            std::string(", element ") + std::to_string(element + 1);
            v.role = role == 0 ? Role::state : Role::derivative;
            v.causality = Causality::local;
            v.type = BaseType::real;
            v.discrete = false;
            v.element = element;
            if (role == 1) v.derivative_of = value_reference(first_state + static_cast<std::size_t>(element));
            variables.push_back(std::move(v));
        }
    }
}

void add_discrete_states(Variables& variables, const host::SFunctionInstance& instance) {
    for (int i = 0; i < instance.num_dworks(); ++i) {
        const host::DWorkSpec spec = instance.dwork_spec(i);
        const std::string name = spec.name.empty() ? "dwork" + std::to_string(i) : spec.name;
        const BaseType type = base_type(spec.data_type, "DWork " + std::to_string(i));
        for (int element = 0; element < spec.width; ++element) {
            Variable v;
            v.name = element_name(name, element, spec.width);
            v.description = "DWork " + std::to_string(i) + ", the block's memory between major steps";
            v.role = Role::discrete_state;
            v.causality = Causality::local;
            v.type = type;
            v.discrete = true;
            v.index = i;
            v.element = element;
            variables.push_back(std::move(v));
        }
    }
}

void add_internal_step(Variables& variables) {
    Variable v;
    v.name = "internal_step";
    v.description = "co-simulation: the fixed step of Runge-Kutta 4 within a communication step [s]";
    v.role = Role::internal_step;
    v.causality = Causality::parameter;
    v.type = BaseType::real;
    v.discrete = true;
    v.start = exact_text(default_internal_step);
    v.unit = "s";
    variables.push_back(std::move(v));
}

}  // namespace

Variables block_variables(const host::SFunctionInstance& instance, const blocks::ManifestEntry& block,
                          const std::vector<std::vector<double>>& parameters) {
    Variables variables;
    add_ports(variables, instance, block, Role::input);
    add_ports(variables, instance, block, Role::output);
    add_parameters(variables, block, parameters);
    add_states(variables, instance);
    add_discrete_states(variables, instance);
    add_internal_step(variables);
    return variables;
}

}  // namespace fmu
