// The Slurm scripts over any names: blocksim's path, the sweep file, the
// folder and the options passed on. Asserted: read as the shell reads them
// (a small reader of the quoting the scripts use), the array's script runs
// exactly its two commands with every name as one word, unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.hpp"
#include "sweeps/slurm.hpp"

namespace {

// Commands (lines outside quotes that are no comment) as lists of words:
// '...' literal, "..." literal (only fixed text is double-quoted), \x a
// literal x, blanks between words.
std::vector<std::vector<std::string>> shell_commands(const std::string& script) {
    std::vector<std::vector<std::string>> commands(1);
    std::string word;
    bool in_word = false;
    auto end_word = [&] {
        if (in_word) commands.back().push_back(word);
        word.clear();
        in_word = false;
    };
    for (std::size_t i = 0; i < script.size(); ++i) {
        const char c = script[i];
        if (c == '#' && !in_word) {
            while (i < script.size() && script[i] != '\n') ++i;
            --i;
        } else if (c == '\n') {
            end_word();
            if (!commands.back().empty()) commands.emplace_back();
        } else if (c == ' ' || c == '\t') {
            end_word();
        } else if (c == '\'' || c == '"') {
            const std::size_t close = script.find(c, i + 1);
            if (close == std::string::npos) std::abort();  // an unclosed quote
            word += script.substr(i + 1, close - i - 1);
            in_word = true;
            i = close;
        } else if (c == '\\') {
            if (++i >= script.size()) std::abort();
            word += script[i];
            in_word = true;
        } else {
            word += c;
            in_word = true;
        }
    }
    end_word();
    if (commands.back().empty()) commands.pop_back();
    return commands;
}

std::string text_of(fuzzing::FuzzInput& in) {
    std::string text;
    for (std::uint8_t length = in.byte() % 40; length > 0 && !in.exhausted(); --length)
        text += static_cast<char>(in.byte());
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput in(data, size);
    blocksim::SlurmSweep sweep;
    sweep.blocksim = "/" + text_of(in);
    sweep.sweep_file = "/" + text_of(in);
    sweep.folder = "/" + text_of(in);
    sweep.tasks = 1 + in.byte() % 64;
    sweep.jobs_per_task = 1 + in.byte() % 8;
    for (std::uint8_t n = in.byte() % 4; n > 0; --n) sweep.options.push_back(text_of(in));

    const auto commands = shell_commands(blocksim::array_script(sweep));
    if (commands.size() != 2) std::abort();
    const auto& run = commands[1];
    std::vector<std::string> expected = {"exec",    sweep.blocksim.string(),
                                         "sweep",   sweep.sweep_file.string(),
                                         "--shard", "$SLURM_ARRAY_TASK_ID/" + std::to_string(sweep.tasks),
                                         "--jobs",  std::to_string(sweep.jobs_per_task),
                                         "--out",   sweep.folder.string()};
    expected.insert(expected.end(), sweep.options.begin(), sweep.options.end());
    if (run != expected) std::abort();
    if (shell_commands(blocksim::merge_script(sweep)).size() != 2) std::abort();
    return 0;
}
