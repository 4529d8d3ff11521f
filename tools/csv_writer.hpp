// The CSV of a run: a header of column names, then one row per logged step,
// each written whole. It also notes which columns hold at most two values
// (relay outputs, flags, steps), which a plot draws as steps.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace blocksim {

class CsvWriter {
public:
    CsvWriter(const std::filesystem::path& file, const std::vector<std::string>& columns);
    void row(double time, const std::vector<double>& values);
    void close();

    long long rows() const { return rows_; }
    double last_time() const { return last_time_; }
    bool two_valued(std::size_t column) const { return distinct_[column].size() <= 2; }

private:
    std::ofstream out_;
    long long rows_ = 0;
    double last_time_ = 0.0;
    std::vector<std::vector<double>> distinct_;  // up to three distinct values per column
};

}  // namespace blocksim
