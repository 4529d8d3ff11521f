/* matrix.h: the matrix API of the stand-in MEX library.
 *
 * A MATLAB-style array: class, m-by-n dimensions, real part and optional
 * imaginary part (separate storage), or a sparse double matrix in compressed
 * column form. Functions and types carry the names of the host's documented
 * matrix API so that sources written against it build here unchanged. */
#ifndef BLOCKS_MATRIX_H
#define BLOCKS_MATRIX_H

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mxArray_tag mxArray;
typedef size_t mwSize;
typedef size_t mwIndex;
typedef bool mxLogical;
typedef unsigned short mxChar;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

/* Creation and destruction */
mxArray *mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity complexity);
mxArray *mxCreateDoubleMatrix_700(int m, int n, mxComplexity complexity);
mxArray *mxCreateDoubleScalar(double value);
mxArray *mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID class_id, mxComplexity complexity);
mxArray *mxCreateLogicalMatrix(mwSize m, mwSize n);
mxArray *mxCreateLogicalScalar(mxLogical value);
mxArray *mxCreateString(const char *text);
mxArray *mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity complexity);
mxArray *mxDuplicateArray(const mxArray *array);
void mxDestroyArray(mxArray *array);

/* Inquiry */
mxClassID mxGetClassID(const mxArray *array);
const char *mxGetClassName(const mxArray *array);
size_t mxGetM(const mxArray *array);
size_t mxGetN(const mxArray *array);
size_t mxGetNumberOfElements(const mxArray *array);
size_t mxGetElementSize(const mxArray *array);
bool mxIsNumeric(const mxArray *array);
bool mxIsLogical(const mxArray *array);
bool mxIsChar(const mxArray *array);
bool mxIsEmpty(const mxArray *array);
bool mxIsSparse(const mxArray *array);
bool mxIsComplex(const mxArray *array);
bool mxIsDouble(const mxArray *array);
bool mxIsSingle(const mxArray *array);
bool mxIsInt32(const mxArray *array);

/* Data access. mxGetPr and mxGetPi return NULL for arrays that are not
 * double; mxGetData returns the real part of any class. */
double *mxGetPr(const mxArray *array);
double *mxGetPi(const mxArray *array);
void *mxGetData(const mxArray *array);
void *mxGetImagData(const mxArray *array);
double mxGetScalar(const mxArray *array);
mxLogical *mxGetLogicals(const mxArray *array);
mxChar *mxGetChars(const mxArray *array);
mwIndex *mxGetIr(const mxArray *array);
mwIndex *mxGetJc(const mxArray *array);
mwSize mxGetNzmax(const mxArray *array);

/* Memory */
void *mxCalloc(size_t n, size_t size);
void *mxMalloc(size_t size);
void mxFree(void *pointer);

#ifdef __cplusplus
}
#endif

#endif /* BLOCKS_MATRIX_H */
