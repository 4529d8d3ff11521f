// The Windows side of OutputFile (see system_files.hpp) and OutputLock: the
// C runtime's file descriptors for the bytes, a temporary file made with
// _O_EXCL, MoveFileExW to replace the target in one step, LockFileEx for
// the lock.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <string>

#include "output/output_file.hpp"
#include "output/system_files.hpp"

namespace blocksim {

namespace {

std::string errno_text() { return std::strerror(errno); }

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

}  // namespace

namespace system_files {

bool is_device(const std::filesystem::path& target) {
    std::wstring name = target.filename().wstring();
    for (auto& c : name) c = static_cast<wchar_t>(std::towupper(c));
    if (name == L"NUL" || name == L"CON") return true;
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_directory(status);
}

std::string open_in_place(const std::filesystem::path& target, int& descriptor) {
    descriptor = ::_wopen(target.c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY | _O_NOINHERIT);
    return descriptor < 0 ? errno_text() : "";
}

// .NAME.PID-N beside the target, N counting the process's temporary files;
// a name left by an ended process of the same id is passed over. The new
// file takes the folder's permissions, as every new file on Windows does.
std::string open_temporary(const std::filesystem::path& target, int& descriptor, std::filesystem::path& made) {
    const auto folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    static unsigned counter = 0;
    constexpr int attempts = 100;
    for (int i = 0; i < attempts; ++i) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%x-%x", static_cast<unsigned>(::_getpid()), ++counter);
        const auto name = folder / ("." + target.filename().string() + "." + suffix);
        descriptor = ::_wopen(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                              _S_IREAD | _S_IWRITE);
        if (descriptor >= 0) {
            made = name;
            return "";
        }
        if (errno != EEXIST) return errno_text();
    }
    return "no free temporary name beside it";
}

std::string write_some(int descriptor, const char* bytes, std::size_t size, std::size_t& wrote) {
    const auto chunk = static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30));
    const int written = ::_write(descriptor, bytes, chunk);
    if (written < 0) return errno_text();
    wrote = static_cast<std::size_t>(written);
    return "";
}

std::string sync(int descriptor) { return ::_commit(descriptor) != 0 ? errno_text() : ""; }

std::string close(int descriptor) { return ::_close(descriptor) != 0 ? errno_text() : ""; }

void remove(const std::filesystem::path& file) { ::_wunlink(file.c_str()); }

std::string replace(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? ""
               : last_error_text();
}

}  // namespace system_files

OutputLock::OutputLock(const std::filesystem::path& output) {
    const auto lock = system_files::lock_file(output);
    descriptor_ = ::_wopen(lock.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (descriptor_ < 0)
        throw host::HostError("cannot lock " + output.string() + " (" + lock.string() + "): " + errno_text());
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor_));
    // The lock is on a byte far beyond the process id that the file holds,
    // so that a second process can still read who holds it.
    OVERLAPPED far_byte{};
    far_byte.Offset = 0xfffffff0u;
    if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &far_byte)) {
        const bool held = ::GetLastError() == ERROR_LOCK_VIOLATION;
        const std::string reason = last_error_text();
        char owner[32] = {};
        const int got = ::_read(descriptor_, owner, sizeof owner - 1);
        ::_close(descriptor_);
        descriptor_ = -1;
        if (!held) throw host::HostError("cannot lock " + output.string() + " (" + lock.string() + "): " + reason);
        throw system_files::lock_held(output, got > 0 ? std::string(owner, static_cast<std::size_t>(got)) : "");
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
