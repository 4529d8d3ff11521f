// A zip archive built in memory, its entries stored as they are (no
// compression), as an FMU is packed: every FMI importer unzips stored
// entries. Dated 1980-01-01, so that the same files give the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace blocksim {

class ZipWriter {
public:
    // `name` uses '/' between folders; `executable` marks a binary's mode.
    void add(const std::string& name, std::string_view bytes, bool executable = false);
    // The whole archive; no entry may be added after it.
    std::string finish();

private:
    std::string archive_, directory_;
    std::uint16_t entries_ = 0;
    bool finished_ = false;
};

std::uint32_t crc32(std::string_view bytes);

}  // namespace blocksim
