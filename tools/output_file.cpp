#include "output_file.hpp"

namespace blocksim {

void OutputFile::write(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > buffer_bytes) flush();
    if (bytes.size() > buffer_bytes) {
        buffer_.assign(bytes);
        flush();
        return;
    }
    buffer_.append(bytes);
}

void OutputFile::commit() { commit_as(target_); }

std::filesystem::path tagged_name(const std::filesystem::path& file, const std::string& tag) {
    auto tagged = file;
    return tagged.replace_filename(file.stem().string() + "." + tag + file.extension().string());
}

void write_whole_file(const std::filesystem::path& file, std::string_view bytes) {
    OutputFile out(file);
    out.write(bytes);
    out.commit();
}

}  // namespace blocksim
