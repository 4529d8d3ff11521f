// An FMU's zip archive, unpacked into a private temporary folder that lives
// as long as the UnpackedFmu. Nothing in the archive is trusted: an entry
// whose name is absolute or climbs out with "..", a link, more entries or
// more bytes than the limits, and an archive that does not read to its end
// are refused before anything of it is used.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "host/common/errors.hpp"

namespace host {

// An FMU that cannot be used: its archive, its description, its binary or
// one of its calls. The message names the FMU (and the block, where known).
class FmuError : public HostError {
public:
    using HostError::HostError;
};

struct ArchiveLimits {
    std::uint64_t most_bytes = 1'000'000'000;  // uncompressed, all entries together
    std::uint64_t most_entries = 10'000;
};

class UnpackedFmu {
public:
    // Unpacks `archive` into a new folder under the system's temporary
    // folder (TMPDIR), readable by this user only. Throws FmuError, having
    // removed the folder, on an archive it refuses or cannot read. The
    // folder is listed for remove_scratch_folders_now while it exists.
    explicit UnpackedFmu(const std::filesystem::path& archive, const ArchiveLimits& limits = {});
    ~UnpackedFmu();  // removes the folder and all in it
    UnpackedFmu(const UnpackedFmu&) = delete;
    UnpackedFmu& operator=(const UnpackedFmu&) = delete;

    const std::filesystem::path& archive() const { return archive_; }
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path archive_, folder_;
};

// What is wrong with an entry's name ("is absolute", "climbs out of the
// archive's folder with ..."), or "" for a name that stays inside.
std::string entry_name_problem(const std::string& name);

}  // namespace host
