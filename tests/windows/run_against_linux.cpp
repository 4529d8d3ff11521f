// Runs a model through the host as blocksim runs it, here as a Windows
// program under Wine, and compares every logged value with the CSV that the
// Linux blocksim wrote for the same model: the same columns and times, each
// value either within a relative tolerance (the blocks' worked examples,
// which hold to 10 digits) or reported by its distance in units in the last
// place (ulps), with where the largest is.
//
//   run_against_linux MODEL.yaml LINUX.csv [--x87 64|53] [--relative R] [--repeat N]
//   run_against_linux MODEL.yaml LINUX.csv --csv WINDOWS.csv [--relative R]
//
// With --csv the values compared are those of WINDOWS.csv, which the
// Windows blocksim (or a model's FMU) wrote for the model, instead of a run
// of this program's.
//
// --x87 sets the x87 precision before the run. mingw's exp, log and pow use
// x87 instructions, whose results depend on it: 64 bits is what a mingw
// program starts with, 53 bits what a Windows thread of another program
// (the host's) may start with. --relative R fails the run when a value
// differs by more than R times its size; without it, differences are only
// reported, and the exit status says whether the run and the files matched
// in shape. --repeat N runs the model N times and prints the fastest run's
// time (the benchmark's Windows-against-Linux figure).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/model/model_file.hpp"
#include "host/sim/engine.hpp"

namespace {

struct Table {
    std::vector<std::string> columns;       // time first
    std::vector<std::vector<double>> rows;  // each a time and its values
};

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
}

Table read_csv(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file);
    Table table;
    std::string line;
    std::getline(in, line);
    table.columns = split(line);
    while (std::getline(in, line)) {
        std::vector<double> row;
        for (const auto& field : split(line)) row.push_back(std::strtod(field.c_str(), nullptr));
        table.rows.push_back(row);
    }
    return table;
}

// Runs the model `repeat` times; returns the last run's rows and, in
// `fastest`, the shortest time of a run (set-up and rows included).
Table run_model(const std::string& file, int repeat, double& fastest) {
    Table table;
    fastest = INFINITY;
    for (int i = 0; i < repeat; ++i) {
        const auto started = std::chrono::steady_clock::now();
        host::ModelSpec spec = host::read_model_file(file);
        spec.search_path.push_back(BLOCKS_LIBRARY_DIR);
        host::Simulation simulation(std::move(spec));
        table = Table{};
        table.columns.push_back("time");
        for (const auto& name : simulation.column_names()) table.columns.push_back(name);
        simulation.run([&](double time, const std::vector<double>& values) {
            std::vector<double> row{time};
            row.insert(row.end(), values.begin(), values.end());
            table.rows.push_back(row);
        });
        fastest = std::min(fastest, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    return table;
}

// The x87 precision control, bits 8 and 9 of the control word: 0b11 for a
// 64-bit significand, 0b10 for 53 bits, 0b00 for 24.
unsigned short x87_control_word() {
    unsigned short control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    return control;
}

void set_x87_precision(int bits) {
    unsigned short control = x87_control_word();
    control = static_cast<unsigned short>((control & ~0x300u) | (bits == 64 ? 0x300u : 0x200u));
    __asm__ volatile("fldcw %0" : : "m"(control));
}

int x87_precision() {
    switch ((x87_control_word() >> 8) & 3) {
        case 3: return 64;
        case 2: return 53;
        default: return 24;
    }
}

// Doubles as integers in the order of their values, so that the distance
// between two is their distance in ulps.
std::int64_t ordered(double value) {
    std::int64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits < 0 ? INT64_MIN - bits : bits;
}

std::uint64_t ulps_between(double a, double b) {
    if (std::isnan(a) && std::isnan(b)) return 0;
    const std::int64_t x = ordered(a), y = ordered(b);
    return x > y ? static_cast<std::uint64_t>(x) - static_cast<std::uint64_t>(y)
                 : static_cast<std::uint64_t>(y) - static_cast<std::uint64_t>(x);
}

int compare(const Table& windows, const Table& linux, double relative) {
    if (windows.columns != linux.columns) {
        std::printf("FAIL: the columns differ from the Linux run's\n");
        return 1;
    }
    if (windows.rows.size() != linux.rows.size()) {
        std::printf("FAIL: %zu rows, the Linux run has %zu\n", windows.rows.size(), linux.rows.size());
        return 1;
    }
    std::uint64_t largest = 0;
    std::size_t differing = 0, values = 0, beyond = 0, at_row = 0, at_column = 0;
    for (std::size_t r = 0; r < linux.rows.size(); ++r) {
        if (windows.rows[r].size() != linux.columns.size() || linux.rows[r].size() != linux.columns.size()) {
            std::printf("FAIL: row %zu is not whole\n", r + 1);
            return 1;
        }
        for (std::size_t c = 0; c < linux.columns.size(); ++c) {
            const double w = windows.rows[r][c], l = linux.rows[r][c];
            const std::uint64_t ulps = ulps_between(w, l);
            ++values;
            if (ulps == 0) continue;
            ++differing;
            if (c == 0 || std::isnan(w) != std::isnan(l) || std::fabs(w - l) > relative * std::fabs(l)) ++beyond;
            if (ulps > largest) {
                largest = ulps;
                at_row = r;
                at_column = c;
            }
        }
    }
    std::printf("%zu values in %zu rows: %zu differ from the Linux run's", values, linux.rows.size(), differing);
    if (largest > 0)
        std::printf(", the largest by %llu ulps, at t = %.17g in %s (%.17g here, %.17g on Linux)",
                    static_cast<unsigned long long>(largest), linux.rows[at_row][0], linux.columns[at_column].c_str(),
                    windows.rows[at_row][at_column], linux.rows[at_row][at_column]);
    std::printf("\n");
    if (beyond > 0) {
        std::printf("FAIL: %zu values differ by more than %g of their size, or in a time\n", beyond, relative);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: run_against_linux MODEL.yaml LINUX.csv [--x87 64|53] [--relative R] [--repeat N] [--csv WINDOWS.csv]\n");
        return 2;
    }
    int x87_bits = 0, repeat = 1;
    double relative = INFINITY;
    const char* windows_csv = nullptr;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--x87") == 0) x87_bits = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--relative") == 0) relative = std::strtod(argv[i + 1], nullptr);
        else if (std::strcmp(argv[i], "--repeat") == 0) repeat = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--csv") == 0) windows_csv = argv[i + 1];
        else {
            std::fprintf(stderr, "run_against_linux: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    try {
        if (windows_csv) {
            std::printf("%s, %s: ", argv[1], windows_csv);
            return compare(read_csv(windows_csv), read_csv(argv[2]), relative);
        }
        if (x87_bits != 0) set_x87_precision(x87_bits);
        std::printf("%s, x87 at %d-bit precision%s: ", argv[1], x87_precision(),
                    x87_bits == 0 ? " (as the program started)" : "");
        double fastest = 0.0;
        const Table rows = run_model(argv[1], repeat, fastest);
        const int status = compare(rows, read_csv(argv[2]), relative);
        std::printf("run time %.4f s (the fastest of %d)\n", fastest, repeat);
        return status;
    } catch (const std::exception& error) {
        std::printf("FAIL: %s\n", error.what());
        return 1;
    }
}
