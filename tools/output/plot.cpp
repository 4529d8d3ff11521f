#include "output/plot.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "commands/interrupt.hpp"
#include "commands/text.hpp"
#include "host/common/errors.hpp"

namespace blocksim {

std::string gnuplot_string(const std::string& text, const std::string& what) {
    const std::string control = control_character(text);
    if (!control.empty()) {
        // The message shows the name with its control characters as '?': a raw
        // line break or NUL in it would cut or split the message itself.
        std::string shown = what;
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
        throw host::HostError("cannot plot " + shown + ": it holds a control character (" + control +
                              "); rename it without line breaks, tabs or other control characters");
    }
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

#ifndef _WIN32
extern "C" char** environ;

namespace {

// A PNG's signature and its last chunk, IEND with its CRC.
constexpr std::string_view png_signature("\x89PNG\r\n\x1a\n", 8);
constexpr std::string_view png_end("IEND\xae\x42\x60\x82", 8);

bool whole_png(const std::string& bytes) {
    return bytes.size() > png_signature.size() + png_end.size() && bytes.compare(0, 8, png_signature) == 0 &&
           bytes.compare(bytes.size() - png_end.size(), png_end.size(), png_end) == 0;
}

// gnuplot's first line that is neither a warning nor the caret under an error.
std::string first_error(const std::string& messages) {
    std::istringstream lines(messages);
    std::string line;
    while (std::getline(lines, line))
        if (line.find_first_not_of(" ^") != std::string::npos && line.find("arning") == std::string::npos) return line;
    return "";
}

struct Pipe {
    int ends[2] = {-1, -1};
    Pipe() {
        if (::pipe2(ends, O_CLOEXEC) != 0) throw host::HostError(std::string("cannot run gnuplot: ") + std::strerror(errno));
    }
    ~Pipe() { close_both(); }
    void close_end(int i) {
        if (ends[i] >= 0) ::close(ends[i]);
        ends[i] = -1;
    }
    void close_both() { close_end(0), close_end(1); }
};

// How often the wait for gnuplot looks whether a signal asked to stop.
constexpr int stop_poll_ms = 100;

// A gnuplot that must not outlive the wait for it: ended (SIGKILL) and
// reaped when the wait ends early, by a signal to blocksim or a failure.
struct Child {
    pid_t pid = 0;
    ~Child() { end(); }
    void end() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        wait();
    }
    int wait() {
        int status = -1;
        while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = 0;
        return status;
    }
};

// The script to gnuplot's standard input, its output and messages back, at
// once, so that neither side waits on a full pipe. A signal's stop request
// ends gnuplot and throws Interrupted.
void exchange(Pipe& in, Pipe& out, Pipe& err, const std::string& script, std::string& png, std::string& messages,
              Child& gnuplot, const std::filesystem::path& target) {
    std::size_t sent = 0;
    if (script.empty()) in.close_end(1);
    char buffer[65536];
    while (out.ends[0] >= 0 || err.ends[0] >= 0) {
        if (stop_requested.load()) {
            gnuplot.end();
            throw Interrupted("drawing " + target.string());
        }
        pollfd fds[3] = {{in.ends[1], POLLOUT, 0}, {out.ends[0], POLLIN, 0}, {err.ends[0], POLLIN, 0}};
        if (::poll(fds, 3, stop_poll_ms) < 0) {
            if (errno == EINTR) continue;
            throw host::HostError(std::string("cannot run gnuplot: ") + std::strerror(errno));
        }
        if (in.ends[1] >= 0 && fds[0].revents) {
            const ssize_t wrote = ::write(in.ends[1], script.data() + sent, script.size() - sent);
            if (wrote > 0) sent += static_cast<std::size_t>(wrote);
            if ((wrote < 0 && errno != EINTR && errno != EAGAIN) || sent == script.size()) in.close_end(1);
        }
        for (int i = 1; i < 3; ++i) {
            Pipe& pipe = i == 1 ? out : err;
            if (pipe.ends[0] < 0 || !fds[i].revents) continue;
            const ssize_t got = ::read(pipe.ends[0], buffer, sizeof buffer);
            if (got > 0) (i == 1 ? png : messages).append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR) pipe.close_end(0);
        }
    }
}

}  // namespace

std::string run_gnuplot(const std::string& script, const std::filesystem::path& png) {
    Pipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.ends[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.ends[1], STDERR_FILENO);
    char name[] = "gnuplot";
    char* argv[] = {name, nullptr};
    Child gnuplot;
    // blocksim ignores SIGPIPE: a gnuplot that ends early shows as a failed write.
    const int spawned = ::posix_spawnp(&gnuplot.pid, "gnuplot", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    in.close_end(0), out.close_end(1), err.close_end(1);
    if (spawned != 0) {
        gnuplot.pid = 0;
        throw host::HostError("cannot run gnuplot: " + std::string(std::strerror(spawned)));
    }
    std::string bytes, messages;
    exchange(in, out, err, script, bytes, messages, gnuplot, png);
    const int status = gnuplot.wait();
    // A Ctrl-C reaches gnuplot too, which then fails: the stop is what happened.
    stop_if_requested("drawing " + png.string());
    const std::string error = first_error(messages);
    if (status != 0 || !whole_png(bytes))
        throw host::HostError("gnuplot could not draw " + png.string() + (error.empty() ? "" : ": " + error));
    return bytes;
}

bool have_gnuplot() { return std::system("command -v gnuplot >/dev/null 2>&1") == 0; }

const char* const gnuplot_missing = "gnuplot is not installed (apt-get install gnuplot-nox)";
#else
// The Windows blocksim runs no other program: its plots are drawn by the
// Linux one from the same CSV.
bool have_gnuplot() { return false; }

std::string run_gnuplot(const std::string&, const std::filesystem::path& png) {
    throw host::HostError("cannot draw " + png.string() + ": " + gnuplot_missing);
}

const char* const gnuplot_missing = "the Windows blocksim draws no plots (blocksim run --plot on Linux draws them from its CSV)";
#endif

namespace {

// The n-th line of a panel: colours that stand apart on white, and each
// later line thinner and dashed, so that it shows over a line it coincides with.
std::string line_style(std::size_t n) {
    static const char* const colours[] = {"#0072b2", "#d55e00", "#009e73", "#cc79a7",
                                          "#56b4e9", "#e69f00", "#000000", "#999999"};
    static const char* const widths[] = {"3", "2", "1.5", "1.2"};
    return std::string("lw ") + widths[std::min<std::size_t>(n, 3)] + " dt " + std::to_string(n % 5 + 1) + " lc rgb '" +
           colours[n % 8] + "'";
}

}  // namespace

std::string plot_script(const std::string& title, const std::filesystem::path& csv,
                        const std::vector<PlotPanel>& panels) {
    const std::string data = gnuplot_string(csv.string(), "the results file " + csv.string());
    std::ostringstream script;
    script << "set datafile separator ','\n"
           << "set terminal pngcairo noenhanced size 1100," << 60 + 230 * panels.size() << " font 'sans,9'\n"
           << "set grid\nset key outside right top\nset lmargin 12\nset rmargin 28\n"
           << "set offsets 0, 0, graph 0.06, graph 0.06\n"
           << "set multiplot layout " << panels.size() << ",1 title " << gnuplot_string(title, "the title " + title)
           << "\n";
    for (const auto& panel : panels) {
        script << "set title " << gnuplot_string(panel.title, "the log group '" + panel.title + "'") << "\n"
               << "set xlabel " << gnuplot_string(panel.x_label, "a signal name") << "\n"
               << "set ylabel " << gnuplot_string(panel.y_label, "the label of log group '" + panel.title + "'")
               << "\n";
        if (panel.x_range) script << "set xrange [" << panel.x_range->first << ":" << panel.x_range->second << "]\n";
        else script << "set autoscale x\n";
        const std::string x = panel.x_column < 0 ? "1" : std::to_string(panel.x_column + 2);
        script << "plot";
        for (std::size_t i = 0; i < panel.columns.size(); ++i)
            script << (i ? ", " : " ") << data << " using " << x << ":" << panel.columns[i] + 2 << " every ::1 with "
                   << (panel.steps[i] ? "steps" : "lines") << " " << line_style(i) << " title "
                   << gnuplot_string(panel.names[i], "a signal name");
        script << "\n";
    }
    script << "unset multiplot\n";
    return script.str();
}

std::string draw_plot(const std::filesystem::path& csv, const std::filesystem::path& png, const std::string& title,
                      const host::Simulation& simulation, const CsvWriter& written) {
    std::vector<PlotPanel> panels;
    for (const auto& group : simulation.groups()) {
        PlotPanel panel;
        panel.title = group.name;
        panel.x_column = group.x_column;
        panel.x_label = group.x_label;
        panel.x_range = group.x_range;
        panel.y_label = group.y_label;
        for (std::size_t i = 0; i < group.columns.size(); ++i) {
            const int column = group.columns[i];
            panel.columns.push_back(column);
            panel.names.push_back(group.keys[i]);
            panel.steps.push_back(group.x_column < 0 && written.two_valued(static_cast<std::size_t>(column)));
        }
        panels.push_back(std::move(panel));
    }
    return run_gnuplot(plot_script(title, csv, panels), png);
}

}  // namespace blocksim
