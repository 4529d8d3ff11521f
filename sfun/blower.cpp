/* Blower block: mass flow, enthalpy flows and shaft power of a blower
 * between an inlet and an outlet gas state.
 *
 * Inputs:  0 [p_in Pa, T_in K, c]   1 [p_out Pa, -, -]   2 drive
 * Outputs: 0 inlet flow [mdot, mdot h_in, composition flow]
 *          1 outlet flow [mdot, mdot h_in + P, composition flow]
 *          2 shaft power P [W]
 * Parameters: 1 eta   2 [alpha beta gamma]   3 sigma */
#define S_FUNCTION_NAME blower
#define S_FUNCTION_LEVEL 2

#include "simstruc.h"

#include "core/blower_outputs.hpp"
#include "parameter_check.h"
#include "port_methods.h"

enum { NUM_PARAMETERS = 3 };
static const int_T inputWidths[] = {3, 3, 1};
static const int_T outputWidths[] = {3, 3, 1};
static const size_t minimumElements[NUM_PARAMETERS] = {1, 3, 1};
static const char *const parameterRoles[NUM_PARAMETERS] = {"eta", "alpha, beta, gamma", "sigma"};

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
    if (!ssSetNumInputPorts(S, 3)) return;
    for (port = 0; port < 3; ++port) {
        ssSetInputPortWidth(S, port, inputWidths[port]);
        ssSetInputPortDataType(S, port, SS_DOUBLE);
        ssSetInputPortComplexSignal(S, port, COMPLEX_NO);
        ssSetInputPortDirectFeedThrough(S, port, 1);
        ssSetInputPortRequiredContiguous(S, port, 1);
    }
    if (!ssSetNumOutputPorts(S, 3)) return;
    for (port = 0; port < 3; ++port) {
        ssSetOutputPortWidth(S, port, outputWidths[port]);
        ssSetOutputPortDataType(S, port, SS_DOUBLE);
        ssSetOutputPortComplexSignal(S, port, COMPLEX_NO);
    }
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

/* The inlet memo depends on nothing but the inlet state it was made for, so
 * one per thread serves every instance: an instance whose inlet differs
 * from the last call's refills it. Static storage starts zero-filled. */
static thread_local blocks::BlowerInletMemo inletMemo;

static void mdlOutputs(SimStruct *S, int_T tid) {
    const mxArray *efficiency = ssGetSFcnParam(S, 0);
    const mxArray *characteristic = ssGetSFcnParam(S, 1);
    const mxArray *stoichiometricRatio = ssGetSFcnParam(S, 2);
    (void)tid;
    blocks::blower_outputs(ssGetInputPortRealSignal(S, 0), ssGetInputPortRealSignal(S, 1),
                           ssGetInputPortRealSignal(S, 2), ssGetOutputPortRealSignal(S, 0),
                           ssGetOutputPortRealSignal(S, 1), ssGetOutputPortRealSignal(S, 2),
                           static_cast<const double *>(mxGetData(efficiency)), mxGetNumberOfElements(efficiency),
                           static_cast<const double *>(mxGetData(characteristic)),
                           mxGetNumberOfElements(characteristic),
                           static_cast<const double *>(mxGetData(stoichiometricRatio)),
                           mxGetNumberOfElements(stoichiometricRatio), &inletMemo);
}

static void mdlTerminate(SimStruct *S) { (void)S; }

#ifdef MATLAB_MEX_FILE
#include "simulink.c"
#else
#include "cg_sfun.h"
#endif
