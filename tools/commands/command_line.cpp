#include "commands/command_line.hpp"

#include <charconv>
#include <cmath>

#include "commands/commands.hpp"
#include "host/common/suggestions.hpp"
#include "output/outputs.hpp"

namespace blocksim {

const char* version() { return BLOCKS_VERSION; }

CLI::Option* add_path_option(CLI::App& command, const std::string& name, std::optional<std::filesystem::path>& path,
                             const std::string& help) {
    const std::string what = name.rfind('-', 0) == 0 ? name : "the " + name;
    return command
        .add_option_function<std::string>(
            name, [&path, what](const std::string& text) { path = checked_path(what, as_typed(text)); }, help)
        ->type_name("PATH");
}

CLI::Option* add_path_list_option(CLI::App& command, const std::string& name,
                                  std::vector<std::filesystem::path>& paths, const std::string& help) {
    return command
        .add_option_function<std::vector<std::string>>(
            name,
            [&paths, name](const std::vector<std::string>& texts) {
                for (const auto& text : texts) paths.push_back(checked_path(name, as_typed(text)));
            },
            help)
        ->type_name("DIR")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

CLI::Option* add_count_option(CLI::App& command, const std::string& name, std::optional<int>& count,
                              const std::string& help) {
    return command
        .add_option_function<std::string>(
            name, [&count, name](const std::string& text) { count = positive_whole(name, as_typed(text)); }, help)
        ->type_name("N");
}

double number_argument(const std::string& option, const std::string& text) {
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        throw UsageError(option + " needs a number, not '" + text + "'");
    return value;
}

int positive_whole(const std::string& option, const std::string& text) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value < 1)
        throw UsageError(option + " needs a whole number of at least 1, not '" + text + "'");
    return value;
}

namespace {

// A leading character no word typed on a command line holds.
constexpr char typed_as_one_word = '\x1f';

}  // namespace

std::string as_typed(const std::string& word) {
    return !word.empty() && word[0] == typed_as_one_word ? word.substr(1) : word;
}

namespace {

std::vector<std::string> option_names(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options())
        for (const auto& name : option->get_lnames()) names.push_back("--" + name);
    return names;
}

bool looks_like_an_option(const std::string& word) {
    if (word.size() < 2 || word[0] != '-') return false;
    double number = 0.0;
    const auto result = std::from_chars(word.data(), word.data() + word.size(), number);
    return result.ec != std::errc() || result.ptr != word.data() + word.size();
}

// "unknown option --stopp; did you mean --stop?"
std::string unexpected(const CLI::App& command, const std::string& word) {
    if (!looks_like_an_option(word)) return "unexpected argument '" + as_typed(word) + "'";
    const std::string name = word.substr(0, word.find('='));
    const auto closest = host::closest_name(name, option_names(command));
    return "unknown option " + name + (closest ? "; did you mean " + *closest + "?" : "");
}

}  // namespace

void parse_command(CLI::App& command, const std::vector<std::string>& args) {
    // Words CLI11 does not know are kept, to be named with a suggestion below.
    // Options are --name everywhere: on Windows CLI11 would take /name for
    // one too, and with it an absolute path such as /work/model.yaml.
    command.allow_extras()->allow_windows_style_options(false);
    for (CLI::App* subcommand : command.get_subcommands({}))
        subcommand->allow_extras()->allow_windows_style_options(false);
    std::vector<std::string> reversed;
    for (auto word = args.rbegin(); word != args.rend(); ++word)
        reversed.push_back(!word->empty() && word->front() == '[' && word->back() == ']' ? typed_as_one_word + *word
                                                                                            : *word);
    try {
        command.parse(reversed);
    } catch (const CLI::Success&) {
        throw;
    } catch (const CLI::ParseError& error) {
        throw UsageError(error.what());
    }
    const CLI::App* chosen = &command;
    if (!command.get_subcommands().empty()) chosen = command.get_subcommands().front();
    const auto extras = command.remaining(true);
    if (!extras.empty()) throw UsageError(unexpected(*chosen, extras.front()));
}

}  // namespace blocksim
