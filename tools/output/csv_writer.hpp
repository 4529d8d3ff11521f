// The CSV of a run: a header of column names, then one row per logged step,
// each written whole. It also notes which columns hold at most two values
// (relay outputs, flags, steps), which a plot draws as steps. The file takes
// its name only when committed (see OutputFile).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "output/output_file.hpp"

namespace blocksim {

class CsvWriter {
public:
    CsvWriter(const std::filesystem::path& file, const std::vector<std::string>& columns);
    void row(double time, const std::vector<double>& values);

    // The rows so far, readable at path() (for the plot) before the commit.
    void flush() { out_.flush(); }
    const std::filesystem::path& path() const { return out_.path(); }
    void commit() { out_.commit(); }
    std::filesystem::path commit_as(const std::filesystem::path& name) { return out_.commit_as(name); }

    bool failed() const { return out_.failed(); }
    long long rows() const { return rows_; }
    double last_time() const { return last_time_; }
    bool two_valued(std::size_t column) const { return distinct_[column].size() <= 2; }

private:
    OutputFile out_;
    long long rows_ = 0;
    double last_time_ = 0.0;
    std::vector<std::vector<double>> distinct_;  // up to three distinct values per column
};

}  // namespace blocksim
