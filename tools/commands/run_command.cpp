// blocksim run: a model from its file to a CSV and a plot, as a pipeline of
// named steps. No output lands on an input, an interrupted run leaves whole
// rows, and a run that would write more than a few gigabytes asks first.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>

#include "commands/command_line.hpp"
#include "commands/commands.hpp"
#include "commands/interrupt.hpp"
#include "commands/options.hpp"
#include "commands/progress.hpp"
#include "commands/search_path.hpp"
#include "commands/text.hpp"
#include "engine_demo.hpp"
#include "host/common/suggestions.hpp"
#include "host/model/model_file.hpp"
#include "host/sim/engine.hpp"
#include "output/csv_writer.hpp"
#include "output/output_file.hpp"
#include "output/outputs.hpp"
#include "output/plot.hpp"

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
    // The command line's solver keys over the model's; the last of a key given twice.
    struct Overrides {
        const std::vector<SolverSetting>& settings;
        const SolverSetting* given(const char* key) const {
            const SolverSetting* last = nullptr;
            for (const auto& setting : settings)
                if (setting.key == key) last = &setting;
            return last;
        }
        void number(const char* key, double& value, host::SolverUse, const char*) {
            if (const auto* setting = given(key)) value = setting->value;
        }
        void optional_number(const char* key, std::optional<double>& value, host::SolverUse, const char*) {
            if (const auto* setting = given(key)) value = setting->value;
        }
    };
    Overrides overrides{options.solver_settings};
    spec.solver.keys(overrides);
    complete_search_path(spec, options.paths);
    return spec;
}

void check_output_size(const host::Simulation& simulation, const std::filesystem::path& csv, bool force) {
    const CsvEstimate estimate = estimate_csv(simulation);
    if (estimate.bytes <= largest_output_bytes || force) return;
    const auto& solver = simulation.solver();
    const auto interval = simulation.log_interval();
    const bool solver_steps = simulation.logs_solver_steps();
    // The time between two rows (for the solver's own steps, the longest it takes), or none: every n-th step.
    const double grid = interval ? *interval : solver_steps ? solver.max_step_or_default() : 0.0;
    const double steps = grid > 0.0 ? std::floor(solver.stop / grid) : static_cast<double>(simulation.steps());
    const double fewer = std::ceil((steps + 1) / std::floor(largest_output_bytes / estimate.row_bytes));
    const std::string advice =
        simulation.log_interval_given() || solver_steps
            ? "log: interval: " + format_number(fewer * grid)
            : "log: every: " + format_number(interval ? fewer * std::round(*interval / solver.step) : fewer);
    throw host::HostError(std::string("the run would write ") + (solver_steps ? "at least " : "about ") +
                          gigabytes(estimate.bytes) + " to " + csv.string() + " (" +
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

// Where a variable-step run logged its rows.
std::string logged_at(const host::Simulation& simulation) {
    if (simulation.logs_solver_steps())
        return "logged at the solver's " + count_of(simulation.steps_taken(), "step");
    return "logged every " + format_time(*simulation.log_interval()) + " s" +
           (simulation.log_interval_given() ? std::string()
                                            : " (log: every: " + std::to_string(simulation.log_every()) + " of the " +
                                                  format_number(simulation.solver().step) + " s step)");
}

std::string run_summary(const std::string& title, const host::Simulation& simulation, double seconds) {
    const auto& solver = simulation.solver();
    const std::string took = seconds < 0.001 ? " in under 0.001 s" : " in " + three_digits(seconds) + " s";
    if (host::is_variable_step(solver.method))
        return "ran " + title + ": " + count_of(simulation.steps_taken(), "step") + " (" +
               host::solver_method_name(solver.method) + ", rtol " + format_number(solver.rtol) + ", atol " +
               format_number(solver.atol) + "), " +
               count_of(simulation.rhs_evaluations(), "evaluation") + " of the derivatives, to t = " +
               format_time(simulation.time()) + " s" + took + "; " + logged_at(simulation);
    const long long steps = simulation.steps();
    const bool shorter = simulation.last_step() < solver.step;
    std::string text = "ran " + title + ": " + count_of(shorter ? steps - 1 : steps, "step") + " of " +
                       format_number(solver.step) + " s";
    // Ten digits: the last step is a difference of times, 0.000999999999999 for 1 ms.
    if (shorter) text += " and a last one of " + ten_digits(simulation.last_step()) + " s";
    return text + " (" + host::solver_method_name(solver.method) + ") to t = " + format_time(simulation.time()) + " s" +
           took;
}

// "--max-step" for the solver key max_step.
std::string option_of(const std::string& key) {
    std::string option = "--" + key;
    std::replace(option.begin(), option.end(), '_', '-');
    return option;
}

// The options that a solver does not use, with why, for a warning each.
std::vector<std::string> ignored_options(const RunOptions& options, const host::Simulation& simulation) {
    const bool variable = host::is_variable_step(simulation.solver().method);
    const std::string solver = host::solver_method_name(simulation.solver().method);
    struct Unused {
        const RunOptions& options;
        const host::Simulation& simulation;
        bool variable;
        std::string solver;
        std::vector<std::string> warnings;
        bool given(const char* key) const {
            return std::any_of(options.solver_settings.begin(), options.solver_settings.end(),
                               [&](const SolverSetting& setting) { return setting.key == key; });
        }
        void number(const char* key, double&, host::SolverUse use, const char*) { check(key, use); }
        void optional_number(const char* key, std::optional<double>&, host::SolverUse use, const char*) {
            check(key, use);
        }
        void check(const char* key, host::SolverUse use) {
            if (!given(key)) return;
            if (use == host::SolverUse::variable_step && !variable)
                warnings.push_back(option_of(key) + " has no effect: " + solver +
                                   " takes fixed steps of --step; it applies to ode45, ode23 and bdf");
            // Under a variable-step method the step still sets the log interval of log: every.
            if (use == host::SolverUse::fixed_step && variable && !simulation.log_every_given())
                warnings.push_back(option_of(key) + " has no effect: " + solver + " chooses its own steps, and the model " +
                                   (simulation.log_interval_given()
                                        ? "logs at a fixed interval (log: interval)"
                                        : "logs at them (log: every or interval logs at a fixed interval)"));
        }
    };
    Unused unused{options, simulation, variable, solver, {}};
    host::SolverSpec keys;
    keys.keys(unused);
    return unused.warnings;
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

void setup_run_command(CLI::App& command, RunOptions& options) {
    command.description(
        "Runs MODEL (a YAML model file; without one, the built-in engine demo) and writes its logged signals "
        "to a CSV file and, where gnuplot is installed, a plot of them to a PNG. No output may be the model or "
        "a file it reads. An unfinished run's rows go to NAME.partial.csv; exit 0 all ran, 1 a failure, 2 a "
        "wrong command line, 130/143 stopped by a signal.");
    add_path_option(command, "model file", options.model_file, "the model (default: the built-in engine demo)")
        ->option_text("MODEL");
    const auto methods = host::solver_method_names();
    command
        .add_option_function<std::string>(
            "--solver",
            [&options, methods](const std::string& word) {
                const std::string name = as_typed(word);
                if (!host::solver_method_named(name))
                    throw UsageError("unknown solver '" + name + "' (known: " + host::known_solver_methods() + ")" +
                                     host::did_you_mean(name, methods));
                options.solver = name;
            },
            "the solver: ode1..ode4 (fixed step), ode45, ode23, bdf (variable step)")
        ->type_name("S");
    // One option per solver key of the model file, with its default.
    struct SolverOptions {
        CLI::App& command;
        RunOptions& options;
        void add(const char* key, const std::string& help) {
            const std::string option = option_of(key);
            command
                .add_option_function<std::string>(
                    option,
                    [&settings = options.solver_settings, key, option](const std::string& text) {
                        settings.push_back({key, number_argument(option, as_typed(text))});
                    },
                    help + " (the model's solver: " + key + ")")
                ->type_name("NUMBER");
        }
        void number(const char* key, double& value, host::SolverUse, const char* meaning) {
            add(key, std::string(meaning) + "; default " + format_number(value));
        }
        void optional_number(const char* key, std::optional<double>&, host::SolverUse, const char* meaning) {
            add(key, meaning);
        }
    };
    SolverOptions solver_options{command, options};
    host::SolverSpec defaults;
    defaults.keys(solver_options);
    add_path_option(command, "--out", options.out, "the CSV file (default: MODEL.csv beside the model)");
    const auto plot = add_path_option(command, "--plot", options.plot, "the PNG file (default: beside the CSV)");
    command.add_flag("--no-plot", options.no_plot, "no plot")->excludes(plot);
    command.add_flag("--force", options.force,
                     "write a CSV of more than 2 GB, read model and table files of more than 256 MB");
    add_path_list_option(command, "--path", options.paths, "a folder of S-function libraries, searched first");
}

RunOptions parse_run_options(const std::vector<std::string>& args) {
    return parse_options(setup_run_command, "run", args);
}

int run_command(const RunOptions& options) {
    // A signal at any moment ends the run where its rows are whole.
    const StopOnSignals signals;
    host::ModelSpec spec = read_model(options);
    const RunOutputs outputs = choose_outputs(options.model_file, options.out, options.plot);
    const bool plot_asked = options.plot.has_value();
    const bool gnuplot = !options.no_plot && (plot_asked || have_gnuplot());
    refuse_overwriting_inputs(outputs, host::files_read(spec), !options.no_plot);
    if (plot_asked && !have_gnuplot())
        throw host::HostError(std::string("--plot needs gnuplot, but ") + gnuplot_missing);
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
    // The solver's own steps are not counted before the run: their rows stop
    // where an estimate would have asked for --force.
    const long long most_rows =
        options.force || !simulation.logs_solver_steps()
            ? std::numeric_limits<long long>::max()
            : static_cast<long long>(largest_output_bytes / estimate_csv(simulation).row_bytes);
    const auto started = std::chrono::steady_clock::now();
    try {
        simulation.run([&](double t, const std::vector<double>& row) {
            if (csv.rows() >= most_rows)
                throw host::HostError("the run logged " + count_of(csv.rows(), "row") + " at the solver's steps, about " +
                                      gigabytes(largest_output_bytes) + ", as much as blocksim writes without --force; "
                                      "log at a fixed interval (log: interval) or add --force");
            csv.row(t, row);
        });
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
    std::string plot_failure;
    // The plot is drawn into its temporary file before either output takes
    // its name: a signal until then keeps the earlier CSV and plot as they were.
    try {
        stop_if_requested("finishing the run");
        if (drawn) {
            csv.flush();
            try {
                png->write(draw_plot(csv.path(), outputs.png, title, simulation, csv));
            } catch (const Interrupted&) {
                throw;
            } catch (const std::exception& error) {
                plot_failure = error.what();
            }
        }
        stop_if_requested("writing " + outputs.csv.string());
    } catch (const Interrupted& stopped) {
        std::cerr << "blocksim: " << stopped.what() << "\nblocksim: the run had ended at t = "
                  << format_time(simulation.time()) << " s; " << keep_partial(csv, outputs.csv) << "\n";
        return 128 + stop_signal;
    }
    csv.commit();
    std::cout << run_summary(title, simulation, seconds) << "\n"
              << "wrote " << outputs.csv.string() << " (" << count_of(csv.rows(), "row") << ", "
              << count_of(static_cast<long long>(simulation.column_names().size()), "signal") << ")\n";
    if (drawn && plot_failure.empty()) {
        try {
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
    if (!gnuplot && !options.no_plot) std::cout << "no plot: " << gnuplot_missing << "\n";
    else if (plot) std::cout << "no plot: the run logged " << count_of(csv.rows(), "row") << ", too few for a line\n";
    return 0;
}

}  // namespace blocksim
