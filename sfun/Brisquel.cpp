/* Brisquel: scheduled PID controller, a level-1 S-function.
 *
 * Input vector (3):  scheduling input, measured value, set-point
 * Output vector (6): schedule_a, 1.2, 1.0, schedule_b, command, 1.0 (one evaluation late)
 * States (2):        integral state, derivative-filter state
 * No dialog parameters.
 *
 * Each block instance has its own ControlRecord, zero-filled and initialised
 * by mdlInitializeConditions. mdlTerminate releases it: the instance can go
 * on evaluating it until another instance takes it over. The records are
 * freed when the library is unloaded. */
#define S_FUNCTION_NAME Brisquel
#define S_FUNCTION_LEVEL 1

#include "simstruc.h"

#include "core/control_records.hpp"
#include "core/controller.hpp"

static blocks::ControlRecordPool controlRecords;

static blocks::ControlRecord *controlRecord(SimStruct *S) {
    blocks::OwnedRecord *owned = static_cast<blocks::OwnedRecord *>(ssGetUserData(S));
    if (!blocks::owned_by(owned, S)) {
        ssSetErrorStatus(S, "mdlInitializeConditions must run before the controller is evaluated");
        return NULL;
    }
    return &owned->record;
}

static void mdlInitializeSizes(SimStruct *S) {
    ssSetNumContStates(S, blocks::controller_state_count);
    ssSetNumDiscStates(S, 0);
    ssSetNumOutputs(S, blocks::controller_output_width);
    ssSetNumInputs(S, blocks::controller_input_width);
    ssSetDirectFeedThrough(S, 1);
    ssSetNumSampleTimes(S, 1);
    ssSetNumSFcnParams(S, blocks::controller_dialog_params);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    if (ssGetSFcnParamsCount(S) != blocks::controller_dialog_params) {
        ssSetErrorStatus(S, "wrong number of parameters given by Simulink");
    }
}

static void mdlInitializeSampleTimes(SimStruct *S) {
    ssSetSampleTime(S, 0, CONTINUOUS_SAMPLE_TIME);
    ssSetOffsetTime(S, 0, 0.0);
}

static void mdlInitializeConditions(real_T *x0, SimStruct *S) {
    blocks::OwnedRecord *owned = controlRecords.acquire(S, static_cast<blocks::OwnedRecord *>(ssGetUserData(S)));
    ssSetUserData(S, owned);
    blocks::initialize_controller(owned->record, x0);
}

static void mdlOutputs(real_T *y, const real_T *x, const real_T *u, SimStruct *S, int_T tid) {
    blocks::ControlRecord *record = controlRecord(S);
    (void)tid;
    if (record != NULL) blocks::controller_outputs(*record, x, u, y);
}

static void mdlUpdate(real_T *x, const real_T *u, SimStruct *S, int_T tid) {
    (void)x;
    (void)u;
    (void)S;
    (void)tid;
}

static void mdlDerivatives(real_T *dx, const real_T *x, const real_T *u, SimStruct *S, int_T tid) {
    blocks::ControlRecord *record = controlRecord(S);
    (void)tid;
    if (record != NULL) blocks::controller_derivatives(*record, x, u, dx);
}

static void mdlTerminate(SimStruct *S) {
    blocks::OwnedRecord *owned = static_cast<blocks::OwnedRecord *>(ssGetUserData(S));
    if (blocks::owned_by(owned, S)) controlRecords.release(owned);
}

#ifdef MATLAB_MEX_FILE
#include "simulink.c"
#else
#include "cg_sfun.h"
#endif
