// A folder of this harness process's own for the files a harness hands to
// a reader that takes paths (tables, sweep files, shards), holding copies of
// the example models so that seeds naming them resolve.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzzing {

inline const std::filesystem::path& scratch_folder() {
    static const std::filesystem::path folder = [] {
        const auto made = std::filesystem::temp_directory_path() / ("blocksim-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(made);
        for (const auto& item : std::filesystem::directory_iterator(BLOCKS_EXAMPLES_DIR))
            if (item.is_regular_file())
                std::filesystem::copy_file(item.path(), made / item.path().filename(),
                                           std::filesystem::copy_options::overwrite_existing);
        return made;
    }();
    // Registered once the folder's name exists, so that it is removed before that name is destroyed.
    static const bool removed_at_exit = std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(scratch_folder(), ignored);
    }) == 0;
    static_cast<void>(removed_at_exit);
    return folder;
}

// Writes `bytes` to NAME in the scratch folder; aborts when it cannot, since
// the harness would otherwise test nothing.
inline std::filesystem::path scratch_file(const std::string& name, const std::string& bytes) {
    const auto file = scratch_folder() / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) std::abort();
    return file;
}

// A failure must say what failed.
inline void check_message(const std::string& message) {
    if (message.empty()) std::abort();
}

}  // namespace fuzzing
