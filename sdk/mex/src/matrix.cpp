// Arrays of the stand-in MEX library.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "matrix.h"
#include "mex_runtime.hpp"

namespace {

std::atomic<long> live_array_count{0};

std::size_t element_size(mxClassID class_id) {
    switch (class_id) {
        case mxDOUBLE_CLASS: case mxINT64_CLASS: case mxUINT64_CLASS: return 8;
        case mxSINGLE_CLASS: case mxINT32_CLASS: case mxUINT32_CLASS: return 4;
        case mxINT16_CLASS: case mxUINT16_CLASS: case mxCHAR_CLASS: return 2;
        case mxINT8_CLASS: case mxUINT8_CLASS: case mxLOGICAL_CLASS: return 1;
        default: return 0;
    }
}

}  // namespace

struct mxArray_tag {
    mxClassID class_id = mxUNKNOWN_CLASS;
    std::size_t m = 0, n = 0;
    bool sparse = false;
    bool complex = false;
    // Dense: m*n elements; sparse: nzmax doubles. Kept as doubles so that
    // every class's data is suitably aligned.
    std::vector<double> real, imag;
    std::vector<mwIndex> ir, jc;  // sparse row indices and column starts
    std::size_t nzmax = 0;

    mxArray_tag() { ++live_array_count; }
    mxArray_tag(const mxArray_tag& other)
        : class_id(other.class_id), m(other.m), n(other.n), sparse(other.sparse),
          complex(other.complex), real(other.real), imag(other.imag), ir(other.ir),
          jc(other.jc), nzmax(other.nzmax) {
        ++live_array_count;
    }
    ~mxArray_tag() { --live_array_count; }

    std::size_t stored_elements() const { return sparse ? nzmax : m * n; }
    void allocate() {
        const std::size_t bytes = stored_elements() * element_size(class_id);
        const std::size_t words = (bytes + sizeof(double) - 1) / sizeof(double);
        real.assign(words, 0.0);
        if (complex) imag.assign(words, 0.0);
    }
};

namespace {

mxArray* create_dense(std::size_t m, std::size_t n, mxClassID class_id, mxComplexity complexity) {
    auto* array = new mxArray;
    array->class_id = class_id;
    array->m = m;
    array->n = n;
    array->complex = complexity == mxCOMPLEX;
    array->allocate();
    return array;
}

void* data_or_null(const std::vector<double>& storage) {
    return storage.empty() ? nullptr : const_cast<double*>(storage.data());
}

}  // namespace

extern "C" {

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity complexity) {
    return create_dense(m, n, mxDOUBLE_CLASS, complexity);
}

mxArray* mxCreateDoubleMatrix_700(int m, int n, mxComplexity complexity) {
    return create_dense(m < 0 ? 0 : static_cast<std::size_t>(m), n < 0 ? 0 : static_cast<std::size_t>(n),
                        mxDOUBLE_CLASS, complexity);
}

mxArray* mxCreateDoubleScalar(double value) {
    mxArray* array = create_dense(1, 1, mxDOUBLE_CLASS, mxREAL);
    array->real[0] = value;
    return array;
}

mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID class_id, mxComplexity complexity) {
    // No caller checks for NULL: a class that is not numeric ends the call
    // as any other MEX error does.
    if (element_size(class_id) == 0 || class_id == mxCHAR_CLASS || class_id == mxLOGICAL_CLASS)
        throw mexrt::MexError("", "mxCreateNumericMatrix takes a numeric class; make text with mxCreateString and "
                                  "truth values with mxCreateLogicalMatrix");
    return create_dense(m, n, class_id, complexity);
}

mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n) { return create_dense(m, n, mxLOGICAL_CLASS, mxREAL); }

mxArray* mxCreateLogicalScalar(mxLogical value) {
    mxArray* array = create_dense(1, 1, mxLOGICAL_CLASS, mxREAL);
    *mxGetLogicals(array) = value;
    return array;
}

mxArray* mxCreateString(const char* text) {
    const std::size_t length = text ? std::strlen(text) : 0;
    mxArray* array = create_dense(length ? 1 : 0, length, mxCHAR_CLASS, mxREAL);
    mxChar* chars = mxGetChars(array);
    for (std::size_t i = 0; i < length; ++i) chars[i] = static_cast<unsigned char>(text[i]);
    return array;
}

mxArray* mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity complexity) {
    auto* array = new mxArray;
    array->class_id = mxDOUBLE_CLASS;
    array->m = m;
    array->n = n;
    array->sparse = true;
    array->complex = complexity == mxCOMPLEX;
    array->nzmax = nzmax ? nzmax : 1;
    array->allocate();
    array->ir.assign(array->nzmax, 0);
    array->jc.assign(n + 1, 0);
    return array;
}

mxArray* mxDuplicateArray(const mxArray* array) { return array ? new mxArray(*array) : nullptr; }

void mxDestroyArray(mxArray* array) { delete array; }

mxClassID mxGetClassID(const mxArray* array) { return array->class_id; }

const char* mxGetClassName(const mxArray* array) {
    switch (array->class_id) {
        case mxCELL_CLASS: return "cell";
        case mxSTRUCT_CLASS: return "struct";
        case mxLOGICAL_CLASS: return "logical";
        case mxCHAR_CLASS: return "char";
        case mxDOUBLE_CLASS: return "double";
        case mxSINGLE_CLASS: return "single";
        case mxINT8_CLASS: return "int8";
        case mxUINT8_CLASS: return "uint8";
        case mxINT16_CLASS: return "int16";
        case mxUINT16_CLASS: return "uint16";
        case mxINT32_CLASS: return "int32";
        case mxUINT32_CLASS: return "uint32";
        case mxINT64_CLASS: return "int64";
        case mxUINT64_CLASS: return "uint64";
        case mxFUNCTION_CLASS: return "function_handle";
        default: return "unknown";
    }
}

size_t mxGetM(const mxArray* array) { return array->m; }
size_t mxGetN(const mxArray* array) { return array->n; }
size_t mxGetNumberOfElements(const mxArray* array) { return array->m * array->n; }
size_t mxGetElementSize(const mxArray* array) { return element_size(array->class_id); }

bool mxIsNumeric(const mxArray* array) {
    return array->class_id >= mxDOUBLE_CLASS && array->class_id <= mxUINT64_CLASS;
}
bool mxIsLogical(const mxArray* array) { return array->class_id == mxLOGICAL_CLASS; }
bool mxIsChar(const mxArray* array) { return array->class_id == mxCHAR_CLASS; }
bool mxIsEmpty(const mxArray* array) { return array->m == 0 || array->n == 0; }
bool mxIsSparse(const mxArray* array) { return array->sparse; }
bool mxIsComplex(const mxArray* array) { return array->complex; }
bool mxIsDouble(const mxArray* array) { return array->class_id == mxDOUBLE_CLASS; }
bool mxIsSingle(const mxArray* array) { return array->class_id == mxSINGLE_CLASS; }
bool mxIsInt32(const mxArray* array) { return array->class_id == mxINT32_CLASS; }

double* mxGetPr(const mxArray* array) {
    return array->class_id == mxDOUBLE_CLASS ? static_cast<double*>(data_or_null(array->real)) : nullptr;
}
double* mxGetPi(const mxArray* array) {
    return array->class_id == mxDOUBLE_CLASS ? static_cast<double*>(data_or_null(array->imag)) : nullptr;
}
void* mxGetData(const mxArray* array) { return data_or_null(array->real); }
void* mxGetImagData(const mxArray* array) { return data_or_null(array->imag); }

double mxGetScalar(const mxArray* array) {
    if (array->stored_elements() == 0) return 0.0;
    const void* data = array->real.data();
    switch (array->class_id) {
        case mxDOUBLE_CLASS: return *static_cast<const double*>(data);
        case mxSINGLE_CLASS: return *static_cast<const float*>(data);
        case mxINT8_CLASS: return *static_cast<const signed char*>(data);
        case mxUINT8_CLASS: return *static_cast<const unsigned char*>(data);
        case mxINT16_CLASS: return *static_cast<const short*>(data);
        case mxUINT16_CLASS: case mxCHAR_CLASS: return *static_cast<const unsigned short*>(data);
        case mxINT32_CLASS: return *static_cast<const int*>(data);
        case mxUINT32_CLASS: return *static_cast<const unsigned*>(data);
        case mxINT64_CLASS: return static_cast<double>(*static_cast<const long long*>(data));
        case mxUINT64_CLASS: return static_cast<double>(*static_cast<const unsigned long long*>(data));
        case mxLOGICAL_CLASS: return *static_cast<const mxLogical*>(data) ? 1.0 : 0.0;
        default: return 0.0;
    }
}

mxLogical* mxGetLogicals(const mxArray* array) {
    return array->class_id == mxLOGICAL_CLASS ? static_cast<mxLogical*>(data_or_null(array->real)) : nullptr;
}
mxChar* mxGetChars(const mxArray* array) {
    return array->class_id == mxCHAR_CLASS ? static_cast<mxChar*>(data_or_null(array->real)) : nullptr;
}
mwIndex* mxGetIr(const mxArray* array) {
    return array->sparse ? const_cast<mwIndex*>(array->ir.data()) : nullptr;
}
mwIndex* mxGetJc(const mxArray* array) {
    return array->sparse ? const_cast<mwIndex*>(array->jc.data()) : nullptr;
}
mwSize mxGetNzmax(const mxArray* array) { return array->sparse ? array->nzmax : array->m * array->n; }

void* mxCalloc(size_t n, size_t size) { return std::calloc(n ? n : 1, size ? size : 1); }
void* mxMalloc(size_t size) { return std::malloc(size ? size : 1); }
void mxFree(void* pointer) { std::free(pointer); }

}  // extern "C"

long mexrt::live_arrays() { return live_array_count.load(); }
