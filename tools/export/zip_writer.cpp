#include "export/zip_writer.hpp"

#include <array>
#include <limits>
#include <stdexcept>

namespace blocksim {

namespace {

// The archive's records (PKWARE's APPNOTE 4.3): little-endian fields.
constexpr std::uint32_t local_header_signature = 0x04034b50, central_header_signature = 0x02014b50,
                        end_of_directory_signature = 0x06054b50;
constexpr std::uint16_t version_needed = 20;                 // 2.0: folders, stored entries
constexpr std::uint16_t version_made_by = (3 << 8) | 20;     // on Unix, so the modes below count
constexpr std::uint16_t utf8_names = 1 << 11;
constexpr std::uint16_t stored = 0;
constexpr std::uint16_t dos_time = 0, dos_date = (0 << 9) | (1 << 5) | 1;  // 1980-01-01 00:00
constexpr std::uint32_t regular_file = 0100000;

void put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>(value >> 8);
}
void put32(std::string& out, std::uint32_t value) {
    put16(out, static_cast<std::uint16_t>(value & 0xffff));
    put16(out, static_cast<std::uint16_t>(value >> 16));
}

std::uint32_t checked_size(std::size_t size, const std::string& what) {
    if (size > std::numeric_limits<std::uint32_t>::max())
        throw std::runtime_error(what + " is 4 GiB or more, beyond what a zip archive without its 64-bit extension holds");
    return static_cast<std::uint32_t>(size);
}

}  // namespace

std::uint32_t crc32(std::string_view bytes) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xffffffffu;
    for (unsigned char byte : bytes) crc = table[(crc ^ byte) & 0xff] ^ (crc >> 8);
    return crc ^ 0xffffffffu;
}

void ZipWriter::add(const std::string& name, std::string_view bytes, bool executable) {
    if (finished_) throw std::logic_error("ZipWriter::add after finish");
    if (entries_ == std::numeric_limits<std::uint16_t>::max()) throw std::runtime_error("too many files for one zip archive");
    const std::uint32_t size = checked_size(bytes.size(), name);
    const std::uint32_t offset = checked_size(archive_.size(), "the archive");
    const std::uint32_t crc = crc32(bytes);
    const auto name_length = static_cast<std::uint16_t>(checked_size(name.size(), name));

    put32(archive_, local_header_signature);
    put16(archive_, version_needed);
    put16(archive_, utf8_names);
    put16(archive_, stored);
    put16(archive_, dos_time);
    put16(archive_, dos_date);
    put32(archive_, crc);
    put32(archive_, size);  // compressed
    put32(archive_, size);
    put16(archive_, name_length);
    put16(archive_, 0);  // no extra field
    archive_ += name;
    archive_.append(bytes.data(), bytes.size());

    put32(directory_, central_header_signature);
    put16(directory_, version_made_by);
    put16(directory_, version_needed);
    put16(directory_, utf8_names);
    put16(directory_, stored);
    put16(directory_, dos_time);
    put16(directory_, dos_date);
    put32(directory_, crc);
    put32(directory_, size);
    put32(directory_, size);
    put16(directory_, name_length);
    put16(directory_, 0);  // extra field
    put16(directory_, 0);  // comment
    put16(directory_, 0);  // disk
    put16(directory_, 0);  // internal attributes
    put32(directory_, (regular_file | (executable ? 0755u : 0644u)) << 16);
    put32(directory_, offset);
    directory_ += name;
    ++entries_;
}

std::string ZipWriter::finish() {
    if (finished_) throw std::logic_error("ZipWriter::finish twice");
    finished_ = true;
    const std::uint32_t offset = checked_size(archive_.size(), "the archive");
    const std::uint32_t size = checked_size(directory_.size(), "the archive's directory");
    std::string out = std::move(archive_);
    out += directory_;
    put32(out, end_of_directory_signature);
    put16(out, 0);  // this disk
    put16(out, 0);  // the directory's disk
    put16(out, entries_);
    put16(out, entries_);
    put32(out, size);
    put32(out, offset);
    put16(out, 0);  // no comment
    checked_size(out.size(), "the archive");
    return out;
}

}  // namespace blocksim
