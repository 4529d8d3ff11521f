// MEX services of the stand-in MEX library: errors, printing, the call's name.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "mex.h"
#include "mex_runtime.hpp"

namespace {

thread_local std::string current_function_name;

std::string format_message(const char* format, std::va_list arguments) {
    std::va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace

mexrt::FunctionNameScope::FunctionNameScope(const std::string& name) : previous_(current_function_name) {
    current_function_name = name;
}

mexrt::FunctionNameScope::~FunctionNameScope() { current_function_name = previous_; }

extern "C" {

void mexErrMsgTxt(const char* message) { throw mexrt::MexError("", message ? message : ""); }

void mexErrMsgIdAndTxt(const char* identifier, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::string message = format_message(format, arguments);
    va_end(arguments);
    throw mexrt::MexError(identifier ? identifier : "", message);
}

void mexWarnMsgTxt(const char* message) { std::fprintf(stderr, "Warning: %s\n", message); }

int mexPrintf(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const int written = std::vprintf(format, arguments);
    va_end(arguments);
    return written;
}

const char* mexFunctionName(void) { return current_function_name.c_str(); }

}  // extern "C"
