#include "sweeps/sweep_summary.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "commands/text.hpp"
#include "host/common/errors.hpp"
#include "output/plot.hpp"
#include "sweeps/sweep_run.hpp"

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

SummaryWriter::SummaryWriter(const std::filesystem::path& file, const std::string& preamble,
                             const std::vector<std::string>& columns, std::vector<std::size_t> order)
    : out_(file), order_(std::move(order)) {
    out_.write(preamble + header_line(columns) + '\n');
}

void SummaryWriter::add(std::size_t case_number, std::string row) {
    pending_.emplace(case_number, std::move(row));
    while (next_ < order_.size()) {
        const auto it = pending_.find(order_[next_]);
        if (it == pending_.end()) break;
        out_.write(it->second + '\n');
        pending_.erase(it);
        ++next_;
    }
    out_.flush();  // a case takes far longer than a write
}

std::filesystem::path SummaryWriter::commit_partial() { return out_.commit_as(tagged_name(out_.target(), "partial")); }

std::string row_status(const std::string& row) {
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (row[i] == '"') quoted = !quoted;
        else if (row[i] == ',' && !quoted) start = i + 1;
    }
    std::string field = row.substr(start);
    if (field.size() < 2 || field.front() != '"') return field;
    std::string unquoted;
    for (std::size_t i = 1; i + 1 < field.size(); ++i) {
        unquoted += field[i];
        if (field[i] == '"') ++i;  // "" stands for one quote
    }
    return unquoted;
}

std::string cases_line(const std::vector<std::size_t>& cases_named, std::size_t cases, const std::string& what) {
    constexpr std::size_t most_named = 20;
    std::string line = std::to_string(cases_named.size()) + " of " + count_of(static_cast<long long>(cases), "case") +
                       " " + what + ": ";
    for (std::size_t i = 0; i < cases_named.size() && i < most_named; ++i)
        line += (i ? ", " : "") + std::to_string(cases_named[i]);
    if (cases_named.size() > most_named) line += ", ...";
    return line;
}

namespace {

// The fields of a CSV line as csv_field writes them: quoted fields may hold commas.
std::size_t field_count(const std::string& line) {
    std::size_t fields = 1;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) ++fields;
    }
    return fields;
}

// A shard's lines: its fingerprint, its header, its rows.
struct ShardText {
    std::vector<std::string> fingerprint;
    std::string header;
    std::vector<std::string> rows;
};

ShardText read_shard(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) throw host::HostError("cannot read " + file.string() + ": " + std::strerror(errno));
    ShardText shard;
    std::string line;
    while (std::getline(in, line) && !line.empty() && line[0] == '#') shard.fingerprint.push_back(line);
    shard.header = line;
    // A last line without its line break was cut short.
    while (std::getline(in, line) && !in.eof()) shard.rows.push_back(line);
    if (in.bad()) throw host::HostError("cannot read " + file.string() + ": " + std::strerror(errno));
    return shard;
}

}  // namespace

Merged merge_shards(const host::SweepSpec& spec, std::size_t cases, const std::filesystem::path& folder,
                    const std::vector<InputHash>& fingerprint) {
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
        if (shard >= of)
            throw host::HostError("cannot merge " + folder.string() + ": " + name + " is no shard of a split into " +
                                  std::to_string(of) + " (K counts from 0 to " + std::to_string(of - 1) +
                                  "); remove it");
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

    std::vector<std::string> expected_hashes;
    for (const auto& input : fingerprint) expected_hashes.push_back(input.sha256);
    const std::string header = header_line(summary_columns(spec));
    std::vector<ShardText> texts;
    std::string stale;
    for (const auto& [shard, file] : shards) {
        texts.push_back(read_shard(file));
        if (hashes_in_lines(texts.back().fingerprint) != expected_hashes)
            stale += (stale.empty() ? "" : ", ") + file.filename().string();
    }
    if (!stale.empty()) {
        std::string inputs;
        for (const auto& input : fingerprint) inputs += (inputs.empty() ? "" : ", ") + input.file.string();
        throw host::HostError("cannot merge " + folder.string() + ": " + stale +
                              " were not computed from the inputs as they are now (" + inputs +
                              "); run those shards again, or all of them");
    }
    std::vector<std::string> rows(cases);
    Merged merged;
    merged.shards = split;
    for (const auto& [shard, file] : shards) {
        const ShardText& text = texts[static_cast<std::size_t>(shard)];
        if (text.header != header)
            throw host::HostError(file.string() + " was not written by this sweep: its header differs");
        std::size_t expected = static_cast<std::size_t>(shard), held = 0;
        const std::size_t fields = field_count(header);
        for (const auto& line : text.rows) {
            if (field_count(line) != fields)
                throw host::HostError(file.string() + ": the row '" + line.substr(0, 40) + "' has " +
                                      std::to_string(field_count(line)) + " fields, the summary " +
                                      std::to_string(fields) + "; run the shard again with --shard " +
                                      std::to_string(shard) + "/" + std::to_string(split));
            if (expected >= cases)
                throw host::HostError(file.string() + " holds more rows than its share of the sweep's " +
                                      count_of(static_cast<long long>(cases), "case"));
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
    OutputFile out(folder / "summary.csv");
    out.write(header + '\n');
    for (std::size_t i = 0; i < rows.size(); ++i) {
        out.write(rows[i] + '\n');
        const std::string status = row_status(rows[i]);
        if (is_failure(status)) merged.failed.push_back(i);
        if (is_warning(status)) merged.warnings.push_back(i);
    }
    out.commit();
    return merged;
}

namespace {

// The fields of a summary row, unquoted.
std::vector<std::string> row_fields(const std::string& row) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (c == '"' && quoted && i + 1 < row.size() && row[i + 1] == '"') fields.back() += c, ++i;
        else if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) fields.emplace_back();
        else fields.back() += c;
    }
    return fields;
}

// The summary's columns as numbers, one vector per column after the case
// number (NaN where a field is empty), and the rows' statuses.
struct SummaryColumns {
    std::vector<std::vector<double>> values;
    std::vector<std::string> statuses;
};

SummaryColumns read_summary_columns(const std::filesystem::path& csv, std::size_t numeric_columns) {
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);  // the header
    SummaryColumns columns;
    columns.values.resize(numeric_columns);
    while (std::getline(in, line)) {
        const auto fields = row_fields(line);
        if (fields.size() != numeric_columns + 2) continue;
        for (std::size_t c = 0; c < numeric_columns; ++c)
            columns.values[c].push_back(fields[c + 1].empty() ? std::nan("") : std::strtod(fields[c + 1].c_str(), nullptr));
        columns.statuses.push_back(fields.back());
    }
    return columns;
}

// Tick labels that neither repeat nor overlap: a varied value of a few
// distinct values gets exactly those as ticks, in their shortest text; an
// axis whose values agree in their first digits gets the digits that tell
// them apart.
std::string axis_tics(const char* axis, const std::vector<double>& values, bool is_varied) {
    std::vector<double> finite;
    for (const double v : values)
        if (std::isfinite(v)) finite.push_back(v);
    std::sort(finite.begin(), finite.end());
    finite.erase(std::unique(finite.begin(), finite.end()), finite.end());
    std::ostringstream out;
    out << "set " << axis << "tics norotate\n";
    constexpr std::size_t most_listed = 8;
    if (is_varied && !finite.empty() && finite.size() <= most_listed) {
        out << "set " << axis << "tics (";
        for (std::size_t i = 0; i < finite.size(); ++i)
            out << (i ? ", " : "") << gnuplot_string(format_number(finite[i]), "a tick") << " " << format_number(finite[i]);
        out << ")\n";
        return out.str();
    }
    out << "set " << axis << "tics autofreq\n";
    int digits = 4;
    if (finite.size() > 1) {
        const double span = finite.back() - finite.front();
        const double size = std::max(std::fabs(finite.front()), std::fabs(finite.back()));
        if (span > 0 && size > 0) digits = std::clamp(static_cast<int>(std::ceil(std::log10(size / span))) + 2, 4, 15);
    }
    out << "set format " << axis << " '%." << digits << "g'\n";
    if (is_varied) out << "set " << axis << "tics rotate by -30\n";
    return out.str();
}

// "2 of 10 cases left out: failed, or the metric inf or nan", or "".
std::string left_out_note(const std::vector<double>& metric, const std::vector<double>& varied,
                          const std::vector<std::string>& statuses) {
    std::size_t left_out = 0;
    for (std::size_t i = 0; i < metric.size(); ++i)
        if (is_failure(statuses[i]) || !std::isfinite(metric[i]) || !std::isfinite(varied[i])) ++left_out;
    if (left_out == 0) return "";
    return std::to_string(left_out) + " of " + count_of(static_cast<long long>(metric.size()), "case") +
           " left out: failed, or a value inf or nan";
}

}  // namespace

std::string summary_plot_script(const host::SweepSpec& spec, const std::filesystem::path& csv) {
    const std::size_t across = spec.vary.size();
    const SummaryColumns columns = read_summary_columns(csv, across + spec.metrics.size());
    std::ostringstream script;
    script << "set datafile separator ','\n"
           << "set terminal pngcairo noenhanced size " << 60 + 380 * across << "," << 60 + 280 * spec.metrics.size()
           << " font 'sans,9'\n"
           << "set grid\nunset key\nset offsets graph 0.05, graph 0.05, graph 0.08, graph 0.08\n"
           << "set multiplot layout " << spec.metrics.size() << "," << across << " title "
           << gnuplot_string("sweep " + spec.file.string(), "the sweep file's name") << "\n";
    const std::string data = gnuplot_string(csv.string(), "the summary " + csv.string());
    for (std::size_t m = 0; m < spec.metrics.size(); ++m)
        for (std::size_t v = 0; v < across; ++v) {
            const auto& metric = columns.values[across + m];
            script << "set xlabel " << gnuplot_string(spec.vary[v].column(), "a varied value's name") << "\nset ylabel "
                   << gnuplot_string(spec.metrics[m].name, "a metric's name") << "\nset title "
                   << gnuplot_string(left_out_note(metric, columns.values[v], columns.statuses), "a note") << "\n"
                   << axis_tics("x", columns.values[v], true) << axis_tics("y", metric, false) << "plot " << data
                   << " using " << v + 2 << ":" << across + m + 2 << " every ::1 with points pt 7 ps 0.6 lc rgb '#0072b2'\n";
        }
    script << "unset multiplot\n";
    return script.str();
}

std::string plot_summary(const host::SweepSpec& spec, const std::filesystem::path& csv,
                         const std::filesystem::path& png) {
    return run_gnuplot(summary_plot_script(spec, csv), png);
}

}  // namespace blocksim
