/* sarnith: hysteresis relay with a double output, 0.0 above the upper
 * threshold and 1.0 below the lower one. */
#define S_FUNCTION_NAME sarnith
#define S_FUNCTION_LEVEL 2

#include "simstruc.h"

typedef real_T RelayOutput;
#define RELAY_OUTPUT_DATA_TYPE SS_DOUBLE
static const RelayOutput relayAboveValue = 0.0;
static const RelayOutput relayBelowValue = 1.0;

#define RELAY_HELD_OUTPUT_DATA_TYPE SS_DOUBLE

#include "relay_methods.h"

#ifdef MATLAB_MEX_FILE
#include "simulink.c"
#else
#include "cg_sfun.h"
#endif
