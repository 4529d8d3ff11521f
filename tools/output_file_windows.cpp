// The Windows side of OutputFile and OutputLock: the C runtime's file
// descriptors for the bytes, a temporary file made with _O_EXCL, and
// MoveFileExW, which replaces the target in one step, for the commit.
#include "output_file.hpp"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <cwctype>
#include <string>

#include "host/common/errors.hpp"

namespace blocksim {

namespace {

// The system's text for the last Win32 error.
std::string last_error_text() {
    const DWORD code = ::GetLastError();
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

// NUL and CON are devices, written in place; so is anything else that
// exists and is not a regular file.
bool written_in_place(const std::filesystem::path& target) {
    std::wstring name = target.filename().wstring();
    for (auto& c : name) c = static_cast<wchar_t>(std::towupper(c));
    if (name == L"NUL" || name == L"CON") return true;
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_directory(status);
}

// Opens a new file .NAME.XXXXXXXX beside the target, never an existing one.
int open_temporary(const std::filesystem::path& folder, const std::filesystem::path& target,
                   std::filesystem::path& made) {
    static unsigned counter = 0;
    constexpr int attempts = 100;
    for (int i = 0; i < attempts; ++i) {
        const unsigned long long seed = ::GetTickCount64() ^ (static_cast<unsigned long long>(::_getpid()) << 20) ^
                                        (static_cast<unsigned long long>(++counter) << 40);
        char suffix[20];
        std::snprintf(suffix, sizeof suffix, "%08llx", seed & 0xffffffffULL);
        made = folder / ("." + target.filename().string() + "." + suffix);
        const int descriptor = ::_wopen(made.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                        _S_IREAD | _S_IWRITE);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

OutputFile::OutputFile(std::filesystem::path target) : target_(std::move(target)) {
    buffer_.reserve(buffer_bytes);
    std::error_code error;
    if (std::filesystem::is_directory(target_, error)) fail("it is a folder");
    in_place_ = written_in_place(target_);
    if (in_place_) {
        path_ = target_;
        descriptor_ = ::_wopen(target_.c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY | _O_NOINHERIT);
        if (descriptor_ < 0) fail(std::strerror(errno));
        return;
    }
    const auto folder = target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    std::filesystem::create_directories(folder, error);
    if (error) fail(error.message());
    descriptor_ = open_temporary(folder, target_, path_);
    if (descriptor_ < 0) {
        path_.clear();
        fail(std::strerror(errno));
    }
}

OutputFile::~OutputFile() {
    if (done_) return;
    if (descriptor_ >= 0) ::_close(descriptor_);
    if (!in_place_ && !path_.empty()) ::_wunlink(path_.c_str());
}

void OutputFile::fail(const std::string& reason) {
    if (descriptor_ >= 0) ::_close(descriptor_);
    descriptor_ = -1;
    if (!in_place_ && !path_.empty()) ::_wunlink(path_.c_str());
    done_ = failed_ = true;
    throw host::HostError("cannot write " + target_.string() + ": " + reason);
}

void OutputFile::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const std::size_t chunk = std::min<std::size_t>(buffer_.size() - done, 1u << 30);
        const int wrote = ::_write(descriptor_, buffer_.data() + done, static_cast<unsigned>(chunk));
        if (wrote <= 0) fail(wrote < 0 ? std::strerror(errno) : "the system took no bytes");
        done += static_cast<std::size_t>(wrote);
    }
    buffer_.clear();
}

void OutputFile::close_checked() {
    flush();
    // A full disk or a lost share may be reported only here.
    if (!in_place_ && ::_commit(descriptor_) != 0) fail(std::strerror(errno));
    const int closed = ::_close(descriptor_);
    descriptor_ = -1;
    if (closed != 0) fail(std::strerror(errno));
}

std::filesystem::path OutputFile::commit_as(const std::filesystem::path& name) {
    close_checked();
    if (in_place_) {
        done_ = true;
        return target_;
    }
    if (!::MoveFileExW(path_.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const std::string reason = last_error_text();
        ::_wunlink(path_.c_str());
        done_ = true;
        throw host::HostError("cannot write " + name.string() + ": " + reason);
    }
    done_ = true;
    return name;
}

OutputLock::OutputLock(const std::filesystem::path& output) {
    const auto lock = output.parent_path() / ("." + output.filename().string() + ".lock");
    descriptor_ = ::_wopen(lock.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (descriptor_ < 0)
        throw host::HostError("cannot lock " + output.string() + " (" + lock.string() + "): " + std::strerror(errno));
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor_));
    OVERLAPPED whole{};
    // The lock covers a byte far beyond the process id that the file holds,
    // so that a second process can still read who holds it.
    whole.Offset = 0xfffffff0u;
    if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        const bool held = ::GetLastError() == ERROR_LOCK_VIOLATION;
        const std::string reason = last_error_text();
        char owner[32] = {};
        const int got = ::_read(descriptor_, owner, sizeof owner - 1);
        ::_close(descriptor_);
        descriptor_ = -1;
        if (!held) throw host::HostError("cannot lock " + output.string() + " (" + lock.string() + "): " + reason);
        const std::string pid = got > 0 ? std::string(owner, static_cast<std::size_t>(got)) : std::string("unknown");
        throw host::HostError("another blocksim (process " + pid.substr(0, pid.find_first_of("\r\n ")) +
                              ") is writing " + output.string() + "; wait for it to end, or choose another folder with --out");
    }
    const std::string pid = std::to_string(::_getpid()) + "\n";
    const bool noted = ::_chsize(descriptor_, 0) == 0 && ::_lseek(descriptor_, 0, SEEK_SET) == 0 &&
                       ::_write(descriptor_, pid.data(), static_cast<unsigned>(pid.size())) ==
                           static_cast<int>(pid.size());
    static_cast<void>(noted);  // the lock holds without the note; only a second process's message is poorer
}

OutputLock::~OutputLock() {
    if (descriptor_ >= 0) ::_close(descriptor_);
}

}  // namespace blocksim
