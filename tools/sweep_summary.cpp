#include "sweep_summary.hpp"

#include <regex>
#include <sstream>

#include "host/sfunction/errors.hpp"
#include "plot.hpp"
#include "text.hpp"

namespace blocksim {

std::vector<std::string> summary_columns(const host::SweepSpec& spec) {
    std::vector<std::string> columns{"case"};
    for (const auto& entry : spec.vary) columns.push_back(entry.column());
    for (const auto& metric : spec.metrics) columns.push_back(metric.name);
    columns.push_back("status");
    return columns;
}

std::string csv_field(const std::string& text) {
    std::string field = text;
    for (char& c : field)
        if (c == '\n' || c == '\r') c = ' ';
    if (field.find_first_of(",\"") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string summary_row(std::size_t case_number, const SweepCase& values, const CaseResult& result,
                        std::size_t metric_count) {
    std::string row = std::to_string(case_number);
    for (const double value : values) row += "," + format_number(value);
    for (std::size_t i = 0; i < metric_count; ++i)
        row += "," + (i < result.metrics.size() ? format_number(result.metrics[i]) : std::string());
    return row + "," + csv_field(result.status);
}

std::string summary_name(int shard, int shards) {
    return shards > 0 ? "summary." + std::to_string(shard) + "-of-" + std::to_string(shards) + ".csv" : "summary.csv";
}

namespace {

std::string header_line(const std::vector<std::string>& columns) {
    std::string line;
    for (const auto& column : columns) line += (line.empty() ? "" : ",") + csv_field(column);
    return line;
}

}  // namespace

SummaryWriter::SummaryWriter(const std::filesystem::path& file, const std::vector<std::string>& columns,
                             std::vector<std::size_t> order)
    : order_(std::move(order)) {
    out_.open(file);
    if (!out_) throw host::HostError("cannot write " + file.string());
    out_ << header_line(columns) << '\n' << std::flush;
}

void SummaryWriter::add(std::size_t case_number, std::string row) {
    pending_.emplace(case_number, std::move(row));
    while (next_ < order_.size()) {
        const auto it = pending_.find(order_[next_]);
        if (it == pending_.end()) break;
        out_ << it->second << '\n';
        pending_.erase(it);
        ++next_;
    }
    out_.flush();
    if (!out_) throw host::HostError("writing the summary failed (disk full?)");
}

int merge_shards(const host::SweepSpec& spec, std::size_t cases, const std::filesystem::path& folder) {
    static const std::regex shard_name(R"(summary\.(\d{1,6})-of-(\d{1,6})\.csv)");
    std::map<int, std::filesystem::path> shards;
    int split = 0;
    std::string split_file;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = item.path().filename().string();
        std::smatch match;
        if (!std::regex_match(name, match, shard_name)) continue;
        const int shard = std::stoi(match[1]), of = std::stoi(match[2]);
        if (split != 0 && of != split)
            throw host::HostError("the shards in " + folder.string() + " come from different splits: " + split_file +
                                  " and " + name + "; remove those of the other split");
        split = of;
        split_file = name;
        shards[shard] = item.path();
    }
    if (error) throw host::HostError("cannot read the folder " + folder.string() + ": " + error.message());
    if (split == 0) throw host::HostError("no shards to merge in " + folder.string() + " (summary.K-of-N.csv)");
    std::string missing;
    for (int shard = 0; shard < split; ++shard)
        if (!shards.count(shard)) missing += (missing.empty() ? "" : ", ") + summary_name(shard, split);
    if (!missing.empty())
        throw host::HostError("cannot merge " + folder.string() + ": missing " + missing + " (run those shards with --shard K/" +
                              std::to_string(split) + ")");

    const std::string header = header_line(summary_columns(spec));
    std::vector<std::string> rows(cases);
    for (const auto& [shard, file] : shards) {
        std::ifstream in(file);
        std::string line;
        if (!std::getline(in, line) || line != header)
            throw host::HostError(file.string() + " was not written by this sweep: its header differs");
        std::size_t expected = static_cast<std::size_t>(shard), held = 0;
        while (expected < cases && std::getline(in, line) && !in.eof()) {
            if (line.substr(0, line.find(',')) != std::to_string(expected))
                throw host::HostError(file.string() + ": a row for case " + std::to_string(expected) +
                                      " was expected, not '" + line.substr(0, 40) + "'");
            rows[expected] = line;
            expected += static_cast<std::size_t>(split);
            ++held;
        }
        if (expected < cases) {
            const std::size_t share = (cases - static_cast<std::size_t>(shard) + split - 1) / split;
            throw host::HostError(file.string() + " is incomplete: it holds " + std::to_string(held) + " of its " +
                                  std::to_string(share) + " cases; run it again with --shard " +
                                  std::to_string(shard) + "/" + std::to_string(split));
        }
    }
    const auto summary = folder / "summary.csv";
    std::ofstream out(summary);
    if (!out) throw host::HostError("cannot write " + summary.string());
    out << header << '\n';
    for (const auto& row : rows) out << row << '\n';
    out.close();
    if (!out) throw host::HostError("writing " + summary.string() + " failed (disk full?)");
    return split;
}

void plot_summary(const host::SweepSpec& spec, const std::filesystem::path& csv, const std::filesystem::path& png) {
    const std::size_t panels = spec.metrics.size() * spec.vary.size();
    if (panels == 0) return;
    const std::size_t across = spec.vary.size();
    std::ostringstream script;
    script << "set datafile separator ','\n"
           << "set terminal pngcairo noenhanced size " << 60 + 380 * across << "," << 60 + 280 * spec.metrics.size()
           << " font 'sans,9'\n"
           << "set output " << gnuplot_string(png.string()) << "\n"
           << "set grid\nunset key\nset offsets graph 0.05, graph 0.05, graph 0.08, graph 0.08\n"
           << "set multiplot layout " << spec.metrics.size() << "," << across << " title "
           << gnuplot_string("sweep " + spec.file.string()) << "\n";
    for (std::size_t m = 0; m < spec.metrics.size(); ++m)
        for (std::size_t v = 0; v < across; ++v) {
            script << "set xlabel " << gnuplot_string(spec.vary[v].column()) << "\nset ylabel "
                   << gnuplot_string(spec.metrics[m].name) << "\nplot " << gnuplot_string(csv.string()) << " using "
                   << v + 2 << ":" << across + m + 2 << " every ::1 with points pt 7 ps 0.6 lc 1\n";
        }
    script << "unset multiplot\n";
    run_gnuplot(script.str(), png);
}

}  // namespace blocksim
