// Plots of a run, drawn by gnuplot from its CSV: one panel per log group,
// its signals over time or over the group's x signal; signals that take two
// values at most (relay outputs, flags, steps) drawn as steps.
#pragma once

#include <filesystem>
#include <string>

#include "csv_writer.hpp"
#include "host/sim/engine.hpp"

namespace blocksim {

bool have_gnuplot();

// A gnuplot string literal.
std::string gnuplot_string(const std::string& text);

// Runs gnuplot on `script`, which draws `png`; throws with gnuplot's first
// error line when it fails. gnuplot's output and warnings are not passed on.
void run_gnuplot(const std::string& script, const std::filesystem::path& png);

// Throws when the PNG could not be written: a missing folder, no write permission.
void check_plot_target(const std::filesystem::path& png);

// Draws the plot; throws with gnuplot's first error line when it fails.
// gnuplot's output and warnings are not passed on.
void draw_plot(const std::filesystem::path& csv, const std::filesystem::path& png, const std::string& title,
               const host::Simulation& simulation, const CsvWriter& written);

}  // namespace blocksim
