#include "output/csv_writer.hpp"

#include <algorithm>

#include "commands/text.hpp"

namespace blocksim {

CsvWriter::CsvWriter(const std::filesystem::path& file, const std::vector<std::string>& columns)
    : out_(file), distinct_(columns.size()) {
    std::string header = "time";
    for (const auto& column : columns) header += ',' + column;
    out_.write(header + '\n');
}

void CsvWriter::row(double time, const std::vector<double>& values) {
    std::string line = format_number(time);
    for (std::size_t i = 0; i < values.size(); ++i) {
        line += ',';
        line += format_number(values[i]);
        auto& seen = distinct_[i];
        if (seen.size() <= 2 && std::find(seen.begin(), seen.end(), values[i]) == seen.end()) seen.push_back(values[i]);
    }
    line += '\n';
    out_.write(line);
    ++rows_;
    last_time_ = time;
}

}  // namespace blocksim
