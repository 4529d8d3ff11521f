/* sarnith: hysteresis relay with a double output, 0.0 above the upper
 * threshold and 1.0 below the lower one. */
#define S_FUNCTION_NAME sarnith
#define S_FUNCTION_LEVEL 2

#include "simstruc.h"

typedef real_T RelayOutput;
#define RELAY_OUTPUT_DATA_TYPE SS_DOUBLE
static const RelayOutput relayAboveValue = 0.0;
static const RelayOutput relayBelowValue = 1.0;

static void declareHeldOutput(SimStruct *S) {
    ssSetDWorkWidth(S, 0, 1);
    ssSetDWorkDataType(S, 0, SS_DOUBLE);
    ssSetDWorkComplexSignal(S, 0, COMPLEX_NO);
    ssSetDWorkName(S, 0, "held_output");
}

#include "relay_methods.h"

#include "simulink.c"
