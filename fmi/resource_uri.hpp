// The resources folder an importer names by a file URI.
#pragma once

#include <filesystem>

namespace fmu {

// The folder of a "file:" URI, with its %XX escapes decoded; a drive
// letter (file:///C:/...) starts a Windows path.
std::filesystem::path path_of_uri(const char* uri);

}  // namespace fmu
