/* The methods of a hysteresis relay block, shared by the relay sources.
 *
 * Input 0: u.  Output 0: the relay's value.  Parameters: 1 upper_threshold,
 * 2 lower_threshold (first element of each). DWork 0, held_output: the output
 * at the last major step.
 *
 * The including source defines, before including this file:
 *   RelayOutput                the C type of the output
 *   RELAY_OUTPUT_DATA_TYPE     the output port's data type id
 *   relayAboveValue, relayBelowValue
 *   RELAY_HELD_OUTPUT_DATA_TYPE   the data type id of DWork 0 */
#ifndef BLOCKS_RELAY_METHODS_H
#define BLOCKS_RELAY_METHODS_H

#include "simstruc.h"

#include "core/relay.hpp"
#include "parameter_check.h"

enum { RELAY_NUM_PARAMETERS = 2 };
/* The host keeps the name by pointer. */
static char_T relayHeldOutputName[] = "held_output";

static void declareHeldOutput(SimStruct *S) {
    ssSetDWorkWidth(S, 0, 1);
    ssSetDWorkDataType(S, 0, RELAY_HELD_OUTPUT_DATA_TYPE);
    ssSetDWorkComplexSignal(S, 0, COMPLEX_NO);
    ssSetDWorkName(S, 0, relayHeldOutputName);
}
static const size_t relayMinimumElements[RELAY_NUM_PARAMETERS] = {1, 1};
static const char *const relayParameterRoles[RELAY_NUM_PARAMETERS] = {"upper_threshold", "lower_threshold"};

/* Thresholds must be real doubles with an element to read, also when they
 * are changed while the simulation runs. */
#define MDL_CHECK_PARAMETERS
static void mdlCheckParameters(SimStruct *S) {
    checkDoubleParameters(S, RELAY_NUM_PARAMETERS, relayMinimumElements, relayParameterRoles);
}

static void mdlInitializeSizes(SimStruct *S) {
    ssSetNumSFcnParams(S, RELAY_NUM_PARAMETERS);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    mdlCheckParameters(S);
    if (ssGetErrorStatus(S) != NULL) return;

    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 1)) return;
    ssSetInputPortWidth(S, 0, 1);
    ssSetInputPortDataType(S, 0, SS_DOUBLE);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    ssSetInputPortRequiredContiguous(S, 0, 1);
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, 1);
    ssSetOutputPortDataType(S, 0, RELAY_OUTPUT_DATA_TYPE);
    ssSetOutputPortComplexSignal(S, 0, COMPLEX_NO);

    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    ssSetNumDWork(S, 1);
    declareHeldOutput(S);
    ssSetSimStateCompliance(S, USE_DEFAULT_SIM_STATE);
    ssSetOptions(S, 0);
}

static void mdlInitializeSampleTimes(SimStruct *S) {
    ssSetSampleTime(S, 0, CONTINUOUS_SAMPLE_TIME);
    ssSetOffsetTime(S, 0, 0.0);
}

#define MDL_INITIALIZE_CONDITIONS
static void mdlInitializeConditions(SimStruct *S) {
    *static_cast<RelayOutput *>(ssGetDWork(S, 0)) = 0;
}

#define MDL_START
static void mdlStart(SimStruct *S) { (void)S; }

static void mdlOutputs(SimStruct *S, int_T tid) {
    const real_T u = ssGetInputPortRealSignal(S, 0)[0];
    const real_T upper = static_cast<const real_T *>(mxGetData(ssGetSFcnParam(S, 0)))[0];
    const real_T lower = static_cast<const real_T *>(mxGetData(ssGetSFcnParam(S, 1)))[0];
    const RelayOutput held = *static_cast<const RelayOutput *>(ssGetDWork(S, 0));
    (void)tid;
    *static_cast<RelayOutput *>(ssGetOutputPortSignal(S, 0)) =
        blocks::relay_step<RelayOutput>(u, upper, lower, held, relayAboveValue, relayBelowValue);
}

/* The memory changes only here, at major steps. */
#define MDL_UPDATE
static void mdlUpdate(SimStruct *S, int_T tid) {
    (void)tid;
    *static_cast<RelayOutput *>(ssGetDWork(S, 0)) = *static_cast<const RelayOutput *>(ssGetOutputPortSignal(S, 0));
}

#define MDL_DERIVATIVES
static void mdlDerivatives(SimStruct *S) { (void)S; }

static void mdlTerminate(SimStruct *S) { (void)S; }

#endif
