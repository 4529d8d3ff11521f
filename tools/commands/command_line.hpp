// What every blocksim command's command line shares, on CLI11: typed
// options with blocksim's own messages, and one-line usage errors with a
// suggestion and a pointer to the command's --help.
#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace blocksim {

// The version of blocksim and the blocks (the project's version).
const char* version();

// An option that takes a path, refused when it holds a control character.
CLI::Option* add_path_option(CLI::App& command, const std::string& name, std::optional<std::filesystem::path>& path,
                             const std::string& help);
CLI::Option* add_path_list_option(CLI::App& command, const std::string& name,
                                  std::vector<std::filesystem::path>& paths, const std::string& help);
// An option or argument that takes a whole number of at least 1.
CLI::Option* add_count_option(CLI::App& command, const std::string& name, std::optional<int>& count,
                              const std::string& help);

// A number as a user writes it: the whole text, finite or not; a mistake
// is a UsageError "OPTION needs a number, not 'TEXT'".
double number_argument(const std::string& option, const std::string& text);
// A whole number of at least 1, or a UsageError.
int positive_whole(const std::string& option, const std::string& text);

// CLI11 reads a word "[a, b]" as the list of values a and b; blocksim's
// words are a path or a YAML value each, so parse_command hands such a
// word over with a mark, and as_typed removes it.
std::string as_typed(const std::string& word);

// Parses the words after the command's name. A help request is a
// CLI::Success exception for the caller; any other mistake a UsageError of
// one line ("unknown option --stopp; did you mean --stop?").
void parse_command(CLI::App& command, const std::vector<std::string>& args);

// The options of one command, `name`, set up by `setup` and parsed from `args`.
template <typename Options>
Options parse_options(void (*setup)(CLI::App&, Options&), const char* name, const std::vector<std::string>& args) {
    Options options;
    CLI::App command("", name);
    setup(command, options);
    parse_command(command, args);
    return options;
}

}  // namespace blocksim
