// The failures of a block's calls, and the label that starts the host's
// messages about a block.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "host/common/errors.hpp"

namespace host {

// A failure reported by the MEX file itself through mexErrMsgTxt.
class MexCallError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "block 'NAME' (KIND)": KIND is "S-function 'blower'" or a built-in type.
std::string block_label(const std::string& name, const std::string& kind);
std::string sfunction_kind(const std::string& sfunction);  // "S-function 'blower'"

// A block's own error status, or a MEX error raised by one of its methods:
// "block 'fan' (S-function 'blower') failed in mdlOutputs at t = 2: ...".
class BlockError : public std::runtime_error {
public:
    BlockError(std::string block, std::string sfunction, std::string method, std::optional<double> time,
               std::string message);
    const std::string& block() const { return block_; }
    const std::string& sfunction() const { return sfunction_; }
    const std::string& method() const { return method_; }
    const std::optional<double>& time() const { return time_; }
    const std::string& message() const { return message_; }

private:
    std::string block_, sfunction_, method_;
    std::optional<double> time_;
    std::string message_;
};

}  // namespace host
