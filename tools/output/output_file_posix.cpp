// The POSIX side of OutputFile (see system_files.hpp) and OutputLock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "output/output_file.hpp"
#include "output/system_files.hpp"

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

std::string errno_text() { return std::strerror(errno); }

}  // namespace

namespace system_files {

// Devices reached through a link (/dev/stdout, /proc/self/fd/1) count too.
bool is_device(const std::filesystem::path& target) {
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status))
        return true;
    const std::string absolute = std::filesystem::absolute(target, error).lexically_normal().string();
    return absolute.rfind("/dev/", 0) == 0 || absolute.rfind("/proc/", 0) == 0;
}

std::string open_in_place(const std::filesystem::path& target, int& descriptor) {
    descriptor = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
    return descriptor < 0 ? errno_text() : "";
}

std::string open_temporary(const std::filesystem::path& target, int& descriptor, std::filesystem::path& made) {
    const auto folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    // mkstemp opens with O_CREAT | O_EXCL: never through a link, never an existing file.
    std::string name = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    descriptor = ::mkstemp(buffer.data());
    if (descriptor < 0) return errno_text();
    made = buffer.data();
    struct stat existing {};
    const bool replaces = ::lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    const mode_t mode = replaces ? existing.st_mode & 07777 : 0666 & ~process_umask();
    return ::fchmod(descriptor, mode) != 0 ? errno_text() : "";
}

std::string write_some(int descriptor, const char* bytes, std::size_t size, std::size_t& wrote) {
    for (;;) {
        const ssize_t written = ::write(descriptor, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno_text();
        wrote = static_cast<std::size_t>(written);
        return "";
    }
}

std::string sync(int descriptor) { return ::fsync(descriptor) != 0 ? errno_text() : ""; }

std::string close(int descriptor) { return ::close(descriptor) != 0 && errno != EINTR ? errno_text() : ""; }

void remove(const std::filesystem::path& file) { ::unlink(file.c_str()); }

std::string replace(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) != 0 ? errno_text() : "";
}

}  // namespace system_files

OutputLock::OutputLock(const std::filesystem::path& output) {
    const auto lock = system_files::lock_file(output);
    descriptor_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666 & ~process_umask());
    if (descriptor_ < 0)
        throw host::HostError("cannot lock " + output.string() + " (" + lock.string() + "): " + errno_text());
    if (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        char owner[32] = {};
        const ssize_t got = ::pread(descriptor_, owner, sizeof owner - 1, 0);
        ::close(descriptor_);
        descriptor_ = -1;
        if (reason != EWOULDBLOCK)
            throw host::HostError("cannot lock " + output.string() + " (" + lock.string() + "): " + std::strerror(reason));
        throw system_files::lock_held(output, got > 0 ? std::string(owner, static_cast<std::size_t>(got)) : "");
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
