// Where blocksim looks for block libraries.
#pragma once

#include <filesystem>
#include <vector>

namespace blocksim {

// The --path folders (each must exist), then $BLOCKSIM_PATH, the installed
// library folder next to this program, and the build's block folder.
std::vector<std::filesystem::path> library_search_path(const std::vector<std::filesystem::path>& path_options);

}  // namespace blocksim
