// Owned MEX arrays, for dialog parameters and command-line arguments.
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "matrix.h"

namespace host {

struct ArrayDeleter {
    void operator()(mxArray* array) const { mxDestroyArray(array); }
};
using ArrayPtr = std::unique_ptr<mxArray, ArrayDeleter>;

ArrayPtr make_double(const std::vector<double>& values);  // 1-by-n row; {} gives 0-by-0
ArrayPtr make_double_scalar(double value);
ArrayPtr make_empty();                                     // 0-by-0 double
ArrayPtr make_single(const std::vector<float>& values);
ArrayPtr make_int32(const std::vector<std::int32_t>& values);
ArrayPtr make_logical(const std::vector<bool>& values);
ArrayPtr make_complex(const std::vector<std::complex<double>>& values);
ArrayPtr make_sparse(const std::vector<double>& values);  // 1-by-n sparse double, all entries stored
ArrayPtr make_char(const std::string& text);
ArrayPtr duplicate(const mxArray* array);

// "double 1x3 [0.7 2 0.5]", for messages and listings.
std::string describe(const mxArray* array);

}  // namespace host
