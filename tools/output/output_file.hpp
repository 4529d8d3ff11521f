// A file blocksim writes. Its bytes go to a temporary file beside it, made
// without following links, which takes the file's name only once it is
// complete: written, flushed to the disk and closed. So a run that fails,
// is interrupted or is killed never leaves a cut-short file under that name,
// and a previous complete file stays until a new complete one replaces it.
// Every write is checked; a failure throws a HostError naming the file and
// the system's reason ("cannot write out/e.csv: No space left on device").
//
// A name that is not a regular file (a device such as /dev/null, a pipe;
// NUL on Windows) is written in place: there is no file to replace.
// (system_files.hpp: what it asks of each system.)
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace blocksim {

class OutputFile {
public:
    // Makes the file's folder when missing and opens the temporary file.
    explicit OutputFile(std::filesystem::path target);
    // Removes the temporary file unless it was committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);
    // Flushes and closes the file, then gives it the target's name.
    void commit();
    // The same under another name in the target's folder (a run's partial
    // rows); returns where the bytes now are.
    std::filesystem::path commit_as(const std::filesystem::path& name);

    const std::filesystem::path& target() const { return target_; }
    // Whether a write failed: the file is gone and takes no more.
    bool failed() const { return failed_; }
    // Where the bytes are while the file is open: the temporary file, or the
    // target when it is written in place. Readable once flush() returned.
    const std::filesystem::path& path() const { return path_; }
    void flush();

private:
    // Bytes gathered before they go to the file.
    static constexpr std::size_t buffer_bytes = 1 << 20;

    [[noreturn]] void fail(const std::string& reason);
    void close_checked();

    std::filesystem::path target_, path_;
    std::string buffer_;
    int descriptor_ = -1;
    bool in_place_ = false, done_ = false, failed_ = false;
};

// An advisory lock on an output, held for the object's lifetime: an
// flock (on Windows a LockFileEx) on a hidden ".NAME.lock" beside it,
// holding the owner's process id, so that two blocksim processes never write
// one summary at once. Worker processes forked while it is held share it.
class OutputLock {
public:
    // Throws HostError, naming the process that holds it, when another does.
    explicit OutputLock(const std::filesystem::path& output);
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

private:
    int descriptor_ = -1;
};

// `file` with `tag` before its extension: e.csv, "partial" -> e.partial.csv.
std::filesystem::path tagged_name(const std::filesystem::path& file, const std::string& tag);

// Writes `bytes` as the whole of `file`, through an OutputFile.
void write_whole_file(const std::filesystem::path& file, std::string_view bytes);

}  // namespace blocksim
