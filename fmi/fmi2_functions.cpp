// The FMI 2.0 functions of an FMU's binary over one Component: the
// standard's state machine, argument checks, and every failure an fmi2Error
// whose message reaches the importer's logger.
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "fmi/component.hpp"
#include "fmi/fmi2.h"
#include "host/model/model.hpp"

namespace fmu {

long long bounded_step_count(double count, double step, double substep, const std::string& substeps,
                             const std::string& advice) {
    if (!(count <= host::most_steps))
        throw UsageError("a communication step of " + exact_text(step) + " s is more than 1e" +
                         std::to_string(std::lround(std::log10(host::most_steps))) + " " + substeps + " of " +
                         exact_text(substep) + " s, more than one call takes; " + advice);
    return static_cast<long long>(count);
}

}  // namespace fmu

namespace {

using fmu::Component;
using fmu::UsageError;

// The standard's states of an instance; a set of them as a bit mask.
enum Phase : unsigned {
    instantiated = 1u << 0,
    initialization = 1u << 1,
    step_mode = 1u << 2,        // co-simulation, between communication points
    event_mode = 1u << 3,       // model exchange
    continuous_mode = 1u << 4,  // model exchange
    terminated = 1u << 5,
    failed = 1u << 6,           // after an fmi2Error of the model: only Get, Reset and Free
};
constexpr unsigned running = step_mode | event_mode | continuous_mode;
constexpr unsigned readable = initialization | running | terminated | failed;

const char* phase_name(unsigned phase) {
    switch (phase) {
    case instantiated: return "instantiated";
    case initialization: return "in initialization mode";
    case step_mode: return "in step mode";
    case event_mode: return "in event mode";
    case continuous_mode: return "in continuous-time mode";
    case terminated: return "terminated";
    default: return "in error after a failed call";
    }
}

struct Instance {
    std::string name;
    fmi2Type type;
    fmi2CallbackLogger logger;
    fmi2ComponentEnvironment environment;
    bool logging = false;
    unsigned phase = instantiated;
    std::filesystem::path binary_folder, resources;
    std::unique_ptr<Component> component;

    void log(fmi2Status status, const std::string& message) const {
        if (logger) logger(environment, name.c_str(), status, status == fmi2OK ? "logAll" : "logStatusError", "%s",
                           message.c_str());
    }
};

Instance* instance_of(fmi2Component c) { return static_cast<Instance*>(c); }

// The instance's component. After an fmi2Reset that could not make it anew
// there is none: every call that needs it is refused, and the instance can
// still be reset again or freed.
Component& component_of(const Instance& instance) {
    if (!instance.component)
        throw UsageError("the instance has no model since fmi2Reset failed; call fmi2Reset again or fmi2FreeInstance");
    return *instance.component;
}

// Runs `action` when the instance is in one of `allowed`; a UsageError
// refuses the call, any other failure of the model puts the instance in
// error. Neither passes an exception to the importer.
template <typename Action>
fmi2Status guarded(fmi2Component c, const char* function, unsigned allowed, Action&& action) {
    Instance* instance = instance_of(c);
    if (!instance) return fmi2Error;
    if (!(instance->phase & allowed)) {
        instance->log(fmi2Error, std::string(function) + " cannot be called when the instance is " +
                                     phase_name(instance->phase));
        return fmi2Error;
    }
    try {
        action(*instance);
        return fmi2OK;
    } catch (const UsageError& error) {
        instance->log(fmi2Error, std::string(function) + ": " + error.what());
    } catch (const std::exception& error) {
        instance->log(fmi2Error, error.what());
        instance->phase = failed;
    } catch (...) {
        instance->log(fmi2Error, std::string(function) + ": an unknown failure");
        instance->phase = failed;
    }
    return fmi2Error;
}

fmi2Status unsupported(fmi2Component c, const char* function, const char* why) {
    if (Instance* instance = instance_of(c)) instance->log(fmi2Error, std::string(function) + " is not supported: " + why);
    return fmi2Error;
}

// The variable of a value reference, which must be of `type`.
std::size_t variable_of(const Component& component, fmi2ValueReference vr, fmu::BaseType type) {
    const auto& variables = component.variables();
    if (vr < 1 || vr > variables.size()) throw UsageError("there is no variable with value reference " + std::to_string(vr));
    const std::size_t index = vr - 1;
    if (variables[index].type != type)
        throw UsageError("'" + variables[index].name + "' (value reference " + std::to_string(vr) + ") is " +
                         (variables[index].type == fmu::BaseType::real ? "a Real" : "an Integer") + ", not " +
                         (type == fmu::BaseType::real ? "a Real" : "an Integer"));
    return index;
}

void check_array(const void* values, size_t n, const char* what) {
    if (n > 0 && !values) throw UsageError(std::string(what) + " is a null pointer");
}

void check_state_count(const Component& component, size_t nx) {
    if (nx != component.continuous_states())
        throw UsageError("the model has " + std::to_string(component.continuous_states()) +
                         " continuous states, the call gives " + std::to_string(nx));
}

void require_model_exchange(const Instance& instance, const char* function) {
    if (instance.type != fmi2ModelExchange)
        throw UsageError(std::string(function) + " is a model-exchange function, and this instance is for co-simulation");
}

// The folder of a "file:" URI, with its %XX escapes decoded.
std::filesystem::path path_of_uri(const char* uri) {
    if (!uri) return {};
    std::string text = uri;
    for (const char* prefix : {"file://localhost/", "file:///", "file:/"}) {
        if (text.rfind(prefix, 0) == 0) {
            text = "/" + text.substr(std::strlen(prefix));
            break;
        }
    }
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// The folder of this binary, where a block's library lies beside it.
std::filesystem::path binary_folder() {
#ifdef _WIN32
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&fmi2Instantiate), &module))
        return {};
    std::wstring name(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) return std::filesystem::path(name.substr(0, length)).parent_path();
        name.resize(name.size() * 2);
    }
    return {};
#else
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&fmi2Instantiate), &info) || !info.dli_fname) return {};
    return std::filesystem::path(info.dli_fname).parent_path();
#endif
}

}  // namespace

extern "C" {

const char* fmi2GetTypesPlatform(void) { return fmi2TypesPlatform; }
const char* fmi2GetVersion(void) { return fmi2Version; }

fmi2Status fmi2SetDebugLogging(fmi2Component c, fmi2Boolean loggingOn, size_t, const fmi2String[]) {
    return guarded(c, "fmi2SetDebugLogging", ~0u, [&](Instance& instance) { instance.logging = loggingOn != fmi2False; });
}

fmi2Component fmi2Instantiate(fmi2String instanceName, fmi2Type fmuType, fmi2String fmuGUID,
                              fmi2String fmuResourceLocation, const fmi2CallbackFunctions* functions,
                              fmi2Boolean, fmi2Boolean loggingOn) {
    auto instance = std::make_unique<Instance>();
    instance->name = instanceName ? instanceName : "";
    instance->type = fmuType;
    instance->logger = functions ? functions->logger : nullptr;
    instance->environment = functions ? functions->componentEnvironment : nullptr;
    instance->logging = loggingOn != fmi2False;
    if (!instance->logger) return nullptr;  // the standard requires one: there is nowhere to say why
    if (fmuType != fmi2ModelExchange && fmuType != fmi2CoSimulation) {
        instance->log(fmi2Error, "fmi2Instantiate: the FMU type must be fmi2ModelExchange or fmi2CoSimulation");
        return nullptr;
    }
    try {
        instance->binary_folder = binary_folder();
        instance->resources = path_of_uri(fmuResourceLocation);
        const std::string guid = fmu::component_guid(instance->binary_folder, instance->resources);
        if (!fmuGUID || guid != fmuGUID) {
            instance->log(fmi2Error, std::string("fmi2Instantiate: the GUID ") + (fmuGUID ? fmuGUID : "(none)") +
                                         " is not this binary's, " + guid +
                                         ": the modelDescription.xml belongs to another FMU");
            return nullptr;
        }
        instance->component = fmu::make_component(instance->binary_folder, instance->resources);
        if (fmuType == fmi2ModelExchange && !instance->component->supports_model_exchange()) {
            instance->log(fmi2Error, "fmi2Instantiate: this FMU is for co-simulation only");
            return nullptr;
        }
    } catch (const std::exception& error) {
        instance->log(fmi2Error, std::string("fmi2Instantiate: ") + error.what());
        return nullptr;
    }
    return instance.release();
}

void fmi2FreeInstance(fmi2Component c) {
    std::unique_ptr<Instance> instance(instance_of(c));
    if (!instance) return;
    try {
        instance->component.reset();
    } catch (const std::exception& error) {
        instance->log(fmi2Error, error.what());
    }
}

fmi2Status fmi2SetupExperiment(fmi2Component c, fmi2Boolean, fmi2Real, fmi2Real startTime, fmi2Boolean, fmi2Real) {
    return guarded(c, "fmi2SetupExperiment", instantiated, [&](Instance& instance) {
        if (!std::isfinite(startTime)) throw UsageError("the start time must be a finite number");
        component_of(instance).set_start_time(startTime);
    });
}

fmi2Status fmi2EnterInitializationMode(fmi2Component c) {
    return guarded(c, "fmi2EnterInitializationMode", instantiated,
                   [&](Instance& instance) { instance.phase = initialization; });
}

fmi2Status fmi2ExitInitializationMode(fmi2Component c) {
    return guarded(c, "fmi2ExitInitializationMode", initialization, [&](Instance& instance) {
        component_of(instance).initialize();
        instance.phase = instance.type == fmi2CoSimulation ? step_mode : event_mode;
    });
}

fmi2Status fmi2Terminate(fmi2Component c) {
    return guarded(c, "fmi2Terminate", running, [&](Instance& instance) {
        instance.phase = terminated;
        component_of(instance).terminate();
    });
}

fmi2Status fmi2Reset(fmi2Component c) {
    return guarded(c, "fmi2Reset", ~0u, [&](Instance& instance) {
        instance.component.reset();
        instance.phase = failed;  // until the new component exists
        instance.component = fmu::make_component(instance.binary_folder, instance.resources);
        instance.phase = instantiated;
    });
}

// ---- Values

fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Real value[]) {
    return guarded(c, "fmi2GetReal", readable, [&](Instance& instance) {
        check_array(vr, nvr, "the value references");
        check_array(value, nvr, "the values");
        Component& component = component_of(instance);
        for (size_t i = 0; i < nvr; ++i) value[i] = component.get_real(variable_of(component, vr[i], fmu::BaseType::real));
    });
}

fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Integer value[]) {
    return guarded(c, "fmi2GetInteger", readable, [&](Instance& instance) {
        check_array(vr, nvr, "the value references");
        check_array(value, nvr, "the values");
        Component& component = component_of(instance);
        for (size_t i = 0; i < nvr; ++i)
            value[i] = component.get_integer(variable_of(component, vr[i], fmu::BaseType::integer));
    });
}

fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Real value[]) {
    return guarded(c, "fmi2SetReal", instantiated | initialization | running, [&](Instance& instance) {
        check_array(vr, nvr, "the value references");
        check_array(value, nvr, "the values");
        Component& component = component_of(instance);
        for (size_t i = 0; i < nvr; ++i) component.set_real(variable_of(component, vr[i], fmu::BaseType::real), value[i]);
    });
}

fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Integer value[]) {
    return guarded(c, "fmi2SetInteger", instantiated | initialization | running, [&](Instance& instance) {
        check_array(vr, nvr, "the value references");
        check_array(value, nvr, "the values");
        Component& component = component_of(instance);
        for (size_t i = 0; i < nvr; ++i)
            component.set_integer(variable_of(component, vr[i], fmu::BaseType::integer), value[i]);
    });
}

// No Boolean or String variables: only an empty request succeeds.
fmi2Status fmi2GetBoolean(fmi2Component c, const fmi2ValueReference[], size_t nvr, fmi2Boolean[]) {
    return guarded(c, "fmi2GetBoolean", readable, [&](Instance&) {
        if (nvr > 0) throw UsageError("this FMU has no Boolean variables");
    });
}
fmi2Status fmi2GetString(fmi2Component c, const fmi2ValueReference[], size_t nvr, fmi2String[]) {
    return guarded(c, "fmi2GetString", readable, [&](Instance&) {
        if (nvr > 0) throw UsageError("this FMU has no String variables");
    });
}
fmi2Status fmi2SetBoolean(fmi2Component c, const fmi2ValueReference[], size_t nvr, const fmi2Boolean[]) {
    return guarded(c, "fmi2SetBoolean", instantiated | initialization | running, [&](Instance&) {
        if (nvr > 0) throw UsageError("this FMU has no Boolean variables");
    });
}
fmi2Status fmi2SetString(fmi2Component c, const fmi2ValueReference[], size_t nvr, const fmi2String[]) {
    return guarded(c, "fmi2SetString", instantiated | initialization | running, [&](Instance&) {
        if (nvr > 0) throw UsageError("this FMU has no String variables");
    });
}

// ---- What the description declares unsupported

#define NO_FMU_STATE "the FMU declares canGetAndSetFMUstate=\"false\""
fmi2Status fmi2GetFMUstate(fmi2Component c, fmi2FMUstate*) { return unsupported(c, "fmi2GetFMUstate", NO_FMU_STATE); }
fmi2Status fmi2SetFMUstate(fmi2Component c, fmi2FMUstate) { return unsupported(c, "fmi2SetFMUstate", NO_FMU_STATE); }
fmi2Status fmi2FreeFMUstate(fmi2Component c, fmi2FMUstate*) { return unsupported(c, "fmi2FreeFMUstate", NO_FMU_STATE); }
fmi2Status fmi2SerializedFMUstateSize(fmi2Component c, fmi2FMUstate, size_t*) {
    return unsupported(c, "fmi2SerializedFMUstateSize", "the FMU declares canSerializeFMUstate=\"false\"");
}
fmi2Status fmi2SerializeFMUstate(fmi2Component c, fmi2FMUstate, fmi2Byte[], size_t) {
    return unsupported(c, "fmi2SerializeFMUstate", "the FMU declares canSerializeFMUstate=\"false\"");
}
fmi2Status fmi2DeSerializeFMUstate(fmi2Component c, const fmi2Byte[], size_t, fmi2FMUstate*) {
    return unsupported(c, "fmi2DeSerializeFMUstate", "the FMU declares canSerializeFMUstate=\"false\"");
}
fmi2Status fmi2GetDirectionalDerivative(fmi2Component c, const fmi2ValueReference[], size_t, const fmi2ValueReference[],
                                        size_t, const fmi2Real[], fmi2Real[]) {
    return unsupported(c, "fmi2GetDirectionalDerivative", "the FMU declares providesDirectionalDerivative=\"false\"");
}
fmi2Status fmi2SetRealInputDerivatives(fmi2Component c, const fmi2ValueReference[], size_t, const fmi2Integer[],
                                       const fmi2Real[]) {
    return unsupported(c, "fmi2SetRealInputDerivatives", "the FMU declares canInterpolateInputs=\"false\"");
}
fmi2Status fmi2GetRealOutputDerivatives(fmi2Component c, const fmi2ValueReference[], size_t, const fmi2Integer[],
                                        fmi2Real[]) {
    return unsupported(c, "fmi2GetRealOutputDerivatives", "the FMU declares maxOutputDerivativeOrder=\"0\"");
}
fmi2Status fmi2CancelStep(fmi2Component c) {
    return unsupported(c, "fmi2CancelStep", "fmi2DoStep never returns fmi2Pending");
}

// ---- Co-simulation

fmi2Status fmi2DoStep(fmi2Component c, fmi2Real currentCommunicationPoint, fmi2Real communicationStepSize, fmi2Boolean) {
    return guarded(c, "fmi2DoStep", step_mode, [&](Instance& instance) {
        if (instance.type != fmi2CoSimulation)
            throw UsageError("fmi2DoStep is a co-simulation function, and this instance is for model exchange");
        if (!(communicationStepSize > 0.0) || !std::isfinite(communicationStepSize))
            throw UsageError("the communication step must be a positive number, not " +
                             fmu::exact_text(communicationStepSize));
        const double now = component_of(instance).time();
        if (std::fabs(currentCommunicationPoint - now) > 1e-9 * std::max(1.0, std::fabs(now)))
            throw UsageError("the communication point " + fmu::exact_text(currentCommunicationPoint) +
                             " is not where the last step ended, " + fmu::exact_text(now));
        component_of(instance).do_step(currentCommunicationPoint, communicationStepSize);
    });
}

fmi2Status fmi2GetStatus(fmi2Component c, const fmi2StatusKind, fmi2Status*) {
    return unsupported(c, "fmi2GetStatus", "fmi2DoStep never returns fmi2Pending");
}
fmi2Status fmi2GetRealStatus(fmi2Component c, const fmi2StatusKind kind, fmi2Real* value) {
    return guarded(c, "fmi2GetRealStatus", readable, [&](Instance& instance) {
        if (kind != fmi2LastSuccessfulTime) throw UsageError("only fmi2LastSuccessfulTime has a Real status");
        check_array(value, 1, "the value");
        *value = component_of(instance).time();
    });
}
fmi2Status fmi2GetIntegerStatus(fmi2Component c, const fmi2StatusKind, fmi2Integer*) {
    return unsupported(c, "fmi2GetIntegerStatus", "there is no Integer status");
}
fmi2Status fmi2GetBooleanStatus(fmi2Component c, const fmi2StatusKind kind, fmi2Boolean* value) {
    return guarded(c, "fmi2GetBooleanStatus", readable, [&](Instance&) {
        if (kind != fmi2Terminated) throw UsageError("only fmi2Terminated has a Boolean status");
        check_array(value, 1, "the value");
        *value = fmi2False;  // the FMU never ends a simulation by itself
    });
}
fmi2Status fmi2GetStringStatus(fmi2Component c, const fmi2StatusKind, fmi2String*) {
    return unsupported(c, "fmi2GetStringStatus", "there is no String status");
}

// ---- Model exchange

fmi2Status fmi2EnterEventMode(fmi2Component c) {
    return guarded(c, "fmi2EnterEventMode", event_mode | continuous_mode, [&](Instance& instance) {
        require_model_exchange(instance, "fmi2EnterEventMode");
        component_of(instance).enter_event_mode();
        instance.phase = event_mode;
    });
}

fmi2Status fmi2NewDiscreteStates(fmi2Component c, fmi2EventInfo* info) {
    return guarded(c, "fmi2NewDiscreteStates", event_mode, [&](Instance& instance) {
        require_model_exchange(instance, "fmi2NewDiscreteStates");
        check_array(info, 1, "the event info");
        // No state or time events: one iteration settles every event.
        *info = fmi2EventInfo{fmi2False, fmi2False, fmi2False, fmi2False, fmi2False, 0.0};
    });
}

fmi2Status fmi2EnterContinuousTimeMode(fmi2Component c) {
    return guarded(c, "fmi2EnterContinuousTimeMode", event_mode, [&](Instance& instance) {
        require_model_exchange(instance, "fmi2EnterContinuousTimeMode");
        component_of(instance).enter_continuous_time_mode();
        instance.phase = continuous_mode;
    });
}

fmi2Status fmi2CompletedIntegratorStep(fmi2Component c, fmi2Boolean, fmi2Boolean* enterEventMode,
                                       fmi2Boolean* terminateSimulation) {
    return guarded(c, "fmi2CompletedIntegratorStep", continuous_mode, [&](Instance& instance) {
        require_model_exchange(instance, "fmi2CompletedIntegratorStep");
        check_array(enterEventMode, 1, "enterEventMode");
        check_array(terminateSimulation, 1, "terminateSimulation");
        component_of(instance).completed_integrator_step();
        *enterEventMode = fmi2False;
        *terminateSimulation = fmi2False;
    });
}

fmi2Status fmi2SetTime(fmi2Component c, fmi2Real time) {
    return guarded(c, "fmi2SetTime", event_mode | continuous_mode, [&](Instance& instance) {
        require_model_exchange(instance, "fmi2SetTime");
        if (!std::isfinite(time)) throw UsageError("the time must be a finite number");
        component_of(instance).set_time(time);
    });
}

fmi2Status fmi2SetContinuousStates(fmi2Component c, const fmi2Real x[], size_t nx) {
    return guarded(c, "fmi2SetContinuousStates", continuous_mode, [&](Instance& instance) {
        require_model_exchange(instance, "fmi2SetContinuousStates");
        check_state_count(component_of(instance), nx);
        check_array(x, nx, "the states");
        component_of(instance).set_continuous_states(x);
    });
}

fmi2Status fmi2GetContinuousStates(fmi2Component c, fmi2Real x[], size_t nx) {
    return guarded(c, "fmi2GetContinuousStates", readable, [&](Instance& instance) {
        require_model_exchange(instance, "fmi2GetContinuousStates");
        check_state_count(component_of(instance), nx);
        check_array(x, nx, "the states");
        component_of(instance).get_continuous_states(x);
    });
}

fmi2Status fmi2GetDerivatives(fmi2Component c, fmi2Real derivatives[], size_t nx) {
    return guarded(c, "fmi2GetDerivatives", readable, [&](Instance& instance) {
        require_model_exchange(instance, "fmi2GetDerivatives");
        check_state_count(component_of(instance), nx);
        check_array(derivatives, nx, "the derivatives");
        component_of(instance).get_derivatives(derivatives);
    });
}

fmi2Status fmi2GetEventIndicators(fmi2Component c, fmi2Real[], size_t ni) {
    return guarded(c, "fmi2GetEventIndicators", readable, [&](Instance& instance) {
        require_model_exchange(instance, "fmi2GetEventIndicators");
        if (ni != 0) throw UsageError("the FMU has no event indicators, the call asks for " + std::to_string(ni));
    });
}

fmi2Status fmi2GetNominalsOfContinuousStates(fmi2Component c, fmi2Real x_nominal[], size_t nx) {
    return guarded(c, "fmi2GetNominalsOfContinuousStates", readable, [&](Instance& instance) {
        require_model_exchange(instance, "fmi2GetNominalsOfContinuousStates");
        check_state_count(component_of(instance), nx);
        check_array(x_nominal, nx, "the nominals");
        for (size_t i = 0; i < nx; ++i) x_nominal[i] = 1.0;
    });
}

}  // extern "C"
