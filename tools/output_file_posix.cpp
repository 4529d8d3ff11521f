// The POSIX side of OutputFile and OutputLock.
#include "output_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "host/common/errors.hpp"

namespace blocksim {

namespace {

mode_t process_umask() {
    static const mode_t mask = [] {
        const mode_t current = ::umask(0);
        ::umask(current);
        return current;
    }();
    return mask;
}

// Devices reached through a link (/dev/stdout, /proc/self/fd/1) are written
// in place, as is anything else that exists and is not a regular file.
bool written_in_place(const std::filesystem::path& target) {
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status))
        return true;
    const std::string absolute = std::filesystem::absolute(target, error).lexically_normal().string();
    return absolute.rfind("/dev/", 0) == 0 || absolute.rfind("/proc/", 0) == 0;
}

}  // namespace

OutputFile::OutputFile(std::filesystem::path target) : target_(std::move(target)) {
    buffer_.reserve(buffer_bytes);
    std::error_code error;
    if (std::filesystem::is_directory(target_, error)) fail("it is a folder");
    in_place_ = written_in_place(target_);
    if (in_place_) {
        path_ = target_;
        descriptor_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
        if (descriptor_ < 0) fail(std::strerror(errno));
        return;
    }
    const auto folder = target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    std::filesystem::create_directories(folder, error);
    if (error) fail(error.message());
    // mkstemp opens with O_CREAT | O_EXCL: never through a link, never an existing file.
    std::string name = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    descriptor_ = ::mkstemp(buffer.data());
    if (descriptor_ < 0) fail(std::strerror(errno));
    path_ = buffer.data();
    // The permissions a newly made file gets, or those of the file it replaces.
    struct stat existing {};
    const bool replaces = ::lstat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    const mode_t mode = replaces ? existing.st_mode & 07777 : 0666 & ~process_umask();
    if (::fchmod(descriptor_, mode) != 0) fail(std::strerror(errno));
}

OutputFile::~OutputFile() {
    if (done_) return;
    if (descriptor_ >= 0) ::close(descriptor_);
    if (!in_place_ && !path_.empty()) ::unlink(path_.c_str());
}

void OutputFile::fail(const std::string& reason) {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
    if (!in_place_ && !path_.empty()) ::unlink(path_.c_str());
    done_ = failed_ = true;
    throw host::HostError("cannot write " + target_.string() + ": " + reason);
}

void OutputFile::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t wrote = ::write(descriptor_, buffer_.data() + done, buffer_.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) fail(wrote < 0 ? std::strerror(errno) : "the system took no bytes");
        done += static_cast<std::size_t>(wrote);
    }
    buffer_.clear();
}

void OutputFile::close_checked() {
    flush();
    // A file system may report a full disk or a lost server only here.
    if (!in_place_ && ::fsync(descriptor_) != 0) fail(std::strerror(errno));
    const int closed = ::close(descriptor_);
    descriptor_ = -1;
    if (closed != 0 && errno != EINTR) fail(std::strerror(errno));
}

std::filesystem::path OutputFile::commit_as(const std::filesystem::path& name) {
    close_checked();
    if (in_place_) {
        done_ = true;
        return target_;
    }
    if (::rename(path_.c_str(), name.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(path_.c_str());
        done_ = true;
        throw host::HostError("cannot write " + name.string() + ": " + reason);
    }
    done_ = true;
    return name;
}

OutputLock::OutputLock(const std::filesystem::path& output) {
    const auto lock = output.parent_path() / ("." + output.filename().string() + ".lock");
    descriptor_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666 & ~process_umask());
    if (descriptor_ < 0)
        throw host::HostError("cannot lock " + output.string() + " (" + lock.string() + "): " + std::strerror(errno));
    if (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        char owner[32] = {};
        const ssize_t got = ::pread(descriptor_, owner, sizeof owner - 1, 0);
        ::close(descriptor_);
        descriptor_ = -1;
        if (reason != EWOULDBLOCK)
            throw host::HostError("cannot lock " + output.string() + " (" + lock.string() + "): " + std::strerror(reason));
        const std::string pid = got > 0 ? std::string(owner, static_cast<std::size_t>(got)) : std::string("unknown");
        throw host::HostError("another blocksim (process " + pid.substr(0, pid.find_first_of("\n ")) + ") is writing " +
                              output.string() + "; wait for it to end, or choose another folder with --out");
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    const bool noted = ::ftruncate(descriptor_, 0) == 0 &&
                       ::pwrite(descriptor_, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
    static_cast<void>(noted);  // the lock holds without the note; only a second process's message is poorer
}

OutputLock::~OutputLock() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

}  // namespace blocksim
