#include "fmi/model_description.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "fmi/array_variables.hpp"
#include "fmi/units.hpp"
#include "host/common/text.hpp"

namespace fmu {

std::string exact_text(double value) { return host::format_number(value); }

std::string xml_escaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '&': escaped += "&amp;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

namespace {

const char* causality_name(Causality causality) {
    switch (causality) {
    case Causality::input: return "input";
    case Causality::output: return "output";
    case Causality::parameter: return "parameter";
    case Causality::local: return "local";
    }
    return "local";
}

// A fixed parameter is read when the model is created, at the end of
// initialization; a tunable one may change between steps too.
const char* variability_name(const Variable& variable) {
    if (variable.causality == Causality::parameter) return variable.tunable ? "tunable" : "fixed";
    return variable.discrete ? "discrete" : "continuous";
}

// Inputs carry no initial attribute; parameters are exact; what the model
// computes is calculated (and so carries no start value).
const char* initial_name(const Variable& variable) {
    switch (variable.causality) {
    case Causality::input: return nullptr;
    case Causality::parameter: return "exact";
    default: return "calculated";
    }
}

void write_variable(std::ostream& out, const Variable& variable, std::size_t i) {
    out << "    <ScalarVariable name=\"" << xml_escaped(variable.name) << "\" valueReference=\"" << value_reference(i)
        << "\" causality=\"" << causality_name(variable.causality) << "\" variability=\""
        << variability_name(variable) << "\"";
    if (const char* initial = initial_name(variable)) out << " initial=\"" << initial << "\"";
    if (!variable.description.empty()) out << " description=\"" << xml_escaped(variable.description) << "\"";
    out << ">\n      <" << (variable.type == BaseType::real ? "Real" : "Integer");
    if (variable.derivative_of) out << " derivative=\"" << variable.derivative_of << "\"";
    if (!variable.unit.empty()) out << " unit=\"" << xml_escaped(variable.unit) << "\"";
    if (!variable.start.empty()) out << " start=\"" << variable.start << "\"";
    out << "/>\n    </ScalarVariable>\n";
}

// The end of an interface element, with the files of a source FMU.
void end_interface(std::ostream& out, const char* element, const std::vector<std::string>& source_files) {
    if (source_files.empty()) {
        out << "/>\n";
        return;
    }
    out << ">\n    <SourceFiles>\n";
    for (const auto& file : source_files) out << "      <File name=\"" << xml_escaped(file) << "\"/>\n";
    out << "    </SourceFiles>\n  </" << element << ">\n";
}

// Each unit the variables carry: the table's with their base-unit
// exponents, a model's own (a logged signal's "bar") by name alone.
void write_unit_definitions(std::ostream& out, const Variables& variables) {
    std::vector<std::string> names, named_only;
    for (const auto& v : variables) {
        if (v.unit.empty()) continue;
        names.push_back(v.unit);
        if (!find_unit(v.unit) && std::find(named_only.begin(), named_only.end(), v.unit) == named_only.end())
            named_only.push_back(v.unit);
    }
    const auto units = units_of(names);
    if (units.empty() && named_only.empty()) return;
    out << "  <UnitDefinitions>\n";
    for (const auto& name : named_only) out << "    <Unit name=\"" << xml_escaped(name) << "\"/>\n";
    for (const Unit* unit : units) {
        out << "    <Unit name=\"" << xml_escaped(unit->name) << "\">\n      <BaseUnit";
        const std::pair<const char*, int> exponents[] = {{"kg", unit->kg}, {"m", unit->m},     {"s", unit->s},
                                                         {"A", unit->A},   {"K", unit->K},     {"mol", unit->mol},
                                                         {"cd", unit->cd}, {"rad", unit->rad}};
        for (const auto& [base, exponent] : exponents)
            if (exponent != 0) out << " " << base << "=\"" << exponent << "\"";
        if (unit->factor != 1.0) out << " factor=\"" << exact_text(unit->factor) << "\"";
        out << "/>\n    </Unit>\n";
    }
    out << "  </UnitDefinitions>\n";
}

// The DefaultExperiment, when the description gives one: the same element in both versions.
void write_default_experiment(std::ostream& out, const Description& d) {
    if (!d.stop_time && !d.step_size) return;
    out << "  <DefaultExperiment startTime=\"0\"";
    if (d.stop_time) out << " stopTime=\"" << exact_text(*d.stop_time) << "\"";
    if (d.step_size) out << " stepSize=\"" << exact_text(*d.step_size) << "\"";
    out << "/>\n";
}

void write_unknowns(std::ostream& out, const char* element, const Variables& variables, bool (*listed)(const Variable&)) {
    bool any = false;
    for (std::size_t i = 0; i < variables.size(); ++i) any |= listed(variables[i]);
    if (!any) return;
    out << "    <" << element << ">\n";
    for (std::size_t i = 0; i < variables.size(); ++i)
        if (listed(variables[i])) out << "      <Unknown index=\"" << value_reference(i) << "\"/>\n";
    out << "    </" << element << ">\n";
}

bool is_output(const Variable& v) { return v.causality == Causality::output; }
bool is_derivative(const Variable& v) { return v.role == Role::derivative; }
// Outputs, states and derivatives, all calculated.
bool is_initial_unknown(const Variable& v) {
    return v.causality == Causality::output || v.role == Role::state || v.role == Role::derivative;
}

}  // namespace

void write_model_description(std::ostream& out, const Description& d) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<fmiModelDescription fmiVersion=\"2.0\" modelName=\"" << xml_escaped(d.model_name) << "\" guid=\""
        << d.guid << "\" description=\"" << xml_escaped(d.description) << "\" generationTool=\""
        << xml_escaped(d.generation_tool) << "\" variableNamingConvention=\"" << d.naming << "\" numberOfEventIndicators=\"0\">\n";
    if (d.model_exchange) {
        out << "  <ModelExchange modelIdentifier=\"" << xml_escaped(d.model_name)
            << "\" canGetAndSetFMUstate=\"false\" canSerializeFMUstate=\"false\""
               " providesDirectionalDerivative=\"false\" completedIntegratorStepNotNeeded=\"false\"";
        end_interface(out, "ModelExchange", d.source_files);
    }
    out << "  <CoSimulation modelIdentifier=\"" << xml_escaped(d.model_name)
        << "\" canHandleVariableCommunicationStepSize=\"true\" canInterpolateInputs=\"false\""
           " maxOutputDerivativeOrder=\"0\" canRunAsynchronuously=\"false\" canBeInstantiatedOnlyOncePerProcess=\"false\""
           " canGetAndSetFMUstate=\"false\" canSerializeFMUstate=\"false\" providesDirectionalDerivative=\"false\"";
    end_interface(out, "CoSimulation", d.source_files);
    write_unit_definitions(out, d.variables);
    write_default_experiment(out, d);
    out << "  <ModelVariables>\n";
    for (std::size_t i = 0; i < d.variables.size(); ++i) write_variable(out, d.variables[i], i);
    out << "  </ModelVariables>\n  <ModelStructure>\n";
    write_unknowns(out, "Outputs", d.variables, is_output);
    write_unknowns(out, "Derivatives", d.variables, is_derivative);
    write_unknowns(out, "InitialUnknowns", d.variables, is_initial_unknown);
    out << "  </ModelStructure>\n</fmiModelDescription>\n";
}

namespace {

const char* fmi3_type(const Variable& v) { return v.type == BaseType::real ? "Float64" : "Int32"; }

void write_fmi3_variable(std::ostream& out, const Variables& scalars, const std::vector<ArrayVariable>& arrays,
                         std::size_t k) {
    const ArrayVariable& array = arrays[k];
    const Variable& v = scalars[array.first];
    out << "    <" << fmi3_type(v) << " name=\"" << xml_escaped(array.name) << "\" valueReference=\"" << k + 1
        << "\" causality=\"" << causality_name(v.causality) << "\" variability=\"" << variability_name(v) << "\"";
    if (const char* initial = initial_name(v)) out << " initial=\"" << initial << "\"";
    // An array's description is its elements' without ", element 1".
    const std::string description = array.array ? v.description.substr(0, v.description.rfind(", element "))
                                                : v.description;
    if (!description.empty()) out << " description=\"" << xml_escaped(description) << "\"";
    if (!v.unit.empty()) out << " unit=\"" << xml_escaped(v.unit) << "\"";
    if (v.derivative_of) out << " derivative=\"" << array_value_reference(arrays, v.derivative_of - 1) << "\"";
    if (!v.start.empty()) {
        out << " start=\"";
        for (std::size_t i = 0; i < array.count; ++i) out << (i ? " " : "") << scalars[array.first + i].start;
        out << "\"";
    }
    if (!array.array) {
        out << "/>\n";
        return;
    }
    out << ">\n      <Dimension start=\"" << array.count << "\"/>\n    </" << fmi3_type(v) << ">\n";
}

}  // namespace

void write_model_description_fmi3(std::ostream& out, const Description& d) {
    const auto arrays = array_variables(d.variables);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<fmiModelDescription fmiVersion=\"3.0\" modelName=\"" << xml_escaped(d.model_name)
        << "\" instantiationToken=\"" << d.guid << "\" description=\"" << xml_escaped(d.description)
        << "\" generationTool=\"" << xml_escaped(d.generation_tool) << "\" variableNamingConvention=\"" << d.naming
        << "\">\n";
    if (d.model_exchange)
        out << "  <ModelExchange modelIdentifier=\"" << xml_escaped(d.model_name)
            << "\" canGetAndSetFMUState=\"false\" canSerializeFMUState=\"false\" needsCompletedIntegratorStep=\"true\"/>\n";
    out << "  <CoSimulation modelIdentifier=\"" << xml_escaped(d.model_name)
        << "\" canGetAndSetFMUState=\"false\" canSerializeFMUState=\"false\""
           " canHandleVariableCommunicationStepSize=\"true\" hasEventMode=\"false\"/>\n";
    write_unit_definitions(out, d.variables);
    write_default_experiment(out, d);
    out << "  <ModelVariables>\n";
    for (std::size_t k = 0; k < arrays.size(); ++k) write_fmi3_variable(out, d.variables, arrays, k);
    out << "  </ModelVariables>\n  <ModelStructure>\n";
    const auto unknowns = [&](const char* element, bool (*listed)(const Variable&)) {
        for (std::size_t k = 0; k < arrays.size(); ++k)
            if (listed(d.variables[arrays[k].first])) out << "    <" << element << " valueReference=\"" << k + 1 << "\"/>\n";
    };
    unknowns("Output", is_output);
    unknowns("ContinuousStateDerivative", is_derivative);
    unknowns("InitialUnknown", is_initial_unknown);
    out << "  </ModelStructure>\n</fmiModelDescription>\n";
}

}  // namespace fmu
