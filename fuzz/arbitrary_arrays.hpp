// MATLAB arrays of any class the matrix library makes, any size up to 4-by-4
// and either complexity, built from a fuzzer's bytes.
//
// Layout: a class byte, whose low four bits choose the class (0 to 9 double,
// single, int8, uint8, int16, uint16, int32, uint32, int64, uint64; 10
// logical; 11 sparse double; 12 char; 13 to 15 double again) and whose bit 4
// makes a numeric or sparse array complex. Then, except for char, a size
// byte: m = low nibble % 5, n = high nibble % 5. Then the elements: raw bytes
// for dense data (the imaginary part after the real one), m*n doubles in
// column order for sparse, and for char a length byte (% 9) and the text.
#pragma once

#include <cstring>

#include "fuzz_input.hpp"
#include "matrix.h"

namespace fuzzing {

inline mxArray* arbitrary_array(FuzzInput& in) {
    static const mxClassID numeric_classes[] = {mxDOUBLE_CLASS, mxSINGLE_CLASS, mxINT8_CLASS,  mxUINT8_CLASS,
                                                mxINT16_CLASS,  mxUINT16_CLASS, mxINT32_CLASS, mxUINT32_CLASS,
                                                mxINT64_CLASS,  mxUINT64_CLASS};
    const std::uint8_t kind = in.byte();
    const bool complex = (kind & 0x10) != 0;
    const std::uint8_t selector = kind & 0x0f;
    if (selector == 12) {
        char text[9] = {};
        in.fill(text, in.count(8));
        return mxCreateString(text);
    }
    const std::uint8_t shape = in.byte();
    const mwSize m = (shape & 0x0f) % 5, n = (shape >> 4) % 5;
    if (selector == 10) {
        mxArray* array = mxCreateLogicalMatrix(m, n);
        in.fill(mxGetLogicals(array), m * n * sizeof(mxLogical));
        return array;
    }
    if (selector == 11) {
        const mwSize stored = m * n;
        mxArray* array = mxCreateSparse(m, n, stored > 0 ? stored : 1, complex ? mxCOMPLEX : mxREAL);
        mwIndex* rows = mxGetIr(array);
        mwIndex* columns = mxGetJc(array);
        for (mwSize j = 0; j <= n; ++j) columns[j] = j * m;
        for (mwSize k = 0; k < stored; ++k) {
            rows[k] = k % m;
            mxGetPr(array)[k] = in.number();
            if (complex) mxGetPi(array)[k] = in.number();
        }
        return array;
    }
    // Selectors 13 to 15 give double as well: the class the blocks take is the most common.
    const mxClassID class_id = selector < 10 ? numeric_classes[selector] : mxDOUBLE_CLASS;
    mxArray* array = mxCreateNumericMatrix(m, n, class_id, complex ? mxCOMPLEX : mxREAL);
    const std::size_t bytes = m * n * mxGetElementSize(array);
    in.fill(mxGetData(array), bytes);
    if (complex) in.fill(mxGetImagData(array), bytes);
    return array;
}

}  // namespace fuzzing
