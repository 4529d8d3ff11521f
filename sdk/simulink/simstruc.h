/* simstruc.h: the SimStruct of an S-function block and its accessors.
 *
 * A block source defines S_FUNCTION_NAME and S_FUNCTION_LEVEL, includes this
 * header, writes its methods and ends with #include "simulink.c", which
 * supplies the library's one export, mexFunction. Block sources use only the
 * documented ss* accessor names defined here; the layout of the SimStruct
 * behind them is this stand-in's own and may change.
 *
 * Only the public MEX/matrix API is used (mex.h), so this header and
 * simulink.c build against any implementation of that API.
 *
 * How a host calls a block
 * ------------------------
 * The host zero-fills a SimStruct, sets modelName to the name it loaded the
 * library under (and makes mexFunctionName() return the same), points
 * sfcnParams at the dialog parameters, and calls
 *
 *     mexFunction(SS_HOST_CALL, plhs, flag, NULL)   with plhs[0] = (mxArray *)S
 *
 * The first call, with SS_CALL_MDL_INITIALIZE_SIZES, binds the block: the
 * glue checks the name, records the block's level and the methods it
 * provides (bit 1 << flag of `methods`) and runs mdlInitializeSizes. Later
 * calls run one method each; the arguments that a method takes beyond S
 * (task id, port, data type, frame setting) are read from S->call. A method
 * that the block does not provide sets "Unexpected call to <method>"; an
 * unknown flag sets "Invalid flag encountered in simulink.c". After every
 * call the host reads ssGetErrorStatus.
 *
 * Called from the command line as sizes = NAME(t, x, u, 0, params...), the
 * glue runs mdlInitializeSizes and mdlInitializeSampleTimes on a scratch
 * SimStruct and returns the SS_NUM_SIZE_FIELDS size fields below as a
 * column of doubles.
 */
#ifndef BLOCKS_SIMSTRUC_H
#define BLOCKS_SIMSTRUC_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "mex.h"

/* ---- Numeric types (some MEX headers define the fixed-width ones as macros) */
typedef double real_T;
typedef double real64_T;
typedef float real32_T;
typedef double time_T;
typedef int int_T;
typedef unsigned int uint_T;
typedef unsigned char boolean_T;
typedef char char_T;
typedef unsigned char byte_T;
#ifndef int8_T
typedef int8_t int8_T;
#endif
#ifndef uint8_T
typedef uint8_t uint8_T;
#endif
#ifndef int16_T
typedef int16_t int16_T;
#endif
#ifndef uint16_T
typedef uint16_t uint16_T;
#endif
#ifndef int32_T
typedef int32_t int32_T;
#endif
#ifndef uint32_T
typedef uint32_t uint32_T;
#endif

/* ---- Data types of signals and DWork */
typedef int_T DTypeId;
#define DYNAMICALLY_TYPED (-1)
#define SS_DOUBLE 0
#define SS_SINGLE 1
#define SS_INT8 2
#define SS_UINT8 3
#define SS_INT16 4
#define SS_UINT16 5
#define SS_INT32 6
#define SS_UINT32 7
#define SS_BOOLEAN 8
#define SS_NUM_BUILT_IN_DTYPE 9
/* Ids from SS_NUM_BUILT_IN_DTYPE up are types registered with the host.
 * This stand-in's host knows id 10 as a 32-bit signed integer. */

#define DYNAMICALLY_SIZED (-1)

typedef int_T CSignal_T;
#define COMPLEX_INHERITED (-1)
#define COMPLEX_NO 0
#define COMPLEX_YES 1

typedef int_T Frame_T;
#define FRAME_INHERITED (-1)
#define FRAME_NO 0
#define FRAME_YES 1

/* ---- Sample times */
#define CONTINUOUS_SAMPLE_TIME 0.0
#define INHERITED_SAMPLE_TIME (-1.0)
#define FIXED_IN_MINOR_STEP_OFFSET 1.0

/* ---- Options word bits */
#define SS_OPTION_EXCEPTION_FREE_CODE 0x00000002u
#define SS_OPTION_USE_TLC_WITH_ACCELERATOR 0x00080000u
#define SS_OPTION_WORKS_WITH_CODE_REUSE 0x20000000u

/* ---- Simulation-state compliance */
#define SIM_STATE_COMPLIANCE_UNKNOWN 0
#define USE_DEFAULT_SIM_STATE 1
#define HAS_NO_SIM_STATE 2
#define USE_CUSTOM_SIM_STATE 3
#define DISALLOW_SIM_STATE 4

/* ---- Host calls */
#define SS_HOST_CALL (-1) /* nlhs of a call from the host */

enum {
    SS_CALL_MDL_INITIALIZE_SIZES = 0,
    SS_CALL_MDL_INITIALIZE_SAMPLE_TIMES = 1,
    SS_CALL_MDL_CHECK_PARAMETERS = 2,
    SS_CALL_MDL_SET_INPUT_PORT_FRAME_DATA = 3,
    SS_CALL_MDL_SET_INPUT_PORT_DATA_TYPE = 4,
    SS_CALL_MDL_SET_OUTPUT_PORT_DATA_TYPE = 5,
    SS_CALL_MDL_SET_DEFAULT_PORT_DATA_TYPES = 6,
    SS_CALL_MDL_START = 7,
    SS_CALL_MDL_INITIALIZE_CONDITIONS = 8,
    SS_CALL_MDL_OUTPUTS = 9,
    SS_CALL_MDL_UPDATE = 10,
    SS_CALL_MDL_DERIVATIVES = 11,
    SS_CALL_MDL_ZERO_CROSSINGS = 12,
    SS_CALL_MDL_GET_TIME_OF_NEXT_VAR_HIT = 13,
    SS_CALL_MDL_TERMINATE = 14
};
#define SS_METHOD_BIT(flag) (1u << (flag))

/* ---- Capacities of this stand-in's SimStruct */
#define SS_MAX_PORTS 16
#define SS_MAX_DWORK 8
#define SS_MAX_SAMPLE_TIMES 4

/* ---- The size fields returned by the command-line call, in this order.
 * Ports beyond the third and DWork beyond the first are counted but not
 * listed. Unused fields are 0; a data type of -1 is inherited. */
enum {
    SS_SIZES_NUM_CONT_STATES = 0,     /* continuous states */
    SS_SIZES_NUM_DISC_STATES = 1,     /* discrete states */
    SS_SIZES_NUM_OUTPUTS = 2,         /* total width of the outputs */
    SS_SIZES_NUM_INPUTS = 3,          /* total width of the inputs */
    SS_SIZES_RESERVED = 4,            /* always 0 */
    SS_SIZES_DIRECT_FEEDTHROUGH = 5,  /* 1 if any input has direct feedthrough */
    SS_SIZES_NUM_SAMPLE_TIMES = 6,
    SS_SIZES_NUM_PARAMS = 7,          /* dialog parameters the block declares */
    SS_SIZES_NUM_RWORK = 8,
    SS_SIZES_NUM_IWORK = 9,
    SS_SIZES_NUM_PWORK = 10,
    SS_SIZES_NUM_MODES = 11,
    SS_SIZES_NUM_NONSAMPLED_ZCS = 12,
    SS_SIZES_NUM_DWORK = 13,
    SS_SIZES_NUM_INPUT_PORTS = 14,    /* level 1: 1 when it has inputs */
    SS_SIZES_NUM_OUTPUT_PORTS = 15,   /* level 1: 1 when it has outputs */
    SS_SIZES_INPUT_PORTS = 16,        /* 3 ports x (width, data type, direct feedthrough) */
    SS_SIZES_OUTPUT_PORTS = 25,       /* 3 ports x (width, data type) */
    SS_SIZES_SAMPLE_TIME = 31,        /* sample time 0: period */
    SS_SIZES_OFFSET_TIME = 32,        /* sample time 0: offset */
    SS_SIZES_OPTIONS = 33,            /* options word */
    SS_SIZES_SIM_STATE_COMPLIANCE = 34,
    SS_SIZES_DWORK_WIDTH = 35,        /* DWork 0 */
    SS_SIZES_DWORK_DATA_TYPE = 36,    /* DWork 0 */
    SS_SIZES_LEVEL = 37,              /* S-function level, 1 or 2 */
    SS_NUM_SIZE_FIELDS = 38
};
#define SS_SIZES_LISTED_PORTS 3

/* ---- The SimStruct */
typedef struct {
    int_T width;
    DTypeId dataType;
    CSignal_T complexSignal;
    int_T directFeedThrough;
    int_T requiredContiguous;
    Frame_T frameData;
    const void *signal; /* host-owned, contiguous */
} ssInputPortRecord;

typedef struct {
    int_T width;
    DTypeId dataType;
    CSignal_T complexSignal;
    Frame_T frameData;
    void *signal; /* host-owned */
} ssOutputPortRecord;

typedef struct {
    int_T width;
    DTypeId dataType;
    CSignal_T complexSignal;
    char_T *name; /* the block's, kept by pointer */
    void *array;  /* host-owned */
} ssDWorkRecord;

typedef struct SimStruct_tag SimStruct;
struct SimStruct_tag {
    /* identity, set by the host and the glue */
    const char_T *modelName; /* name the library was loaded under */
    const char_T *path;      /* the block's name in the model */
    int_T level;             /* 1 or 2 */
    uint32_T methods;        /* SS_METHOD_BIT(flag) of each provided method */
    const char_T *errorStatus;

    /* dialog parameters */
    int_T numSFcnParams;   /* declared by the block */
    int_T sfcnParamsCount; /* supplied by the host */
    const mxArray *const *sfcnParams;

    /* declaration, written by mdlInitializeSizes */
    int_T numContStates;
    int_T numDiscStates;
    int_T numSampleTimes;
    int_T numRWork;
    int_T numIWork;
    int_T numPWork;
    int_T numModes;
    int_T numNonsampledZCs;
    int_T numDWork;
    int_T numInputPorts;
    int_T numOutputPorts;
    ssInputPortRecord inputs[SS_MAX_PORTS];
    ssOutputPortRecord outputs[SS_MAX_PORTS];
    ssDWorkRecord dwork[SS_MAX_DWORK];
    time_T sampleTimes[SS_MAX_SAMPLE_TIMES];
    time_T offsetTimes[SS_MAX_SAMPLE_TIMES];
    uint32_T options;
    int_T simStateCompliance;

    /* run time, owned by the host */
    time_T t;
    int_T majorTimeStep;
    real_T *contStates;
    real_T *dX;
    real_T *discStates;
    real_T *rwork;
    int_T *iwork;
    void **pwork;
    int_T *modes;
    void *userData;

    /* arguments of the method called by flag */
    struct {
        int_T tid;
        int_T port;
        DTypeId dataType;
        Frame_T frameData;
    } call;
};

/* ---- Accessors. Each is a typed function with the signature the host's
 * reference documentation gives it, so that a use the host's SDK rejects
 * (a string literal for a char_T *, a mistyped argument) fails here too.
 * Accessors without a documented signature (marked "undocumented") are
 * typed like their documented neighbours. Pointers handed in (error
 * messages, DWork names, user data) are kept as they are: they must stay
 * valid after the call. */

/* ---- Identity and errors */
static inline const char_T *ssGetModelName(SimStruct *S) { return S->modelName; }
static inline const char_T *ssGetPath(SimStruct *S) { return S->path; }
static inline void ssSetErrorStatus(SimStruct *S, const char_T *msg) { S->errorStatus = msg; }
static inline const char_T *ssGetErrorStatus(SimStruct *S) { return S->errorStatus; }

/* ---- Dialog parameters */
static inline int_T ssSetNumSFcnParams(SimStruct *S, int_T nSFcnParams) { return S->numSFcnParams = nSFcnParams; }
static inline int_T ssGetNumSFcnParams(SimStruct *S) { return S->numSFcnParams; }
static inline int_T ssGetSFcnParamsCount(SimStruct *S) { return S->sfcnParamsCount; }
static inline const mxArray *ssGetSFcnParam(SimStruct *S, int_T index) { return S->sfcnParams[index]; }

/* ---- States and work vectors */
static inline void ssSetNumContStates(SimStruct *S, int_T n) { S->numContStates = n; }
static inline int_T ssGetNumContStates(SimStruct *S) { return S->numContStates; }
static inline void ssSetNumDiscStates(SimStruct *S, int_T nDiscStates) { S->numDiscStates = nDiscStates; }
static inline int_T ssGetNumDiscStates(SimStruct *S) { return S->numDiscStates; }
static inline int_T ssSetNumRWork(SimStruct *S, int_T nRWork) { return S->numRWork = nRWork; }
static inline int_T ssGetNumRWork(SimStruct *S) { return S->numRWork; }
static inline void ssSetNumIWork(SimStruct *S, int_T nIWork) { S->numIWork = nIWork; }
static inline int_T ssGetNumIWork(SimStruct *S) { return S->numIWork; }
static inline int_T ssSetNumPWork(SimStruct *S, int_T nPWork) { return S->numPWork = nPWork; }
static inline int_T ssGetNumPWork(SimStruct *S) { return S->numPWork; }
static inline int_T ssSetNumModes(SimStruct *S, int_T nModes) { return S->numModes = nModes; }
static inline int_T ssGetNumModes(SimStruct *S) { return S->numModes; }
static inline int_T ssSetNumNonsampledZCs(SimStruct *S, int_T nNonsampledZCs) {
    return S->numNonsampledZCs = nNonsampledZCs;
}
static inline int_T ssGetNumNonsampledZCs(SimStruct *S) { return S->numNonsampledZCs; }
static inline real_T *ssGetContStates(SimStruct *S) { return S->contStates; }
static inline real_T *ssGetdX(SimStruct *S) { return S->dX; } /* changes between stages: do not keep it */
static inline real_T *ssGetRealDiscStates(SimStruct *S) { return S->discStates; }
static inline real_T *ssGetDiscStates(SimStruct *S) { return S->discStates; }
static inline real_T *ssGetRWork(SimStruct *S) { return S->rwork; }
static inline int_T *ssGetIWork(SimStruct *S) { return S->iwork; }
static inline void **ssGetPWork(SimStruct *S) { return S->pwork; }
static inline int_T *ssGetModeVector(SimStruct *S) { return S->modes; }
static inline void ssSetUserData(SimStruct *S, void *data) { S->userData = data; }
static inline void *ssGetUserData(SimStruct *S) { return S->userData; }

/* ---- DWork. A DWork whose width the block leaves unset has width 1. */
static inline boolean_T ssSetNumDWork(SimStruct *S, int_T nDWork) {
    int_T i;
    if (nDWork < 0 || nDWork > SS_MAX_DWORK) return 0;
    S->numDWork = nDWork;
    for (i = 0; i < nDWork; ++i)
        if (S->dwork[i].width == 0) S->dwork[i].width = 1;
    return 1;
}
static inline int_T ssGetNumDWork(SimStruct *S) { return S->numDWork; }
static inline int_T ssSetDWorkWidth(SimStruct *S, int_T vector, int_T width) { return S->dwork[vector].width = width; }
static inline int_T ssGetDWorkWidth(SimStruct *S, int_T vector) { return S->dwork[vector].width; }
static inline DTypeId ssSetDWorkDataType(SimStruct *S, int_T vector, DTypeId dtID) {
    return S->dwork[vector].dataType = dtID;
}
static inline DTypeId ssGetDWorkDataType(SimStruct *S, int_T vector) { return S->dwork[vector].dataType; }
static inline CSignal_T ssSetDWorkComplexSignal(SimStruct *S, int_T vector, CSignal_T csig) {
    return S->dwork[vector].complexSignal = csig;
}
static inline CSignal_T ssGetDWorkComplexSignal(SimStruct *S, int_T vector) { return S->dwork[vector].complexSignal; }
static inline const char_T *ssSetDWorkName(SimStruct *S, int_T vector, char_T *name) {
    return S->dwork[vector].name = name;
}
static inline char_T *ssGetDWorkName(SimStruct *S, int_T vector) { return S->dwork[vector].name; }
static inline void *ssGetDWork(SimStruct *S, int_T vector) { return S->dwork[vector].array; }

/* ---- Input ports */
static inline boolean_T ssSetNumInputPorts(SimStruct *S, int_T nInputPorts) {
    if (nInputPorts < 0 || nInputPorts > SS_MAX_PORTS) return 0;
    S->numInputPorts = nInputPorts;
    return 1;
}
static inline int_T ssGetNumInputPorts(SimStruct *S) { return S->numInputPorts; }
static inline void ssSetInputPortWidth(SimStruct *S, int_T port, int_T width) { S->inputs[port].width = width; }
static inline int_T ssGetInputPortWidth(SimStruct *S, int_T port) { return S->inputs[port].width; }
static inline DTypeId ssSetInputPortDataType(SimStruct *S, int_T port, DTypeId id) {
    return S->inputs[port].dataType = id;
}
static inline DTypeId ssGetInputPortDataType(SimStruct *S, int_T port) { return S->inputs[port].dataType; }
static inline CSignal_T ssSetInputPortComplexSignal(SimStruct *S, int_T port, CSignal_T csig) {
    return S->inputs[port].complexSignal = csig;
}
static inline CSignal_T ssGetInputPortComplexSignal(SimStruct *S, int_T port) { return S->inputs[port].complexSignal; }
static inline void ssSetInputPortDirectFeedThrough(SimStruct *S, int_T port, int_T dirFeed) {
    S->inputs[port].directFeedThrough = dirFeed;
}
static inline int_T ssGetInputPortDirectFeedThrough(SimStruct *S, int_T port) {
    return S->inputs[port].directFeedThrough;
}
static inline void ssSetInputPortRequiredContiguous(SimStruct *S, int_T port, int_T flag) {
    S->inputs[port].requiredContiguous = flag;
}
static inline int_T ssGetInputPortRequiredContiguous(SimStruct *S, int_T port) {
    return S->inputs[port].requiredContiguous;
}
/* undocumented */
static inline void ssSetInputPortFrameData(SimStruct *S, int_T port, Frame_T frameData) {
    S->inputs[port].frameData = frameData;
}
static inline Frame_T ssGetInputPortFrameData(SimStruct *S, int_T port) { return S->inputs[port].frameData; }
static inline const void *ssGetInputPortSignal(SimStruct *S, int_T inputPortIdx) {
    return S->inputs[inputPortIdx].signal;
}
static inline const real_T *ssGetInputPortRealSignal(SimStruct *S, int_T inputPortIdx) {
    return (const real_T *)S->inputs[inputPortIdx].signal;
}

/* ---- Output ports */
static inline boolean_T ssSetNumOutputPorts(SimStruct *S, int_T nOutputPorts) {
    if (nOutputPorts < 0 || nOutputPorts > SS_MAX_PORTS) return 0;
    S->numOutputPorts = nOutputPorts;
    return 1;
}
static inline int_T ssGetNumOutputPorts(SimStruct *S) { return S->numOutputPorts; }
static inline void ssSetOutputPortWidth(SimStruct *S, int_T port, int_T width) { S->outputs[port].width = width; }
static inline int_T ssGetOutputPortWidth(SimStruct *S, int_T port) { return S->outputs[port].width; }
static inline DTypeId ssSetOutputPortDataType(SimStruct *S, int_T port, DTypeId id) {
    return S->outputs[port].dataType = id;
}
static inline DTypeId ssGetOutputPortDataType(SimStruct *S, int_T port) { return S->outputs[port].dataType; }
static inline CSignal_T ssSetOutputPortComplexSignal(SimStruct *S, int_T port, CSignal_T csig) {
    return S->outputs[port].complexSignal = csig;
}
static inline CSignal_T ssGetOutputPortComplexSignal(SimStruct *S, int_T port) {
    return S->outputs[port].complexSignal;
}
/* undocumented */
static inline void ssSetOutputPortFrameData(SimStruct *S, int_T port, Frame_T frameData) {
    S->outputs[port].frameData = frameData;
}
static inline Frame_T ssGetOutputPortFrameData(SimStruct *S, int_T port) { return S->outputs[port].frameData; }
static inline void *ssGetOutputPortSignal(SimStruct *S, int_T port) { return S->outputs[port].signal; }
static inline real_T *ssGetOutputPortRealSignal(SimStruct *S, int_T port) { return (real_T *)S->outputs[port].signal; }

/* ---- Level-1 sizes (undocumented): one input vector and one output
 * vector, kept as port 0 */
static inline void ssSetNumInputs(SimStruct *S, int_T nInputs) {
    S->numInputPorts = nInputs > 0 ? 1 : 0;
    S->inputs[0].width = nInputs;
}
static inline void ssSetNumOutputs(SimStruct *S, int_T nOutputs) {
    S->numOutputPorts = nOutputs > 0 ? 1 : 0;
    S->outputs[0].width = nOutputs;
}
static inline int_T ssGetNumInputs(SimStruct *S) { return S->numInputPorts ? S->inputs[0].width : 0; }
static inline int_T ssGetNumOutputs(SimStruct *S) { return S->numOutputPorts ? S->outputs[0].width : 0; }
static inline void ssSetDirectFeedThrough(SimStruct *S, int_T dirFeed) { S->inputs[0].directFeedThrough = dirFeed; }
static inline int_T ssGetDirectFeedThrough(SimStruct *S) { return S->inputs[0].directFeedThrough; }

/* ---- Sample times */
static inline int_T ssSetNumSampleTimes(SimStruct *S, int_T nSampleTimes) {
    if (nSampleTimes < 0 || nSampleTimes > SS_MAX_SAMPLE_TIMES) return 0;
    return S->numSampleTimes = nSampleTimes;
}
static inline int_T ssGetNumSampleTimes(SimStruct *S) { return S->numSampleTimes; }
static inline time_T ssSetSampleTime(SimStruct *S, int_T st_index, time_T period) {
    return S->sampleTimes[st_index] = period;
}
static inline time_T ssGetSampleTime(SimStruct *S, int_T st_index) { return S->sampleTimes[st_index]; }
static inline time_T ssSetOffsetTime(SimStruct *S, int_T st_index, time_T offset) {
    return S->offsetTimes[st_index] = offset;
}
static inline time_T ssGetOffsetTime(SimStruct *S, int_T st_index) { return S->offsetTimes[st_index]; }

/* ---- Options and simulation state */
static inline void ssSetOptions(SimStruct *S, uint_T options) { S->options = (uint32_T)options; }
static inline uint_T ssGetOptions(SimStruct *S) { return S->options; }
/* undocumented */
static inline void ssSetSimStateCompliance(SimStruct *S, int_T setting) { S->simStateCompliance = setting; }
static inline int_T ssGetSimStateCompliance(SimStruct *S) { return S->simStateCompliance; }

/* ---- Time */
static inline time_T ssGetT(SimStruct *S) { return S->t; }
static inline boolean_T ssIsMajorTimeStep(SimStruct *S) { return S->majorTimeStep != 0; }
static inline boolean_T ssIsMinorTimeStep(SimStruct *S) { return S->majorTimeStep == 0; }


#endif /* BLOCKS_SIMSTRUC_H */
