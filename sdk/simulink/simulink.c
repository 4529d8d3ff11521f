/* simulink.c: the glue that makes an S-function source a MEX library.
 *
 * Included at the end of the block source, after its methods. It supplies
 * mexFunction, which serves two callers (see simstruc.h):
 *   - a host (nlhs == SS_HOST_CALL): binds the block and runs its methods
 *     by flag;
 *   - the command line, sizes = NAME(t, x, u, flag, params...): returns
 *     the block's size fields for flag 0.
 * A block source defines MDL_* for each optional level-2 method it has. */
#ifndef S_FUNCTION_NAME
#error "Define S_FUNCTION_NAME before including simulink.c"
#endif
#ifndef S_FUNCTION_LEVEL
#define S_FUNCTION_LEVEL 1
#endif
#if S_FUNCTION_LEVEL != 1 && S_FUNCTION_LEVEL != 2
#error "S_FUNCTION_LEVEL must be 1 or 2"
#endif

#include <math.h>
#include <stdio.h>
#include <string.h>

#define SS_GLUE_TEXT(name) #name
#define SS_GLUE_NAME_TEXT(name) SS_GLUE_TEXT(name)

static const char ssGlueName[] = SS_GLUE_NAME_TEXT(S_FUNCTION_NAME);

#if S_FUNCTION_LEVEL == 1
#define SS_GLUE_KIND "MEX level1 S-function"
#else
#define SS_GLUE_KIND "MEX level2 S-function"
#endif

/* Messages that leave the library through mexErrMsgTxt. */
static char ssGlueMessage[1024];

static uint32_T ssGlueProvidedMethods(void) {
    uint32_T methods = SS_METHOD_BIT(SS_CALL_MDL_INITIALIZE_SIZES) |
                       SS_METHOD_BIT(SS_CALL_MDL_INITIALIZE_SAMPLE_TIMES) |
                       SS_METHOD_BIT(SS_CALL_MDL_OUTPUTS) | SS_METHOD_BIT(SS_CALL_MDL_TERMINATE);
#if S_FUNCTION_LEVEL == 1
    methods |= SS_METHOD_BIT(SS_CALL_MDL_INITIALIZE_CONDITIONS) | SS_METHOD_BIT(SS_CALL_MDL_UPDATE) |
               SS_METHOD_BIT(SS_CALL_MDL_DERIVATIVES);
#else
#if defined(MDL_CHECK_PARAMETERS)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_CHECK_PARAMETERS);
#endif
#if defined(MDL_SET_INPUT_PORT_FRAME_DATA)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_SET_INPUT_PORT_FRAME_DATA);
#endif
#if defined(MDL_SET_INPUT_PORT_DATA_TYPE)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_SET_INPUT_PORT_DATA_TYPE);
#endif
#if defined(MDL_SET_OUTPUT_PORT_DATA_TYPE)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_SET_OUTPUT_PORT_DATA_TYPE);
#endif
#if defined(MDL_SET_DEFAULT_PORT_DATA_TYPES)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_SET_DEFAULT_PORT_DATA_TYPES);
#endif
#if defined(MDL_START)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_START);
#endif
#if defined(MDL_INITIALIZE_CONDITIONS)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_INITIALIZE_CONDITIONS);
#endif
#if defined(MDL_UPDATE)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_UPDATE);
#endif
#if defined(MDL_DERIVATIVES)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_DERIVATIVES);
#endif
#endif
#if defined(MDL_ZERO_CROSSINGS)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_ZERO_CROSSINGS);
#endif
#if defined(MDL_GET_TIME_OF_NEXT_VAR_HIT)
    methods |= SS_METHOD_BIT(SS_CALL_MDL_GET_TIME_OF_NEXT_VAR_HIT);
#endif
    return methods;
}

/* Stops the MEX call unless the library runs under the name compiled into it. */
static void ssGlueCheckName(void) {
    const char *loaded = mexFunctionName();
    if (loaded == NULL || strcmp(loaded, ssGlueName) != 0) {
        snprintf(ssGlueMessage, sizeof ssGlueMessage,
                 "S-function name mismatch. Name in source is \"#define S_FUNCTION_NAME %s\", "
                 "whereas name of the S-function MEX file is \"%s\". The source needs to be updated",
                 ssGlueName, loaded ? loaded : "");
        mexErrMsgTxt(ssGlueMessage);
    }
}

static void ssGlueBind(SimStruct *S) {
    ssGlueCheckName();
    S->level = S_FUNCTION_LEVEL;
    S->methods = ssGlueProvidedMethods();
    mdlInitializeSizes(S);
}

/* Runs the method that `flag` names, with the arguments in S->call. */
static void ssGlueDispatch(SimStruct *S, int_T flag) {
    switch (flag) {
        case SS_CALL_MDL_INITIALIZE_SIZES:
            ssGlueBind(S);
            return;
        case SS_CALL_MDL_INITIALIZE_SAMPLE_TIMES:
            mdlInitializeSampleTimes(S);
            return;
        case SS_CALL_MDL_CHECK_PARAMETERS:
#if S_FUNCTION_LEVEL == 2 && defined(MDL_CHECK_PARAMETERS)
            mdlCheckParameters(S);
#else
            ssSetErrorStatus(S, "Unexpected call to mdlCheckParameters");
#endif
            return;
        case SS_CALL_MDL_SET_INPUT_PORT_FRAME_DATA:
#if S_FUNCTION_LEVEL == 2 && defined(MDL_SET_INPUT_PORT_FRAME_DATA)
            mdlSetInputPortFrameData(S, S->call.port, S->call.frameData);
#else
            ssSetErrorStatus(S, "Unexpected call to mdlSetInputPortFrameData");
#endif
            return;
        case SS_CALL_MDL_SET_INPUT_PORT_DATA_TYPE:
#if S_FUNCTION_LEVEL == 2 && defined(MDL_SET_INPUT_PORT_DATA_TYPE)
            mdlSetInputPortDataType(S, S->call.port, S->call.dataType);
#else
            ssSetErrorStatus(S, "Unexpected call to mdlSetInputPortDataType");
#endif
            return;
        case SS_CALL_MDL_SET_OUTPUT_PORT_DATA_TYPE:
#if S_FUNCTION_LEVEL == 2 && defined(MDL_SET_OUTPUT_PORT_DATA_TYPE)
            mdlSetOutputPortDataType(S, S->call.port, S->call.dataType);
#else
            ssSetErrorStatus(S, "Unexpected call to mdlSetOutputPortDataType");
#endif
            return;
        case SS_CALL_MDL_SET_DEFAULT_PORT_DATA_TYPES:
#if S_FUNCTION_LEVEL == 2 && defined(MDL_SET_DEFAULT_PORT_DATA_TYPES)
            mdlSetDefaultPortDataTypes(S);
#else
            ssSetErrorStatus(S, "Unexpected call to mdlSetDefaultPortDataTypes");
#endif
            return;
        case SS_CALL_MDL_START:
#if S_FUNCTION_LEVEL == 2 && defined(MDL_START)
            mdlStart(S);
#else
            ssSetErrorStatus(S, "Unexpected call to mdlStart");
#endif
            return;
        case SS_CALL_MDL_INITIALIZE_CONDITIONS:
#if S_FUNCTION_LEVEL == 1
            mdlInitializeConditions(ssGetContStates(S), S);
#elif defined(MDL_INITIALIZE_CONDITIONS)
            mdlInitializeConditions(S);
#else
            ssSetErrorStatus(S, "Unexpected call to mdlInitializeConditions");
#endif
            return;
        case SS_CALL_MDL_OUTPUTS:
#if S_FUNCTION_LEVEL == 1
            mdlOutputs(ssGetOutputPortRealSignal(S, 0), ssGetContStates(S), ssGetInputPortRealSignal(S, 0), S,
                       S->call.tid);
#else
            mdlOutputs(S, S->call.tid);
#endif
            return;
        case SS_CALL_MDL_UPDATE:
#if S_FUNCTION_LEVEL == 1
            mdlUpdate(ssGetContStates(S), ssGetInputPortRealSignal(S, 0), S, S->call.tid);
#elif defined(MDL_UPDATE)
            mdlUpdate(S, S->call.tid);
#else
            ssSetErrorStatus(S, "Unexpected call to mdlUpdate");
#endif
            return;
        case SS_CALL_MDL_DERIVATIVES:
#if S_FUNCTION_LEVEL == 1
            mdlDerivatives(ssGetdX(S), ssGetContStates(S), ssGetInputPortRealSignal(S, 0), S, S->call.tid);
#elif defined(MDL_DERIVATIVES)
            mdlDerivatives(S);
#else
            ssSetErrorStatus(S, "Unexpected call to mdlDerivatives");
#endif
            return;
        case SS_CALL_MDL_ZERO_CROSSINGS:
#if defined(MDL_ZERO_CROSSINGS)
            mdlZeroCrossings(S);
#elif S_FUNCTION_LEVEL == 1
            ssSetErrorStatus(S, "To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS "
                                "and have a mdlZeroCrossings routine");
#else
            ssSetErrorStatus(S, "Unexpected call to mdlZeroCrossings");
#endif
            return;
        case SS_CALL_MDL_GET_TIME_OF_NEXT_VAR_HIT:
#if defined(MDL_GET_TIME_OF_NEXT_VAR_HIT)
            mdlGetTimeOfNextVarHit(S);
#elif S_FUNCTION_LEVEL == 1
            ssSetErrorStatus(S, "To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT "
                                "and add a mdlGetTimeOfNextVarHit routine");
#else
            ssSetErrorStatus(S, "Unexpected call to mdlGetTimeOfNextVarHit");
#endif
            return;
        case SS_CALL_MDL_TERMINATE:
            mdlTerminate(S);
            return;
        default:
            ssSetErrorStatus(S, "Invalid flag encountered in simulink.c");
            return;
    }
}

/* The SS_NUM_SIZE_FIELDS size fields, in the order documented in simstruc.h. */
static void ssGlueSizeFields(const SimStruct *S, real_T *fields) {
    int_T i;
    real_T input_width = 0.0, output_width = 0.0, feedthrough = 0.0;
    for (i = 0; i < SS_NUM_SIZE_FIELDS; ++i) fields[i] = 0.0;
    for (i = 0; i < S->numInputPorts; ++i) {
        input_width += S->inputs[i].width;
        if (S->inputs[i].directFeedThrough) feedthrough = 1.0;
    }
    for (i = 0; i < S->numOutputPorts; ++i) output_width += S->outputs[i].width;
    if (S->level == 1) feedthrough = S->inputs[0].directFeedThrough ? 1.0 : 0.0;

    fields[SS_SIZES_NUM_CONT_STATES] = S->numContStates;
    fields[SS_SIZES_NUM_DISC_STATES] = S->numDiscStates;
    fields[SS_SIZES_NUM_OUTPUTS] = output_width;
    fields[SS_SIZES_NUM_INPUTS] = input_width;
    fields[SS_SIZES_DIRECT_FEEDTHROUGH] = feedthrough;
    fields[SS_SIZES_NUM_SAMPLE_TIMES] = S->numSampleTimes;
    fields[SS_SIZES_NUM_PARAMS] = S->numSFcnParams;
    fields[SS_SIZES_NUM_RWORK] = S->numRWork;
    fields[SS_SIZES_NUM_IWORK] = S->numIWork;
    fields[SS_SIZES_NUM_PWORK] = S->numPWork;
    fields[SS_SIZES_NUM_MODES] = S->numModes;
    fields[SS_SIZES_NUM_NONSAMPLED_ZCS] = S->numNonsampledZCs;
    fields[SS_SIZES_NUM_DWORK] = S->numDWork;
    fields[SS_SIZES_NUM_INPUT_PORTS] = S->numInputPorts;
    fields[SS_SIZES_NUM_OUTPUT_PORTS] = S->numOutputPorts;
    for (i = 0; i < SS_SIZES_LISTED_PORTS && i < S->numInputPorts; ++i) {
        fields[SS_SIZES_INPUT_PORTS + 3 * i] = S->inputs[i].width;
        fields[SS_SIZES_INPUT_PORTS + 3 * i + 1] = S->inputs[i].dataType;
        fields[SS_SIZES_INPUT_PORTS + 3 * i + 2] = S->inputs[i].directFeedThrough;
    }
    for (i = 0; i < SS_SIZES_LISTED_PORTS && i < S->numOutputPorts; ++i) {
        fields[SS_SIZES_OUTPUT_PORTS + 2 * i] = S->outputs[i].width;
        fields[SS_SIZES_OUTPUT_PORTS + 2 * i + 1] = S->outputs[i].dataType;
    }
    if (S->numSampleTimes > 0) {
        fields[SS_SIZES_SAMPLE_TIME] = S->sampleTimes[0];
        fields[SS_SIZES_OFFSET_TIME] = S->offsetTimes[0];
    }
    fields[SS_SIZES_OPTIONS] = (real_T)S->options;
    fields[SS_SIZES_SIM_STATE_COMPLIANCE] = S->simStateCompliance;
    if (S->numDWork > 0) {
        fields[SS_SIZES_DWORK_WIDTH] = S->dwork[0].width;
        fields[SS_SIZES_DWORK_DATA_TYPE] = S->dwork[0].dataType;
    }
    fields[SS_SIZES_LEVEL] = S->level;
}

/* The flag must be a real, non-sparse double scalar holding a whole number.
 * Class, complexity and size are tested before the value is read. */
static int ssGlueFlagIsInteger(const mxArray *flag) {
    double value;
    if (!mxIsDouble(flag) || mxIsComplex(flag) || mxIsSparse(flag) || mxGetNumberOfElements(flag) != 1)
        return 0;
    value = *mxGetPr(flag);
    return isfinite(value) && value == floor(value);
}

static void ssGlueCommandLine(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    static const char who[] = SS_GLUE_KIND " \"" SS_GLUE_NAME_TEXT(S_FUNCTION_NAME) "\"";
    SimStruct *S;
    real_T fields[SS_NUM_SIZE_FIELDS];

    ssGlueCheckName();
    if (nrhs < 4) {
        snprintf(ssGlueMessage, sizeof ssGlueMessage, "%s must be called with at least 4 right hand arguments", who);
        mexErrMsgTxt(ssGlueMessage);
    }
    if (nlhs > 1) {
        snprintf(ssGlueMessage, sizeof ssGlueMessage, "%s called with too many left hand arguments", who);
        mexErrMsgTxt(ssGlueMessage);
    }
    if (!ssGlueFlagIsInteger(prhs[3])) {
        snprintf(ssGlueMessage, sizeof ssGlueMessage,
                 "The 4th right hand argument, FLAG, passed to %s must be an integer", who);
        mexErrMsgTxt(ssGlueMessage);
    }
    if (*mxGetPr(prhs[3]) != 0.0) {
        snprintf(ssGlueMessage, sizeof ssGlueMessage, "Invalid flag passed to %s", who);
        mexErrMsgTxt(ssGlueMessage);
    }

    S = (SimStruct *)mxCalloc(1, sizeof(SimStruct));
    S->modelName = ssGlueName;
    S->path = ssGlueName;
    S->level = S_FUNCTION_LEVEL;
    S->methods = ssGlueProvidedMethods();
    S->sfcnParamsCount = nrhs - 4;
    S->sfcnParams = prhs + 4;
    mdlInitializeSizes(S);
    if (ssGetErrorStatus(S) == NULL) mdlInitializeSampleTimes(S);
    if (ssGetErrorStatus(S) != NULL) {
        snprintf(ssGlueMessage, sizeof ssGlueMessage, "%s", ssGetErrorStatus(S));
        mxFree(S);
        mexErrMsgTxt(ssGlueMessage);
    }
    ssGlueSizeFields(S, fields);
    mxFree(S);

    plhs[0] = mxCreateDoubleMatrix(SS_NUM_SIZE_FIELDS, 1, mxREAL);
    memcpy(mxGetPr(plhs[0]), fields, sizeof fields);
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
    if (nlhs == SS_HOST_CALL) {
        ssGlueDispatch((SimStruct *)plhs[0], nrhs);
        return;
    }
    ssGlueCommandLine(nlhs, plhs, nrhs, prhs);
}
