// The plot scripts over any names: the title, the CSV's path, panel titles,
// axis labels and signal names, and any x range. Asserted: a name either is
// refused with a message or stays inside its quotes, so that every line of
// the script is one of the script's own commands and no name ends one.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz_input.hpp"
#include "output/plot.hpp"

namespace {

std::string text_of(fuzzing::FuzzInput& in) {
    std::string text;
    for (std::uint8_t length = in.byte() % 24; length > 0 && !in.exhausted(); --length)
        text += static_cast<char>(in.byte());
    return text;
}

bool starts_with(const std::string& line, const char* word) { return line.rfind(word, 0) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput in(data, size);
    const std::string title = text_of(in);
    const std::string csv = text_of(in);
    std::vector<blocksim::PlotPanel> panels(1 + in.byte() % 3);
    for (auto& panel : panels) {
        panel.title = text_of(in);
        panel.x_label = text_of(in);
        panel.x_column = in.byte() % 2 ? -1 : 0;
        if (in.byte() % 2) {
            const double from = in.number(), to = in.number();
            if (std::isfinite(from) && std::isfinite(to)) panel.x_range = std::make_pair(from, to);
        }
        for (std::uint8_t n = 1 + in.byte() % 3; n > 0; --n) {
            panel.columns.push_back(in.byte());
            panel.names.push_back(text_of(in));
            panel.steps.push_back(in.byte() % 2);
        }
        panel.y_label = text_of(in);
    }
    std::string script;
    try {
        script = blocksim::plot_script(title, csv, panels);
    } catch (const host::HostError& error) {
        if (std::string(error.what()).find("control character") == std::string::npos) std::abort();
        return 0;
    }
    std::istringstream lines(script);
    std::string line;
    while (std::getline(lines, line)) {
        if (!starts_with(line, "set ") && !starts_with(line, "plot ") && !starts_with(line, "unset ")) std::abort();
        std::size_t quotes = 0;
        for (const char c : line) quotes += c == '\'';
        if (quotes % 2 != 0) std::abort();  // a string left open, or closed by a name
    }
    return 0;
}
