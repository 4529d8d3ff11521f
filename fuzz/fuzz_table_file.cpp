// The table reader over any bytes. Asserted: it fails only with the host's
// errors, and a table it reads has rising times (a time twice at most) and
// one value per time in every column.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/model/table_file.hpp"
#include "scratch.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    host::BuiltinTable table;
    table.file = fuzzing::scratch_file("table.csv", std::string(reinterpret_cast<const char*>(data), size));
    try {
        host::read_table_file(table);
    } catch (const host::HostError& error) {
        fuzzing::check_message(error.what());
        return 0;
    }
    if (table.times.empty() || table.columns.empty()) std::abort();
    // Rising times; one may stand twice (a step), never three times.
    for (std::size_t i = 1; i < table.times.size(); ++i) {
        if (!(table.times[i] >= table.times[i - 1])) std::abort();
        if (i > 1 && table.times[i] == table.times[i - 2]) std::abort();
    }
    for (const auto& column : table.columns)
        if (column.size() != table.times.size()) std::abort();
    return 0;
}
