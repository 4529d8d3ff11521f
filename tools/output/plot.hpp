// Plots of a run, drawn by gnuplot from its CSV: one panel per log group,
// its signals over time or over the group's x signal; signals that take two
// values at most (relay outputs, flags, steps) drawn as steps.
//
// gnuplot draws to its standard output and blocksim writes the PNG itself,
// so that the PNG is written as every other output is (see OutputFile).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/sim/engine.hpp"
#include "output/csv_writer.hpp"

namespace blocksim {

bool have_gnuplot();
// Why there is no plot when have_gnuplot() is false, for messages.
extern const char* const gnuplot_missing;

// A gnuplot string literal. Text with a control character (a line break
// ends a gnuplot command, and the next line could run a shell command) is
// refused: throws naming `what` ("the log group name ...").
std::string gnuplot_string(const std::string& text, const std::string& what);

// Runs gnuplot on `script`, which draws one PNG to its standard output, and
// returns the PNG; throws, naming `png`, with gnuplot's first error line
// when it fails or draws no whole PNG. gnuplot's warnings are not passed on.
std::string run_gnuplot(const std::string& script, const std::filesystem::path& png);

// One panel: its signals (CSV columns counted from 0 after time) over
// time or over the column x_column.
struct PlotPanel {
    std::string title, x_label, y_label;
    int x_column = -1;
    std::optional<std::pair<double, double>> x_range;
    std::vector<int> columns;
    std::vector<std::string> names;  // of the columns, in the key
    std::vector<bool> steps;         // drawn as steps (two values at most)
};

// The gnuplot script of a run's plot from the CSV at `csv`. Every text in
// it comes from gnuplot_string: no name can end a line of it.
std::string plot_script(const std::string& title, const std::filesystem::path& csv,
                        const std::vector<PlotPanel>& panels);

// The PNG of a run whose rows are in `csv` (the file as it is being
// written); `png` names the plot in messages.
std::string draw_plot(const std::filesystem::path& csv, const std::filesystem::path& png, const std::string& title,
                      const host::Simulation& simulation, const CsvWriter& written);

}  // namespace blocksim
