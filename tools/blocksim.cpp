// blocksim: runs models of the S-function blocks without MATLAB, and shows
// what a block declares. Each command's options are set up beside the
// command (setup_*_command); this is the dispatch.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#ifdef BLOCKSIM_FMU_IMPORT
#include "host/fmu/fmu_node.hpp"
#endif
#include "commands/command_line.hpp"
#include "commands/commands.hpp"
#include "commands/interrupt.hpp"
#include "engine_demo.hpp"
#include "host/common/suggestions.hpp"

namespace {

const char* const footer = R"(
S-function libraries (NAME.mexa64) are looked for in the --path folders, the
model's search_path, the folders in $BLOCKSIM_PATH and the installed library
folder (or, run from a build, the build's block folder).)";

// What was printed must have reached standard output too: a status of 0
// with its lines lost (a full disk, a closed pipe) would be a false success.
int finished(int status) {
    std::cout.flush();
    if (std::cout) return status;
    std::cerr << "blocksim: error: cannot write to standard output: " << std::strerror(errno) << "\n";
    return status == 0 ? 1 : status;
}

struct Commands {
    blocksim::RunOptions run;
    blocksim::SweepOptions sweep;
    blocksim::InfoOptions info;
    blocksim::ExportOptions export_;
};

// blocksim's commands, each with its options; `chosen` runs the one parsed.
void setup(CLI::App& app, Commands& options, std::function<int()>& chosen) {
    app.description("Runs models of the engine S-function blocks, sweeps them, and shows what a block declares.");
    app.footer(footer);
    app.set_version_flag("--version", blocksim::version(), "print blocksim's version");
    app.require_subcommand(1);
    auto* run = app.add_subcommand("run", "run a model (default: the engine demo) into a CSV and a plot");
    blocksim::setup_run_command(*run, options.run);
    run->final_callback([&] { chosen = [&] { return blocksim::run_command(options.run); }; });
    auto* sweep = app.add_subcommand("sweep", "run every case of a sweep file into a summary");
    blocksim::setup_sweep_command(*sweep, options.sweep);
    sweep->final_callback([&] { chosen = [&] { return blocksim::sweep_command(options.sweep); }; });
    auto* info = app.add_subcommand("info", "what an S-function library declares");
    blocksim::setup_info_command(*info, options.info);
    info->final_callback([&] { chosen = [&] { return blocksim::info_command(options.info); }; });
#ifdef BLOCKSIM_EXPORT
    auto* exported = app.add_subcommand("export", "write a model as one FMI 2.0 co-simulation FMU");
    blocksim::setup_export_command(*exported, options.export_);
    exported->final_callback([&] { chosen = [&] { return blocksim::export_command(options.export_); }; });
#endif
    auto* demo = app.add_subcommand("demo-model", "print the built-in engine demo model");
    demo->final_callback([&] {
        chosen = [] {
            std::cout << engine_demo_model;
            return 0;
        };
    });
    for (auto* command : app.get_subcommands({})) command->footer(footer);
}

// "blocksim run", for the command whose words `args` are, or "blocksim".
std::string command_of(const CLI::App& app, const std::vector<std::string>& args) {
    for (const auto& word : args)
        for (const auto* command : app.get_subcommands({}))
            if (command->get_name() == word) return "blocksim " + word;
    return "blocksim";
}

void refuse_unknown_command(const CLI::App& app, const std::vector<std::string>& args) {
    if (args.empty() || args[0].empty() || args[0][0] == '-') return;
    std::vector<std::string> names;
    for (const auto* command : app.get_subcommands({})) names.push_back(command->get_name());
    if (std::find(names.begin(), names.end(), args[0]) != names.end()) return;
    std::string known;
    for (const auto& name : names) known += (known.empty() ? "" : ", ") + name;
    throw blocksim::UsageError("unknown command '" + args[0] + "'" + host::did_you_mean(args[0], names) +
                               " (known: " + known + ")");
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe on standard output is an error to report, not a signal.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef BLOCKSIM_FMU_IMPORT
    host::enable_fmu_blocks();
#endif
    CLI::App app("", "blocksim");
    Commands options;
    std::function<int()> chosen;
    setup(app, options, chosen);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cout << app.help();
        return 2;
    }
    try {
        try {
            refuse_unknown_command(app, args);
            blocksim::parse_command(app, args);
        } catch (const CLI::Success& help) {
            return finished(app.exit(help));
        }
        return finished(chosen());
    } catch (const blocksim::Interrupted& stopped) {
        std::cerr << "blocksim: " << stopped.what() << "\n";
        return 128 + blocksim::stop_signal;
    } catch (const blocksim::UsageError& error) {
        const std::string command = command_of(app, args);
        std::cerr << command << ": " << error.what() << " (see '" << command << " --help')\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "blocksim: error: " << error.what() << "\n";
        return 1;
    }
}
