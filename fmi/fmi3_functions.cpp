// The FMI 3.0 functions of an FMU's binary over one Component: the same
// state machine and argument checks as FMI 2.0's (fmi/instance.hpp), with
// the variables as FMI 3.0 declares them (array_variables.hpp): a value
// reference may stand for an array, whose elements follow each other in
// the values passed. Co-simulation without event mode, model exchange
// without event indicators; no clocks, FMU states or derivatives.
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fmi/array_variables.hpp"
#include "fmi/fmi3.h"
#include "fmi/instance.hpp"

namespace {

using fmu::Component;
using fmu::component_of;
using fmu::UsageError;
using namespace fmu::phases;

// An instance with its variables as FMI 3.0 numbers them.
struct Instance3 : fmu::Instance {
    std::vector<fmu::ArrayVariable> arrays;
};

Instance3* instance_of(fmi3Instance instance) { return static_cast<Instance3*>(instance); }

template <typename Action>
fmi3Status guarded(fmi3Instance instance, const char* function, unsigned allowed, Action&& action) {
    return fmu::guarded(instance_of(instance), function, allowed,
                        [&](fmu::Instance& base) { action(static_cast<Instance3&>(base)); })
               ? fmi3OK
               : fmi3Error;
}

fmi3Status unsupported(fmi3Instance instance, const char* function, const char* why) {
    fmu::unsupported(instance_of(instance), function, why);
    return fmi3Error;
}

// The scalar variables of `nvr` value references, each of `type`; their
// element count must be `n_values`.
std::vector<std::size_t> scalars_of(const Instance3& instance, const fmi3ValueReference vr[], size_t nvr,
                                    size_t n_values, fmu::BaseType type) {
    fmu::check_array(vr, nvr, "the value references");
    const Component& component = component_of(instance);
    // Every reference checked, and the values counted, before any is used.
    std::size_t wanted = 0;
    for (size_t i = 0; i < nvr; ++i) {
        if (vr[i] < 1 || vr[i] > instance.arrays.size())
            throw UsageError("there is no variable with value reference " + std::to_string(vr[i]));
        const fmu::ArrayVariable& array = instance.arrays[vr[i] - 1];
        const fmu::Variable& first = component.variables()[array.first];
        if (first.type != type)
            throw UsageError("'" + array.name + "' (value reference " + std::to_string(vr[i]) + ") is " +
                             (first.type == fmu::BaseType::real ? "a Float64" : "an Int32") + ", not " +
                             (type == fmu::BaseType::real ? "a Float64" : "an Int32"));
        wanted += array.count;
    }
    if (wanted != n_values)
        throw UsageError("the value references stand for " + std::to_string(wanted) + " values, the call gives " +
                         std::to_string(n_values));
    std::vector<std::size_t> scalars;
    scalars.reserve(wanted);
    for (size_t i = 0; i < nvr; ++i) {
        const fmu::ArrayVariable& array = instance.arrays[vr[i] - 1];
        for (std::size_t k = 0; k < array.count; ++k) scalars.push_back(array.first + k);
    }
    return scalars;
}

// For the types no variable has: only a request for nothing succeeds.
fmi3Status no_variables_of(fmi3Instance instance, const char* function, unsigned allowed, size_t nvr,
                           const char* type) {
    return guarded(instance, function, allowed, [&](Instance3&) {
        if (nvr > 0) throw UsageError(std::string("this FMU has no ") + type + " variables");
    });
}

fmi3Instance instantiate(const char* function, fmi3String instanceName, fmi3String instantiationToken,
                         fmi3String resourcePath, fmi3Boolean loggingOn, fmi3InstanceEnvironment environment,
                         fmi3LogMessageCallback logMessage, fmu::Interface kind) {
    auto log = [=](bool error, const std::string& message) {
        if (logMessage) logMessage(environment, error ? fmi3Error : fmi3OK, error ? "logStatusError" : "logAll",
                                   message.c_str());
    };
    auto base = fmu::instantiate(function, instanceName ? instanceName : "", kind, instantiationToken,
                                 [&] { return std::filesystem::path(resourcePath ? resourcePath : ""); }, log);
    if (!base) return nullptr;
    auto instance = std::make_unique<Instance3>();
    static_cast<fmu::Instance&>(*instance) = std::move(*base);
    instance->logging = loggingOn;
    instance->arrays = fmu::array_variables(instance->component->variables());
    return instance.release();
}

}  // namespace

extern "C" {

const char* fmi3GetVersion(void) { return fmi3Version; }

fmi3Status fmi3SetDebugLogging(fmi3Instance instance, fmi3Boolean loggingOn, size_t, const fmi3String[]) {
    return guarded(instance, "fmi3SetDebugLogging", ~0u, [&](Instance3& i) { i.logging = loggingOn; });
}

fmi3Instance fmi3InstantiateModelExchange(fmi3String instanceName, fmi3String instantiationToken,
                                          fmi3String resourcePath, fmi3Boolean, fmi3Boolean loggingOn,
                                          fmi3InstanceEnvironment instanceEnvironment,
                                          fmi3LogMessageCallback logMessage) {
    return instantiate("fmi3InstantiateModelExchange", instanceName, instantiationToken, resourcePath, loggingOn,
                       instanceEnvironment, logMessage, fmu::Interface::model_exchange);
}

fmi3Instance fmi3InstantiateCoSimulation(fmi3String instanceName, fmi3String instantiationToken,
                                         fmi3String resourcePath, fmi3Boolean, fmi3Boolean loggingOn,
                                         fmi3Boolean eventModeUsed, fmi3Boolean, const fmi3ValueReference[],
                                         size_t nRequiredIntermediateVariables,
                                         fmi3InstanceEnvironment instanceEnvironment,
                                         fmi3LogMessageCallback logMessage, fmi3IntermediateUpdateCallback) {
    if (eventModeUsed || nRequiredIntermediateVariables > 0) {
        if (logMessage)
            logMessage(instanceEnvironment, fmi3Error, "logStatusError",
                       eventModeUsed ? "fmi3InstantiateCoSimulation: the FMU declares hasEventMode=\"false\": "
                                       "instantiate it with eventModeUsed false"
                                     : "fmi3InstantiateCoSimulation: the FMU declares providesIntermediateUpdate="
                                       "\"false\": it has no intermediate variables");
        return nullptr;
    }
    return instantiate("fmi3InstantiateCoSimulation", instanceName, instantiationToken, resourcePath, loggingOn,
                       instanceEnvironment, logMessage, fmu::Interface::co_simulation);
}

fmi3Instance fmi3InstantiateScheduledExecution(fmi3String, fmi3String, fmi3String, fmi3Boolean, fmi3Boolean,
                                               fmi3InstanceEnvironment instanceEnvironment,
                                               fmi3LogMessageCallback logMessage, fmi3ClockUpdateCallback,
                                               fmi3LockPreemptionCallback, fmi3UnlockPreemptionCallback) {
    if (logMessage)
        logMessage(instanceEnvironment, fmi3Error, "logStatusError",
                   "fmi3InstantiateScheduledExecution: the FMU offers model exchange and co-simulation only");
    return nullptr;
}

void fmi3FreeInstance(fmi3Instance instance) {
    std::unique_ptr<Instance3> owned(instance_of(instance));
    if (!owned) return;
    try {
        owned->component.reset();
    } catch (const std::exception& error) {
        owned->log_error(error.what());
    }
}

fmi3Status fmi3EnterInitializationMode(fmi3Instance instance, fmi3Boolean, fmi3Float64, fmi3Float64 startTime,
                                       fmi3Boolean, fmi3Float64) {
    return guarded(instance, "fmi3EnterInitializationMode", instantiated, [&](Instance3& i) {
        if (!std::isfinite(startTime)) throw UsageError("the start time must be a finite number");
        component_of(i).set_start_time(startTime);
        i.phase = initialization;
    });
}

fmi3Status fmi3ExitInitializationMode(fmi3Instance instance) {
    return guarded(instance, "fmi3ExitInitializationMode", initialization, [&](Instance3& i) {
        component_of(i).initialize();
        i.phase = i.kind == fmu::Interface::co_simulation ? step_mode : event_mode;
    });
}

fmi3Status fmi3EnterEventMode(fmi3Instance instance) {
    return guarded(instance, "fmi3EnterEventMode", event_mode | continuous_mode, [&](Instance3& i) {
        fmu::enter_event_mode(i, "fmi3EnterEventMode");
    });
}

fmi3Status fmi3Terminate(fmi3Instance instance) {
    return guarded(instance, "fmi3Terminate", running, [&](Instance3& i) {
        i.phase = terminated;
        component_of(i).terminate();
    });
}

fmi3Status fmi3Reset(fmi3Instance instance) {
    return guarded(instance, "fmi3Reset", ~0u, [&](Instance3& i) { fmu::reset(i); });
}

// ---- Values

fmi3Status fmi3GetFloat64(fmi3Instance instance, const fmi3ValueReference vr[], size_t nvr, fmi3Float64 values[],
                          size_t nValues) {
    return guarded(instance, "fmi3GetFloat64", readable, [&](Instance3& i) {
        const auto scalars = scalars_of(i, vr, nvr, nValues, fmu::BaseType::real);
        fmu::check_array(values, nValues, "the values");
        for (std::size_t k = 0; k < scalars.size(); ++k) values[k] = component_of(i).get_real(scalars[k]);
    });
}

fmi3Status fmi3GetInt32(fmi3Instance instance, const fmi3ValueReference vr[], size_t nvr, fmi3Int32 values[],
                        size_t nValues) {
    return guarded(instance, "fmi3GetInt32", readable, [&](Instance3& i) {
        const auto scalars = scalars_of(i, vr, nvr, nValues, fmu::BaseType::integer);
        fmu::check_array(values, nValues, "the values");
        for (std::size_t k = 0; k < scalars.size(); ++k) values[k] = component_of(i).get_integer(scalars[k]);
    });
}

fmi3Status fmi3SetFloat64(fmi3Instance instance, const fmi3ValueReference vr[], size_t nvr,
                          const fmi3Float64 values[], size_t nValues) {
    return guarded(instance, "fmi3SetFloat64", settable, [&](Instance3& i) {
        const auto scalars = scalars_of(i, vr, nvr, nValues, fmu::BaseType::real);
        fmu::check_array(values, nValues, "the values");
        for (std::size_t k = 0; k < scalars.size(); ++k) component_of(i).set_real(scalars[k], values[k]);
    });
}

fmi3Status fmi3SetInt32(fmi3Instance instance, const fmi3ValueReference vr[], size_t nvr, const fmi3Int32 values[],
                        size_t nValues) {
    return guarded(instance, "fmi3SetInt32", settable, [&](Instance3& i) {
        const auto scalars = scalars_of(i, vr, nvr, nValues, fmu::BaseType::integer);
        fmu::check_array(values, nValues, "the values");
        for (std::size_t k = 0; k < scalars.size(); ++k) component_of(i).set_integer(scalars[k], values[k]);
    });
}

// No variables of these types: only a request for nothing succeeds.
fmi3Status fmi3GetFloat32(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3Float32[], size_t) {
    return no_variables_of(instance, "fmi3GetFloat32", readable, nvr, "Float32");
}
fmi3Status fmi3SetFloat32(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3Float32[], size_t) {
    return no_variables_of(instance, "fmi3SetFloat32", settable, nvr, "Float32");
}
fmi3Status fmi3GetInt8(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3Int8[], size_t) {
    return no_variables_of(instance, "fmi3GetInt8", readable, nvr, "Int8");
}
fmi3Status fmi3SetInt8(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3Int8[], size_t) {
    return no_variables_of(instance, "fmi3SetInt8", settable, nvr, "Int8");
}
fmi3Status fmi3GetUInt8(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3UInt8[], size_t) {
    return no_variables_of(instance, "fmi3GetUInt8", readable, nvr, "UInt8");
}
fmi3Status fmi3SetUInt8(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3UInt8[], size_t) {
    return no_variables_of(instance, "fmi3SetUInt8", settable, nvr, "UInt8");
}
fmi3Status fmi3GetInt16(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3Int16[], size_t) {
    return no_variables_of(instance, "fmi3GetInt16", readable, nvr, "Int16");
}
fmi3Status fmi3SetInt16(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3Int16[], size_t) {
    return no_variables_of(instance, "fmi3SetInt16", settable, nvr, "Int16");
}
fmi3Status fmi3GetUInt16(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3UInt16[], size_t) {
    return no_variables_of(instance, "fmi3GetUInt16", readable, nvr, "UInt16");
}
fmi3Status fmi3SetUInt16(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3UInt16[], size_t) {
    return no_variables_of(instance, "fmi3SetUInt16", settable, nvr, "UInt16");
}
fmi3Status fmi3GetUInt32(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3UInt32[], size_t) {
    return no_variables_of(instance, "fmi3GetUInt32", readable, nvr, "UInt32");
}
fmi3Status fmi3SetUInt32(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3UInt32[], size_t) {
    return no_variables_of(instance, "fmi3SetUInt32", settable, nvr, "UInt32");
}
fmi3Status fmi3GetInt64(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3Int64[], size_t) {
    return no_variables_of(instance, "fmi3GetInt64", readable, nvr, "Int64");
}
fmi3Status fmi3SetInt64(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3Int64[], size_t) {
    return no_variables_of(instance, "fmi3SetInt64", settable, nvr, "Int64");
}
fmi3Status fmi3GetUInt64(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3UInt64[], size_t) {
    return no_variables_of(instance, "fmi3GetUInt64", readable, nvr, "UInt64");
}
fmi3Status fmi3SetUInt64(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3UInt64[], size_t) {
    return no_variables_of(instance, "fmi3SetUInt64", settable, nvr, "UInt64");
}
fmi3Status fmi3GetBoolean(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3Boolean[], size_t) {
    return no_variables_of(instance, "fmi3GetBoolean", readable, nvr, "Boolean");
}
fmi3Status fmi3SetBoolean(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3Boolean[], size_t) {
    return no_variables_of(instance, "fmi3SetBoolean", settable, nvr, "Boolean");
}
fmi3Status fmi3GetString(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3String[], size_t) {
    return no_variables_of(instance, "fmi3GetString", readable, nvr, "String");
}
fmi3Status fmi3SetString(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3String[], size_t) {
    return no_variables_of(instance, "fmi3SetString", settable, nvr, "String");
}

fmi3Status fmi3GetBinary(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, size_t[], fmi3Binary[],
                         size_t) {
    return no_variables_of(instance, "fmi3GetBinary", readable, nvr, "Binary");
}
fmi3Status fmi3SetBinary(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const size_t[],
                         const fmi3Binary[], size_t) {
    return no_variables_of(instance, "fmi3SetBinary", settable, nvr, "Binary");
}
fmi3Status fmi3GetClock(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, fmi3Clock[]) {
    return no_variables_of(instance, "fmi3GetClock", readable, nvr, "Clock");
}
fmi3Status fmi3SetClock(fmi3Instance instance, const fmi3ValueReference[], size_t nvr, const fmi3Clock[]) {
    return no_variables_of(instance, "fmi3SetClock", settable, nvr, "Clock");
}

// ---- What the description declares unsupported, or does not declare

#define NO_DEPENDENCIES "the FMU declares no dependencies in its ModelStructure"
fmi3Status fmi3GetNumberOfVariableDependencies(fmi3Instance instance, fmi3ValueReference, size_t*) {
    return unsupported(instance, "fmi3GetNumberOfVariableDependencies", NO_DEPENDENCIES);
}
fmi3Status fmi3GetVariableDependencies(fmi3Instance instance, fmi3ValueReference, size_t[], fmi3ValueReference[],
                                       size_t[], fmi3DependencyKind[], size_t) {
    return unsupported(instance, "fmi3GetVariableDependencies", NO_DEPENDENCIES);
}
#define NO_FMU_STATE "the FMU declares canGetAndSetFMUState=\"false\""
#define NO_SERIALIZE "the FMU declares canSerializeFMUState=\"false\""
fmi3Status fmi3GetFMUState(fmi3Instance instance, fmi3FMUState*) {
    return unsupported(instance, "fmi3GetFMUState", NO_FMU_STATE);
}
fmi3Status fmi3SetFMUState(fmi3Instance instance, fmi3FMUState) {
    return unsupported(instance, "fmi3SetFMUState", NO_FMU_STATE);
}
fmi3Status fmi3FreeFMUState(fmi3Instance instance, fmi3FMUState*) {
    return unsupported(instance, "fmi3FreeFMUState", NO_FMU_STATE);
}
fmi3Status fmi3SerializedFMUStateSize(fmi3Instance instance, fmi3FMUState, size_t*) {
    return unsupported(instance, "fmi3SerializedFMUStateSize", NO_SERIALIZE);
}
fmi3Status fmi3SerializeFMUState(fmi3Instance instance, fmi3FMUState, fmi3Byte[], size_t) {
    return unsupported(instance, "fmi3SerializeFMUState", NO_SERIALIZE);
}
fmi3Status fmi3DeserializeFMUState(fmi3Instance instance, const fmi3Byte[], size_t, fmi3FMUState*) {
    return unsupported(instance, "fmi3DeserializeFMUState", NO_SERIALIZE);
}
fmi3Status fmi3GetDirectionalDerivative(fmi3Instance instance, const fmi3ValueReference[], size_t,
                                        const fmi3ValueReference[], size_t, const fmi3Float64[], size_t,
                                        fmi3Float64[], size_t) {
    return unsupported(instance, "fmi3GetDirectionalDerivative",
                       "the FMU declares providesDirectionalDerivatives=\"false\"");
}
fmi3Status fmi3GetAdjointDerivative(fmi3Instance instance, const fmi3ValueReference[], size_t,
                                    const fmi3ValueReference[], size_t, const fmi3Float64[], size_t, fmi3Float64[],
                                    size_t) {
    return unsupported(instance, "fmi3GetAdjointDerivative", "the FMU declares providesAdjointDerivatives=\"false\"");
}
#define NO_STRUCTURAL "the FMU has no structural parameters"
fmi3Status fmi3EnterConfigurationMode(fmi3Instance instance) {
    return unsupported(instance, "fmi3EnterConfigurationMode", NO_STRUCTURAL);
}
fmi3Status fmi3ExitConfigurationMode(fmi3Instance instance) {
    return unsupported(instance, "fmi3ExitConfigurationMode", NO_STRUCTURAL);
}
#define NO_CLOCKS "the FMU has no clocks"
fmi3Status fmi3GetIntervalDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3Float64[],
                                  fmi3IntervalQualifier[]) {
    return unsupported(instance, "fmi3GetIntervalDecimal", NO_CLOCKS);
}
fmi3Status fmi3GetIntervalFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3UInt64[],
                                   fmi3UInt64[], fmi3IntervalQualifier[]) {
    return unsupported(instance, "fmi3GetIntervalFraction", NO_CLOCKS);
}
fmi3Status fmi3GetShiftDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3Float64[]) {
    return unsupported(instance, "fmi3GetShiftDecimal", NO_CLOCKS);
}
fmi3Status fmi3GetShiftFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3UInt64[],
                                fmi3UInt64[]) {
    return unsupported(instance, "fmi3GetShiftFraction", NO_CLOCKS);
}
fmi3Status fmi3SetIntervalDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3Float64[]) {
    return unsupported(instance, "fmi3SetIntervalDecimal", NO_CLOCKS);
}
fmi3Status fmi3SetIntervalFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3UInt64[],
                                   const fmi3UInt64[]) {
    return unsupported(instance, "fmi3SetIntervalFraction", NO_CLOCKS);
}
fmi3Status fmi3SetShiftDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3Float64[]) {
    return unsupported(instance, "fmi3SetShiftDecimal", NO_CLOCKS);
}
fmi3Status fmi3SetShiftFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3UInt64[],
                                const fmi3UInt64[]) {
    return unsupported(instance, "fmi3SetShiftFraction", NO_CLOCKS);
}
fmi3Status fmi3EvaluateDiscreteStates(fmi3Instance instance) {
    return unsupported(instance, "fmi3EvaluateDiscreteStates",
                       "the FMU declares providesEvaluateDiscreteStates=\"false\"");
}
fmi3Status fmi3EnterStepMode(fmi3Instance instance) {
    return unsupported(instance, "fmi3EnterStepMode", "the FMU declares hasEventMode=\"false\"");
}
fmi3Status fmi3GetOutputDerivatives(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3Int32[],
                                    fmi3Float64[], size_t) {
    return unsupported(instance, "fmi3GetOutputDerivatives", "the FMU declares maxOutputDerivativeOrder=\"0\"");
}
fmi3Status fmi3ActivateModelPartition(fmi3Instance instance, fmi3ValueReference, fmi3Float64) {
    return unsupported(instance, "fmi3ActivateModelPartition", "the FMU offers no scheduled execution");
}

// ---- Co-simulation

fmi3Status fmi3DoStep(fmi3Instance instance, fmi3Float64 currentCommunicationPoint, fmi3Float64 communicationStepSize,
                      fmi3Boolean, fmi3Boolean* eventHandlingNeeded, fmi3Boolean* terminateSimulation,
                      fmi3Boolean* earlyReturn, fmi3Float64* lastSuccessfulTime) {
    return guarded(instance, "fmi3DoStep", step_mode, [&](Instance3& i) {
        fmu::check_array(eventHandlingNeeded, 1, "eventHandlingNeeded");
        fmu::check_array(terminateSimulation, 1, "terminateSimulation");
        fmu::check_array(earlyReturn, 1, "earlyReturn");
        fmu::check_array(lastSuccessfulTime, 1, "lastSuccessfulTime");
        *eventHandlingNeeded = false;
        *terminateSimulation = false;
        *earlyReturn = false;
        *lastSuccessfulTime = component_of(i).time();
        fmu::do_step(i, "fmi3DoStep", currentCommunicationPoint, communicationStepSize);
        *lastSuccessfulTime = component_of(i).time();
    });
}

// ---- Model exchange

fmi3Status fmi3UpdateDiscreteStates(fmi3Instance instance, fmi3Boolean* discreteStatesNeedUpdate,
                                    fmi3Boolean* terminateSimulation, fmi3Boolean* nominalsOfContinuousStatesChanged,
                                    fmi3Boolean* valuesOfContinuousStatesChanged, fmi3Boolean* nextEventTimeDefined,
                                    fmi3Float64* nextEventTime) {
    return guarded(instance, "fmi3UpdateDiscreteStates", event_mode, [&](Instance3& i) {
        fmu::require_model_exchange(i, "fmi3UpdateDiscreteStates");
        // No state events, and time events only at the times the model
        // knows beforehand: one iteration settles every event. The standard
        // lets the importer pass NULL for what it does not need.
        for (fmi3Boolean* flag : {discreteStatesNeedUpdate, terminateSimulation, nominalsOfContinuousStatesChanged,
                                  valuesOfContinuousStatesChanged})
            if (flag) *flag = false;
        const std::optional<double> next = fmu::component_of(i).next_event_time();
        if (nextEventTimeDefined) *nextEventTimeDefined = next.has_value();
        if (nextEventTime) *nextEventTime = next ? *next : 0.0;
    });
}

fmi3Status fmi3EnterContinuousTimeMode(fmi3Instance instance) {
    return guarded(instance, "fmi3EnterContinuousTimeMode", event_mode, [&](Instance3& i) {
        fmu::enter_continuous_time_mode(i, "fmi3EnterContinuousTimeMode");
    });
}

fmi3Status fmi3CompletedIntegratorStep(fmi3Instance instance, fmi3Boolean, fmi3Boolean* enterEventMode,
                                       fmi3Boolean* terminateSimulation) {
    return guarded(instance, "fmi3CompletedIntegratorStep", continuous_mode, [&](Instance3& i) {
        fmu::completed_integrator_step(i, "fmi3CompletedIntegratorStep", enterEventMode, terminateSimulation);
        *enterEventMode = false;
        *terminateSimulation = false;
    });
}

fmi3Status fmi3SetTime(fmi3Instance instance, fmi3Float64 time) {
    return guarded(instance, "fmi3SetTime", event_mode | continuous_mode, [&](Instance3& i) {
        fmu::set_time(i, "fmi3SetTime", time);
    });
}

fmi3Status fmi3SetContinuousStates(fmi3Instance instance, const fmi3Float64 x[], size_t nx) {
    return guarded(instance, "fmi3SetContinuousStates", continuous_mode, [&](Instance3& i) {
        fmu::set_continuous_states(i, "fmi3SetContinuousStates", x, nx);
    });
}

fmi3Status fmi3GetContinuousStates(fmi3Instance instance, fmi3Float64 x[], size_t nx) {
    return guarded(instance, "fmi3GetContinuousStates", readable, [&](Instance3& i) {
        fmu::get_continuous_states(i, "fmi3GetContinuousStates", x, nx);
    });
}

fmi3Status fmi3GetContinuousStateDerivatives(fmi3Instance instance, fmi3Float64 derivatives[], size_t nx) {
    return guarded(instance, "fmi3GetContinuousStateDerivatives", readable, [&](Instance3& i) {
        fmu::get_derivatives(i, "fmi3GetContinuousStateDerivatives", derivatives, nx);
    });
}

fmi3Status fmi3GetEventIndicators(fmi3Instance instance, fmi3Float64[], size_t ni) {
    return guarded(instance, "fmi3GetEventIndicators", readable, [&](Instance3& i) {
        fmu::get_event_indicators(i, "fmi3GetEventIndicators", ni);
    });
}

fmi3Status fmi3GetNominalsOfContinuousStates(fmi3Instance instance, fmi3Float64 nominals[], size_t nx) {
    return guarded(instance, "fmi3GetNominalsOfContinuousStates", readable, [&](Instance3& i) {
        fmu::get_nominals(i, "fmi3GetNominalsOfContinuousStates", nominals, nx);
    });
}

fmi3Status fmi3GetNumberOfEventIndicators(fmi3Instance instance, size_t* n) {
    return guarded(instance, "fmi3GetNumberOfEventIndicators", ~0u, [&](Instance3&) {
        fmu::check_array(n, 1, "the count");
        *n = 0;
    });
}

fmi3Status fmi3GetNumberOfContinuousStates(fmi3Instance instance, size_t* n) {
    return guarded(instance, "fmi3GetNumberOfContinuousStates", ~0u, [&](Instance3& i) {
        fmu::check_array(n, 1, "the count");
        *n = component_of(i).continuous_states();
    });
}

}  // extern "C"
