// Where blocksim looks for block libraries.
#pragma once

#include <filesystem>
#include <system_error>
#include <vector>

#include "host/model/model.hpp"

namespace blocksim {

// This program's own file: /proc/self/exe, or on Windows GetModuleFileNameW.
std::filesystem::path this_program(std::error_code& error);

// The --path folders (each must exist), then $BLOCKSIM_PATH, the installed
// library folder next to this program, and the build's block folder.
std::vector<std::filesystem::path> library_search_path(const std::vector<std::filesystem::path>& path_options);

// The model's search path as a run uses it: the --path folders first, then
// the model's own, then the defaults above.
void complete_search_path(host::ModelSpec& spec, const std::vector<std::filesystem::path>& path_options);

}  // namespace blocksim
