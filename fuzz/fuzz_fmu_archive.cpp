// The FMU archive reader over any bytes, with small limits. Asserted: it
// fails only with the host's errors, naming the archive, and leaves nothing
// behind; what it unpacks stays inside its folder, holds no link and keeps
// within the limits; the folder is gone once the archive is closed.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/fmu/archive.hpp"
#include "scratch.hpp"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path file =
        fuzzing::scratch_file("archive.fmu", std::string(reinterpret_cast<const char*>(data), size));
    static const fs::path temporary = [] {
        const fs::path folder = fuzzing::scratch_folder() / "unpacked";
        fs::create_directories(folder);
        setenv("TMPDIR", folder.c_str(), 1);
        return folder;
    }();
    const host::ArchiveLimits limits{1'000'000, 100};
    fs::path folder;
    try {
        const host::UnpackedFmu unpacked(file, limits);
        folder = unpacked.folder();
        if (folder.parent_path() != temporary) std::abort();
        std::uintmax_t bytes = 0, entries = 0;
        for (const auto& item : fs::recursive_directory_iterator(folder)) {
            if (item.is_symlink()) std::abort();
            if (item.is_regular_file()) bytes += item.file_size();
            ++entries;
            const fs::path relative = fs::relative(item.path(), folder);
            if (relative.empty() || *relative.begin() == "..") std::abort();
        }
        if (bytes > limits.most_bytes) std::abort();
    } catch (const host::FmuError& error) {
        if (std::string(error.what()).rfind(file.string() + ": ", 0) != 0) std::abort();
    }
    if (!fs::is_empty(temporary)) std::abort();
    return 0;
}
