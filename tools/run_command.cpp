// blocksim run: a model from its file to a CSV and a plot, as a pipeline of
// named steps. No output lands on an input, an interrupted run leaves whole
// rows, and a run that would write more than a few gigabytes asks first.
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>

#include "commands.hpp"
#include "csv_writer.hpp"
#include "engine_demo.hpp"
#include "host/model/model_file.hpp"
#include "host/sim/engine.hpp"
#include "interrupt.hpp"
#include "options.hpp"
#include "output_file.hpp"
#include "outputs.hpp"
#include "plot.hpp"
#include "progress.hpp"
#include "search_path.hpp"
#include "text.hpp"

namespace blocksim {

namespace {

host::ModelSpec read_model(const RunOptions& options) {
    if (options.force) host::input_limits().largest_file = std::numeric_limits<std::uintmax_t>::max();
    host::ModelSpec spec = options.model_file ? host::read_model_file(*options.model_file)
                                              : host::read_model_text(engine_demo_model, "engine demo", ".");
    if (options.solver) {
        const auto method = host::solver_method_named(*options.solver);
        if (!method)
            throw UsageError("unknown solver '" + *options.solver + "' (known: " + host::known_solver_methods() + ")");
        spec.solver.method = *method;
    }
    if (options.step) spec.solver.step = *options.step;
    if (options.stop) spec.solver.stop = *options.stop;
    if (options.rtol) spec.solver.rtol = *options.rtol;
    if (options.atol) spec.solver.atol = *options.atol;
    if (options.max_step) spec.solver.max_step = *options.max_step;
    if (options.initial_step) spec.solver.initial_step = *options.initial_step;
    complete_search_path(spec, options.paths);
    return spec;
}

void check_output_size(const host::Simulation& simulation, const std::filesystem::path& csv, bool force) {
    const CsvEstimate estimate = estimate_csv(simulation);
    if (estimate.bytes <= largest_output_bytes || force) return;
    const auto interval = simulation.log_interval();
    const double steps = interval ? std::floor(simulation.solver().stop / *interval)
                                  : static_cast<double>(simulation.steps());
    const double fewer = std::ceil((steps + 1) / std::floor(largest_output_bytes / estimate.row_bytes));
    const std::string advice =
        interval && simulation.log_interval_given()
            ? "log: interval: " + format_number(fewer * *interval)
            : "log: every: " + format_number(interval ? fewer * std::round(*interval / simulation.solver().step) : fewer);
    throw host::HostError("the run would write about " + gigabytes(estimate.bytes) + " to " + csv.string() + " (" +
                          format_number(estimate.rows) + " rows), more than the " + gigabytes(largest_output_bytes) +
                          " blocksim writes without --force; log fewer rows (" + advice +
                          " keeps it under) or add --force");
}

std::string digits(double value, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
std::string three_digits(double value) { return digits(value, "%.3g"); }
std::string ten_digits(double value) { return digits(value, "%.10g"); }

std::string run_summary(const std::string& title, const host::Simulation& simulation, double seconds) {
    const auto& solver = simulation.solver();
    const std::string took = seconds < 0.001 ? " in under 0.001 s" : " in " + three_digits(seconds) + " s";
    if (host::is_variable_step(solver.method))
        return "ran " + title + ": " + count_of(simulation.steps_taken(), "step") + " (" +
               host::solver_method_name(solver.method) + ", rtol " + format_number(solver.rtol) + ", atol " +
               format_number(solver.atol) + "), " +
               count_of(simulation.rhs_evaluations(), "evaluation") + " of the derivatives, to t = " +
               format_time(simulation.time()) + " s" + took + "; logged every " +
               format_time(*simulation.log_interval()) + " s" +
               (simulation.log_interval_given() ? std::string()
                                                : " (log: every: " + std::to_string(simulation.log_every()) +
                                                      " of the " + format_number(solver.step) + " s step)");
    const long long steps = simulation.steps();
    const bool shorter = simulation.last_step() < solver.step;
    std::string text = "ran " + title + ": " + count_of(shorter ? steps - 1 : steps, "step") + " of " +
                       format_number(solver.step) + " s";
    // Ten digits: the last step is a difference of times, 0.000999999999999 for 1 ms.
    if (shorter) text += " and a last one of " + ten_digits(simulation.last_step()) + " s";
    return text + " (" + host::solver_method_name(solver.method) + ") to t = " + format_time(simulation.time()) + " s" +
           took;
}

// The options that a solver does not use, with why, for a warning each.
std::vector<std::string> ignored_options(const RunOptions& options, const host::Simulation& simulation) {
    const bool variable = host::is_variable_step(simulation.solver().method);
    const std::string solver = host::solver_method_name(simulation.solver().method);
    std::vector<std::string> warnings;
    if (variable) {
        if (options.step && simulation.log_interval_given())
            warnings.push_back("--step has no effect: " + solver + " chooses its own steps, and the model logs at a "
                               "fixed interval (log: interval)");
        return warnings;
    }
    const std::pair<const char*, bool> variable_only[] = {{"--rtol", options.rtol.has_value()},
                                                          {"--atol", options.atol.has_value()},
                                                          {"--max-step", options.max_step.has_value()},
                                                          {"--initial-step", options.initial_step.has_value()}};
    for (const auto& [option, given] : variable_only)
        if (given)
            warnings.push_back(std::string(option) + " has no effect: " + solver +
                               " takes fixed steps of --step; it applies to ode45, ode23 and bdf");
    return warnings;
}

// Where an unfinished run's rows go: e.csv -> e.partial.csv, so that a
// complete e.csv of an earlier run and its plot stay as they were.
std::string keep_partial(CsvWriter& csv, const std::filesystem::path& target) {
    try {
        const auto kept = csv.commit_as(tagged_name(target, "partial"));
        return kept.string() + " holds the " + count_of(csv.rows(), "row") + " written up to t = " +
               format_time(csv.last_time()) + " s";
    } catch (const std::exception& error) {
        return std::string("its rows are lost: ") + error.what();
    }
}

// A plot left from an earlier run would stand beside a CSV it does not show.
void remove_earlier_plot(const std::filesystem::path& png) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(png, error))) return;
    if (std::filesystem::remove(png, error))
        std::cout << "removed " << png.string() << ", the plot of an earlier run\n";
    else
        std::cerr << "blocksim: warning: " << png.string() << " is the plot of an earlier run and could not be removed: "
                  << error.message() << "\n";
}

}  // namespace

RunOptions parse_run_options(const std::vector<std::string>& args) {
    RunOptions options;
    auto value = [&](std::size_t& i) {
        if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
        return args[++i];
    };
    auto number = [&](std::size_t& i) {
        const std::string option = args[i];
        const std::string text = value(i);
        double parsed = 0.0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size())
            throw UsageError(option + " needs a number, not '" + text + "'");
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--solver") options.solver = value(i);
        else if (arg == "--step") options.step = number(i);
        else if (arg == "--stop") options.stop = number(i);
        else if (arg == "--rtol") options.rtol = number(i);
        else if (arg == "--atol") options.atol = number(i);
        else if (arg == "--max-step") options.max_step = number(i);
        else if (arg == "--initial-step") options.initial_step = number(i);
        else if (arg == "--out") options.out = checked_path("--out", value(i));
        else if (arg == "--plot") options.plot = checked_path("--plot", value(i));
        else if (arg == "--no-plot") options.no_plot = true;
        else if (arg == "--force") options.force = true;
        else if (arg == "--path") options.paths.emplace_back(checked_path("--path", value(i)));
        else if (!arg.empty() && arg[0] == '-') throw UsageError("unknown option " + arg);
        else if (!options.model_file) options.model_file = checked_path("the model file", arg);
        else throw UsageError("one model at a time: " + options.model_file->string() + " and " + arg);
    }
    if (options.plot && options.no_plot) throw UsageError("--plot and --no-plot together");
    return options;
}

int run_command(const std::vector<std::string>& args) {
    const RunOptions options = parse_run_options(args);
    host::ModelSpec spec = read_model(options);
    const RunOutputs outputs = choose_outputs(options.model_file, options.out, options.plot);
    const bool plot_asked = options.plot.has_value();
    const bool gnuplot = !options.no_plot && (plot_asked || have_gnuplot());
    refuse_overwriting_inputs(outputs, host::files_read(spec), !options.no_plot);
    if (plot_asked && !have_gnuplot())
        throw host::HostError("--plot needs gnuplot, which is not installed (apt-get install gnuplot-nox)");
    const std::string title = options.model_file ? options.model_file->string() : "engine demo";

    host::Simulation simulation(std::move(spec));
    for (const auto& warning : ignored_options(options, simulation)) std::cerr << "blocksim: warning: " << warning << "\n";
    check_output_size(simulation, outputs.csv, options.force);
    const bool plot = gnuplot && !simulation.groups().empty();

    CsvWriter csv(outputs.csv, simulation.column_names());
    std::optional<OutputFile> png;
    if (plot) png.emplace(outputs.png);
    Progress progress(simulation.solver().stop);
    simulation.set_progress([&](double t) { progress(t); });
    simulation.set_stop_request(&stop_requested);
    const auto started = std::chrono::steady_clock::now();
    try {
        const StopOnSignals signals;
        simulation.run([&](double t, const std::vector<double>& row) { csv.row(t, row); });
    } catch (const host::RunStopped& stopped) {
        progress.clear();
        std::cerr << "blocksim: stopped by " << stop_signal_name() << " at t = "
                  << format_time(stopped.time()) << " s\nblocksim: the run stopped at t = "
                  << format_time(simulation.time()) << " s; " << keep_partial(csv, outputs.csv) << "\n";
        return 128 + stop_signal;
    } catch (const std::exception& error) {
        progress.clear();
        if (csv.failed()) {  // the CSV itself: nothing is left to keep
            std::cerr << "blocksim: error: " << error.what() << "\n";
            return 1;
        }
        std::cerr << "blocksim: error: " << error.what() << "\nblocksim: the run stopped at t = "
                  << format_time(simulation.time()) << " s; " << keep_partial(csv, outputs.csv) << "\n";
        return 1;
    }
    progress.clear();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const bool drawn = plot && csv.rows() >= 2;
    std::string image, plot_failure;
    if (drawn) {
        csv.flush();
        try {
            image = draw_plot(csv.path(), outputs.png, title, simulation, csv);
        } catch (const std::exception& error) {
            plot_failure = error.what();
        }
    }
    csv.commit();
    std::cout << run_summary(title, simulation, seconds) << "\n"
              << "wrote " << outputs.csv.string() << " (" << count_of(csv.rows(), "row") << ", "
              << count_of(static_cast<long long>(simulation.column_names().size()), "signal") << ")\n";
    if (drawn && plot_failure.empty()) {
        try {
            png->write(image);
            png->commit();
        } catch (const std::exception& error) {
            plot_failure = error.what();
        }
    }
    if (drawn && plot_failure.empty()) {
        std::cout << "wrote " << outputs.png.string() << "\n";
        return 0;
    }
    if (!options.no_plot) remove_earlier_plot(outputs.png);
    if (!plot_failure.empty()) {
        std::cerr << "blocksim: error: " << plot_failure << "\n";
        return 1;
    }
    if (!gnuplot && !options.no_plot) std::cout << "no plot: gnuplot is not installed (apt-get install gnuplot-nox)\n";
    else if (plot) std::cout << "no plot: the run logged " << count_of(csv.rows(), "row") << ", too few for a line\n";
    return 0;
}

}  // namespace blocksim
