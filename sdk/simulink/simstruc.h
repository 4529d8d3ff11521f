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
    const char_T *name;
    void *array; /* host-owned */
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

/* ---- Identity and errors */
#define ssGetModelName(S) ((S)->modelName)
#define ssGetPath(S) ((S)->path)
#define ssSetErrorStatus(S, msg) ((S)->errorStatus = (msg))
#define ssGetErrorStatus(S) ((S)->errorStatus)

/* ---- Dialog parameters */
#define ssSetNumSFcnParams(S, n) ((S)->numSFcnParams = (n))
#define ssGetNumSFcnParams(S) ((S)->numSFcnParams)
#define ssGetSFcnParamsCount(S) ((S)->sfcnParamsCount)
#define ssGetSFcnParam(S, index) ((S)->sfcnParams[index])

/* ---- States and work vectors */
#define ssSetNumContStates(S, n) ((S)->numContStates = (n))
#define ssGetNumContStates(S) ((S)->numContStates)
#define ssSetNumDiscStates(S, n) ((S)->numDiscStates = (n))
#define ssGetNumDiscStates(S) ((S)->numDiscStates)
#define ssSetNumRWork(S, n) ((S)->numRWork = (n))
#define ssGetNumRWork(S) ((S)->numRWork)
#define ssSetNumIWork(S, n) ((S)->numIWork = (n))
#define ssGetNumIWork(S) ((S)->numIWork)
#define ssSetNumPWork(S, n) ((S)->numPWork = (n))
#define ssGetNumPWork(S) ((S)->numPWork)
#define ssSetNumModes(S, n) ((S)->numModes = (n))
#define ssGetNumModes(S) ((S)->numModes)
#define ssSetNumNonsampledZCs(S, n) ((S)->numNonsampledZCs = (n))
#define ssGetNumNonsampledZCs(S) ((S)->numNonsampledZCs)
#define ssGetContStates(S) ((S)->contStates)
#define ssGetdX(S) ((S)->dX)
#define ssGetRealDiscStates(S) ((S)->discStates)
#define ssGetDiscStates(S) ((S)->discStates)
#define ssGetRWork(S) ((S)->rwork)
#define ssGetIWork(S) ((S)->iwork)
#define ssGetPWork(S) ((S)->pwork)
#define ssGetModeVector(S) ((S)->modes)
#define ssSetUserData(S, data) ((S)->userData = (data))
#define ssGetUserData(S) ((S)->userData)

/* ---- DWork. A DWork whose width the block leaves unset has width 1. */
static inline int_T ssSetNumDWork(SimStruct *S, int_T n) {
    int_T i;
    if (n < 0 || n > SS_MAX_DWORK) return 0;
    S->numDWork = n;
    for (i = 0; i < n; ++i)
        if (S->dwork[i].width == 0) S->dwork[i].width = 1;
    return 1;
}
#define ssGetNumDWork(S) ((S)->numDWork)
#define ssSetDWorkWidth(S, i, w) ((S)->dwork[i].width = (w))
#define ssGetDWorkWidth(S, i) ((S)->dwork[i].width)
#define ssSetDWorkDataType(S, i, id) ((S)->dwork[i].dataType = (id))
#define ssGetDWorkDataType(S, i) ((S)->dwork[i].dataType)
#define ssSetDWorkComplexSignal(S, i, c) ((S)->dwork[i].complexSignal = (c))
#define ssGetDWorkComplexSignal(S, i) ((S)->dwork[i].complexSignal)
#define ssSetDWorkName(S, i, n) ((S)->dwork[i].name = (n))
#define ssGetDWorkName(S, i) ((S)->dwork[i].name)
#define ssGetDWork(S, i) ((S)->dwork[i].array)

/* ---- Input ports */
static inline int_T ssSetNumInputPorts(SimStruct *S, int_T n) {
    if (n < 0 || n > SS_MAX_PORTS) return 0;
    S->numInputPorts = n;
    return 1;
}
#define ssGetNumInputPorts(S) ((S)->numInputPorts)
#define ssSetInputPortWidth(S, p, w) ((S)->inputs[p].width = (w))
#define ssGetInputPortWidth(S, p) ((S)->inputs[p].width)
#define ssSetInputPortDataType(S, p, id) ((S)->inputs[p].dataType = (id))
#define ssGetInputPortDataType(S, p) ((S)->inputs[p].dataType)
#define ssSetInputPortComplexSignal(S, p, c) ((S)->inputs[p].complexSignal = (c))
#define ssGetInputPortComplexSignal(S, p) ((S)->inputs[p].complexSignal)
#define ssSetInputPortDirectFeedThrough(S, p, d) ((S)->inputs[p].directFeedThrough = (d))
#define ssGetInputPortDirectFeedThrough(S, p) ((S)->inputs[p].directFeedThrough)
#define ssSetInputPortRequiredContiguous(S, p, c) ((S)->inputs[p].requiredContiguous = (c))
#define ssGetInputPortRequiredContiguous(S, p) ((S)->inputs[p].requiredContiguous)
#define ssSetInputPortFrameData(S, p, f) ((S)->inputs[p].frameData = (f))
#define ssGetInputPortFrameData(S, p) ((S)->inputs[p].frameData)
#define ssGetInputPortSignal(S, p) ((S)->inputs[p].signal)
#define ssGetInputPortRealSignal(S, p) ((const real_T *)(S)->inputs[p].signal)

/* ---- Output ports */
static inline int_T ssSetNumOutputPorts(SimStruct *S, int_T n) {
    if (n < 0 || n > SS_MAX_PORTS) return 0;
    S->numOutputPorts = n;
    return 1;
}
#define ssGetNumOutputPorts(S) ((S)->numOutputPorts)
#define ssSetOutputPortWidth(S, p, w) ((S)->outputs[p].width = (w))
#define ssGetOutputPortWidth(S, p) ((S)->outputs[p].width)
#define ssSetOutputPortDataType(S, p, id) ((S)->outputs[p].dataType = (id))
#define ssGetOutputPortDataType(S, p) ((S)->outputs[p].dataType)
#define ssSetOutputPortComplexSignal(S, p, c) ((S)->outputs[p].complexSignal = (c))
#define ssGetOutputPortComplexSignal(S, p) ((S)->outputs[p].complexSignal)
#define ssSetOutputPortFrameData(S, p, f) ((S)->outputs[p].frameData = (f))
#define ssGetOutputPortFrameData(S, p) ((S)->outputs[p].frameData)
#define ssGetOutputPortSignal(S, p) ((S)->outputs[p].signal)
#define ssGetOutputPortRealSignal(S, p) ((real_T *)(S)->outputs[p].signal)

/* ---- Level-1 sizes: one input vector and one output vector, kept as port 0 */
static inline void ssSetNumInputs(SimStruct *S, int_T width) {
    S->numInputPorts = width > 0 ? 1 : 0;
    S->inputs[0].width = width;
}
static inline void ssSetNumOutputs(SimStruct *S, int_T width) {
    S->numOutputPorts = width > 0 ? 1 : 0;
    S->outputs[0].width = width;
}
#define ssGetNumInputs(S) ((S)->numInputPorts ? (S)->inputs[0].width : 0)
#define ssGetNumOutputs(S) ((S)->numOutputPorts ? (S)->outputs[0].width : 0)
#define ssSetDirectFeedThrough(S, d) ((S)->inputs[0].directFeedThrough = (d))
#define ssGetDirectFeedThrough(S) ((S)->inputs[0].directFeedThrough)

/* ---- Sample times */
static inline int_T ssSetNumSampleTimes(SimStruct *S, int_T n) {
    if (n < 0 || n > SS_MAX_SAMPLE_TIMES) return 0;
    S->numSampleTimes = n;
    return 1;
}
#define ssGetNumSampleTimes(S) ((S)->numSampleTimes)
#define ssSetSampleTime(S, i, period) ((S)->sampleTimes[i] = (period))
#define ssGetSampleTime(S, i) ((S)->sampleTimes[i])
#define ssSetOffsetTime(S, i, offset) ((S)->offsetTimes[i] = (offset))
#define ssGetOffsetTime(S, i) ((S)->offsetTimes[i])

/* ---- Options and simulation state */
#define ssSetOptions(S, word) ((S)->options = (uint32_T)(word))
#define ssGetOptions(S) ((S)->options)
#define ssSetSimStateCompliance(S, value) ((S)->simStateCompliance = (value))
#define ssGetSimStateCompliance(S) ((S)->simStateCompliance)

/* ---- Time */
#define ssGetT(S) ((S)->t)
#define ssIsMajorTimeStep(S) ((S)->majorTimeStep != 0)
#define ssIsMinorTimeStep(S) ((S)->majorTimeStep == 0)

#endif /* BLOCKS_SIMSTRUC_H */
