/* mex.h: the MEX API of the stand-in MEX library.
 *
 * A MEX file exports one function, mexFunction. The caller passes nrhs
 * right-hand arguments and asks for nlhs results. mexErrMsgTxt does not
 * return: it ends the MEX call and hands the message to the caller. */
#ifndef BLOCKS_MEX_H
#define BLOCKS_MEX_H

#include "matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define MEX_NORETURN __attribute__((noreturn))
#define MEXFUNCTION_LINKAGE __attribute__((visibility("default")))
#else
#define MEX_NORETURN
#define MEXFUNCTION_LINKAGE
#endif

/* The MEX file's entry point; the one symbol a MEX library exports. */
MEXFUNCTION_LINKAGE void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

MEX_NORETURN void mexErrMsgTxt(const char *message);
MEX_NORETURN void mexErrMsgIdAndTxt(const char *identifier, const char *format, ...);
void mexWarnMsgTxt(const char *message);
int mexPrintf(const char *format, ...);
/* The name under which the running MEX file was called. */
const char *mexFunctionName(void);

#ifdef __cplusplus
}
#endif

#endif /* BLOCKS_MEX_H */
