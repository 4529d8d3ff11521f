#include "fmu_importer.hpp"

#include <dlfcn.h>
#include <zip.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>

namespace importer {

namespace fs = std::filesystem;

std::string ScalarVariable::attribute(const std::string& key) const {
    auto it = attributes.find(key);
    return it == attributes.end() ? "" : it->second;
}

const ScalarVariable& ModelDescription::variable(const std::string& name) const {
    for (const auto& v : variables)
        if (v.attribute("name") == name) return v;
    throw ImportError("the FMU has no variable '" + name + "'");
}

fmi2ValueReference ModelDescription::value_reference(const std::string& name) const {
    return static_cast<fmi2ValueReference>(std::stoul(variable(name).attribute("valueReference")));
}

namespace {

std::map<std::string, std::string> attributes_of(const std::string& tag) {
    static const std::regex attribute(R"re(([A-Za-z_:][-A-Za-z0-9_:.]*)\s*=\s*"([^"]*)")re");
    std::map<std::string, std::string> found;
    for (std::sregex_iterator it(tag.begin(), tag.end(), attribute), end; it != end; ++it)
        found[(*it)[1]] = (*it)[2];
    return found;
}

// The opening tag <NAME ...> at or after `from`, or npos.
std::size_t find_tag(const std::string& xml, const std::string& name, std::size_t from, std::string& tag) {
    for (std::size_t at = xml.find("<" + name, from); at != std::string::npos; at = xml.find("<" + name, at + 1)) {
        const char next = xml[at + 1 + name.size()];
        if (next != ' ' && next != '>' && next != '/' && next != '\n' && next != '\t') continue;
        const std::size_t end = xml.find('>', at);
        if (end == std::string::npos) throw ImportError("modelDescription.xml: <" + name + " is not closed");
        tag = xml.substr(at, end - at + 1);
        return at;
    }
    return std::string::npos;
}

std::vector<unsigned> unknowns_in(const std::string& xml, const std::string& section) {
    std::vector<unsigned> indices;
    std::string tag;
    const std::size_t start = find_tag(xml, section, 0, tag);
    if (start == std::string::npos || tag.back() == '/' ) return indices;
    const std::size_t end = xml.find("</" + section + ">", start);
    if (end == std::string::npos) throw ImportError("modelDescription.xml: <" + section + "> is not closed");
    for (std::size_t at = find_tag(xml, "Unknown", start, tag); at != std::string::npos && at < end;
         at = find_tag(xml, "Unknown", at + 1, tag))
        indices.push_back(static_cast<unsigned>(std::stoul(attributes_of(tag).at("index"))));
    return indices;
}

}  // namespace

ModelDescription parse_model_description(const std::string& xml) {
    ModelDescription d;
    std::string tag;
    if (find_tag(xml, "fmiModelDescription", 0, tag) == std::string::npos)
        throw ImportError("modelDescription.xml has no <fmiModelDescription>");
    d.attributes = attributes_of(tag);
    if (find_tag(xml, "ModelExchange", 0, tag) != std::string::npos) d.model_exchange = attributes_of(tag);
    if (find_tag(xml, "CoSimulation", 0, tag) != std::string::npos) d.co_simulation = attributes_of(tag);
    for (std::size_t at = find_tag(xml, "ScalarVariable", 0, tag); at != std::string::npos;
         at = find_tag(xml, "ScalarVariable", at + 1, tag)) {
        ScalarVariable v;
        v.attributes = attributes_of(tag);
        static const std::regex type_tag(R"re(<(Real|Integer|Boolean|String|Enumeration)\b([^>]*)>)re");
        std::smatch match;
        const std::string rest = xml.substr(at + tag.size());
        if (!std::regex_search(rest, match, type_tag) || match.position(0) > static_cast<long>(rest.find("</ScalarVariable>")))
            throw ImportError("modelDescription.xml: variable '" + v.attribute("name") + "' has no type element");
        v.type = match[1];
        v.type_attributes = attributes_of(match[2]);
        d.variables.push_back(std::move(v));
    }
    for (std::size_t at = find_tag(xml, "Unit", 0, tag); at != std::string::npos; at = find_tag(xml, "Unit", at + 1, tag)) {
        auto& base = d.units[attributes_of(tag).at("name")];
        std::string base_tag;
        const std::size_t end = xml.find("</Unit>", at);
        const std::size_t base_at = find_tag(xml, "BaseUnit", at, base_tag);
        if (base_at != std::string::npos && base_at < end) base = attributes_of(base_tag);
    }
    d.outputs = unknowns_in(xml, "Outputs");
    d.derivatives = unknowns_in(xml, "Derivatives");
    d.initial_unknowns = unknowns_in(xml, "InitialUnknowns");
    return d;
}

void unpack(const fs::path& archive, const fs::path& folder) {
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, &error);
    if (!zip) {
        zip_error_t reason;
        zip_error_init_with_code(&reason, error);
        const std::string text = zip_error_strerror(&reason);
        zip_error_fini(&reason);
        throw ImportError(archive.string() + " is not an FMU: " + text);
    }
    std::unique_ptr<zip_t, int (*)(zip_t*)> closer(zip, zip_close);
    fs::create_directories(folder);
    const zip_int64_t entries = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < entries; ++i) {
        const std::string name = zip_get_name(zip, static_cast<zip_uint64_t>(i), 0);
        const fs::path relative = fs::path(name).lexically_normal();
        if (relative.is_absolute() || relative.empty() || *relative.begin() == "..")
            throw ImportError(archive.string() + ": entry '" + name + "' would be written outside the FMU's folder");
        const fs::path target = folder / relative;
        if (name.back() == '/') {
            fs::create_directories(target);
            continue;
        }
        fs::create_directories(target.parent_path());
        zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
        if (!file) throw ImportError(archive.string() + ": cannot read entry '" + name + "': " + zip_strerror(zip));
        std::ofstream out(target, std::ios::binary);
        char buffer[65536];
        zip_int64_t n;
        while ((n = zip_fread(file, buffer, sizeof buffer)) > 0) out.write(buffer, n);
        zip_fclose(file);
        out.close();
        if (n < 0 || !out) throw ImportError(archive.string() + ": entry '" + name + "' is damaged");
    }
}

void pack(const fs::path& folder, const fs::path& archive) {
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) throw ImportError("cannot create " + archive.string());
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (!item.is_regular_file()) continue;
        const std::string name = fs::relative(item.path(), folder).generic_string();
        zip_source_t* source = zip_source_file(zip, item.path().c_str(), 0, -1);
        if (!source || zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
            if (source) zip_source_free(source);
            zip_discard(zip);
            throw ImportError("cannot add " + name + " to " + archive.string());
        }
    }
    if (zip_close(zip) < 0) {
        const std::string reason = zip_strerror(zip);
        zip_discard(zip);
        throw ImportError("cannot write " + archive.string() + ": " + reason);
    }
}

Fmu::Fmu(const fs::path& file, const fs::path& folder) : folder_(folder) {
    fs::remove_all(folder);
    unpack(file, folder);
    std::ifstream in(folder / "modelDescription.xml", std::ios::binary);
    if (!in) throw ImportError(file.string() + " has no modelDescription.xml");
    description_ = parse_model_description(std::string(std::istreambuf_iterator<char>(in), {}));
    auto identifier = description_.co_simulation.count("modelIdentifier")
                          ? description_.co_simulation.at("modelIdentifier")
                          : description_.model_exchange.at("modelIdentifier");
    const fs::path binary = folder / "binaries" / "linux64" / (identifier + ".so");
    if (!fs::exists(binary)) throw ImportError(file.string() + " has no binary for linux64 (binaries/linux64/" + identifier + ".so)");
    void* handle = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) throw ImportError("cannot load " + binary.string() + ": " + dlerror());
    auto resolve = [&](auto& pointer, const char* name) {
        pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(dlsym(handle, name));
        if (!pointer) throw ImportError(binary.string() + " does not export " + name);
    };
    Functions& f = functions_;
    resolve(f.GetVersion, "fmi2GetVersion");
    resolve(f.Instantiate, "fmi2Instantiate");
    resolve(f.FreeInstance, "fmi2FreeInstance");
    resolve(f.SetupExperiment, "fmi2SetupExperiment");
    resolve(f.EnterInitializationMode, "fmi2EnterInitializationMode");
    resolve(f.ExitInitializationMode, "fmi2ExitInitializationMode");
    resolve(f.Terminate, "fmi2Terminate");
    resolve(f.Reset, "fmi2Reset");
    resolve(f.GetReal, "fmi2GetReal");
    resolve(f.GetInteger, "fmi2GetInteger");
    resolve(f.SetReal, "fmi2SetReal");
    resolve(f.SetInteger, "fmi2SetInteger");
    resolve(f.GetFMUstate, "fmi2GetFMUstate");
    resolve(f.GetDirectionalDerivative, "fmi2GetDirectionalDerivative");
    resolve(f.DoStep, "fmi2DoStep");
    resolve(f.GetRealStatus, "fmi2GetRealStatus");
    resolve(f.EnterEventMode, "fmi2EnterEventMode");
    resolve(f.NewDiscreteStates, "fmi2NewDiscreteStates");
    resolve(f.EnterContinuousTimeMode, "fmi2EnterContinuousTimeMode");
    resolve(f.CompletedIntegratorStep, "fmi2CompletedIntegratorStep");
    resolve(f.SetTime, "fmi2SetTime");
    resolve(f.SetContinuousStates, "fmi2SetContinuousStates");
    resolve(f.GetContinuousStates, "fmi2GetContinuousStates");
    resolve(f.GetDerivatives, "fmi2GetDerivatives");
    // The binary stays loaded: instances of it may outlive this object.
}

std::string Fmu::resource_uri() const { return "file://" + (folder_ / "resources").string(); }

void Instance::logger(fmi2ComponentEnvironment environment, fmi2String, fmi2Status, fmi2String, fmi2String message,
                      ...) {
    va_list arguments;
    va_start(arguments, message);
    char text[4096];
    std::vsnprintf(text, sizeof text, message, arguments);
    va_end(arguments);
    static_cast<Instance*>(environment)->log_.push_back(text);
}

Instance::Instance(const Fmu& fmu, fmi2Type type, const std::string& name, const std::string& guid)
    : fmu_(fmu), callbacks_{logger, std::calloc, std::free, nullptr, this} {
    const std::string id = guid.empty() ? fmu.description().attributes.at("guid") : guid;
    component_ = fmu.fmi().Instantiate(name.c_str(), type, id.c_str(), fmu.resource_uri().c_str(), &callbacks_,
                                       fmi2False, fmi2False);
}

Instance::~Instance() {
    if (component_) fmi().FreeInstance(component_);
}

fmi2Status Instance::initialize() {
    fmi2Status status = fmi().SetupExperiment(component_, fmi2False, 0.0, 0.0, fmi2False, 0.0);
    if (status == fmi2OK) status = fmi().EnterInitializationMode(component_);
    if (status == fmi2OK) status = fmi().ExitInitializationMode(component_);
    return status;
}

fmi2Status Instance::set_real(const std::string& name, double value) {
    const fmi2ValueReference vr = fmu_.description().value_reference(name);
    return fmi().SetReal(component_, &vr, 1, &value);
}

double Instance::real(const std::string& name) {
    const fmi2ValueReference vr = fmu_.description().value_reference(name);
    double value = 0;
    last_status_ = fmi().GetReal(component_, &vr, 1, &value);
    return value;
}

int Instance::integer(const std::string& name) {
    const fmi2ValueReference vr = fmu_.description().value_reference(name);
    int value = 0;
    last_status_ = fmi().GetInteger(component_, &vr, 1, &value);
    return value;
}

fmi2Status random_call(Instance& instance, std::mt19937& random) {
    const fmi2Component c = instance.component();
    const Functions& f = instance.fmi();
    const ModelDescription& description = instance.fmu().description();
    const auto vr = static_cast<fmi2ValueReference>(random() % (description.variables.size() + 2));
    const double values[] = {0, 1, -1, 1e300, -1e-320, NAN, INFINITY, 0.5, 1e5, 350};
    double value = values[random() % std::size(values)];
    int integer = static_cast<int>(random() % 3) - 1;
    std::vector<double> x(description.states(), value);
    switch (random() % 15) {
    case 0: return f.SetupExperiment(c, fmi2False, 0, 0, fmi2False, 0);
    case 1: return f.EnterInitializationMode(c);
    case 2: return f.ExitInitializationMode(c);
    case 3: return f.SetReal(c, &vr, 1, &value);
    case 4: return f.GetReal(c, &vr, 1, &value);
    case 5: return f.SetInteger(c, &vr, 1, &integer);
    case 6: return f.GetInteger(c, &vr, 1, &integer);
    case 7: {  // at the last step's end, mostly
        double now = value;
        if (random() % 4) f.GetRealStatus(c, fmi2LastSuccessfulTime, &now);
        return f.DoStep(c, now, random() % 2 ? 0.01 : value, fmi2True);
    }
    case 8: return f.Reset(c);
    case 9: return f.Terminate(c);
    case 10: return f.EnterEventMode(c);
    case 11: return f.EnterContinuousTimeMode(c);
    case 12: return f.SetContinuousStates(c, x.data(), x.size());
    case 13: return f.GetDerivatives(c, x.data(), x.size());
    default: return f.GetRealStatus(c, fmi2LastSuccessfulTime, &value);
    }
}

}  // namespace importer
