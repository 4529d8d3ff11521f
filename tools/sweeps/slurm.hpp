// A sweep as a Slurm job array: task K of N runs shard K/N of the cases on
// a node of the cluster, and a merge job, started once every task has
// ended, joins the shards' summaries.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace blocksim {

struct SlurmSweep {
    std::filesystem::path blocksim;    // this program, as the nodes start it
    std::filesystem::path sweep_file;  // absolute
    std::filesystem::path folder;      // absolute: the shards, logs and summary
    int tasks = 1;
    int jobs_per_task = 1;
    std::vector<std::string> options;  // passed on to each task: --keep-runs, --path DIR, ...
    std::vector<std::string> sbatch_options;  // the sweep file's slurm section, one word each: --time=01:00:00
};

struct SlurmScripts {
    std::filesystem::path array, merge;
};

// The texts of the array's and the merge's scripts. Every name in them is
// one shell word in single quotes; the #SBATCH lines hold only numbers,
// fixed names and the sweep file's slurm options, each one word without
// blanks, quotes or '#', since sbatch reads those word by word.
std::string array_script(const SlurmSweep& sweep);
std::string merge_script(const SlurmSweep& sweep);

// Writes folder/sweep.sbatch (the array) and folder/merge.sbatch; task and
// merge logs go to folder/logs.
SlurmScripts write_slurm_scripts(const SlurmSweep& sweep);

// The shell line that submits both, the merge after the array.
std::string submit_line(const SlurmScripts& scripts);

// Submits the array with sbatch and waits until every task has ended;
// `submitted` hears the job id as soon as sbatch gives it. Returns sbatch's
// exit status: the highest of the tasks'.
int submit_and_wait(const SlurmScripts& scripts, const std::function<void(const std::string& job)>& submitted);

}  // namespace blocksim
