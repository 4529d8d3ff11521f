/* The C interface of an FMI 3.0 functional mock-up unit, as the FMI 3.0
 * standard (Functional Mock-up Interface, version 3.0) defines it: the
 * platform types, the status and kind enumerations, the callbacks an
 * importer passes, and the functions an FMU's binary exports for model
 * exchange, co-simulation and scheduled execution. Written from the
 * standard's text for this project, in the manner of fmi2.h; the functions
 * keep the standard's names without a prefix, as the binary of an FMU
 * exports them. C99 and C++ read it alike. */
#ifndef ENGINE_BLOCKS_FMI3_H
#define ENGINE_BLOCKS_FMI3_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define FMI3_EXPORT __declspec(dllexport)
#else
#define FMI3_EXPORT __attribute__((visibility("default")))
#endif

/* ---- Platform types
 * FMI 3.0 fixes every type to a C99 type of known width, bool included, so
 * that importer and FMU agree on the layout of the value arrays they pass;
 * unlike fmi2Boolean (an int), fmi3Boolean is one byte on our targets. */
typedef void *fmi3Instance;
typedef void *fmi3InstanceEnvironment;
typedef void *fmi3FMUState;
typedef uint32_t fmi3ValueReference;

typedef float fmi3Float32;
typedef double fmi3Float64;
typedef int8_t fmi3Int8;
typedef uint8_t fmi3UInt8;
typedef int16_t fmi3Int16;
typedef uint16_t fmi3UInt16;
typedef int32_t fmi3Int32;
typedef uint32_t fmi3UInt32;
typedef int64_t fmi3Int64;
typedef uint64_t fmi3UInt64;
typedef bool fmi3Boolean;
typedef char fmi3Char;
typedef const fmi3Char *fmi3String;
typedef uint8_t fmi3Byte;
typedef const fmi3Byte *fmi3Binary;
/* A Clock's value is only whether it ticks at this instant. */
typedef bool fmi3Clock;

#define fmi3True true
#define fmi3False false
#define fmi3ClockActive true
#define fmi3ClockInactive false
/* What fmi3GetVersion answers: the interface, not the standard's release. */
#define fmi3Version "3.0"

typedef enum { fmi3OK, fmi3Warning, fmi3Discard, fmi3Error, fmi3Fatal } fmi3Status;

/* How a variable depends on another, from not at all to arbitrarily; the
 * values are the ABI, as the importer reads them back as plain ints. */
typedef enum {
    fmi3Independent,
    fmi3Constant,
    fmi3Fixed,
    fmi3Tunable,
    fmi3Discrete,
    fmi3Dependent
} fmi3DependencyKind;

/* How to read an interval fmi3GetInterval* returns for a Clock. */
typedef enum { fmi3IntervalNotYetKnown, fmi3IntervalUnchanged, fmi3IntervalChanged } fmi3IntervalQualifier;

/* ---- What the importer passes at instantiation
 * No allocator and no callback struct any more: each callback is its own
 * argument of the instantiation function, any of them may be NULL, and the
 * environment pointer comes back as the first argument of every call. The
 * logger is no longer variadic; the FMU formats the message itself. */
typedef void (*fmi3LogMessageCallback)(fmi3InstanceEnvironment instanceEnvironment, fmi3Status status,
                                       fmi3String category, fmi3String message);

/* Co-simulation: called from within fmi3DoStep, between communication
 * points. The two pointers are the importer's answer: whether, and when,
 * the step should end early. */
typedef void (*fmi3IntermediateUpdateCallback)(fmi3InstanceEnvironment instanceEnvironment,
                                               fmi3Float64 intermediateUpdateTime,
                                               fmi3Boolean intermediateVariableSetRequested,
                                               fmi3Boolean intermediateVariableGetAllowed,
                                               fmi3Boolean intermediateStepFinished, fmi3Boolean canReturnEarly,
                                               fmi3Boolean *earlyReturnRequested, fmi3Float64 *earlyReturnTime);

/* Scheduled execution: an output Clock ticked or a countdown Clock has a
 * new interval; the importer asks which with fmi3GetClock/fmi3GetInterval*. */
typedef void (*fmi3ClockUpdateCallback)(fmi3InstanceEnvironment instanceEnvironment);

/* Scheduled execution: around sections a preempting model partition must
 * not interrupt. */
typedef void (*fmi3LockPreemptionCallback)(void);
typedef void (*fmi3UnlockPreemptionCallback)(void);

/* ---- Common to all interface types */
FMI3_EXPORT const char *fmi3GetVersion(void);
FMI3_EXPORT fmi3Status fmi3SetDebugLogging(fmi3Instance instance, fmi3Boolean loggingOn, size_t nCategories,
                                           const fmi3String categories[]);

/* One instantiation function per interface type, so that an FMU offering
 * several knows from the call which one the importer wants. resourcePath is
 * a file path with a trailing separator, or NULL, no longer a URI. */
FMI3_EXPORT fmi3Instance fmi3InstantiateModelExchange(fmi3String instanceName, fmi3String instantiationToken,
                                                      fmi3String resourcePath, fmi3Boolean visible,
                                                      fmi3Boolean loggingOn,
                                                      fmi3InstanceEnvironment instanceEnvironment,
                                                      fmi3LogMessageCallback logMessage);
FMI3_EXPORT fmi3Instance fmi3InstantiateCoSimulation(
    fmi3String instanceName, fmi3String instantiationToken, fmi3String resourcePath, fmi3Boolean visible,
    fmi3Boolean loggingOn, fmi3Boolean eventModeUsed, fmi3Boolean earlyReturnAllowed,
    const fmi3ValueReference requiredIntermediateVariables[], size_t nRequiredIntermediateVariables,
    fmi3InstanceEnvironment instanceEnvironment, fmi3LogMessageCallback logMessage,
    fmi3IntermediateUpdateCallback intermediateUpdate);
FMI3_EXPORT fmi3Instance fmi3InstantiateScheduledExecution(
    fmi3String instanceName, fmi3String instantiationToken, fmi3String resourcePath, fmi3Boolean visible,
    fmi3Boolean loggingOn, fmi3InstanceEnvironment instanceEnvironment, fmi3LogMessageCallback logMessage,
    fmi3ClockUpdateCallback clockUpdate, fmi3LockPreemptionCallback lockPreemption,
    fmi3UnlockPreemptionCallback unlockPreemption);
FMI3_EXPORT void fmi3FreeInstance(fmi3Instance instance);

/* What fmi2SetupExperiment took now comes with entering initialization. */
FMI3_EXPORT fmi3Status fmi3EnterInitializationMode(fmi3Instance instance, fmi3Boolean toleranceDefined,
                                                   fmi3Float64 tolerance, fmi3Float64 startTime,
                                                   fmi3Boolean stopTimeDefined, fmi3Float64 stopTime);
FMI3_EXPORT fmi3Status fmi3ExitInitializationMode(fmi3Instance instance);
/* Shared by model exchange and co-simulation (the latter only when the
 * importer instantiated with eventModeUsed); it tells the FMU nothing about
 * why the event happened. */
FMI3_EXPORT fmi3Status fmi3EnterEventMode(fmi3Instance instance);
FMI3_EXPORT fmi3Status fmi3Terminate(fmi3Instance instance);
FMI3_EXPORT fmi3Status fmi3Reset(fmi3Instance instance);

/* Getters and setters: an array variable takes one value reference but
 * many values, so nValues (the serialized count) may exceed
 * nValueReferences; it is there for the callee to check its bounds. */
FMI3_EXPORT fmi3Status fmi3GetFloat32(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                      size_t nValueReferences, fmi3Float32 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3GetFloat64(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                      size_t nValueReferences, fmi3Float64 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3GetInt8(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                   size_t nValueReferences, fmi3Int8 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3GetUInt8(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                    size_t nValueReferences, fmi3UInt8 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3GetInt16(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                    size_t nValueReferences, fmi3Int16 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3GetUInt16(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                     size_t nValueReferences, fmi3UInt16 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3GetInt32(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                    size_t nValueReferences, fmi3Int32 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3GetUInt32(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                     size_t nValueReferences, fmi3UInt32 values[], size_t nValues);
/* Enumerations go through the Int64 pair, whatever width a C enum has. */
FMI3_EXPORT fmi3Status fmi3GetInt64(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                    size_t nValueReferences, fmi3Int64 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3GetUInt64(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                     size_t nValueReferences, fmi3UInt64 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3GetBoolean(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                      size_t nValueReferences, fmi3Boolean values[], size_t nValues);
/* Strings and binaries returned stay the FMU's: valid until its next call. */
FMI3_EXPORT fmi3Status fmi3GetString(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                     size_t nValueReferences, fmi3String values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3GetBinary(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                     size_t nValueReferences, size_t valueSizes[], fmi3Binary values[],
                                     size_t nValues);
/* Clocks are scalar, hence no nValues. */
FMI3_EXPORT fmi3Status fmi3GetClock(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                    size_t nValueReferences, fmi3Clock values[]);

FMI3_EXPORT fmi3Status fmi3SetFloat32(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                      size_t nValueReferences, const fmi3Float32 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetFloat64(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                      size_t nValueReferences, const fmi3Float64 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetInt8(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                   size_t nValueReferences, const fmi3Int8 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetUInt8(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                    size_t nValueReferences, const fmi3UInt8 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetInt16(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                    size_t nValueReferences, const fmi3Int16 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetUInt16(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                     size_t nValueReferences, const fmi3UInt16 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetInt32(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                    size_t nValueReferences, const fmi3Int32 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetUInt32(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                     size_t nValueReferences, const fmi3UInt32 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetInt64(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                    size_t nValueReferences, const fmi3Int64 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetUInt64(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                     size_t nValueReferences, const fmi3UInt64 values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetBoolean(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                      size_t nValueReferences, const fmi3Boolean values[], size_t nValues);
/* Strings and binaries passed in are the importer's: copy before returning. */
FMI3_EXPORT fmi3Status fmi3SetString(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                     size_t nValueReferences, const fmi3String values[], size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetBinary(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                     size_t nValueReferences, const size_t valueSizes[], const fmi3Binary values[],
                                     size_t nValues);
FMI3_EXPORT fmi3Status fmi3SetClock(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                    size_t nValueReferences, const fmi3Clock values[]);

/* Dependencies per array element, which may change with structural
 * parameters; ask for the count first, then for that many entries. */
FMI3_EXPORT fmi3Status fmi3GetNumberOfVariableDependencies(fmi3Instance instance,
                                                           fmi3ValueReference valueReference,
                                                           size_t *nDependencies);
FMI3_EXPORT fmi3Status fmi3GetVariableDependencies(fmi3Instance instance, fmi3ValueReference dependent,
                                                   size_t elementIndicesOfDependent[],
                                                   fmi3ValueReference independents[],
                                                   size_t elementIndicesOfIndependents[],
                                                   fmi3DependencyKind dependencyKinds[], size_t nDependencies);

/* FMU state: note the spelling, fmi3FMUState and fmi3DeserializeFMUState,
 * where FMI 2.0 had fmi2FMUstate and fmi2DeSerializeFMUstate; the symbols
 * are looked up by name. */
FMI3_EXPORT fmi3Status fmi3GetFMUState(fmi3Instance instance, fmi3FMUState *FMUState);
FMI3_EXPORT fmi3Status fmi3SetFMUState(fmi3Instance instance, fmi3FMUState FMUState);
FMI3_EXPORT fmi3Status fmi3FreeFMUState(fmi3Instance instance, fmi3FMUState *FMUState);
FMI3_EXPORT fmi3Status fmi3SerializedFMUStateSize(fmi3Instance instance, fmi3FMUState FMUState, size_t *size);
FMI3_EXPORT fmi3Status fmi3SerializeFMUState(fmi3Instance instance, fmi3FMUState FMUState,
                                             fmi3Byte serializedState[], size_t size);
FMI3_EXPORT fmi3Status fmi3DeserializeFMUState(fmi3Instance instance, const fmi3Byte serializedState[],
                                               size_t size, fmi3FMUState *FMUState);

/* Partial derivatives. Seed and sensitivity are serialized values, so their
 * lengths are passed apart from the counts of value references. */
FMI3_EXPORT fmi3Status fmi3GetDirectionalDerivative(fmi3Instance instance, const fmi3ValueReference unknowns[],
                                                    size_t nUnknowns, const fmi3ValueReference knowns[],
                                                    size_t nKnowns, const fmi3Float64 seed[], size_t nSeed,
                                                    fmi3Float64 sensitivity[], size_t nSensitivity);
FMI3_EXPORT fmi3Status fmi3GetAdjointDerivative(fmi3Instance instance, const fmi3ValueReference unknowns[],
                                                size_t nUnknowns, const fmi3ValueReference knowns[],
                                                size_t nKnowns, const fmi3Float64 seed[], size_t nSeed,
                                                fmi3Float64 sensitivity[], size_t nSensitivity);

/* Configuration mode, to set structural parameters (array sizes): from
 * Instantiated, or as reconfiguration during the run. */
FMI3_EXPORT fmi3Status fmi3EnterConfigurationMode(fmi3Instance instance);
FMI3_EXPORT fmi3Status fmi3ExitConfigurationMode(fmi3Instance instance);

/* Clocks. The Fraction variants give a time as counter / resolution, for
 * importers that schedule in integer ticks. */
FMI3_EXPORT fmi3Status fmi3GetIntervalDecimal(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                              size_t nValueReferences, fmi3Float64 intervals[],
                                              fmi3IntervalQualifier qualifiers[]);
FMI3_EXPORT fmi3Status fmi3GetIntervalFraction(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                               size_t nValueReferences, fmi3UInt64 counters[],
                                               fmi3UInt64 resolutions[], fmi3IntervalQualifier qualifiers[]);
FMI3_EXPORT fmi3Status fmi3GetShiftDecimal(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                           size_t nValueReferences, fmi3Float64 shifts[]);
FMI3_EXPORT fmi3Status fmi3GetShiftFraction(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                            size_t nValueReferences, fmi3UInt64 counters[],
                                            fmi3UInt64 resolutions[]);
FMI3_EXPORT fmi3Status fmi3SetIntervalDecimal(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                              size_t nValueReferences, const fmi3Float64 intervals[]);
FMI3_EXPORT fmi3Status fmi3SetIntervalFraction(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                               size_t nValueReferences, const fmi3UInt64 counters[],
                                               const fmi3UInt64 resolutions[]);
FMI3_EXPORT fmi3Status fmi3SetShiftDecimal(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                           size_t nValueReferences, const fmi3Float64 shifts[]);
FMI3_EXPORT fmi3Status fmi3SetShiftFraction(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                            size_t nValueReferences, const fmi3UInt64 counters[],
                                            const fmi3UInt64 resolutions[]);

/* Event mode, model exchange and co-simulation: computing the discrete
 * states apart from the outputs (only if the FMU offers it), and closing a
 * super-dense time instant. The flags replace fmi2EventInfo. */
FMI3_EXPORT fmi3Status fmi3EvaluateDiscreteStates(fmi3Instance instance);
FMI3_EXPORT fmi3Status fmi3UpdateDiscreteStates(fmi3Instance instance, fmi3Boolean *discreteStatesNeedUpdate,
                                                fmi3Boolean *terminateSimulation,
                                                fmi3Boolean *nominalsOfContinuousStatesChanged,
                                                fmi3Boolean *valuesOfContinuousStatesChanged,
                                                fmi3Boolean *nextEventTimeDefined, fmi3Float64 *nextEventTime);

/* ---- Model exchange */
FMI3_EXPORT fmi3Status fmi3EnterContinuousTimeMode(fmi3Instance instance);
FMI3_EXPORT fmi3Status fmi3CompletedIntegratorStep(fmi3Instance instance,
                                                   fmi3Boolean noSetFMUStatePriorToCurrentPoint,
                                                   fmi3Boolean *enterEventMode, fmi3Boolean *terminateSimulation);
FMI3_EXPORT fmi3Status fmi3SetTime(fmi3Instance instance, fmi3Float64 time);
FMI3_EXPORT fmi3Status fmi3SetContinuousStates(fmi3Instance instance, const fmi3Float64 continuousStates[],
                                               size_t nContinuousStates);
FMI3_EXPORT fmi3Status fmi3GetContinuousStateDerivatives(fmi3Instance instance, fmi3Float64 derivatives[],
                                                         size_t nContinuousStates);
FMI3_EXPORT fmi3Status fmi3GetEventIndicators(fmi3Instance instance, fmi3Float64 eventIndicators[],
                                              size_t nEventIndicators);
FMI3_EXPORT fmi3Status fmi3GetContinuousStates(fmi3Instance instance, fmi3Float64 continuousStates[],
                                               size_t nContinuousStates);
FMI3_EXPORT fmi3Status fmi3GetNominalsOfContinuousStates(fmi3Instance instance, fmi3Float64 nominals[],
                                                         size_t nContinuousStates);
/* The counts can change with structural parameters, so they are asked of
 * the instance rather than only read from modelDescription.xml. */
FMI3_EXPORT fmi3Status fmi3GetNumberOfEventIndicators(fmi3Instance instance, size_t *nEventIndicators);
FMI3_EXPORT fmi3Status fmi3GetNumberOfContinuousStates(fmi3Instance instance, size_t *nContinuousStates);

/* ---- Co-simulation */
FMI3_EXPORT fmi3Status fmi3EnterStepMode(fmi3Instance instance);
FMI3_EXPORT fmi3Status fmi3GetOutputDerivatives(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                                size_t nValueReferences, const fmi3Int32 orders[],
                                                fmi3Float64 values[], size_t nValues);
/* What fmi2GetStatus and the asynchronous step told after the fact now
 * comes back from the step itself; lastSuccessfulTime is set on every
 * return, early or not. */
FMI3_EXPORT fmi3Status fmi3DoStep(fmi3Instance instance, fmi3Float64 currentCommunicationPoint,
                                  fmi3Float64 communicationStepSize, fmi3Boolean noSetFMUStatePriorToCurrentPoint,
                                  fmi3Boolean *eventHandlingNeeded, fmi3Boolean *terminateSimulation,
                                  fmi3Boolean *earlyReturn, fmi3Float64 *lastSuccessfulTime);

/* ---- Scheduled execution */
FMI3_EXPORT fmi3Status fmi3ActivateModelPartition(fmi3Instance instance, fmi3ValueReference clockReference,
                                                  fmi3Float64 activationTime);

#ifdef __cplusplus
}
#endif

#endif
