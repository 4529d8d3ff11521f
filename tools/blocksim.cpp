// blocksim: runs models of the S-function blocks without MATLAB, and shows
// what a block declares.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "commands.hpp"
#include "engine_demo.hpp"

namespace {

const char* const usage = R"(usage:
  blocksim run [MODEL] [--solver S] [--step H] [--stop T] [--rtol R] [--atol A] [--max-step H]
               [--initial-step H] [--out FILE.csv] [--plot FILE.png] [--no-plot] [--force] [--path DIR]...
      Runs MODEL (a YAML model file; without one, the built-in engine demo).
      Solvers: ode1..ode4 (fixed step), ode45, ode23, bdf (variable step).
      Writes the logged signals to a CSV file (MODEL.csv next to the model
      unless --out) and, where gnuplot is installed, plots them to a PNG
      (beside the CSV unless --plot; --no-plot for none). No output may be
      the model or a file it reads. A CSV of more than 2 GB, or a model,
      sweep or table file of more than 256 MB, needs --force. An unfinished
      run's rows go to NAME.partial.csv; exit 0 all ran, 1 a failure, 2 a
      wrong command line, 130/143 stopped by a signal.
  blocksim sweep FILE [--jobs N] [--out DIR] [--keep-runs] [--no-plot] [--force] [--path DIR]...
  blocksim sweep FILE --shard K/N [--jobs N] [--out DIR] [--keep-runs]
  blocksim sweep FILE --merge DIR
  blocksim sweep FILE --slurm [--tasks N] [--jobs N] [--submit] [--out DIR] [--keep-runs]
      Runs every case of a sweep file (a model and the values to vary) on N
      worker processes (default: one per core) and writes DIR/summary.csv, a
      row per case with its values, metrics and status, and a plot of each
      metric over each value (DIR: the sweep file's name without .yaml,
      beside it, unless --out). --keep-runs writes each case's CSV to
      DIR/runs. --shard K/N runs the cases K, K+N, ... into
      DIR/summary.K-of-N.csv; --merge joins the shards into DIR/summary.csv.
      --slurm writes a Slurm job array of N tasks (default: up to 32, one
      per shard) and a merge job; --submit submits it, waits and merges.
      A sweep or merge with a failed case writes its whole summary and exits 1.
  blocksim info NAME [PARAMS...] [--raw] [--path DIR]...
      Loads S-function NAME and prints its declaration for the given dialog
      parameters (YAML values: 0.7, "[2, 0.5, 0.1]", "{int32: 3}"); --raw prints
      the size fields as the command-line call returns them.
  blocksim demo-model
      Prints the built-in engine demo model.

S-function libraries (NAME.mexa64) are looked for in the --path folders, the
model's search_path, the folders in $BLOCKSIM_PATH, the installed library
folder and the build's block folder.
)";

// What was printed must have reached standard output too: a status of 0
// with its lines lost (a full disk, a closed pipe) would be a false success.
int finished(int status) {
    std::cout.flush();
    if (std::cout) return status;
    std::cerr << "blocksim: error: cannot write to standard output: " << std::strerror(errno) << "\n";
    return status == 0 ? 1 : status;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // A closed pipe on standard output is an error to report, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
            std::cout << usage;
            return args.empty() ? 2 : 0;
        }
        const std::string command = args[0];
        args.erase(args.begin());
        if (command == "run") return finished(blocksim::run_command(args));
        if (command == "sweep") return finished(blocksim::sweep_command(args));
        if (command == "info") return finished(blocksim::info_command(args));
        if (command == "demo-model") {
            std::cout << engine_demo_model;
            return finished(0);
        }
        throw blocksim::UsageError("unknown command '" + command + "'");
    } catch (const blocksim::UsageError& error) {
        std::cerr << "blocksim: " << error.what() << "\n\n" << usage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "blocksim: error: " << error.what() << "\n";
        return 1;
    }
}
