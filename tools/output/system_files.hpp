// The few file operations OutputFile needs from the system, one version for
// POSIX (output_file_posix.cpp) and one for Windows (output_file_windows.cpp).
// Each returns "" when it worked and the system's reason when it did not.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "host/common/errors.hpp"

namespace blocksim::system_files {

// A device or anything else that exists and is not a regular file
// (/dev/stdout, a pipe, NUL): written in place, there is no file to replace.
bool is_device(const std::filesystem::path& target);

std::string open_in_place(const std::filesystem::path& target, int& descriptor);
// A new file beside `target`, never an existing one nor one through a link,
// with the permissions a new file gets or those of the file it replaces.
// `made` names it as soon as it exists.
std::string open_temporary(const std::filesystem::path& target, int& descriptor, std::filesystem::path& made);
std::string write_some(int descriptor, const char* bytes, std::size_t size, std::size_t& wrote);
// A file system may report a full disk or a lost server only here.
std::string sync(int descriptor);
std::string close(int descriptor);
void remove(const std::filesystem::path& file);
// `from` takes the name `to` in one step, replacing the file there.
std::string replace(const std::filesystem::path& from, const std::filesystem::path& to);

// For OutputLock: the hidden ".NAME.lock" beside an output, and the error
// when another process holds it (`owner`: what the lock file holds, its pid).
std::filesystem::path lock_file(const std::filesystem::path& output);
host::HostError lock_held(const std::filesystem::path& output, const std::string& owner);

}  // namespace blocksim::system_files
