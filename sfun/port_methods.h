/* Data type and frame methods of blocks whose ports the host may retype.
 * Each method sets the port that the call names. */
#ifndef BLOCKS_PORT_METHODS_H
#define BLOCKS_PORT_METHODS_H

#include "simstruc.h"

#define MDL_SET_INPUT_PORT_DATA_TYPE
static void mdlSetInputPortDataType(SimStruct *S, int_T port, DTypeId dataType) {
    ssSetInputPortDataType(S, port, dataType);
}

#define MDL_SET_OUTPUT_PORT_DATA_TYPE
static void mdlSetOutputPortDataType(SimStruct *S, int_T port, DTypeId dataType) {
    ssSetOutputPortDataType(S, port, dataType);
}

#define MDL_SET_DEFAULT_PORT_DATA_TYPES
static void mdlSetDefaultPortDataTypes(SimStruct *S) {
    ssSetInputPortDataType(S, 0, SS_DOUBLE);
    ssSetOutputPortDataType(S, 0, SS_DOUBLE);
}

#define MDL_SET_INPUT_PORT_FRAME_DATA
static void mdlSetInputPortFrameData(SimStruct *S, int_T port, Frame_T frameData) {
    ssSetInputPortFrameData(S, port, frameData);
}

#endif
