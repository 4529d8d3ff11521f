// blocksim's commands. Each returns the exit status; a user's mistake on
// the command line is a UsageError (status 2), anything else that goes
// wrong a std::exception with a message (status 1).
#pragma once

#include <stdexcept>
#include <string>

#include "commands/options.hpp"

namespace blocksim {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int run_command(const RunOptions& options);
int info_command(const InfoOptions& options);
int sweep_command(const SweepOptions& options);
int export_command(const ExportOptions& options);  // where the build has FMUs (BLOCKSIM_EXPORT)

}  // namespace blocksim
