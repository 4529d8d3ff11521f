#include "search_path.hpp"

#include <cstdlib>
#include <sstream>
#include <string>
#include <system_error>

#include "host/common/errors.hpp"

namespace blocksim {

namespace {

// An installed blocksim is PREFIX/bin/blocksim, its libraries in PREFIX/lib/engine-blocks.
std::filesystem::path installed_library_folder() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return (program.parent_path() / BLOCKS_INSTALLED_LIBRARY_DIR).lexically_normal();
}

}  // namespace

std::vector<std::filesystem::path> library_search_path(const std::vector<std::filesystem::path>& path_options) {
    std::vector<std::filesystem::path> path;
    for (const auto& folder : path_options) {
        std::error_code error;
        if (!std::filesystem::is_directory(folder, error))
            throw host::HostError("--path " + folder.string() + ": no such folder");
        path.push_back(folder);
    }
    if (const char* environment = std::getenv("BLOCKSIM_PATH")) {
        std::stringstream folders(environment);
        std::string folder;
        while (std::getline(folders, folder, ':'))
            if (!folder.empty()) path.emplace_back(folder);
    }
    if (const auto installed = installed_library_folder(); !installed.empty()) path.push_back(installed);
    path.emplace_back(BLOCKS_LIBRARY_DIR);
    return path;
}

void complete_search_path(host::ModelSpec& spec, const std::vector<std::filesystem::path>& path_options) {
    auto path = library_search_path(path_options);
    path.insert(path.begin() + static_cast<long>(path_options.size()), spec.search_path.begin(),
                spec.search_path.end());
    spec.search_path = path;
}

}  // namespace blocksim
