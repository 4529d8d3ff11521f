#include "host/fmu/instance.hpp"

#include <dlfcn.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdarg>
#include <cstdio>
#include <limits>

#include "fmi/fmi2.h"
#include "fmi/fmi3.h"
#include "host/common/text.hpp"

namespace host {

namespace {

// "file:///tmp/x%20y/resources" for a folder, each byte outside the
// unreserved characters and '/' escaped, as RFC 3986 has it.
std::string file_uri(const std::filesystem::path& folder) {
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : folder.string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

extern "C" void log_fmi2(fmi2ComponentEnvironment environment, fmi2String, fmi2Status status, fmi2String,
                         fmi2String message, ...) {
    if (!environment || !message) return;
    char text[2048];
    va_list arguments;
    va_start(arguments, message);
    std::vsnprintf(text, sizeof text, message, arguments);
    va_end(arguments);
    static_cast<FmuInstance*>(environment)->log(text, status != fmi2OK);
}

extern "C" void log_fmi3(fmi3InstanceEnvironment environment, fmi3Status status, fmi3String, fmi3String message) {
    if (environment && message) static_cast<FmuInstance*>(environment)->log(message, status != fmi3OK);
}

// The memory functions FMI 2.0 asks of an importer.
extern "C" void* allocate_memory(size_t count, size_t size) { return std::calloc(count, size); }
extern "C" void free_memory(void* object) { std::free(object); }

const char* status_name(FmiVersion version, int status) {
    static const char* const fmi2[] = {"fmi2OK", "fmi2Warning", "fmi2Discard", "fmi2Error", "fmi2Fatal", "fmi2Pending"};
    static const char* const fmi3[] = {"fmi3OK", "fmi3Warning", "fmi3Discard", "fmi3Error", "fmi3Fatal"};
    if (version == FmiVersion::fmi2) return status >= 0 && status < 6 ? fmi2[status] : "an unknown status";
    return status >= 0 && status < 5 ? fmi3[status] : "an unknown status";
}

}  // namespace

// The functions called, resolved by name from the binary.
struct FmuInstance::Functions {
    fmi2CallbackFunctions callbacks;
    // FMI 2.0
    decltype(&fmi2Instantiate) Instantiate2 = nullptr;
    decltype(&fmi2FreeInstance) FreeInstance2 = nullptr;
    decltype(&fmi2SetupExperiment) SetupExperiment2 = nullptr;
    decltype(&fmi2EnterInitializationMode) EnterInitializationMode2 = nullptr;
    decltype(&fmi2ExitInitializationMode) ExitInitializationMode2 = nullptr;
    decltype(&fmi2Terminate) Terminate2 = nullptr;
    decltype(&fmi2GetReal) GetReal2 = nullptr;
    decltype(&fmi2SetReal) SetReal2 = nullptr;
    decltype(&fmi2GetInteger) GetInteger2 = nullptr;
    decltype(&fmi2SetInteger) SetInteger2 = nullptr;
    decltype(&fmi2GetBoolean) GetBoolean2 = nullptr;
    decltype(&fmi2SetBoolean) SetBoolean2 = nullptr;
    decltype(&fmi2DoStep) DoStep2 = nullptr;
    decltype(&fmi2SetTime) SetTime2 = nullptr;
    decltype(&fmi2SetContinuousStates) SetContinuousStates2 = nullptr;
    decltype(&fmi2GetContinuousStates) GetContinuousStates2 = nullptr;
    decltype(&fmi2GetDerivatives) GetDerivatives2 = nullptr;
    decltype(&fmi2GetEventIndicators) GetEventIndicators2 = nullptr;
    decltype(&fmi2EnterEventMode) EnterEventMode2 = nullptr;
    decltype(&fmi2NewDiscreteStates) NewDiscreteStates2 = nullptr;
    decltype(&fmi2EnterContinuousTimeMode) EnterContinuousTimeMode2 = nullptr;
    decltype(&fmi2CompletedIntegratorStep) CompletedIntegratorStep2 = nullptr;
    // FMI 3.0
    decltype(&fmi3InstantiateCoSimulation) Instantiate3 = nullptr;
    decltype(&fmi3FreeInstance) FreeInstance3 = nullptr;
    decltype(&fmi3EnterInitializationMode) EnterInitializationMode3 = nullptr;
    decltype(&fmi3ExitInitializationMode) ExitInitializationMode3 = nullptr;
    decltype(&fmi3Terminate) Terminate3 = nullptr;
    decltype(&fmi3GetFloat64) GetFloat64 = nullptr;
    decltype(&fmi3SetFloat64) SetFloat64 = nullptr;
    decltype(&fmi3GetFloat32) GetFloat32 = nullptr;
    decltype(&fmi3SetFloat32) SetFloat32 = nullptr;
    decltype(&fmi3GetInt32) GetInt32 = nullptr;
    decltype(&fmi3SetInt32) SetInt32 = nullptr;
    decltype(&fmi3GetInt64) GetInt64 = nullptr;
    decltype(&fmi3SetInt64) SetInt64 = nullptr;
    decltype(&fmi3GetBoolean) GetBoolean3 = nullptr;
    decltype(&fmi3SetBoolean) SetBoolean3 = nullptr;
    decltype(&fmi3DoStep) DoStep3 = nullptr;
    decltype(&fmi3InstantiateModelExchange) InstantiateModelExchange3 = nullptr;
    decltype(&fmi3SetTime) SetTime3 = nullptr;
    decltype(&fmi3SetContinuousStates) SetContinuousStates3 = nullptr;
    decltype(&fmi3GetContinuousStates) GetContinuousStates3 = nullptr;
    decltype(&fmi3GetContinuousStateDerivatives) GetContinuousStateDerivatives3 = nullptr;
    decltype(&fmi3GetEventIndicators) GetEventIndicators3 = nullptr;
    decltype(&fmi3EnterEventMode) EnterEventMode3 = nullptr;
    decltype(&fmi3UpdateDiscreteStates) UpdateDiscreteStates3 = nullptr;
    decltype(&fmi3EnterContinuousTimeMode) EnterContinuousTimeMode3 = nullptr;
    decltype(&fmi3CompletedIntegratorStep) CompletedIntegratorStep3 = nullptr;
};

std::string fmu_platform(FmiVersion version) { return version == FmiVersion::fmi2 ? "linux64" : "x86_64-linux"; }

std::filesystem::path fmu_binary(const FmuDescription& description, const std::string& model_identifier) {
    return std::filesystem::path("binaries") / fmu_platform(description.version) / (model_identifier + ".so");
}

std::string unsupported_type(const FmuVariable& v) {
    static const char* const taken[] = {"Real", "Integer", "Boolean", "Enumeration", "Float64", "Float32", "Int32",
                                        "Int64"};
    for (const char* type : taken)
        if (v.type == type) return "";
    return "variable " + v.name + " is of type " + v.type +
           ", which blocksim does not read or write (it takes Real, Integer, Boolean and Enumeration; Float64, "
           "Float32, Int32, Int64 and Boolean)";
}

FmuInstance::FmuInstance(const std::filesystem::path& folder, const FmuDescription& d,
                         const std::string& instance_name, std::string label, FmuKind kind)
    : label_(std::move(label)), version_(d.version),
      functions_(new Functions{{log_fmi2, allocate_memory, free_memory, nullptr, this}}) {
    const bool exchange = kind == FmuKind::model_exchange;
    const std::optional<FmuInterface>& offered = exchange ? d.model_exchange : d.co_simulation;
    if (!offered) throw FmuError(label_ + ": the FMU offers no " + (exchange ? "model exchange" : "co-simulation"));
    const std::filesystem::path relative = fmu_binary(d, offered->model_identifier);
    const std::filesystem::path binary = folder / relative;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(binary, ec))
        throw FmuError(label_ + ": the FMU has no binary for " + fmu_platform(d.version) + " (" +
                       relative.generic_string() + ")");
    library_.reset(dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library_) {
        std::string reason = dlerror();
        if (reason.find("failed to map segment") != std::string::npos)
            reason += " (is the temporary folder on a file system mounted noexec? set TMPDIR to another)";
        throw FmuError(label_ + ": cannot load " + relative.generic_string() + ": " + reason);
    }
    Functions& f = *functions_;
    auto resolve = [&](auto& pointer, const char* name) {
        pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(dlsym(library_.get(), name));
        if (!pointer) throw FmuError(label_ + ": its binary does not export " + name);
    };
    const std::string resources = (folder / "resources").string();
    if (d.version == FmiVersion::fmi2) {
        resolve(f.Instantiate2, "fmi2Instantiate");
        resolve(f.FreeInstance2, "fmi2FreeInstance");
        resolve(f.SetupExperiment2, "fmi2SetupExperiment");
        resolve(f.EnterInitializationMode2, "fmi2EnterInitializationMode");
        resolve(f.ExitInitializationMode2, "fmi2ExitInitializationMode");
        resolve(f.Terminate2, "fmi2Terminate");
        resolve(f.GetReal2, "fmi2GetReal");
        resolve(f.SetReal2, "fmi2SetReal");
        resolve(f.GetInteger2, "fmi2GetInteger");
        resolve(f.SetInteger2, "fmi2SetInteger");
        resolve(f.GetBoolean2, "fmi2GetBoolean");
        resolve(f.SetBoolean2, "fmi2SetBoolean");
        if (exchange) {
            resolve(f.SetTime2, "fmi2SetTime");
            resolve(f.SetContinuousStates2, "fmi2SetContinuousStates");
            resolve(f.GetContinuousStates2, "fmi2GetContinuousStates");
            resolve(f.GetDerivatives2, "fmi2GetDerivatives");
            resolve(f.GetEventIndicators2, "fmi2GetEventIndicators");
            resolve(f.EnterEventMode2, "fmi2EnterEventMode");
            resolve(f.NewDiscreteStates2, "fmi2NewDiscreteStates");
            resolve(f.EnterContinuousTimeMode2, "fmi2EnterContinuousTimeMode");
            resolve(f.CompletedIntegratorStep2, "fmi2CompletedIntegratorStep");
        } else {
            resolve(f.DoStep2, "fmi2DoStep");
        }
        instance_ = f.Instantiate2(instance_name.c_str(), exchange ? fmi2ModelExchange : fmi2CoSimulation,
                                   d.token.c_str(), file_uri(resources).c_str(), &f.callbacks, fmi2False, fmi2False);
    } else {
        resolve(f.FreeInstance3, "fmi3FreeInstance");
        resolve(f.EnterInitializationMode3, "fmi3EnterInitializationMode");
        resolve(f.ExitInitializationMode3, "fmi3ExitInitializationMode");
        resolve(f.Terminate3, "fmi3Terminate");
        resolve(f.GetFloat64, "fmi3GetFloat64");
        resolve(f.SetFloat64, "fmi3SetFloat64");
        resolve(f.GetFloat32, "fmi3GetFloat32");
        resolve(f.SetFloat32, "fmi3SetFloat32");
        resolve(f.GetInt32, "fmi3GetInt32");
        resolve(f.SetInt32, "fmi3SetInt32");
        resolve(f.GetInt64, "fmi3GetInt64");
        resolve(f.SetInt64, "fmi3SetInt64");
        resolve(f.GetBoolean3, "fmi3GetBoolean");
        resolve(f.SetBoolean3, "fmi3SetBoolean");
        // Logging on: an FMI 3.0 FMU calls no logger otherwise, not even for its errors.
        if (exchange) {
            resolve(f.InstantiateModelExchange3, "fmi3InstantiateModelExchange");
            resolve(f.SetTime3, "fmi3SetTime");
            resolve(f.SetContinuousStates3, "fmi3SetContinuousStates");
            resolve(f.GetContinuousStates3, "fmi3GetContinuousStates");
            resolve(f.GetContinuousStateDerivatives3, "fmi3GetContinuousStateDerivatives");
            resolve(f.GetEventIndicators3, "fmi3GetEventIndicators");
            resolve(f.EnterEventMode3, "fmi3EnterEventMode");
            resolve(f.UpdateDiscreteStates3, "fmi3UpdateDiscreteStates");
            resolve(f.EnterContinuousTimeMode3, "fmi3EnterContinuousTimeMode");
            resolve(f.CompletedIntegratorStep3, "fmi3CompletedIntegratorStep");
            instance_ = f.InstantiateModelExchange3(instance_name.c_str(), d.token.c_str(), (resources + "/").c_str(),
                                                    false, true, this, log_fmi3);
        } else {
            resolve(f.Instantiate3, "fmi3InstantiateCoSimulation");
            resolve(f.DoStep3, "fmi3DoStep");
            instance_ = f.Instantiate3(instance_name.c_str(), d.token.c_str(), (resources + "/").c_str(), false, true,
                                       false, false, nullptr, 0, this, log_fmi3, nullptr);
        }
    }
    if (!instance_) {
        const char* call = d.version == FmiVersion::fmi2 ? "fmi2Instantiate"
                           : exchange                    ? "fmi3InstantiateModelExchange"
                                                         : "fmi3InstantiateCoSimulation";
        throw FmuError(label_ + ": " + call + " failed" + (last_message().empty() ? "" : ": " + last_message()));
    }
}

void FmuInstance::LibraryCloser::operator()(void* library) const { dlclose(library); }

FmuInstance::~FmuInstance() {
    if (fatal_) {
        // Nothing of the FMU may be called again, not even its code's unloading.
        static_cast<void>(library_.release());
        return;
    }
    const Functions& f = *functions_;
    if (initialized_ && !terminated_ && !failed_) {
        if (version_ == FmiVersion::fmi2) f.Terminate2(instance_);
        else f.Terminate3(instance_);
    }
    if (version_ == FmiVersion::fmi2) f.FreeInstance2(instance_);
    else f.FreeInstance3(instance_);
}

void FmuInstance::log(const char* message, bool important) noexcept {
    try {
        (important ? important_ : latest_) = message;
    } catch (...) {
        // Out of memory: the message is lost, the call's status still tells.
    }
}

void FmuInstance::fail(const std::string& call, int status, double time) {
    failed_ = true;
    if (status == 4) fatal_ = true;  // fmi2Fatal, fmi3Fatal
    std::string message = label_ + ": " + call;
    if (time >= 0) message += " at t = " + format_number(time);
    message += std::string(" returned ") + status_name(version_, status);
    if (!last_message().empty()) message += ": " + last_message();
    throw FmuError(message);
}

void FmuInstance::check(const char* call, int status, double time) {
    // OK and Warning are both OK (0 and 1 in either version).
    if (status != 0 && status != 1)
        fail(std::string(version_ == FmiVersion::fmi2 ? "fmi2" : "fmi3") + call, status, time);
}

// "fmi2SetReal of u", "fmi3GetFloat64 of y", for messages.
std::string FmuInstance::call_name(const char* verb, const FmuVariable& v) const {
    const bool fmi2 = version_ == FmiVersion::fmi2;
    std::string type = v.type;
    if (fmi2 && type == "Enumeration") type = "Integer";
    if (!fmi2 && type == "Enumeration") type = "Int64";
    return std::string(fmi2 ? "fmi2" : "fmi3") + verb + type + " of " + v.name;
}

void FmuInstance::set(const FmuVariable& v, const double* values) {
    begin_call();
    const Functions& f = *functions_;
    const std::size_t n = static_cast<std::size_t>(v.width());
    const fmi3ValueReference vr = v.value_reference;
    auto whole = [&](auto type_of) {
        using T = decltype(type_of);
        std::vector<T> converted(n);
        // From -2^(N-1) up to, not including, 2^(N-1): both exact as doubles.
        const double lowest = static_cast<double>(std::numeric_limits<T>::min());
        for (std::size_t i = 0; i < n; ++i) {
            const double r = std::nearbyint(values[i]);
            if (!(r >= lowest && r < -lowest))
                throw FmuError(label_ + ": " + format_number(values[i]) + " does not fit " + v.name + " (" + v.type + ")");
            converted[i] = static_cast<T>(r);
        }
        return converted;
    };
    int status = 0;
    if (version_ == FmiVersion::fmi2) {
        const fmi2ValueReference ref = vr;
        if (v.type == "Real") status = f.SetReal2(instance_, &ref, 1, values);
        else if (v.type == "Boolean") {
            const fmi2Boolean b = values[0] != 0.0;
            status = f.SetBoolean2(instance_, &ref, 1, &b);
        } else {
            const auto i = whole(fmi2Integer{});
            status = f.SetInteger2(instance_, &ref, 1, i.data());
        }
    } else if (v.type == "Float64") {
        status = f.SetFloat64(instance_, &vr, 1, values, n);
    } else if (v.type == "Float32") {
        std::vector<float> x(n);
        for (std::size_t i = 0; i < n; ++i) {
            if (std::isfinite(values[i]) && std::fabs(values[i]) > std::numeric_limits<float>::max())
                throw FmuError(label_ + ": " + format_number(values[i]) + " does not fit " + v.name + " (Float32)");
            x[i] = static_cast<float>(values[i]);
        }
        status = f.SetFloat32(instance_, &vr, 1, x.data(), n);
    } else if (v.type == "Boolean") {
        std::unique_ptr<bool[]> b(new bool[n]);
        for (std::size_t i = 0; i < n; ++i) b[i] = values[i] != 0.0;
        status = f.SetBoolean3(instance_, &vr, 1, b.get(), n);
    } else if (v.type == "Int32") {
        const auto i = whole(std::int32_t{});
        status = f.SetInt32(instance_, &vr, 1, i.data(), n);
    } else {
        const auto i = whole(std::int64_t{});
        status = f.SetInt64(instance_, &vr, 1, i.data(), n);
    }
    if (status != 0 && status != 1) fail(call_name("Set", v), status);
}

void FmuInstance::get(const FmuVariable& v, double* values) {
    begin_call();
    const Functions& f = *functions_;
    const std::size_t n = static_cast<std::size_t>(v.width());
    const fmi3ValueReference vr = v.value_reference;
    int status = 0;
    if (version_ == FmiVersion::fmi2) {
        const fmi2ValueReference ref = vr;
        if (v.type == "Real") status = f.GetReal2(instance_, &ref, 1, values);
        else if (v.type == "Boolean") {
            fmi2Boolean b = 0;
            status = f.GetBoolean2(instance_, &ref, 1, &b);
            values[0] = b ? 1.0 : 0.0;
        } else {
            fmi2Integer i = 0;
            status = f.GetInteger2(instance_, &ref, 1, &i);
            values[0] = i;
        }
    } else if (v.type == "Float64") {
        status = f.GetFloat64(instance_, &vr, 1, values, n);
    } else if (v.type == "Float32") {
        std::vector<float> x(n);
        status = f.GetFloat32(instance_, &vr, 1, x.data(), n);
        for (std::size_t i = 0; i < n; ++i) values[i] = x[i];
    } else if (v.type == "Boolean") {
        std::unique_ptr<bool[]> b(new bool[n]);
        status = f.GetBoolean3(instance_, &vr, 1, b.get(), n);
        for (std::size_t i = 0; i < n; ++i) values[i] = b[i] ? 1.0 : 0.0;
    } else if (v.type == "Int32") {
        std::vector<std::int32_t> x(n);
        status = f.GetInt32(instance_, &vr, 1, x.data(), n);
        for (std::size_t i = 0; i < n; ++i) values[i] = x[i];
    } else {
        std::vector<std::int64_t> x(n);
        status = f.GetInt64(instance_, &vr, 1, x.data(), n);
        for (std::size_t i = 0; i < n; ++i) values[i] = static_cast<double>(x[i]);
    }
    if (status != 0 && status != 1) fail(call_name("Get", v), status);
}

void FmuInstance::set_reals(const std::vector<std::uint32_t>& references, const double* values,
                                std::size_t count) {
    begin_call();
    const Functions& f = *functions_;
    if (version_ == FmiVersion::fmi2)
        check("SetReal", f.SetReal2(instance_, references.data(), references.size(), values));
    else
        check("SetFloat64", f.SetFloat64(instance_, references.data(), references.size(), values, count));
}

void FmuInstance::get_reals(const std::vector<std::uint32_t>& references, double* values, std::size_t count) {
    begin_call();
    const Functions& f = *functions_;
    if (version_ == FmiVersion::fmi2)
        check("GetReal", f.GetReal2(instance_, references.data(), references.size(), values));
    else
        check("GetFloat64", f.GetFloat64(instance_, references.data(), references.size(), values, count));
}

void FmuInstance::enter_initialization(double start_time) {
    begin_call();
    const Functions& f = *functions_;
    if (version_ == FmiVersion::fmi2) {
        check("SetupExperiment", f.SetupExperiment2(instance_, fmi2False, 0, start_time, fmi2False, 0));
        check("EnterInitializationMode", f.EnterInitializationMode2(instance_));
    } else {
        check("EnterInitializationMode", f.EnterInitializationMode3(instance_, false, 0, start_time, false, 0));
    }
}

void FmuInstance::exit_initialization() {
    begin_call();
    const Functions& f = *functions_;
    check("ExitInitializationMode",
          version_ == FmiVersion::fmi2 ? int{f.ExitInitializationMode2(instance_)}
                                        : int{f.ExitInitializationMode3(instance_)});
    initialized_ = true;
}

void FmuInstance::do_step(double time, double step) {
    begin_call();
    const Functions& f = *functions_;
    if (version_ == FmiVersion::fmi2) {
        check("DoStep", f.DoStep2(instance_, time, step, fmi2True), time);
        return;
    }
    fmi3Boolean event = false, terminate = false, early = false;
    fmi3Float64 reached = time;
    check("DoStep", f.DoStep3(instance_, time, step, true, &event, &terminate, &early, &reached), time);
    if (terminate) {
        time_ = time;
        asked_to_end("fmi3DoStep");
    }
}

void FmuInstance::asked_to_end(const char* call) {
    throw FmuError(label_ + ": " + call + " at t = " + format_number(time_) + " asked to end the simulation" +
                   (last_message().empty() ? "" : ": " + last_message()));
}

void FmuInstance::set_time(double time) {
    begin_call();
    time_ = time;
    const Functions& f = *functions_;
    check("SetTime", version_ == FmiVersion::fmi2 ? int{f.SetTime2(instance_, time)} : int{f.SetTime3(instance_, time)},
          time);
}

void FmuInstance::set_states(const double* x, std::size_t count) {
    begin_call();
    const Functions& f = *functions_;
    check("SetContinuousStates", version_ == FmiVersion::fmi2 ? int{f.SetContinuousStates2(instance_, x, count)}
                                                               : int{f.SetContinuousStates3(instance_, x, count)},
          time_);
}

void FmuInstance::get_states(double* x, std::size_t count) {
    begin_call();
    const Functions& f = *functions_;
    check("GetContinuousStates", version_ == FmiVersion::fmi2 ? int{f.GetContinuousStates2(instance_, x, count)}
                                                               : int{f.GetContinuousStates3(instance_, x, count)},
          time_);
}

void FmuInstance::get_derivatives(double* dx, std::size_t count) {
    begin_call();
    const Functions& f = *functions_;
    if (version_ == FmiVersion::fmi2) check("GetDerivatives", f.GetDerivatives2(instance_, dx, count), time_);
    else check("GetContinuousStateDerivatives", f.GetContinuousStateDerivatives3(instance_, dx, count), time_);
}

void FmuInstance::get_event_indicators(double* z, std::size_t count) {
    begin_call();
    const Functions& f = *functions_;
    check("GetEventIndicators", version_ == FmiVersion::fmi2 ? int{f.GetEventIndicators2(instance_, z, count)}
                                                              : int{f.GetEventIndicators3(instance_, z, count)},
          time_);
}

void FmuInstance::enter_event() {
    begin_call();
    const Functions& f = *functions_;
    check("EnterEventMode",
          version_ == FmiVersion::fmi2 ? int{f.EnterEventMode2(instance_)} : int{f.EnterEventMode3(instance_)}, time_);
}

// Event iteration: the discrete updates again while the FMU needs more, up
// to a bound that an FMU whose updates never settle meets.
FmuEventResult FmuInstance::settle_event() {
    constexpr int most_iterations = 1000;
    const Functions& f = *functions_;
    FmuEventResult result;
    for (int iteration = 0;; ++iteration) {
        if (iteration == most_iterations)
            throw FmuError(label_ + ": its discrete states did not settle at t = " + format_number(time_) + " after " +
                           std::to_string(most_iterations) + " event iterations");
        begin_call();
        bool again = false, end = false, values_changed = false, next_defined = false;
        double next = 0;
        if (version_ == FmiVersion::fmi2) {
            fmi2EventInfo info{};
            check("NewDiscreteStates", f.NewDiscreteStates2(instance_, &info), time_);
            again = info.newDiscreteStatesNeeded;
            end = info.terminateSimulation;
            values_changed = info.valuesOfContinuousStatesChanged;
            next_defined = info.nextEventTimeDefined;
            next = info.nextEventTime;
        } else {
            fmi3Boolean need = false, terminate = false, nominals = false, values = false, defined = false;
            check("UpdateDiscreteStates",
                  f.UpdateDiscreteStates3(instance_, &need, &terminate, &nominals, &values, &defined, &next), time_);
            again = need;
            end = terminate;
            values_changed = values;
            next_defined = defined;
        }
        if (end) asked_to_end(version_ == FmiVersion::fmi2 ? "fmi2NewDiscreteStates" : "fmi3UpdateDiscreteStates");
        result.states_changed = result.states_changed || values_changed;
        result.next_event_time = next_defined ? std::optional<double>(next) : std::nullopt;
        if (!again) break;
    }
    begin_call();
    check("EnterContinuousTimeMode", version_ == FmiVersion::fmi2 ? int{f.EnterContinuousTimeMode2(instance_)}
                                                                   : int{f.EnterContinuousTimeMode3(instance_)},
          time_);
    return result;
}

bool FmuInstance::completed_integrator_step() {
    begin_call();
    const Functions& f = *functions_;
    if (version_ == FmiVersion::fmi2) {
        fmi2Boolean event = fmi2False, end = fmi2False;
        check("CompletedIntegratorStep", f.CompletedIntegratorStep2(instance_, fmi2True, &event, &end), time_);
        if (end) asked_to_end("fmi2CompletedIntegratorStep");
        return event;
    }
    fmi3Boolean event = false, end = false;
    check("CompletedIntegratorStep", f.CompletedIntegratorStep3(instance_, true, &event, &end), time_);
    if (end) asked_to_end("fmi3CompletedIntegratorStep");
    return event;
}

void FmuInstance::terminate() {
    if (!initialized_ || terminated_ || failed_) return;
    terminated_ = true;
    begin_call();
    const Functions& f = *functions_;
    check("Terminate", version_ == FmiVersion::fmi2 ? int{f.Terminate2(instance_)} : int{f.Terminate3(instance_)});
}

}  // namespace host
