#include "fmi/model_export.hpp"

#include <fstream>
#include <sstream>

#include "host/common/text.hpp"
#include "host/model/model_file.hpp"
#include "host/sfunction/data_types.hpp"

namespace fmu {

std::string export_text(const ModelExport& facts) {
    std::string text = "guid " + facts.guid + "\nmodel " + facts.model.generic_string() + "\n";
    for (const auto& name : facts.parameters) text += "parameter " + name + "\n";
    return text;
}

ModelExport read_export(const std::filesystem::path& resources) {
    const auto file = resources / export_file;
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read " + file.string() + ": the FMU's resources are incomplete");
    ModelExport facts;
    std::string line;
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "guid") facts.guid = value;
        else if (key == "model") facts.model = value;
        else if (key == "parameter") facts.parameters.push_back(value);
        else if (!key.empty()) throw std::runtime_error(file.string() + ": unknown line '" + line + "'");
    }
    if (facts.guid.empty() || facts.model.empty())
        throw std::runtime_error(file.string() + " names no GUID or no model");
    return facts;
}

host::ModelSpec exported_model(const std::filesystem::path& resources, const ModelExport& facts) {
    host::ModelSpec model = host::read_model_file(resources / facts.model);
    model.search_path = {resources / libraries_folder};
    return model;
}

std::vector<host::SweepEntry> model_parameters(const host::ModelSpec& model, const std::vector<std::string>& names) {
    std::vector<host::SweepEntry> entries;
    for (const auto& name : names) {
        entries.push_back(host::sweep_entry_named(model, name));
        for (std::size_t i = 0; i + 1 < entries.size(); ++i)
            if (entries[i].column() == entries.back().column())
                throw host::ModelError(name + " is named twice as a parameter");
    }
    return entries;
}

namespace {

std::vector<double> inport_start(const host::ModelSpec& model, const host::ExternalPort& port) {
    for (const auto& block : model.blocks)
        if (block.name == port.block)
            if (const auto* inport = std::get_if<host::builtin::Inport>(&block.builtin)) {
                const auto width = static_cast<std::size_t>(port.width);
                return inport->value.size() == 1 ? std::vector<double>(width, inport->value[0]) : inport->value;
            }
    return std::vector<double>(static_cast<std::size_t>(port.width), 0.0);
}

// "flag" for a one-element port, "pressure[1]", "pressure[2]" for a wider one.
Variable port_element(const host::ExternalPort& port, int index, int element, bool input) {
    Variable v;
    v.name = port.width == 1 ? port.block : port.block + "[" + std::to_string(element + 1) + "]";
    v.description = std::string(input ? "Inport " : "Outport ") + std::to_string(port.index) + ", element " +
                    std::to_string(element);
    v.role = input ? Role::input : Role::output;
    v.causality = input ? Causality::input : Causality::output;
    v.type = host::data_type(port.data_type).storage == host::Storage::int32 ? BaseType::integer : BaseType::real;
    v.discrete = v.type == BaseType::integer;
    v.index = index;
    v.element = element;
    return v;
}

// A logged column by its label (or its readable name), with its unit; by
// its column name where another variable has that name already.
Variable logged_signal(const host::Simulation& simulation, std::size_t column, const Variables& earlier) {
    const auto& facts = simulation.column_facts()[column];
    const std::string& column_name = simulation.column_names()[column];
    Variable v;
    v.name = facts.name;
    for (const auto& other : earlier)
        if (other.name == v.name) v.name = column_name;
    v.description = "logged signal " + column_name + (facts.group.empty() ? "" : ", in '" + facts.group + "'");
    v.unit = facts.unit;
    v.role = Role::logged_signal;
    v.causality = Causality::output;
    v.type = BaseType::real;
    v.discrete = false;
    v.index = static_cast<int>(column);
    return v;
}

}  // namespace

std::string model_exchange_refusal(const host::Simulation& simulation) {
    const host::Node* lagged = simulation.block_with_lagged_outputs();
    if (!lagged) return "";
    return lagged->label() + " hands out its outputs one evaluation late, so its results would depend on the order in "
                             "which an importer calls the model; co-simulation runs the model's own solver instead";
}

Variables model_variables(const host::Simulation& simulation, const host::ModelSpec& model,
                          const std::vector<host::SweepEntry>& parameters, bool with_states) {
    Variables variables;
    const auto& inports = simulation.inports();
    for (std::size_t i = 0; i < inports.size(); ++i) {
        const auto start = inport_start(model, inports[i]);
        for (int element = 0; element < inports[i].width; ++element) {
            Variable v = port_element(inports[i], static_cast<int>(i), element, true);
            v.start = exact_text(start[static_cast<std::size_t>(element)]);
            variables.push_back(std::move(v));
        }
    }
    const auto& outports = simulation.outports();
    for (std::size_t i = 0; i < outports.size(); ++i)
        for (int element = 0; element < outports[i].width; ++element)
            variables.push_back(port_element(outports[i], static_cast<int>(i), element, false));
    if (outports.empty())
        for (std::size_t i = 0; i < simulation.column_names().size(); ++i)
            variables.push_back(logged_signal(simulation, i, variables));
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        Variable v;
        v.name = parameters[i].column();
        // A dialog parameter is read by its block at each step, and checked
        // when it changes; a built-in block's key is read once, at the start.
        v.tunable = parameters[i].parameter > 0;
        v.description = v.tunable ? "an S-function dialog parameter, tunable while the model runs"
                                  : "a built-in block's setting, fixed once the model runs";
        v.role = Role::parameter;
        v.causality = Causality::parameter;
        v.type = BaseType::real;
        v.discrete = true;
        v.start = exact_text(host::sweep_value(model, parameters[i]));
        v.index = static_cast<int>(i);
        variables.push_back(std::move(v));
    }
    if (!with_states) return variables;
    const auto states = simulation.state_names();
    const std::size_t first_state = variables.size();
    for (int role = 0; role < 2; ++role)
        for (std::size_t k = 0; k < states.size(); ++k) {
            Variable v;
            v.name = role == 0 ? states[k] : "der(" + states[k] + ")";
            v.description = role == 0 ? "a continuous state of the model" : "its derivative";
            v.role = role == 0 ? Role::state : Role::derivative;
            v.causality = Causality::local;
            v.type = BaseType::real;
            v.discrete = false;
            v.element = static_cast<int>(k);
            if (role == 1) v.derivative_of = value_reference(first_state + k);
            variables.push_back(std::move(v));
        }
    return variables;
}

}  // namespace fmu
