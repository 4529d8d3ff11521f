// The FMI 2.0 functions of an FMU's binary over one Component: the
// standard's state machine and argument checks of fmi/instance.hpp, and
// every failure an fmi2Error whose message reaches the importer's logger.
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fmi/fmi2.h"
#include "fmi/instance.hpp"
#include "fmi/resource_uri.hpp"

namespace {

using fmu::Component;
using fmu::component_of;
using fmu::Instance;
using fmu::UsageError;
using namespace fmu::phases;

Instance* instance_of(fmi2Component c) { return static_cast<Instance*>(c); }

template <typename Action>
fmi2Status guarded(fmi2Component c, const char* function, unsigned allowed, Action&& action) {
    return fmu::guarded(instance_of(c), function, allowed, action) ? fmi2OK : fmi2Error;
}

fmi2Status unsupported(fmi2Component c, const char* function, const char* why) {
    fmu::unsupported(instance_of(c), function, why);
    return fmi2Error;
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
    // The standard requires a logger: without one there is nowhere to say why.
    if (!functions || !functions->logger) return nullptr;
    const std::string name = instanceName ? instanceName : "";
    const fmi2CallbackLogger logger = functions->logger;
    const fmi2ComponentEnvironment environment = functions->componentEnvironment;
    auto log = [=](bool error, const std::string& message) {
        logger(environment, name.c_str(), error ? fmi2Error : fmi2OK, error ? "logStatusError" : "logAll", "%s",
               message.c_str());
    };
    if (fmuType != fmi2ModelExchange && fmuType != fmi2CoSimulation) {
        log(true, "fmi2Instantiate: the FMU type must be fmi2ModelExchange or fmi2CoSimulation");
        return nullptr;
    }
    auto instance = fmu::instantiate(
        "fmi2Instantiate", name,
        fmuType == fmi2ModelExchange ? fmu::Interface::model_exchange : fmu::Interface::co_simulation, fmuGUID,
        [&] { return fmu::path_of_uri(fmuResourceLocation); }, log);
    if (instance) instance->logging = loggingOn != fmi2False;
    return instance.release();
}

void fmi2FreeInstance(fmi2Component c) {
    std::unique_ptr<Instance> instance(instance_of(c));
    if (!instance) return;
    try {
        instance->component.reset();
    } catch (const std::exception& error) {
        instance->log_error(error.what());
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
        instance.phase = instance.kind == fmu::Interface::co_simulation ? step_mode : event_mode;
    });
}

fmi2Status fmi2Terminate(fmi2Component c) {
    return guarded(c, "fmi2Terminate", running, [&](Instance& instance) {
        instance.phase = terminated;
        component_of(instance).terminate();
    });
}

fmi2Status fmi2Reset(fmi2Component c) {
    return guarded(c, "fmi2Reset", ~0u, [&](Instance& instance) { fmu::reset(instance); });
}

// ---- Values

fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Real value[]) {
    return guarded(c, "fmi2GetReal", readable, [&](Instance& instance) {
        fmu::check_array(vr, nvr, "the value references");
        fmu::check_array(value, nvr, "the values");
        Component& component = component_of(instance);
        for (size_t i = 0; i < nvr; ++i) value[i] = component.get_real(fmu::variable_of(component, vr[i], fmu::BaseType::real));
    });
}

fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Integer value[]) {
    return guarded(c, "fmi2GetInteger", readable, [&](Instance& instance) {
        fmu::check_array(vr, nvr, "the value references");
        fmu::check_array(value, nvr, "the values");
        Component& component = component_of(instance);
        for (size_t i = 0; i < nvr; ++i)
            value[i] = component.get_integer(fmu::variable_of(component, vr[i], fmu::BaseType::integer));
    });
}

fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Real value[]) {
    return guarded(c, "fmi2SetReal", settable, [&](Instance& instance) {
        fmu::check_array(vr, nvr, "the value references");
        fmu::check_array(value, nvr, "the values");
        Component& component = component_of(instance);
        for (size_t i = 0; i < nvr; ++i) component.set_real(fmu::variable_of(component, vr[i], fmu::BaseType::real), value[i]);
    });
}

fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Integer value[]) {
    return guarded(c, "fmi2SetInteger", settable, [&](Instance& instance) {
        fmu::check_array(vr, nvr, "the value references");
        fmu::check_array(value, nvr, "the values");
        Component& component = component_of(instance);
        for (size_t i = 0; i < nvr; ++i)
            component.set_integer(fmu::variable_of(component, vr[i], fmu::BaseType::integer), value[i]);
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
    return guarded(c, "fmi2SetBoolean", settable, [&](Instance&) {
        if (nvr > 0) throw UsageError("this FMU has no Boolean variables");
    });
}
fmi2Status fmi2SetString(fmi2Component c, const fmi2ValueReference[], size_t nvr, const fmi2String[]) {
    return guarded(c, "fmi2SetString", settable, [&](Instance&) {
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
        fmu::do_step(instance, "fmi2DoStep", currentCommunicationPoint, communicationStepSize);
    });
}

fmi2Status fmi2GetStatus(fmi2Component c, const fmi2StatusKind, fmi2Status*) {
    return unsupported(c, "fmi2GetStatus", "fmi2DoStep never returns fmi2Pending");
}
fmi2Status fmi2GetRealStatus(fmi2Component c, const fmi2StatusKind kind, fmi2Real* value) {
    return guarded(c, "fmi2GetRealStatus", readable, [&](Instance& instance) {
        if (kind != fmi2LastSuccessfulTime) throw UsageError("only fmi2LastSuccessfulTime has a Real status");
        fmu::check_array(value, 1, "the value");
        *value = component_of(instance).time();
    });
}
fmi2Status fmi2GetIntegerStatus(fmi2Component c, const fmi2StatusKind, fmi2Integer*) {
    return unsupported(c, "fmi2GetIntegerStatus", "there is no Integer status");
}
fmi2Status fmi2GetBooleanStatus(fmi2Component c, const fmi2StatusKind kind, fmi2Boolean* value) {
    return guarded(c, "fmi2GetBooleanStatus", readable, [&](Instance&) {
        if (kind != fmi2Terminated) throw UsageError("only fmi2Terminated has a Boolean status");
        fmu::check_array(value, 1, "the value");
        *value = fmi2False;  // the FMU never ends a simulation by itself
    });
}
fmi2Status fmi2GetStringStatus(fmi2Component c, const fmi2StatusKind, fmi2String*) {
    return unsupported(c, "fmi2GetStringStatus", "there is no String status");
}

// ---- Model exchange

fmi2Status fmi2EnterEventMode(fmi2Component c) {
    return guarded(c, "fmi2EnterEventMode", event_mode | continuous_mode, [&](Instance& instance) {
        fmu::enter_event_mode(instance, "fmi2EnterEventMode");
    });
}

fmi2Status fmi2NewDiscreteStates(fmi2Component c, fmi2EventInfo* info) {
    return guarded(c, "fmi2NewDiscreteStates", event_mode, [&](Instance& instance) {
        fmu::require_model_exchange(instance, "fmi2NewDiscreteStates");
        fmu::check_array(info, 1, "the event info");
        // No state events, and time events only at the times the model
        // knows beforehand: one iteration settles every event.
        const std::optional<double> next = fmu::component_of(instance).next_event_time();
        *info = fmi2EventInfo{fmi2False, fmi2False, fmi2False, fmi2False, next ? fmi2True : fmi2False,
                              next ? *next : 0.0};
    });
}

fmi2Status fmi2EnterContinuousTimeMode(fmi2Component c) {
    return guarded(c, "fmi2EnterContinuousTimeMode", event_mode, [&](Instance& instance) {
        fmu::enter_continuous_time_mode(instance, "fmi2EnterContinuousTimeMode");
    });
}

fmi2Status fmi2CompletedIntegratorStep(fmi2Component c, fmi2Boolean, fmi2Boolean* enterEventMode,
                                       fmi2Boolean* terminateSimulation) {
    return guarded(c, "fmi2CompletedIntegratorStep", continuous_mode, [&](Instance& instance) {
        fmu::completed_integrator_step(instance, "fmi2CompletedIntegratorStep", enterEventMode, terminateSimulation);
        *enterEventMode = fmi2False;
        *terminateSimulation = fmi2False;
    });
}

fmi2Status fmi2SetTime(fmi2Component c, fmi2Real time) {
    return guarded(c, "fmi2SetTime", event_mode | continuous_mode, [&](Instance& instance) {
        fmu::set_time(instance, "fmi2SetTime", time);
    });
}

fmi2Status fmi2SetContinuousStates(fmi2Component c, const fmi2Real x[], size_t nx) {
    return guarded(c, "fmi2SetContinuousStates", continuous_mode, [&](Instance& instance) {
        fmu::set_continuous_states(instance, "fmi2SetContinuousStates", x, nx);
    });
}

fmi2Status fmi2GetContinuousStates(fmi2Component c, fmi2Real x[], size_t nx) {
    return guarded(c, "fmi2GetContinuousStates", readable, [&](Instance& instance) {
        fmu::get_continuous_states(instance, "fmi2GetContinuousStates", x, nx);
    });
}

fmi2Status fmi2GetDerivatives(fmi2Component c, fmi2Real derivatives[], size_t nx) {
    return guarded(c, "fmi2GetDerivatives", readable, [&](Instance& instance) {
        fmu::get_derivatives(instance, "fmi2GetDerivatives", derivatives, nx);
    });
}

fmi2Status fmi2GetEventIndicators(fmi2Component c, fmi2Real[], size_t ni) {
    return guarded(c, "fmi2GetEventIndicators", readable, [&](Instance& instance) {
        fmu::get_event_indicators(instance, "fmi2GetEventIndicators", ni);
    });
}

fmi2Status fmi2GetNominalsOfContinuousStates(fmi2Component c, fmi2Real x_nominal[], size_t nx) {
    return guarded(c, "fmi2GetNominalsOfContinuousStates", readable, [&](Instance& instance) {
        fmu::get_nominals(instance, "fmi2GetNominalsOfContinuousStates", x_nominal, nx);
    });
}

}  // extern "C"
