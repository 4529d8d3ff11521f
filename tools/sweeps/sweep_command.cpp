// blocksim sweep: every case of a sweep file, on worker processes, into a
// summary; or one shard of them; or the shards joined; or a Slurm job
// array that runs the shards on a cluster.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>
#include <thread>

#include "commands/command_line.hpp"
#include "commands/commands.hpp"
#include "commands/interrupt.hpp"
#include "commands/options.hpp"
#include "commands/progress.hpp"
#include "commands/search_path.hpp"
#include "commands/text.hpp"
#include "host/model/sweep_file.hpp"
#include "output/output_file.hpp"
#include "output/outputs.hpp"
#include "output/plot.hpp"
#include "sweeps/fingerprint.hpp"
#include "sweeps/slurm.hpp"
#include "sweeps/sweep_design.hpp"
#include "sweeps/sweep_run.hpp"
#include "sweeps/sweep_summary.hpp"
#include "sweeps/sweep_workers.hpp"

namespace blocksim {

namespace {


// The sweep file's name without .yaml, beside it, unless --out.
std::filesystem::path output_folder(const SweepOptions& options) {
    if (options.merge) return *options.merge;
    if (options.out) return *options.out;
    return options.file->parent_path() / options.file->stem();
}

std::vector<host::FileRead> files_read(const host::SweepSpec& spec) {
    auto files = host::files_read(spec.model);
    files.push_back({spec.file, "the sweep file"});
    return files;
}

void make_folder(const std::filesystem::path& folder) {
    std::error_code error;
    if (std::filesystem::exists(folder, error) && !std::filesystem::is_directory(folder, error))
        throw host::HostError("cannot write the sweep's results into " + folder.string() +
                              ": it is a file; choose a folder with --out");
    std::filesystem::create_directories(folder, error);
    if (error) throw host::HostError("cannot make the folder " + folder.string() + ": " + error.message());
}

// Each case's CSV in folder/runs, named so that they sort by case.
std::filesystem::path run_file(const std::filesystem::path& folder, std::size_t case_number, std::size_t cases) {
    const std::string number = std::to_string(case_number);
    const std::size_t width = std::to_string(cases > 0 ? cases - 1 : 0).size();
    return folder / "runs" / ("case-" + std::string(width - std::min(width, number.size()), '0') + number + ".csv");
}

void refuse_overwriting(const host::SweepSpec& spec, const std::filesystem::path& folder, const std::string& summary,
                        bool keep_runs) {
    const auto inputs = files_read(spec);
    refuse_output_over_inputs(folder / summary, "summary", "--out", inputs);
    refuse_output_over_inputs(tagged_name(folder / summary, "partial"), "summary of an unfinished sweep", "--out",
                              inputs);
    refuse_output_over_inputs(folder / "summary.png", "summary plot", "--out", inputs);
    if (!keep_runs) return;
    for (const auto& input : inputs)
        if (same_file(input.file.has_parent_path() ? input.file.parent_path() : ".", folder / "runs"))
            throw host::HostError("refusing to write the runs into " + (folder / "runs").string() + ": it holds " +
                                  input.role + " (" + input.file.string() + "); choose another folder with --out");
}

// The summary plot's PNG, drawn from the summary as written so far at
// `csv`; nothing when none is asked for or gnuplot is missing, and nothing
// with the reason in `failure` when gnuplot could not draw it.
std::optional<std::string> summary_plot(const host::SweepSpec& spec, const std::filesystem::path& csv,
                                        const std::filesystem::path& png, bool no_plot, std::string& failure) {
    if (no_plot || spec.metrics.empty() || spec.vary.empty()) return std::nullopt;
    if (!have_gnuplot()) {
        std::cout << "no plot: " << gnuplot_missing << "\n";
        return std::nullopt;
    }
    try {
        return plot_summary(spec, csv, png);
    } catch (const Interrupted&) {
        throw;
    } catch (const std::exception& error) {
        failure = error.what();
        return std::nullopt;
    }
}

// Writes the plot drawn before the summary took its name; a plot that could
// not be drawn or written leaves no plot of an earlier sweep behind.
bool write_summary_plot(const std::optional<std::string>& image, const std::filesystem::path& png,
                        std::string failure) {
    if (image) {
        try {
            write_whole_file(png, *image);
            std::cout << "wrote " << png.string() << "\n";
            return true;
        } catch (const std::exception& error) {
            failure = error.what();
        }
    }
    if (failure.empty()) return true;
    std::error_code error;
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(png, error)) &&
        std::filesystem::remove(png, error))
        std::cout << "removed " << png.string() << ", the plot of an earlier sweep\n";
    std::cerr << "blocksim: error: " << failure << "\n";
    return false;
}

// The exit status of a sweep that wrote its whole summary: 1, with a line
// naming them, when a case failed; a warning names the cases with a metric
// that is no finite number.
int sweep_status(const std::vector<std::size_t>& failed, const std::vector<std::size_t>& warnings, std::size_t cases,
                 const std::filesystem::path& summary) {
    if (!warnings.empty())
        std::cerr << "blocksim: warning: " << cases_line(warnings, cases, "have a metric that is inf or nan")
                  << "; see " << summary.string() << "\n";
    if (failed.empty()) return 0;
    std::cerr << "blocksim: " << cases_line(failed, cases, "failed") << "; see " << summary.string() << "\n";
    return 1;
}

// "8 ok, 1 with a warning, 1 failed"
std::string outcomes(std::size_t cases, std::size_t warnings, std::size_t failed) {
    return std::to_string(cases - warnings - failed) + " ok, " +
           (warnings > 0 ? std::to_string(warnings) + " with a warning, " : std::string()) + std::to_string(failed) +
           " failed";
}

int run_cases(const SweepOptions& options, const host::SweepSpec& spec, const std::vector<SweepCase>& cases) {
    // A signal at any moment ends the sweep where its summary's rows are whole.
    const StopOnSignals signals;
    const auto folder = output_folder(options);
    const std::string summary = summary_name(options.shard, options.shards);
    refuse_overwriting(spec, folder, summary, options.keep_runs);
    make_folder(folder);
    const OutputLock lock(folder / summary);
    std::vector<std::size_t> order;
    const std::size_t step = options.shards > 0 ? static_cast<std::size_t>(options.shards) : 1;
    for (std::size_t i = static_cast<std::size_t>(options.shard); i < cases.size(); i += step) order.push_back(i);
    const int workers = std::min(max_workers, options.jobs ? *options.jobs
                                                           : static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));

    const std::string preamble = options.shards > 0 ? fingerprint_lines(sweep_fingerprint(spec)) : std::string();
    SummaryWriter writer(folder / summary, preamble, summary_columns(spec), order);
    CaseProgress progress(order.size());
    std::vector<std::size_t> failed, warnings;
    const auto started = std::chrono::steady_clock::now();
    const auto job = [&](std::size_t i) {
        return run_case(spec, cases[i], options.keep_runs ? run_file(folder, i, cases.size()) : std::filesystem::path());
    };
    const auto done = [&](std::size_t i, CaseResult result) {
        if (is_failure(result.status)) failed.push_back(i);
        if (is_warning(result.status)) warnings.push_back(i);
        writer.add(i, summary_row(i, cases[i], result, spec.metrics.size()));
        progress(writer.written(), failed.size());
    };
    const bool finished = run_on_workers(workers, order, job, done, &stop_requested);
    progress.clear();
    const auto written = folder / summary;
    // Rows kept as the partial summary, the summary of an earlier sweep as it was.
    const auto stopped = [&](const std::string& when) {
        const auto kept = writer.commit_partial();
        std::cerr << "blocksim: stopped by " << stop_signal_name() << " " << when << "; " << kept.string() << " holds "
                  << (writer.written() == 0 ? std::string("no case")
                                            : "the cases up to case " + std::to_string(writer.last_written()))
                  << " (" << count_of(static_cast<long long>(writer.written()), "row") << ")"
                  << (std::filesystem::exists(written) ? "; " + written.string() + " is as it was" : "") << "\n";
        return 128 + stop_signal;
    };
    if (!finished)
        return stopped("after " + std::to_string(writer.written()) + " of " +
                       count_of(static_cast<long long>(order.size()), "case"));
    std::sort(failed.begin(), failed.end());
    std::sort(warnings.begin(), warnings.end());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string plot_failure;
    std::optional<std::string> image;
    try {
        if (options.shards == 0)
            image = summary_plot(spec, writer.path(), folder / "summary.png", options.no_plot, plot_failure);
        stop_if_requested("writing " + written.string());
    } catch (const Interrupted& interrupted) {
        return stopped("while " + interrupted.doing() + ", after all " +
                       count_of(static_cast<long long>(order.size()), "case"));
    }
    writer.commit();
    std::cout << "ran " << count_of(static_cast<long long>(order.size()), "case") << " of "
              << options.file->string() << (options.shards > 0 ? " (shard " + std::to_string(options.shard) + " of " +
                                                                     std::to_string(options.shards) + ")"
                                                               : "")
              << " on " << count_of(std::min<long long>(workers, static_cast<long long>(order.size())), "worker")
              << " in " << format_number(std::round(seconds * 100) / 100)
              << " s: " << outcomes(order.size(), warnings.size(), failed.size()) << "\nwrote " << written.string() << " ("
              << count_of(static_cast<long long>(order.size()), "row") << ")\n";
    if (options.keep_runs && failed.size() < order.size())
        std::cout << "wrote the CSV files of the " << count_of(static_cast<long long>(order.size() - failed.size()), "case")
                  << " that ran in " << (folder / "runs").string() << "\n";
    const bool plotted = write_summary_plot(image, folder / "summary.png", plot_failure);
    const int status = sweep_status(failed, warnings, order.size(), written);
    return status != 0 ? status : plotted ? 0 : 1;
}

int merge(const SweepOptions& options, const host::SweepSpec& spec, std::size_t cases) {
    // A signal while the summary is plotted ends gnuplot and the merge.
    const StopOnSignals signals;
    const auto folder = output_folder(options);
    refuse_overwriting(spec, folder, "summary.csv", false);
    const OutputLock lock(folder / "summary.csv");
    const Merged merged = merge_shards(spec, cases, folder, sweep_fingerprint(spec));
    const auto summary = folder / "summary.csv";
    std::cout << "merged " << count_of(merged.shards, "shard") << " into " << summary.string() << " ("
              << count_of(static_cast<long long>(cases), "row")
              << "): " << outcomes(cases, merged.warnings.size(), merged.failed.size()) << "\n";
    std::string plot_failure;
    const auto image = summary_plot(spec, summary, folder / "summary.png", options.no_plot, plot_failure);
    const bool plotted = write_summary_plot(image, folder / "summary.png", plot_failure);
    const int status = sweep_status(merged.failed, merged.warnings, cases, summary);
    return status != 0 ? status : plotted ? 0 : 1;
}

// A count for a message: 10000000, not 1e+07.
std::string whole(double count) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", count);
    return text;
}

// The design's cases held in memory, its summary and, with --keep-runs, its
// runs' files are estimated before anything runs; each beyond its limit
// needs --force.
void check_sweep_size(const host::SweepSpec& spec, const SweepOptions& options) {
    const double cases = case_count(spec);
    const double values = cases * static_cast<double>(std::max<std::size_t>(spec.vary.size(), 1));
    const auto most = static_cast<double>(host::input_limits().most_values);
    if (values > most && !options.force)
        throw host::HostError(spec.file.string() + ": the design has " + whole(cases) + " cases, " + whole(values) +
                              " values to hold, more than the " + whole(most) + " blocksim takes without --force");
    if (options.force) return;
    const double row_bytes = bytes_per_value * static_cast<double>(summary_columns(spec).size());
    if (cases * row_bytes > largest_output_bytes)
        throw host::HostError("the sweep's summary would take about " + gigabytes(cases * row_bytes) + " (" +
                              whole(cases) + " cases), more than the " + gigabytes(largest_output_bytes) +
                              " blocksim writes without --force");
    if (!options.keep_runs) return;
    const CsvEstimate run = estimate_csv(host::Simulation(spec.model));
    if (cases * run.bytes > largest_output_bytes)
        throw host::HostError("--keep-runs would write about " + gigabytes(cases * run.bytes) + " of run files (" +
                              whole(cases) + " cases of about " + whole(run.rows) +
                              " rows), more than the " + gigabytes(largest_output_bytes) +
                              " blocksim writes without --force; log fewer rows in the model, or add --force");
}

// What each task passes on: the options that change what a case writes or
// where the libraries are found.
std::vector<std::string> task_options(const SweepOptions& options) {
    std::vector<std::string> passed;
    if (options.keep_runs) passed.push_back("--keep-runs");
    if (options.force) passed.push_back("--force");
    if (options.no_plot) passed.push_back("--no-plot");
    for (const auto& path : options.paths) {
        passed.push_back("--path");
        passed.push_back(std::filesystem::absolute(path).string());
    }
    return passed;
}

// Without --tasks, this many at most: one per case below it.
constexpr int default_most_tasks = 32;

int slurm(const SweepOptions& options, const host::SweepSpec& spec, std::size_t cases) {
    const auto folder = std::filesystem::absolute(output_folder(options));
    refuse_overwriting(spec, folder, "summary.csv", options.keep_runs);
    make_folder(folder);
    SlurmSweep sweep;
    std::error_code error;
    sweep.blocksim = this_program(error);
    if (error) throw host::HostError("cannot find blocksim's own file for the job scripts: " + error.message());
    sweep.sweep_file = std::filesystem::absolute(*options.file);
    sweep.folder = folder;
    sweep.tasks = options.tasks ? *options.tasks : static_cast<int>(std::min<std::size_t>(cases, default_most_tasks));
    if (static_cast<std::size_t>(sweep.tasks) > cases)
        throw UsageError("--tasks " + std::to_string(sweep.tasks) + " is more than the sweep's " +
                         count_of(static_cast<long long>(cases), "case"));
    sweep.jobs_per_task = options.jobs ? *options.jobs : 1;
    sweep.options = task_options(options);
    sweep.sbatch_options = spec.slurm.sbatch_options();
    // Shards of an earlier split would not merge with these.
    for (const auto& item : std::filesystem::directory_iterator(folder))
        if (item.path().filename().string().rfind("summary.", 0) == 0 &&
            item.path().filename().string().find("-of-") != std::string::npos)
            std::filesystem::remove(item.path());
    const SlurmScripts scripts = write_slurm_scripts(sweep);
    std::cout << "wrote " << scripts.array.string() << " (an array of " << count_of(sweep.tasks, "task") << ") and "
              << scripts.merge.string() << "\n";
    if (!options.submit) {
        std::cout << "submit them with:\n  " << submit_line(scripts) << "\n";
        return 0;
    }
    const int status = submit_and_wait(scripts, [&](const std::string& job) {
        std::cout << "submitted job array " << job << "; waiting for its " << count_of(sweep.tasks, "task") << std::endl;
    });
    if (status != 0)
        std::cerr << "blocksim: a task of the array failed (sbatch exit status " << status << "); its log is in "
                  << (folder / "logs").string() << "\n";
    const int merged = merge(options, spec, cases);
    return status != 0 ? 1 : merged;
}

}  // namespace

void setup_sweep_command(CLI::App& command, SweepOptions& options) {
    command.description(
        "Runs every case of a sweep file (a model and the values to vary) on worker processes and writes "
        "DIR/summary.csv, a row per case with its values, metrics and status, and a plot of each metric over "
        "each value. DIR is the sweep file's name without .yaml, beside it, unless --out. A sweep or merge with "
        "a failed case writes its whole summary and exits 1.");
    add_path_option(command, "sweep file", options.file, "the sweep file")->option_text("FILE")->required();
    add_count_option(command, "--jobs", options.jobs, "worker processes (default: one per core)");
    const auto out = add_path_option(command, "--out", options.out, "the folder of the summary");
    command.add_flag("--keep-runs", options.keep_runs, "write each case's CSV to DIR/runs");
    command.add_flag("--no-plot", options.no_plot, "no summary plot");
    command.add_flag("--force", options.force,
                     "write a summary or runs of more than 2 GB, read files of more than 256 MB");
    add_path_list_option(command, "--path", options.paths, "a folder of S-function libraries, searched first");
    const auto shard =
        command
            .add_option_function<std::string>(
                "--shard",
                [&options](const std::string& word) {
                    const std::string text = as_typed(word);
                    const auto slash = text.find('/');
                    if (slash == std::string::npos) throw UsageError("--shard is K/N, as 0/4, not '" + text + "'");
                    options.shards = positive_whole("--shard", text.substr(slash + 1));
                    const std::string k = text.substr(0, slash);
                    options.shard = k == "0" ? 0 : positive_whole("--shard", k);
                    if (options.shard >= options.shards)
                        throw UsageError("--shard " + text + ": K counts from 0 to N - 1");
                },
                "run the cases K, K+N, ... into DIR/summary.K-of-N.csv")
            ->type_name("K/N");
    const auto merge = add_path_option(command, "--merge", options.merge,
                                       "join the shards in DIR into DIR/summary.csv")
                           ->type_name("DIR");
    const auto slurm = command.add_flag("--slurm", options.slurm,
                                        "write a Slurm job array of the shards and a merge job");
    add_count_option(command, "--tasks", options.tasks, "the job array's tasks (default: up to 32)")->needs(slurm);
    command.add_flag("--submit", options.submit, "submit the job array, wait and merge")->needs(slurm);
    merge->excludes(slurm)->excludes(shard)->excludes(out);
    slurm->excludes(shard);
}

SweepOptions parse_sweep_options(const std::vector<std::string>& args) {
    return parse_options(setup_sweep_command, "sweep", args);
}

int sweep_command(const SweepOptions& options) {
    if (options.force) host::input_limits().largest_file = std::numeric_limits<std::uintmax_t>::max();
    host::SweepSpec spec = host::read_sweep_file(*options.file);
    complete_search_path(spec.model, options.paths);
    check_sweep_size(spec, options);
    const std::vector<SweepCase> cases = sweep_cases(spec);
    if (options.merge) return merge(options, spec, cases.size());
    check_metric_signals(spec);
    if (options.slurm) return slurm(options, spec, cases.size());
    return run_cases(options, spec, cases);
}

}  // namespace blocksim
