// The summary of a sweep, one CSV row per case:
//
//   case,<one column per varied value>,<one column per metric>,status
//
// Numbers in their shortest exact form, so that they read back as the same
// doubles; a failed case leaves its metrics empty and says why in status.
// Rows are written whole and in case order, so that a summary cut short
// holds a run of complete cases from the first, and shards merge into the
// very bytes a single run writes.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "host/model/sweep_file.hpp"
#include "sweep_run.hpp"

namespace blocksim {

std::vector<std::string> summary_columns(const host::SweepSpec& spec);
// A failed case (no metrics) leaves `metric_count` fields empty.
std::string summary_row(std::size_t case_number, const SweepCase& values, const CaseResult& result,
                        std::size_t metric_count);
// One CSV field: quoted when it holds a comma or a quote; line breaks become spaces.
std::string csv_field(const std::string& text);

// "summary.csv", or "summary.K-of-N.csv" for one shard.
std::string summary_name(int shard, int shards);

class SummaryWriter {
public:
    // Writes the header; the rows of `order`'s cases follow, in that order,
    // each as soon as every case before it in `order` is written.
    SummaryWriter(const std::filesystem::path& file, const std::vector<std::string>& columns,
                  std::vector<std::size_t> order);
    void add(std::size_t case_number, std::string row);
    std::size_t written() const { return next_; }
    std::size_t total() const { return order_.size(); }
    // The last case written, when any is.
    std::size_t last_written() const { return order_[next_ - 1]; }

private:
    std::ofstream out_;
    std::vector<std::size_t> order_;
    std::size_t next_ = 0;
    std::map<std::size_t, std::string> pending_;
};

// Joins the shards in `folder` into folder/summary.csv. Throws, naming what
// is missing, when a shard is absent, incomplete or from another sweep.
// Returns the number of shards.
int merge_shards(const host::SweepSpec& spec, std::size_t cases, const std::filesystem::path& folder);

// Each metric over each varied value, one panel each, drawn from the summary.
void plot_summary(const host::SweepSpec& spec, const std::filesystem::path& csv, const std::filesystem::path& png);

}  // namespace blocksim
