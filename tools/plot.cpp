#include "plot.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "host/sfunction/errors.hpp"
#include "text.hpp"

namespace blocksim {

std::string gnuplot_string(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

namespace {

void write_panel(std::ostream& script, const host::Simulation::PlotGroup& group, const std::string& csv,
                 const host::Simulation& simulation, const CsvWriter& written, int& colour) {
    const auto& names = simulation.column_names();
    script << "set title " << gnuplot_string(group.name) << "\n";
    if (group.x_column < 0) script << "set xlabel 't [s]'\n";
    else script << "set xlabel " << gnuplot_string(names[static_cast<std::size_t>(group.x_column)]) << "\n";
    if (group.x_range) script << "set xrange [" << group.x_range->first << ":" << group.x_range->second << "]\n";
    else script << "set autoscale x\n";
    const std::string x = group.x_column < 0 ? "1" : std::to_string(group.x_column + 2);
    script << "plot";
    for (std::size_t i = 0; i < group.columns.size(); ++i) {
        const auto column = static_cast<std::size_t>(group.columns[i]);
        const bool steps = group.x_column < 0 && written.two_valued(column);
        script << (i ? ", " : " ") << gnuplot_string(csv) << " using " << x << ":" << column + 2 << " every ::1 with "
               << (steps ? "steps" : "lines") << " lw 1.5 lc " << ++colour << " title " << gnuplot_string(names[column]);
    }
    script << "\n";
}

}  // namespace

void run_gnuplot(const std::string& script, const std::filesystem::path& png) {
    char errors[] = "/tmp/blocksim-gnuplot-XXXXXX";
    const int descriptor = ::mkstemp(errors);
    if (descriptor < 0) throw host::HostError("cannot plot: no temporary file for gnuplot's messages");
    ::close(descriptor);
    const std::string command = "gnuplot >/dev/null 2>" + shell_word(errors);
    FILE* gnuplot = ::popen(command.c_str(), "w");
    int status = -1;
    if (gnuplot) {
        std::fputs(script.c_str(), gnuplot);
        status = ::pclose(gnuplot);
    }
    std::ifstream messages(errors);
    std::string line, first_error;
    while (std::getline(messages, line))
        if (first_error.empty() && line.find_first_not_of(" ^") != std::string::npos && line.find("arning") == std::string::npos)
            first_error = line;
    std::filesystem::remove(errors);
    std::error_code error;
    if (status != 0 || !std::filesystem::exists(png, error) || std::filesystem::file_size(png, error) == 0)
        throw host::HostError("gnuplot could not draw " + png.string() + (first_error.empty() ? "" : ": " + first_error));
}

bool have_gnuplot() { return std::system("command -v gnuplot >/dev/null 2>&1") == 0; }

void check_plot_target(const std::filesystem::path& png) {
    std::error_code error;
    const auto folder = png.has_parent_path() ? png.parent_path() : std::filesystem::path(".");
    if (std::filesystem::is_directory(png, error))
        throw host::HostError("cannot plot to " + png.string() + ": it is a folder");
    if (std::filesystem::exists(folder, error) && !std::filesystem::is_directory(folder, error))
        throw host::HostError("cannot plot to " + png.string() + ": " + folder.string() + " is not a folder");
    if (!std::filesystem::exists(folder, error)) return;  // made with the plot
    // Opened as gnuplot will open it, and left as it was.
    const bool existed = std::filesystem::exists(png, error);
    std::FILE* file = std::fopen(png.c_str(), "ab");
    if (!file) throw host::HostError("cannot plot to " + png.string() + ": " + std::strerror(errno));
    std::fclose(file);
    if (!existed) std::filesystem::remove(png, error);
}

void draw_plot(const std::filesystem::path& csv, const std::filesystem::path& png, const std::string& title,
               const host::Simulation& simulation, const CsvWriter& written) {
    const auto& groups = simulation.groups();
    if (png.has_parent_path()) std::filesystem::create_directories(png.parent_path());
    std::ostringstream script;
    script << "set datafile separator ','\n"
           << "set terminal pngcairo noenhanced size 1100," << 60 + 230 * groups.size() << " font 'sans,9'\n"
           << "set output " << gnuplot_string(png.string()) << "\n"
           << "set grid\nset key outside right top\nset lmargin 12\nset rmargin 28\n"
           << "set offsets 0, 0, graph 0.06, graph 0.06\n"
           << "set multiplot layout " << groups.size() << ",1 title " << gnuplot_string(title) << "\n";
    int colour = 0;
    for (const auto& group : groups) write_panel(script, group, csv.string(), simulation, written, colour);
    script << "unset multiplot\n";

    run_gnuplot(script.str(), png);

}

}  // namespace blocksim
