#include "commands/search_path.hpp"

#include <cstdlib>
#include <sstream>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "host/common/errors.hpp"

namespace blocksim {

namespace {

// An installed blocksim is PREFIX/bin/blocksim, its libraries in
// PREFIX/lib/engine-blocks; run from a build (BUILD/tools/blocksim, or a
// test program in BUILD/tests), the build's blocks are in BUILD/blocks.
// Found from the program's own place, so that no build's path is written
// into an installed blocksim.
std::vector<std::filesystem::path> own_library_folders() {
    std::error_code error;
    const auto program = this_program(error);
    if (error) return {};
    const auto folder = program.parent_path();
    std::vector<std::filesystem::path> folders{(folder / BLOCKS_INSTALLED_LIBRARY_DIR).lexically_normal()};
    if (std::filesystem::exists(folder.parent_path() / "CMakeCache.txt", error))
        folders.push_back(folder.parent_path() / "blocks");
    return folders;
}

}  // namespace

std::filesystem::path this_program(std::error_code& error) {
#ifdef _WIN32
    std::wstring name(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0 || length == name.size()) error = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
    name.resize(length);
    return name;
#else
    return std::filesystem::read_symlink("/proc/self/exe", error);
#endif
}

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
#ifdef _WIN32
        constexpr char separator = ';';  // as in PATH: a Windows path holds ':'
#else
        constexpr char separator = ':';
#endif
        while (std::getline(folders, folder, separator))
            if (!folder.empty()) path.emplace_back(folder);
    }
    for (const auto& folder : own_library_folders()) path.push_back(folder);
    return path;
}

void complete_search_path(host::ModelSpec& spec, const std::vector<std::filesystem::path>& path_options) {
    auto path = library_search_path(path_options);
    path.insert(path.begin() + static_cast<long>(path_options.size()), spec.search_path.begin(),
                spec.search_path.end());
    spec.search_path = path;
}

}  // namespace blocksim
