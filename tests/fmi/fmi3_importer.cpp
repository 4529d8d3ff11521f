#include "fmi3_importer.hpp"

#include <dlfcn.h>

#include <fstream>
#include <iterator>
#include <regex>

namespace importer3 {

namespace fs = std::filesystem;
using importer::ImportError;

std::string Variable::attribute(const std::string& key) const {
    auto it = attributes.find(key);
    return it == attributes.end() ? "" : it->second;
}

const Variable& ModelDescription::variable(const std::string& name) const {
    for (const auto& v : variables)
        if (v.attribute("name") == name) return v;
    throw ImportError("the FMU has no variable '" + name + "'");
}

namespace {

std::map<std::string, std::string> attributes_of(const std::string& tag) {
    static const std::regex attribute(R"re(([A-Za-z_:][-A-Za-z0-9_:.]*)\s*=\s*"([^"]*)")re");
    std::map<std::string, std::string> found;
    for (std::sregex_iterator it(tag.begin(), tag.end(), attribute), end; it != end; ++it) found[(*it)[1]] = (*it)[2];
    return found;
}

std::map<std::string, std::string> element(const std::string& xml, const std::string& name) {
    std::smatch match;
    if (!std::regex_search(xml, match, std::regex("<" + name + "\\b([^>]*)>"))) return {};
    return attributes_of(match[1]);
}

std::vector<unsigned> unknowns(const std::string& xml, const std::string& name) {
    std::vector<unsigned> references;
    const std::regex tag("<" + name + R"re(\s+valueReference="([0-9]+)")re");
    for (std::sregex_iterator it(xml.begin(), xml.end(), tag), end; it != end; ++it)
        references.push_back(static_cast<unsigned>(std::stoul((*it)[1])));
    return references;
}

}  // namespace

ModelDescription parse_model_description(const std::string& xml) {
    ModelDescription d;
    d.attributes = element(xml, "fmiModelDescription");
    if (d.attributes.empty()) throw ImportError("modelDescription.xml has no <fmiModelDescription>");
    d.model_exchange = element(xml, "ModelExchange");
    d.co_simulation = element(xml, "CoSimulation");
    const std::size_t start = xml.find("<ModelVariables>"), end = xml.find("</ModelVariables>");
    if (start == std::string::npos || end == std::string::npos) throw ImportError("modelDescription.xml has no ModelVariables");
    const std::string variables = xml.substr(start, end - start);
    static const std::regex variable(R"re(<(Float64|Int32|Float32|Boolean|String|Int64)\b([^>]*?)(/?)>)re");
    for (std::sregex_iterator it(variables.begin(), variables.end(), variable), stop; it != stop; ++it) {
        Variable v;
        v.type = (*it)[1];
        v.attributes = attributes_of((*it)[2]);
        if ((*it)[3] != "/") {
            const std::size_t from = static_cast<std::size_t>(it->position(0) + it->length(0));
            const std::size_t close = variables.find("</" + v.type + ">", from);
            const std::string body = variables.substr(from, close - from);
            std::smatch dimension;
            if (std::regex_search(body, dimension, std::regex(R"re(<Dimension\s+start="([0-9]+)")re"))) {
                v.array = true;
                v.elements = std::stoul(dimension[1]);
            }
        }
        d.variables.push_back(std::move(v));
    }
    static const std::regex unit(R"re(<Unit\s+name="([^"]*)">\s*<BaseUnit\b([^>]*?)/>)re");
    for (std::sregex_iterator it(xml.begin(), xml.end(), unit), stop; it != stop; ++it)
        d.units[(*it)[1]] = attributes_of((*it)[2]);
    d.outputs = unknowns(xml, "Output");
    d.derivatives = unknowns(xml, "ContinuousStateDerivative");
    d.initial_unknowns = unknowns(xml, "InitialUnknown");
    return d;
}

Fmu::Fmu(const fs::path& file, const fs::path& folder) : folder_(folder) {
    fs::remove_all(folder);
    importer::unpack(file, folder);
    std::ifstream in(folder / "modelDescription.xml", std::ios::binary);
    if (!in) throw ImportError(file.string() + " has no modelDescription.xml");
    description_ = parse_model_description(std::string(std::istreambuf_iterator<char>(in), {}));
    const std::string identifier = description_.co_simulation.count("modelIdentifier")
                                       ? description_.co_simulation.at("modelIdentifier")
                                       : description_.model_exchange.at("modelIdentifier");
    const fs::path binary = folder / "binaries" / "x86_64-linux" / (identifier + ".so");
    void* handle = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) throw ImportError("cannot load " + binary.string() + ": " + dlerror());
    auto resolve = [&](auto& pointer, const char* name) {
        pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(dlsym(handle, name));
        if (!pointer) throw ImportError(binary.string() + " does not export " + name);
    };
    Functions& f = functions_;
    resolve(f.GetVersion, "fmi3GetVersion");
    resolve(f.InstantiateCoSimulation, "fmi3InstantiateCoSimulation");
    resolve(f.InstantiateModelExchange, "fmi3InstantiateModelExchange");
    resolve(f.FreeInstance, "fmi3FreeInstance");
    resolve(f.EnterInitializationMode, "fmi3EnterInitializationMode");
    resolve(f.ExitInitializationMode, "fmi3ExitInitializationMode");
    resolve(f.Terminate, "fmi3Terminate");
    resolve(f.Reset, "fmi3Reset");
    resolve(f.GetFloat64, "fmi3GetFloat64");
    resolve(f.SetFloat64, "fmi3SetFloat64");
    resolve(f.GetInt32, "fmi3GetInt32");
    resolve(f.SetInt32, "fmi3SetInt32");
    resolve(f.GetBoolean, "fmi3GetBoolean");
    resolve(f.DoStep, "fmi3DoStep");
    resolve(f.EnterEventMode, "fmi3EnterEventMode");
    resolve(f.UpdateDiscreteStates, "fmi3UpdateDiscreteStates");
    resolve(f.EnterContinuousTimeMode, "fmi3EnterContinuousTimeMode");
    resolve(f.CompletedIntegratorStep, "fmi3CompletedIntegratorStep");
    resolve(f.SetTime, "fmi3SetTime");
    resolve(f.SetContinuousStates, "fmi3SetContinuousStates");
    resolve(f.GetContinuousStates, "fmi3GetContinuousStates");
    resolve(f.GetContinuousStateDerivatives, "fmi3GetContinuousStateDerivatives");
    resolve(f.GetNumberOfContinuousStates, "fmi3GetNumberOfContinuousStates");
    resolve(f.GetFMUState, "fmi3GetFMUState");
    resolve(f.EnterConfigurationMode, "fmi3EnterConfigurationMode");
}

void Instance::log(fmi3InstanceEnvironment environment, fmi3Status, fmi3String, fmi3String message) {
    static_cast<Instance*>(environment)->log_.push_back(message ? message : "");
}

Instance::Instance(const Fmu& fmu, Interface interface, const std::string& token) : fmu_(fmu) {
    const std::string id = token.empty() ? fmu.description().attributes.at("instantiationToken") : token;
    const std::string resources = (fmu.folder() / "resources").string() + "/";
    instance_ = interface == Interface::co_simulation
                    ? fmi().InstantiateCoSimulation("instance", id.c_str(), resources.c_str(), false, false, false,
                                                    false, nullptr, 0, this, log, nullptr)
                    : fmi().InstantiateModelExchange("instance", id.c_str(), resources.c_str(), false, false, this, log);
}

Instance::~Instance() {
    if (instance_) fmi().FreeInstance(instance_);
}

fmi3Status Instance::initialize() {
    fmi3Status status = fmi().EnterInitializationMode(instance_, false, 0.0, 0.0, false, 0.0);
    if (status == fmi3OK) status = fmi().ExitInitializationMode(instance_);
    return status;
}

fmi3Status Instance::set(const std::string& name, const std::vector<double>& values) {
    const Variable& v = fmu_.description().variable(name);
    const fmi3ValueReference vr = static_cast<fmi3ValueReference>(std::stoul(v.attribute("valueReference")));
    if (v.type == "Int32") {
        std::vector<fmi3Int32> integers(values.begin(), values.end());
        return last_status_ = fmi().SetInt32(instance_, &vr, 1, integers.data(), integers.size());
    }
    return last_status_ = fmi().SetFloat64(instance_, &vr, 1, values.data(), values.size());
}

std::vector<double> Instance::get(const std::string& name) {
    const Variable& v = fmu_.description().variable(name);
    const fmi3ValueReference vr = static_cast<fmi3ValueReference>(std::stoul(v.attribute("valueReference")));
    if (v.type == "Int32") {
        std::vector<fmi3Int32> integers(v.elements);
        last_status_ = fmi().GetInt32(instance_, &vr, 1, integers.data(), integers.size());
        return std::vector<double>(integers.begin(), integers.end());
    }
    std::vector<double> values(v.elements);
    last_status_ = fmi().GetFloat64(instance_, &vr, 1, values.data(), values.size());
    return values;
}

fmi3Status Instance::step(double time, double h) {
    fmi3Boolean event = true, terminate = true, early = true;
    fmi3Float64 last = -1;
    return last_status_ = fmi().DoStep(instance_, time, h, true, &event, &terminate, &early, &last);
}

}  // namespace importer3
