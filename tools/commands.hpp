// blocksim's commands. Each returns the exit status; a user's mistake on
// the command line is a UsageError (status 2), anything else that goes
// wrong a std::exception with a message (status 1).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace blocksim {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int run_command(const std::vector<std::string>& args);
int info_command(const std::vector<std::string>& args);
int sweep_command(const std::vector<std::string>& args);

}  // namespace blocksim
