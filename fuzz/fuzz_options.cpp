// blocksim's option parsing: the bytes, split at NUL bytes, as the words of
// a run's and of a sweep's command line. Asserted: a mistake is a usage
// error with a message, never another failure; a help request is CLI11's
// CLI::Success, which blocksim answers with the help.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands/commands.hpp"
#include "commands/options.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) args.emplace_back();
        else args.back() += static_cast<char>(data[i]);
    }
    for (const bool sweep : {false, true}) {
        try {
            if (sweep) blocksim::parse_sweep_options(args);
            else blocksim::parse_run_options(args);
        } catch (const blocksim::UsageError& error) {
            if (std::string(error.what()).empty()) std::abort();
        } catch (const CLI::Success&) {
        }
    }
    return 0;
}
