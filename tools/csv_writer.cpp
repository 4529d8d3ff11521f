#include "csv_writer.hpp"

#include <algorithm>

#include "host/sfunction/errors.hpp"
#include "text.hpp"

namespace blocksim {

CsvWriter::CsvWriter(const std::filesystem::path& file, const std::vector<std::string>& columns)
    : distinct_(columns.size()) {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    out_.open(file);
    if (!out_) throw host::HostError("cannot write " + file.string());
    out_ << "time";
    for (const auto& column : columns) out_ << ',' << column;
    out_ << '\n';
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
    out_ << line;
    ++rows_;
    last_time_ = time;
}

void CsvWriter::close() { out_.close(); }

}  // namespace blocksim
