/* quorvel: hysteresis relay with a 32-bit integer output, 1 above the upper
 * threshold and 0 below the lower one: a status flag. */
#define S_FUNCTION_NAME quorvel
#define S_FUNCTION_LEVEL 2

#include "simstruc.h"

typedef int32_T RelayOutput;
/* The model's registered 32-bit signed integer type. */
#define RELAY_OUTPUT_DATA_TYPE 10
static const RelayOutput relayAboveValue = 1;
static const RelayOutput relayBelowValue = 0;

/* The held output is kept as the integer it is, cleared to integer 0. */
static void declareHeldOutput(SimStruct *S) {
    ssSetDWorkWidth(S, 0, 1);
    ssSetDWorkDataType(S, 0, SS_INT32);
    ssSetDWorkComplexSignal(S, 0, COMPLEX_NO);
    ssSetDWorkName(S, 0, "held_output");
}

#include "relay_methods.h"

#include "simulink.c"
