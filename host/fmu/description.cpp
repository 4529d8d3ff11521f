#include "host/fmu/description.hpp"

#include <pugixml.hpp>

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "host/fmu/archive.hpp"

namespace host {

namespace {

// An array variable's elements at most: more than any importer could hold.
constexpr std::uint64_t most_array_elements = 10'000'000;

// Reads one description: its messages all start "SOURCE: modelDescription.xml: ".
class Reader {
public:
    explicit Reader(const std::string& source) : prefix_(source + ": modelDescription.xml: ") {}

    [[noreturn]] void fail(const std::string& what) const { throw FmuError(prefix_ + what); }

    std::string required(const pugi::xml_node& node, const char* attribute) const {
        const pugi::xml_attribute a = node.attribute(attribute);
        if (!a) fail("<" + std::string(node.name()) + "> has no " + attribute + where(node));
        return a.value();
    }
    static std::string optional(const pugi::xml_node& node, const char* attribute) {
        return node.attribute(attribute).value();
    }
    bool flag(const pugi::xml_node& node, const char* attribute, bool otherwise) const {
        const pugi::xml_attribute a = node.attribute(attribute);
        if (!a) return otherwise;
        const std::string v = a.value();
        if (v == "true") return true;
        if (v == "false") return false;
        fail(std::string(attribute) + "=\"" + v + "\" is neither true nor false" + where(node));
    }
    std::uint64_t count(const std::string& text, const std::string& what, std::uint64_t most) const {
        std::uint64_t value = 0;
        const char* end = text.data() + text.size();
        const auto [ptr, ec] = std::from_chars(text.data(), end, value);
        if (text.empty() || ec != std::errc() || ptr != end || value > most)
            fail(what + " \"" + text + "\" is not a whole number from 0 to " + std::to_string(most));
        return value;
    }
    std::uint32_t value_reference(const pugi::xml_node& node) const {
        return static_cast<std::uint32_t>(
            count(required(node, "valueReference"), "valueReference" + where(node), 0xFFFFFFFFull));
    }
    static std::string where(const pugi::xml_node& node) {
        const char* name = node.attribute("name").value();
        return *name ? std::string(" (variable ") + name + ")" : std::string();
    }

private:
    std::string prefix_;
};

const char* const fmi2_types[] = {"Real", "Integer", "Boolean", "String", "Enumeration"};
const char* const fmi3_types[] = {"Float32", "Float64", "Int8",   "UInt8",  "Int16",  "UInt16", "Int32", "UInt32",
                                  "Int64",   "UInt64",  "Boolean", "String", "Binary", "Enumeration", "Clock"};

template <std::size_t N> bool listed(const char* const (&names)[N], const std::string& name) {
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

// Units of declared types: <SimpleType name><Real unit/></SimpleType> (2.0),
// <Float64Type name unit/> (3.0).
std::map<std::string, std::string> declared_units(const pugi::xml_node& types, FmiVersion version) {
    std::map<std::string, std::string> units;
    for (const pugi::xml_node& type : types.children()) {
        const pugi::xml_node holder = version == FmiVersion::fmi2 ? type.child("Real") : type;
        if (holder.attribute("unit")) units[type.attribute("name").value()] = holder.attribute("unit").value();
    }
    return units;
}

FmuInterface read_interface(const Reader& reader, const pugi::xml_node& node, FmiVersion version) {
    FmuInterface i;
    i.model_identifier = reader.required(node, "modelIdentifier");
    // It names the binary's file: a C name, never a path.
    static const std::regex c_name("[A-Za-z_][A-Za-z0-9_]*");
    if (!std::regex_match(i.model_identifier, c_name))
        reader.fail("modelIdentifier \"" + i.model_identifier + "\" is not a C name, as the standard asks; refused");
    i.can_handle_variable_step = reader.flag(node, "canHandleVariableCommunicationStepSize", false);
    if (version == FmiVersion::fmi2) {
        i.needs_completed_integrator_step = !reader.flag(node, "completedIntegratorStepNotNeeded", false);
        i.can_get_and_set_state = reader.flag(node, "canGetAndSetFMUstate", false);
    } else {
        i.needs_completed_integrator_step = reader.flag(node, "needsCompletedIntegratorStep", false);
        i.can_get_and_set_state = reader.flag(node, "canGetAndSetFMUState", false);
    }
    return i;
}

}  // namespace

std::uint64_t FmuVariable::width() const {
    std::uint64_t n = 1;
    for (std::uint64_t d : dimensions) n *= d;
    return n;
}

bool FmuVariable::is_real() const { return type == "Real" || type == "Float64" || type == "Float32"; }

const FmuVariable* FmuDescription::variable(const std::string& name) const {
    for (const auto& v : variables)
        if (v.name == name) return &v;
    return nullptr;
}

std::vector<std::size_t> FmuDescription::inputs() const {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < variables.size(); ++i)
        if (variables[i].causality == "input") found.push_back(i);
    return found;
}

std::vector<std::size_t> FmuDescription::states() const {
    std::vector<std::size_t> found;
    for (std::size_t d : derivatives) found.push_back(*variables[d].derivative_of);
    return found;
}

std::uint64_t FmuDescription::state_count() const {
    std::uint64_t n = 0;
    for (std::size_t s : states()) n += variables[s].width();
    return n;
}

FmuDescription parse_description(std::string_view xml, const std::string& source) {
    const Reader reader(source);
    if (xml.size() > most_description_bytes)
        reader.fail("larger than " + std::to_string(most_description_bytes) + " bytes; refused");
    pugi::xml_document document;
    // Entities stay as written; the document type is kept only to refuse it.
    const unsigned options = (pugi::parse_default | pugi::parse_doctype) & ~pugi::parse_pi;
    const pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size(), options, pugi::encoding_utf8);
    if (!parsed)
        reader.fail(std::string(parsed.description()) + " at byte " + std::to_string(parsed.offset));
    for (const pugi::xml_node& node : document.children())
        if (node.type() == pugi::node_doctype)
            reader.fail("declares a document type (<!DOCTYPE>), which no model description needs; refused");
    const pugi::xml_node root = document.child("fmiModelDescription");
    if (!root) reader.fail("has no <fmiModelDescription>");

    FmuDescription d;
    d.fmi_version = reader.required(root, "fmiVersion");
    if (d.fmi_version == "2.0") d.version = FmiVersion::fmi2;
    else if (d.fmi_version.rfind("3.", 0) == 0) d.version = FmiVersion::fmi3;
    else reader.fail("fmiVersion \"" + d.fmi_version + "\": blocksim imports FMI 2.0 and 3.0 FMUs");
    const bool fmi2 = d.version == FmiVersion::fmi2;
    d.model_name = reader.required(root, "modelName");
    d.token = reader.required(root, fmi2 ? "guid" : "instantiationToken");
    d.description = Reader::optional(root, "description");
    d.generation_tool = Reader::optional(root, "generationTool");
    if (const pugi::xml_node me = root.child("ModelExchange")) d.model_exchange = read_interface(reader, me, d.version);
    if (const pugi::xml_node cs = root.child("CoSimulation")) d.co_simulation = read_interface(reader, cs, d.version);
    if (!d.model_exchange && !d.co_simulation)
        reader.fail("offers neither model exchange nor co-simulation");
    if (const pugi::xml_node experiment = root.child("DefaultExperiment"); experiment.attribute("stepSize")) {
        const double step = experiment.attribute("stepSize").as_double();
        if (step > 0 && std::isfinite(step)) d.default_step = step;
    }
    const auto units = declared_units(root.child("TypeDefinitions"), d.version);

    // ---- The variables
    std::set<std::string> names;
    std::map<std::uint32_t, std::size_t> by_reference;  // of 3.0's variables
    std::vector<std::string> derivative_text;           // each variable's derivative attribute
    for (const pugi::xml_node& node : root.child("ModelVariables").children()) {
        if (node.type() != pugi::node_element) continue;
        if (fmi2 && std::strcmp(node.name(), "ScalarVariable") != 0)
            reader.fail("<ModelVariables> holds a <" + std::string(node.name()) + ">");
        FmuVariable v;
        v.name = reader.required(node, "name");
        if (!names.insert(v.name).second) reader.fail("two variables are named " + v.name);
        v.value_reference = reader.value_reference(node);
        v.causality = Reader::optional(node, "causality");
        if (v.causality.empty()) v.causality = "local";
        v.variability = Reader::optional(node, "variability");
        v.initial = Reader::optional(node, "initial");
        v.description = Reader::optional(node, "description");
        pugi::xml_node typed = node;
        if (fmi2) {
            typed = node.first_child();
            while (typed && typed.type() != pugi::node_element) typed = typed.next_sibling();
            if (!typed || !listed(fmi2_types, typed.name())) reader.fail("variable " + v.name + " has no type");
        } else if (!listed(fmi3_types, node.name())) {
            reader.fail("<ModelVariables> holds a <" + std::string(node.name()) + ">");
        }
        v.type = typed.name();
        if (v.variability.empty()) v.variability = fmi2 || v.is_real() ? "continuous" : "discrete";
        if (typed.attribute("start")) v.start = typed.attribute("start").value();
        v.unit = Reader::optional(typed, "unit");
        if (v.unit.empty()) {
            const auto declared = units.find(Reader::optional(typed, "declaredType"));
            if (declared != units.end()) v.unit = declared->second;
        }
        derivative_text.push_back(Reader::optional(typed, "derivative"));
        if (!fmi2) {
            for (const pugi::xml_node& dimension : node.children("Dimension")) {
                std::uint64_t extent = 0;
                if (dimension.attribute("start")) {
                    extent = reader.count(dimension.attribute("start").value(), "the extent of " + v.name,
                                          most_array_elements);
                } else {
                    const std::uint32_t ref = reader.value_reference(dimension);
                    const auto it = by_reference.find(ref);
                    if (it == by_reference.end() || !d.variables[it->second].start)
                        reader.fail("the extent of " + v.name + " refers to valueReference " + std::to_string(ref) +
                                    ", which comes before it with no start value");
                    extent = reader.count(*d.variables[it->second].start, "the extent of " + v.name,
                                          most_array_elements);
                }
                v.dimensions.push_back(extent);
                if (v.width() > most_array_elements)
                    reader.fail(v.name + " has more than " + std::to_string(most_array_elements) + " elements");
            }
            if (!by_reference.emplace(v.value_reference, d.variables.size()).second)
                reader.fail("two variables have valueReference " + std::to_string(v.value_reference));
        }
        d.variables.push_back(std::move(v));
    }
    // A derivative names its state by index from 1 (2.0) or by value reference (3.0).
    auto variable_at = [&](const std::string& text, const std::string& what) -> std::size_t {
        if (fmi2) {
            const std::uint64_t index = reader.count(text, what, d.variables.size());
            if (index == 0) reader.fail(what + " \"0\" names no variable (they count from 1)");
            return static_cast<std::size_t>(index - 1);
        }
        const auto it = by_reference.find(static_cast<std::uint32_t>(reader.count(text, what, 0xFFFFFFFFull)));
        if (it == by_reference.end()) reader.fail(what + " " + text + " is no variable's valueReference");
        return it->second;
    };
    for (std::size_t i = 0; i < d.variables.size(); ++i)
        if (!derivative_text[i].empty())
            d.variables[i].derivative_of = variable_at(derivative_text[i], "the derivative of " + d.variables[i].name);

    // ---- The structure
    const pugi::xml_node structure = root.child("ModelStructure");
    auto listed_under = [&](const char* group, const char* element, const char* key) {
        std::vector<std::size_t> found;
        const pugi::xml_node parent = fmi2 ? structure.child(group) : structure;
        for (const pugi::xml_node& node : parent.children(element))
            found.push_back(variable_at(reader.required(node, key), std::string("<") + element + "> " + key));
        return found;
    };
    d.outputs = listed_under("Outputs", fmi2 ? "Unknown" : "Output", fmi2 ? "index" : "valueReference");
    d.derivatives = listed_under("Derivatives", fmi2 ? "Unknown" : "ContinuousStateDerivative",
                                 fmi2 ? "index" : "valueReference");
    for (std::size_t derivative : d.derivatives)
        if (!d.variables[derivative].derivative_of)
            reader.fail(d.variables[derivative].name + " is listed as a derivative but names no state");
    if (fmi2) {
        d.event_indicators = reader.count(root.attribute("numberOfEventIndicators").as_string("0"),
                                          "numberOfEventIndicators", most_array_elements);
    } else {
        for (std::size_t indicator : listed_under("", "EventIndicator", "valueReference"))
            d.event_indicators += d.variables[indicator].width();
    }
    return d;
}

FmuDescription read_description(const std::filesystem::path& folder, const std::string& source) {
    const std::filesystem::path file = folder / "modelDescription.xml";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) throw FmuError(source + ": has no modelDescription.xml");
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec || size > most_description_bytes)
        throw FmuError(source + ": modelDescription.xml: larger than " + std::to_string(most_description_bytes) +
                       " bytes; refused");
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size)))
        throw FmuError(source + ": cannot read modelDescription.xml");
    return parse_description(text, source);
}

}  // namespace host
