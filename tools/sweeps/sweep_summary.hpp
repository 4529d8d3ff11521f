// The summary of a sweep, one CSV row per case:
//
//   case,<one column per varied value>,<one column per metric>,status
//
// Numbers in their shortest exact form, so that they read back as the same
// doubles; a failed case leaves its metrics empty and says why in status.
// Rows are written in case order, so that an unfinished summary holds a run
// of complete cases from the first, and shards merge into the very bytes a
// single run writes. A shard starts with its fingerprint, comment lines
// "# sha256 HEX FILE" that the merge checks and leaves out.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host/model/sweep_file.hpp"
#include "output/output_file.hpp"
#include "sweeps/fingerprint.hpp"
#include "sweeps/sweep_run.hpp"

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
    // Writes `preamble` (a shard's fingerprint lines) and the header; the
    // rows of `order`'s cases follow, in that order, each as soon as every
    // case before it in `order` is written. The file takes its name at commit().
    SummaryWriter(const std::filesystem::path& file, const std::string& preamble,
                  const std::vector<std::string>& columns, std::vector<std::size_t> order);
    void add(std::size_t case_number, std::string row);
    void commit() { out_.commit(); }
    // Where the rows written so far can be read before the commit.
    const std::filesystem::path& path() {
        out_.flush();
        return out_.path();
    }
    // An unfinished summary's rows under FILE.partial.csv; returns that name.
    std::filesystem::path commit_partial();
    std::size_t written() const { return next_; }
    std::size_t total() const { return order_.size(); }
    // The last case written, when any is.
    std::size_t last_written() const { return order_[next_ - 1]; }

private:
    OutputFile out_;
    std::vector<std::size_t> order_;
    std::size_t next_ = 0;
    std::map<std::size_t, std::string> pending_;
};

// The status column of a summary row, unquoted.
std::string row_status(const std::string& row);

// "2 of 6 cases failed: 3, 5" (the first few numbers), for the last line of
// a sweep; `what` is "failed" or "have a metric that is inf or nan".
std::string cases_line(const std::vector<std::size_t>& cases_named, std::size_t cases, const std::string& what);

struct Merged {
    int shards = 0;
    std::vector<std::size_t> failed;    // the cases that did not run to their end
    std::vector<std::size_t> warnings;  // the cases that ran with a metric that is inf or nan
};

// Joins the shards in `folder` into folder/summary.csv. Throws, naming what
// is missing or wrong, when a shard is absent, incomplete, from another
// sweep or computed from other inputs than `fingerprint`.
Merged merge_shards(const host::SweepSpec& spec, std::size_t cases, const std::filesystem::path& folder,
                    const std::vector<InputHash>& fingerprint);

// The PNG of each metric over each varied value, one panel each, drawn from
// the summary at `csv`; `png` names it in messages.
std::string plot_summary(const host::SweepSpec& spec, const std::filesystem::path& csv,
                         const std::filesystem::path& png);
// Its gnuplot script: the ticks of a varied value of a few values are those
// values, and each panel notes the cases it leaves out.
std::string summary_plot_script(const host::SweepSpec& spec, const std::filesystem::path& csv);

}  // namespace blocksim
