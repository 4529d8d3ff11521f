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
#define RELAY_HELD_OUTPUT_DATA_TYPE SS_INT32

#include "relay_methods.h"

#ifdef MATLAB_MEX_FILE
#include "simulink.c"
#else
#include "cg_sfun.h"
#endif
