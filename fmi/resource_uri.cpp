#include "fmi/resource_uri.hpp"

#include <cctype>
#include <cstring>
#include <string>

namespace fmu {

std::filesystem::path path_of_uri(const char* uri) {
    if (!uri) return {};
    std::string text = uri;
    for (const char* prefix : {"file://localhost/", "file:///", "file:/"}) {
        if (text.rfind(prefix, 0) == 0) {
            text = text.substr(std::strlen(prefix));
            // file:///C:/Users/... names a Windows drive; file:///home/... a path from the root.
            const bool drive = text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
            if (!drive) text = "/" + text;
            break;
        }
    }
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

}  // namespace fmu
