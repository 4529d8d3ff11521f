#include "host/sfunction/errors.hpp"

#include <iomanip>
#include <sstream>

namespace host {

std::string block_label(const std::string& name, const std::string& kind) {
    return "block '" + name + "' (" + kind + ")";
}

std::string sfunction_kind(const std::string& sfunction) { return "S-function '" + sfunction + "'"; }

namespace {

std::string format_block_error(const std::string& block, const std::string& sfunction, const std::string& method,
                               const std::optional<double>& time, const std::string& message) {
    std::ostringstream text;
    text << block_label(block, sfunction_kind(sfunction)) << " failed in " << method;
    if (time) text << " at t = " << std::setprecision(12) << *time;
    text << ": " << message;
    return text.str();
}

}  // namespace

BlockError::BlockError(std::string block, std::string sfunction, std::string method, std::optional<double> time,
                       std::string message)
    : std::runtime_error(format_block_error(block, sfunction, method, time, message)),
      block_(std::move(block)), sfunction_(std::move(sfunction)), method_(std::move(method)), time_(time),
      message_(std::move(message)) {}

}  // namespace host
