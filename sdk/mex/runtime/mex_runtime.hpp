// The host's side of the stand-in MEX library: what a program that calls
// MEX files needs beyond the API the MEX files themselves use.
#pragma once

#include <stdexcept>
#include <string>

namespace mexrt {

// Thrown by mexErrMsgTxt and mexErrMsgIdAndTxt; caught by the caller of mexFunction.
class MexError : public std::runtime_error {
public:
    MexError(std::string identifier, const std::string& message)
        : std::runtime_error(message), identifier_(std::move(identifier)) {}
    const std::string& identifier() const { return identifier_; }

private:
    std::string identifier_;
};

// Sets what mexFunctionName() returns for the calls that follow, and restores
// the previous name when it goes out of scope.
class FunctionNameScope {
public:
    explicit FunctionNameScope(const std::string& name);
    ~FunctionNameScope();
    FunctionNameScope(const FunctionNameScope&) = delete;
    FunctionNameScope& operator=(const FunctionNameScope&) = delete;

private:
    std::string previous_;
};

// Number of mxArrays created and not yet destroyed; lets tests find leaks.
long live_arrays();

}  // namespace mexrt
