/* Tolvane: exhaust valve lift over crank angle.
 *
 * Inputs:  0 crank_angle [rad]   1 start_signal   2 dwell_signal
 * Output:  0 lift, in the unit of peak_lift
 * Parameters: 1 peak_lift  2 start_gain  3 open_duration  4 close_duration
 *             5 dwell_gain  6 open_angles  7 close_angles  8 open_lifts  9 close_lifts */
#define S_FUNCTION_NAME Tolvane
#define S_FUNCTION_LEVEL 2

#include "simstruc.h"

#include "core/valve_lift.hpp"
#include "parameter_check.h"
#include "port_methods.h"

enum { NUM_PARAMETERS = 9, NUM_INPUTS = 3 };
static const size_t minimumElements[NUM_PARAMETERS] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
static const char *const parameterRoles[NUM_PARAMETERS] = {
    "peak_lift",   "start_gain",   "open_duration", "close_duration", "dwell_gain",
    "open_angles", "close_angles", "open_lifts",    "close_lifts"};

#define MDL_CHECK_PARAMETERS
static void mdlCheckParameters(SimStruct *S) {
    checkDoubleParameters(S, NUM_PARAMETERS, minimumElements, parameterRoles);
}

static void mdlInitializeSizes(SimStruct *S) {
    int_T port;
    ssSetNumSFcnParams(S, NUM_PARAMETERS);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    mdlCheckParameters(S);
    if (ssGetErrorStatus(S) != NULL) return;

    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, NUM_INPUTS)) return;
    for (port = 0; port < NUM_INPUTS; ++port) {
        ssSetInputPortWidth(S, port, 1);
        ssSetInputPortDataType(S, port, SS_DOUBLE);
        ssSetInputPortComplexSignal(S, port, COMPLEX_NO);
        ssSetInputPortDirectFeedThrough(S, port, 1);
        ssSetInputPortRequiredContiguous(S, port, 1);
    }
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, 1);
    ssSetOutputPortDataType(S, 0, SS_DOUBLE);
    ssSetOutputPortComplexSignal(S, 0, COMPLEX_NO);

    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    ssSetOptions(S, SS_OPTION_EXCEPTION_FREE_CODE | SS_OPTION_USE_TLC_WITH_ACCELERATOR |
                        SS_OPTION_WORKS_WITH_CODE_REUSE);
}

static void mdlInitializeSampleTimes(SimStruct *S) {
    ssSetSampleTime(S, 0, INHERITED_SAMPLE_TIME);
    ssSetOffsetTime(S, 0, 0.0);
}

static void mdlOutputs(SimStruct *S, int_T tid) {
    const double *data[NUM_PARAMETERS];
    size_t count[NUM_PARAMETERS];
    int_T i;
    (void)tid;
    for (i = 0; i < NUM_PARAMETERS; ++i) {
        data[i] = static_cast<const double *>(mxGetData(ssGetSFcnParam(S, i)));
        count[i] = mxGetNumberOfElements(ssGetSFcnParam(S, i));
    }
    blocks::valve_lift(ssGetInputPortRealSignal(S, 0)[0], ssGetInputPortRealSignal(S, 1)[0],
                       ssGetInputPortRealSignal(S, 2)[0], &ssGetOutputPortRealSignal(S, 0)[0],
                       data[0], count[0], data[1], count[1], data[2], count[2], data[3], count[3], data[4], count[4],
                       data[5], count[5], data[6], count[6], data[7], count[7], data[8], count[8]);
}

static void mdlTerminate(SimStruct *S) { (void)S; }

#ifdef MATLAB_MEX_FILE
#include "simulink.c"
#else
#include "cg_sfun.h"
#endif
