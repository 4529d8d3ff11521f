#include "host/sfunction/arrays.hpp"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace host {

namespace {
template <typename T>
ArrayPtr make_numeric(const std::vector<T>& values, mxClassID class_id) {
    ArrayPtr array(mxCreateNumericMatrix(values.empty() ? 0 : 1, values.size(), class_id, mxREAL));
    if (!values.empty()) std::memcpy(mxGetData(array.get()), values.data(), values.size() * sizeof(T));
    return array;
}
}  // namespace

ArrayPtr make_double(const std::vector<double>& values) { return make_numeric(values, mxDOUBLE_CLASS); }
ArrayPtr make_double_scalar(double value) { return ArrayPtr(mxCreateDoubleScalar(value)); }
ArrayPtr make_empty() { return ArrayPtr(mxCreateDoubleMatrix(0, 0, mxREAL)); }
ArrayPtr make_single(const std::vector<float>& values) { return make_numeric(values, mxSINGLE_CLASS); }
ArrayPtr make_int32(const std::vector<std::int32_t>& values) { return make_numeric(values, mxINT32_CLASS); }

ArrayPtr make_logical(const std::vector<bool>& values) {
    ArrayPtr array(mxCreateLogicalMatrix(values.empty() ? 0 : 1, values.size()));
    mxLogical* data = mxGetLogicals(array.get());
    for (std::size_t i = 0; i < values.size(); ++i) data[i] = values[i];
    return array;
}

ArrayPtr make_complex(const std::vector<std::complex<double>>& values) {
    ArrayPtr array(mxCreateDoubleMatrix(values.empty() ? 0 : 1, values.size(), mxCOMPLEX));
    for (std::size_t i = 0; i < values.size(); ++i) {
        mxGetPr(array.get())[i] = values[i].real();
        mxGetPi(array.get())[i] = values[i].imag();
    }
    return array;
}

ArrayPtr make_sparse(const std::vector<double>& values) {
    const std::size_t n = values.size();
    ArrayPtr array(mxCreateSparse(n ? 1 : 0, n, n, mxREAL));
    double* pr = mxGetPr(array.get());
    mwIndex* ir = mxGetIr(array.get());
    mwIndex* jc = mxGetJc(array.get());
    for (std::size_t j = 0; j < n; ++j) {
        pr[j] = values[j];
        ir[j] = 0;
        jc[j] = j;
    }
    jc[n] = n;
    return array;
}

ArrayPtr make_char(const std::string& text) { return ArrayPtr(mxCreateString(text.c_str())); }

ArrayPtr duplicate(const mxArray* array) { return ArrayPtr(mxDuplicateArray(array)); }

std::string describe(const mxArray* array) {
    std::ostringstream text;
    text << (mxIsSparse(array) ? "sparse " : "") << (mxIsComplex(array) ? "complex " : "")
         << mxGetClassName(array) << ' ' << mxGetM(array) << 'x' << mxGetN(array);
    if (mxIsChar(array)) {
        text << " '";
        const mxChar* chars = mxGetChars(array);
        for (std::size_t i = 0; i < mxGetNumberOfElements(array); ++i) text << static_cast<char>(chars[i]);
        text << '\'';
    } else if (mxIsNumeric(array) || mxIsLogical(array)) {
        const std::size_t shown = mxIsSparse(array) ? 0 : std::min<std::size_t>(mxGetNumberOfElements(array), 8);
        if (shown) {
            text << " [";
            for (std::size_t i = 0; i < shown; ++i) {
                text << (i ? " " : "");
                if (mxIsDouble(array)) text << mxGetPr(array)[i];
                else if (mxIsLogical(array)) text << (mxGetLogicals(array)[i] ? "true" : "false");
                else if (mxIsSingle(array)) text << static_cast<const float*>(mxGetData(array))[i];
                else if (mxIsInt32(array)) text << static_cast<const std::int32_t*>(mxGetData(array))[i];
                else text << '?';
            }
            text << (shown < mxGetNumberOfElements(array) ? " ...]" : "]");
        }
    }
    return text.str();
}

}  // namespace host
