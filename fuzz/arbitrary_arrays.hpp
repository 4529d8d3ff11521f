// MATLAB arrays of any class the matrix library makes, any size up to 4-by-4
// and either complexity, built from a fuzzer's bytes.
//
// Layout: a class byte, then (except for char) a size byte, m = low nibble
// % 5 and n = high nibble % 5; then the elements. Double, single, integer
// and logical data come from raw bytes (an imaginary part follows when the
// class byte's bit 4 is set); a sparse double stores its m*n elements in
// column order; char data is up to 8 bytes of text.
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
    const mxClassID class_id = numeric_classes[selector % 10];
    // Double is the class the blocks take: make it the most common.
    const mxClassID chosen = selector >= 13 ? mxDOUBLE_CLASS : class_id;
    mxArray* array = mxCreateNumericMatrix(m, n, chosen, complex ? mxCOMPLEX : mxREAL);
    const std::size_t bytes = m * n * mxGetElementSize(array);
    in.fill(mxGetData(array), bytes);
    if (complex) in.fill(mxGetImagData(array), bytes);
    return array;
}

}  // namespace fuzzing
