/* Dialog parameter checks shared by the block sources. */
#ifndef BLOCKS_PARAMETER_CHECK_H
#define BLOCKS_PARAMETER_CHECK_H

#include <stdio.h>

#include "simstruc.h"

/* Holds the message of a failed check; it outlives the method that set it. */
static char parameterCheckMessage[1024];

/* Real, full, non-empty double: numeric, not logical, not empty, not
 * sparse, not complex, double, tested in this order. */
static int isRealDoubleParameter(const mxArray *parameter) {
    return mxIsNumeric(parameter) && !mxIsLogical(parameter) && !mxIsEmpty(parameter) &&
           !mxIsSparse(parameter) && !mxIsComplex(parameter) && mxIsDouble(parameter);
}

/* Checks the block's dialog parameters 1..count: first each one's type, in
 * order, then each one's element count against minimumElements. The first
 * failure sets the error status and ends the check. */
static void checkDoubleParameters(SimStruct *S, int_T count, const size_t *minimumElements,
                                  const char *const *roles) {
    int_T i;
    for (i = 0; i < count; ++i) {
        if (!isRealDoubleParameter(ssGetSFcnParam(S, i))) {
            snprintf(parameterCheckMessage, sizeof parameterCheckMessage,
                     "The data type and or complexity of parameter  %d does not match the information "
                     "specified in the S-function Builder dialog. For non-double parameters you will need "
                     "to cast them using int8, int16, int32, uint8, uint16, uint32 or boolean.",
                     i + 1);
            ssSetErrorStatus(S, parameterCheckMessage);
            return;
        }
    }
    for (i = 0; i < count; ++i) {
        const size_t elements = mxGetNumberOfElements(ssGetSFcnParam(S, i));
        if (elements < minimumElements[i]) {
            snprintf(parameterCheckMessage, sizeof parameterCheckMessage,
                     "Parameter %d (%s) needs at least %zu elements, but has %zu.", i + 1, roles[i],
                     minimumElements[i], elements);
            ssSetErrorStatus(S, parameterCheckMessage);
            return;
        }
    }
}

#endif
