// blocksim: runs models of the S-function blocks without MATLAB, and shows
// what a block declares.
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine_demo.hpp"
#include "host/model/model_file.hpp"
#include "host/sfunction/data_types.hpp"
#include "host/sfunction/library.hpp"
#include "host/sim/engine.hpp"
#include "simstruc.h"

namespace {

const char* const usage = R"(usage:
  blocksim run [MODEL] [--solver S] [--step H] [--stop T] [--out FILE.csv] [--plot FILE.png]
               [--no-plot] [--path DIR]...
      Runs MODEL (a YAML model file; without one, the built-in engine demo).
      Writes the logged signals to a CSV file (MODEL's name with .csv unless --out)
      and, where gnuplot is installed, plots them to a PNG (--plot, --no-plot).
  blocksim info NAME [PARAMS...] [--raw] [--path DIR]...
      Loads S-function NAME and prints its declaration for the given dialog
      parameters (YAML values: 0.7, "[2, 0.5, 0.1]", "{int32: 3}"); --raw prints
      the size fields as the command-line call returns them.
  blocksim demo-model
      Prints the built-in engine demo model.

S-function libraries (NAME.mexa64) are looked for in the --path folders, the
model's search_path, the folders in $BLOCKSIM_PATH and the build's block folder.
)";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string format_number(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Times in messages: twelve significant digits hide the rounding of n * step.
std::string format_time(double time) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.12g", time);
    return buffer;
}

std::vector<std::filesystem::path> default_search_path(const std::vector<std::filesystem::path>& extra) {
    std::vector<std::filesystem::path> path = extra;
    if (const char* env = std::getenv("BLOCKSIM_PATH")) {
        std::stringstream folders(env);
        std::string folder;
        while (std::getline(folders, folder, ':'))
            if (!folder.empty()) path.emplace_back(folder);
    }
    path.emplace_back(BLOCKS_LIBRARY_DIR);
    return path;
}

// ---------------------------------------------------------------- run

class CsvWriter {
public:
    CsvWriter(const std::filesystem::path& file, const std::vector<std::string>& columns) {
        if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
        out_.open(file);
        if (!out_) throw host::HostError("cannot write " + file.string());
        out_ << "time";
        for (const auto& column : columns) out_ << ',' << column;
        out_ << '\n';
    }
    void row(double time, const std::vector<double>& values) {
        out_ << format_number(time);
        for (double value : values) out_ << ',' << format_number(value);
        out_ << '\n';
        ++rows_;
        last_time_ = time;
    }
    void close() { out_.close(); }
    long rows() const { return rows_; }
    double last_time() const { return last_time_; }

private:
    std::ofstream out_;
    long rows_ = 0;
    double last_time_ = 0.0;
};

bool have_gnuplot() { return std::system("command -v gnuplot >/dev/null 2>&1") == 0; }

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

// One panel per log group, time on the x axis.
bool plot(const std::filesystem::path& csv, const std::filesystem::path& png, const std::string& title,
          const host::Simulation& simulation) {
    const auto& groups = simulation.group_names();
    if (groups.empty()) return false;
    if (png.has_parent_path()) std::filesystem::create_directories(png.parent_path());
    std::ostringstream script;
    script << "set datafile separator ','\n"
           << "set terminal pngcairo noenhanced size 1100," << 60 + 230 * groups.size() << " font 'sans,9'\n"
           << "set output " << quoted(png.string()) << "\n"
           << "set grid\nset key outside right top\nset lmargin 12\nset rmargin 28\n"
           << "set offsets 0, 0, graph 0.06, graph 0.06\n"
           << "set multiplot layout " << groups.size() << ",1 title " << quoted(title) << "\n";
    for (std::size_t group = 0; group < groups.size(); ++group) {
        script << "set title " << quoted(groups[group]) << "\n";
        if (group + 1 == groups.size()) script << "set xlabel 't [s]'\n";
        script << "plot";
        bool first = true;
        for (std::size_t column = 0; column < simulation.column_names().size(); ++column) {
            if (simulation.column_groups()[column] != static_cast<int>(group)) continue;
            script << (first ? " " : ", ") << quoted(csv.string()) << " using 1:" << column + 2
                   << " every ::1 with lines title " << quoted(simulation.column_names()[column]);
            first = false;
        }
        script << "\n";
    }
    script << "unset multiplot\n";
    FILE* gnuplot = popen("gnuplot", "w");
    if (!gnuplot) return false;
    std::fputs(script.str().c_str(), gnuplot);
    return pclose(gnuplot) == 0;
}

// Shows simulation time on a terminal once a run has taken a second.
class Progress {
public:
    Progress(double stop) : stop_(stop), start_(std::chrono::steady_clock::now()), shown_(isatty(STDERR_FILENO)) {}
    void operator()(double time) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        std::fprintf(stderr, "\rblocksim: t = %.6g s of %.6g s (%3.0f%%)", time, stop_,
                     stop_ > 0 ? 100.0 * time / stop_ : 100.0);
        active_ = true;
    }
    void clear() {
        if (active_) std::fprintf(stderr, "\r%60s\r", "");
        active_ = false;
    }

private:
    double stop_;
    std::chrono::steady_clock::time_point start_, last_{};
    bool shown_, active_ = false;
};

int run(const std::vector<std::string>& args) {
    std::optional<std::string> model_file, solver, out, png;
    std::optional<double> step, stop;
    bool no_plot = false;
    std::vector<std::filesystem::path> extra_path;
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
        if (arg == "--solver") solver = value(i);
        else if (arg == "--step") step = number(i);
        else if (arg == "--stop") stop = number(i);
        else if (arg == "--out") out = value(i);
        else if (arg == "--plot") png = value(i);
        else if (arg == "--no-plot") no_plot = true;
        else if (arg == "--path") extra_path.emplace_back(value(i));
        else if (!arg.empty() && arg[0] == '-') throw UsageError("unknown option " + arg);
        else if (!model_file) model_file = arg;
        else throw UsageError("one model at a time: " + *model_file + " and " + arg);
    }

    host::ModelSpec spec = model_file ? host::read_model_file(*model_file)
                                      : host::read_model_text(engine_demo_model, "engine demo", ".");
    if (solver) {
        const auto method = host::solver_method_named(*solver);
        if (!method)
            throw UsageError("unknown solver '" + *solver + "' (known: " + host::known_solver_methods() + ")");
        spec.solver.method = *method;
    }
    if (step) spec.solver.step = *step;
    if (stop) spec.solver.stop = *stop;
    auto path = default_search_path(extra_path);
    path.insert(path.begin() + static_cast<long>(extra_path.size()), spec.search_path.begin(), spec.search_path.end());
    spec.search_path = path;

    const std::string stem = model_file ? std::filesystem::path(*model_file).stem().string() : "engine";
    const std::filesystem::path csv_file = out ? *out : stem + ".csv";
    const std::filesystem::path png_file = png ? std::filesystem::path(*png) : std::filesystem::path(csv_file).replace_extension(".png");
    const std::string title = model_file ? *model_file : "engine demo";

    host::Simulation simulation(std::move(spec));
    CsvWriter csv(csv_file, simulation.column_names());
    Progress progress(simulation.solver().stop);
    simulation.set_progress([&](double t) { progress(t); });
    const auto started = std::chrono::steady_clock::now();
    try {
        simulation.run([&](double t, const std::vector<double>& row) { csv.row(t, row); });
    } catch (const std::exception& error) {
        progress.clear();
        csv.close();
        std::cerr << "blocksim: error: " << error.what() << "\n"
                  << "blocksim: the run stopped at t = " << format_time(simulation.time()) << " s; "
                  << csv_file.string() << " holds the " << csv.rows() << " rows written up to t = "
                  << format_time(csv.last_time()) << " s\n";
        return 1;
    }
    progress.clear();
    csv.close();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "ran " << title << ": " << simulation.steps() << " steps of " << simulation.solver().step << " s ("
              << host::solver_method_name(simulation.solver().method) << ") to t = " << format_time(simulation.time()) << " s in "
              << format_number(std::round(seconds * 1000) / 1000) << " s\n";
    std::cout << "wrote " << csv_file.string() << " (" << csv.rows() << " rows, "
              << simulation.column_names().size() << " signals)\n";
    if (no_plot || simulation.group_names().empty()) return 0;
    if (!have_gnuplot()) {
        std::cout << "no plot: gnuplot is not installed (apt-get install gnuplot-nox)\n";
    } else if (plot(csv_file, png_file, title, simulation)) {
        std::cout << "wrote " << png_file.string() << "\n";
    } else {
        std::cerr << "blocksim: gnuplot could not draw " << png_file.string() << "\n";
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------- info

const char* const field_names[SS_NUM_SIZE_FIELDS] = {
    "continuous states", "discrete states", "outputs (total width)", "inputs (total width)", "reserved",
    "direct feedthrough", "sample times", "dialog parameters", "RWork", "IWork", "PWork", "modes",
    "nonsampled zero crossings", "DWork", "input ports", "output ports", "input 0 width", "input 0 data type",
    "input 0 direct feedthrough", "input 1 width", "input 1 data type", "input 1 direct feedthrough",
    "input 2 width", "input 2 data type", "input 2 direct feedthrough", "output 0 width", "output 0 data type",
    "output 1 width", "output 1 data type", "output 2 width", "output 2 data type", "sample time",
    "offset time", "options", "simulation state compliance", "DWork 0 width", "DWork 0 data type", "level"};

int info(const std::vector<std::string>& args) {
    std::optional<std::string> name;
    bool raw = false;
    std::vector<std::filesystem::path> extra_path;
    std::vector<host::ArrayPtr> parameters;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--raw") raw = true;
        else if (args[i] == "--path") {
            if (i + 1 >= args.size()) throw UsageError("--path needs a folder");
            extra_path.emplace_back(args[++i]);
        } else if (!name) name = args[i];
        else {
            const std::string source = "parameter " + std::to_string(parameters.size() + 1);
            parameters.push_back(host::parameter_from_text(args[i], source));
        }
    }
    if (!name) throw UsageError("info needs an S-function name");
    const auto library = host::Library::load(*name, default_search_path(extra_path));
    std::vector<const mxArray*> views;
    for (const auto& parameter : parameters) views.push_back(parameter.get());
    const std::vector<double> f = host::size_fields(*library, views);
    if (f.size() != SS_NUM_SIZE_FIELDS) throw host::HostError(*name + " returned " + std::to_string(f.size()) + " size fields");

    if (raw) {
        for (int i = 0; i < SS_NUM_SIZE_FIELDS; ++i)
            std::printf("%2d  %-14s  %s\n", i, format_number(f[i]).c_str(), field_names[i]);
        return 0;
    }
    auto count = [&](int field) { return static_cast<int>(f[field]); };
    auto type = [&](double id) { return host::data_type_label(static_cast<int>(id)); };
    std::printf("%s: level-%d S-function, %s\n", name->c_str(), count(SS_SIZES_LEVEL), library->file().c_str());
    std::printf("  dialog parameters  %d\n", count(SS_SIZES_NUM_PARAMS));
    for (std::size_t i = 0; i < parameters.size(); ++i)
        std::printf("    %zu: %s\n", i + 1, host::describe(parameters[i].get()).c_str());
    std::printf("  input ports        %d\n", count(SS_SIZES_NUM_INPUT_PORTS));
    for (int port = 0; port < count(SS_SIZES_NUM_INPUT_PORTS) && port < SS_SIZES_LISTED_PORTS; ++port) {
        const int base = SS_SIZES_INPUT_PORTS + 3 * port;
        std::printf("    %d: width %d, %s%s\n", port, count(base), type(f[base + 1]).c_str(),
                    f[base + 2] ? ", direct feedthrough" : "");
    }
    std::printf("  output ports       %d\n", count(SS_SIZES_NUM_OUTPUT_PORTS));
    for (int port = 0; port < count(SS_SIZES_NUM_OUTPUT_PORTS) && port < SS_SIZES_LISTED_PORTS; ++port) {
        const int base = SS_SIZES_OUTPUT_PORTS + 2 * port;
        std::printf("    %d: width %d, %s\n", port, count(base), type(f[base + 1]).c_str());
    }
    std::printf("  states             %d continuous, %d discrete\n", count(SS_SIZES_NUM_CONT_STATES),
                count(SS_SIZES_NUM_DISC_STATES));
    const double period = f[SS_SIZES_SAMPLE_TIME];
    std::printf("  sample time        %s, offset %s\n",
                period < 0 ? "inherited (-1)" : period == 0 ? "continuous (0)" : format_number(period).c_str(),
                format_number(f[SS_SIZES_OFFSET_TIME]).c_str());
    std::printf("  work vectors       RWork %d, IWork %d, PWork %d, modes %d, nonsampled zero crossings %d\n",
                count(SS_SIZES_NUM_RWORK), count(SS_SIZES_NUM_IWORK), count(SS_SIZES_NUM_PWORK),
                count(SS_SIZES_NUM_MODES), count(SS_SIZES_NUM_NONSAMPLED_ZCS));
    std::printf("  DWork              %d", count(SS_SIZES_NUM_DWORK));
    if (count(SS_SIZES_NUM_DWORK) > 0)
        std::printf(" (DWork 0: width %d, %s)", count(SS_SIZES_DWORK_WIDTH), type(f[SS_SIZES_DWORK_DATA_TYPE]).c_str());
    std::printf("\n  options            0x%08x\n", static_cast<unsigned>(f[SS_SIZES_OPTIONS]));
    std::printf("  sim state          %d%s\n", count(SS_SIZES_SIM_STATE_COMPLIANCE),
                count(SS_SIZES_SIM_STATE_COMPLIANCE) == 1 ? " (host default)" : "");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
            std::cout << usage;
            return args.empty() ? 2 : 0;
        }
        const std::string command = args[0];
        args.erase(args.begin());
        if (command == "run") return run(args);
        if (command == "info") return info(args);
        if (command == "demo-model") {
            std::cout << engine_demo_model;
            return 0;
        }
        throw UsageError("unknown command '" + command + "'");
    } catch (const UsageError& error) {
        std::cerr << "blocksim: " << error.what() << "\n\n" << usage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "blocksim: error: " << error.what() << "\n";
        return 1;
    }
}
