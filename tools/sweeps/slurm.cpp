#include "sweeps/slurm.hpp"

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" char** environ;
#endif

#include <cerrno>
#include <cstring>

#include "commands/text.hpp"
#include "host/common/errors.hpp"
#include "output/output_file.hpp"

namespace blocksim {

namespace {

void write_script(const std::filesystem::path& file, const std::string& text) {
    write_whole_file(file, text);
    std::error_code error;
    std::filesystem::permissions(file, std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec,
                                 std::filesystem::perm_options::add, error);
    if (error) throw host::HostError("cannot make " + file.string() + " executable: " + error.message());
}

// The log goes where the script says, not through an #SBATCH line: sbatch
// reads those word by word, and a folder name may hold a space.
std::string log_to(const std::filesystem::path& folder, const std::string& name_in_shell) {
    return "exec >" + shell_word((folder / "logs").string() + "/") + name_in_shell + " 2>&1\n";
}

struct ScriptWords {
    std::string blocksim, file, folder, tasks, options;
};

ScriptWords script_words(const SlurmSweep& sweep) {
    ScriptWords words{shell_word(sweep.blocksim.string()), shell_word(sweep.sweep_file.string()),
                      shell_word(sweep.folder.string()), std::to_string(sweep.tasks), ""};
    for (const auto& option : sweep.options) words.options += " " + shell_word(option);
    return words;
}

// The sweep file's slurm options, one #SBATCH line each.
std::string cluster_lines(const SlurmSweep& sweep) {
    std::string lines;
    for (const auto& option : sweep.sbatch_options) lines += "#SBATCH " + option + "\n";
    return lines;
}

}  // namespace

std::string array_script(const SlurmSweep& sweep) {
    const ScriptWords w = script_words(sweep);
    return "#!/bin/sh\n"
           "#SBATCH --job-name=blocksim-sweep\n"
           "#SBATCH --array=0-" + std::to_string(sweep.tasks - 1) + "\n"
           "#SBATCH --cpus-per-task=" + std::to_string(sweep.jobs_per_task) + "\n"
           "#SBATCH --output=/dev/null\n" +
           cluster_lines(sweep) +
           "# Task K of " + w.tasks + " runs the cases K, K+" + w.tasks + ", ... of the sweep and writes\n"
           "# summary.K-of-" + w.tasks + ".csv; merge.sbatch joins them once every task has ended.\n" +
           log_to(sweep.folder, "\"task-$SLURM_ARRAY_TASK_ID.log\"") + "exec " + w.blocksim + " sweep " + w.file +
           " --shard \"$SLURM_ARRAY_TASK_ID/" + w.tasks + "\" --jobs " + std::to_string(sweep.jobs_per_task) +
           " --out " + w.folder + w.options + "\n";
}

std::string merge_script(const SlurmSweep& sweep) {
    const ScriptWords w = script_words(sweep);
    return "#!/bin/sh\n"
           "#SBATCH --job-name=blocksim-sweep-merge\n"
           "#SBATCH --output=/dev/null\n" +
           cluster_lines(sweep) +
           "# Joins the shards of sweep.sbatch into summary.csv.\n" +
           log_to(sweep.folder, "merge.log") + "exec " + w.blocksim + " sweep " + w.file + " --merge " + w.folder +
           w.options + "\n";
}

SlurmScripts write_slurm_scripts(const SlurmSweep& sweep) {
    std::error_code made;
    std::filesystem::create_directories(sweep.folder / "logs", made);
    if (made) throw host::HostError("cannot make the folder " + (sweep.folder / "logs").string() + ": " + made.message());
    SlurmScripts scripts{sweep.folder / "sweep.sbatch", sweep.folder / "merge.sbatch"};
    write_script(scripts.array, array_script(sweep));
    write_script(scripts.merge, merge_script(sweep));
    return scripts;
}

std::string submit_line(const SlurmScripts& scripts) {
    return "job=$(sbatch --parsable " + shell_word(scripts.array.string()) +
           ") && sbatch --dependency=afterany:${job%%;*} " + shell_word(scripts.merge.string());
}

#ifndef _WIN32
int submit_and_wait(const SlurmScripts& scripts, const std::function<void(const std::string& job)>& submitted) {
    int out[2];
    if (::pipe(out) != 0) throw host::HostError(std::string("cannot run sbatch: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    const std::string script = scripts.array.string();
    std::vector<std::string> words{"sbatch", "--parsable", "--wait", script};
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, "sbatch", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        throw host::HostError(std::string("cannot run sbatch: ") + std::strerror(spawned) +
                              (spawned == ENOENT ? " (is Slurm's client installed? apt-get install slurm-client)" : ""));
    }
    std::string line;
    char c = 0;
    bool told = false;
    for (;;) {
        const ssize_t got = ::read(out[0], &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (c != '\n') {
            line += c;
        } else if (!told) {
            submitted(line.substr(0, line.find(';')));
            told = true;
        }
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!told) throw host::HostError("sbatch did not submit " + script + (line.empty() ? "" : ": " + line));
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 1;
}
#else
// Slurm's clients run on Linux: a Windows blocksim writes the scripts for
// them and prints the line that submits them.
int submit_and_wait(const SlurmScripts&, const std::function<void(const std::string& job)>&) {
    throw host::HostError("--submit runs Slurm's sbatch, which the Windows blocksim cannot: submit the scripts with "
                          "sbatch where Slurm is");
}
#endif

}  // namespace blocksim
