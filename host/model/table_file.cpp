#include "host/model/table_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

namespace {

// One row's cells: numbers, or the first cell that is none.
struct Cells {
    std::vector<double> values;
    std::string not_a_number;  // empty when every cell is a number
    std::string refused;       // a cell read as a number that a table may not hold, and why
};

// Whether `text` is written as a decimal number: a sign, digits with or
// without a point, an exponent; not hexadecimal (0x10), inf or nan, which
// strtod would read too but no CSV reader calls numbers.
bool is_decimal(std::string_view text) {
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - from;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == text.size();
}

std::string_view without_blanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") + 1 - first);
}

// A cell is a finite decimal number. Subnormal numbers (1e-310) are read as
// the numbers they are; a number beyond the largest double (1e400), and a
// cell strtod reads as a number that is no finite decimal one (0x10, inf,
// nan), are errors, not a header.
Cells read_cells(const std::string& text) {
    Cells cells;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const std::string cell(without_blanks(std::string_view(text).substr(start, end - start)));
        char* used = nullptr;
        errno = 0;
        const double value = std::strtod(cell.c_str(), &used);
        const bool read_whole = !cell.empty() && used == cell.c_str() + cell.size();
        if (!read_whole) {
            if (cells.not_a_number.empty()) cells.not_a_number = cell;
        } else if (cells.refused.empty() && !is_decimal(cell)) {
            cells.refused = cell + " is not a finite decimal number, as a table cell must be (16, -0.5, 1.5e-3)";
        } else if (cells.refused.empty() && errno == ERANGE && std::isinf(value)) {
            cells.refused = cell + " is beyond the largest number a double holds";
        }
        cells.values.push_back(value);
        start = end + 1;
    }
    return cells;
}

void read_rows(std::istream& in, BuiltinTable& table) {
    std::string text;
    int row = 0;
    bool header_allowed = true;  // the first line that is neither blank nor a comment
    std::size_t cells = 0;
    while (std::getline(in, text)) {
        ++row;
        const auto first = text.find_first_not_of(" \t\r");
        if (first == std::string::npos || text[first] == '#') continue;
        const std::string where = table.file.string() + ":" + std::to_string(row) + ": ";
        const Cells read = read_cells(text);
        if (!read.not_a_number.empty()) {
            if (std::exchange(header_allowed, false)) continue;
            throw ModelError(where + "'" + std::string(without_blanks(text)) +
                             "' is not a row of numbers separated by commas (only the first line may be a header)");
        }
        if (!read.refused.empty()) throw ModelError(where + read.refused);
        header_allowed = false;
        const auto& values = read.values;
        if (values.size() < 2) throw ModelError(where + "a row holds a time and at least one value");
        cells += values.size();
        if (cells > input_limits().most_values)
            throw ModelError(where + "the table holds more than " + std::to_string(input_limits().most_values) +
                             " numbers");
        if (table.columns.empty()) table.columns.resize(values.size() - 1);
        if (values.size() - 1 != table.columns.size())
            throw ModelError(where + "has " + std::to_string(values.size() - 1) + " values, earlier rows " +
                             std::to_string(table.columns.size()));
        const std::size_t rows = table.times.size();
        if (rows > 0 && !(values[0] >= table.times.back()))
            throw ModelError(where + "times must rise from row to row (or stand twice, for a step)");
        if (rows > 1 && values[0] == table.times[rows - 2])
            throw ModelError(where + "a time stands in two rows at most (a step), not three");
        table.times.push_back(values[0]);
        for (std::size_t i = 1; i < values.size(); ++i) table.columns[i - 1].push_back(values[i]);
    }
    if (in.bad()) throw ModelError("cannot read the table file " + table.file.string() + ": " + std::strerror(errno));
}

}  // namespace

void read_table_file(BuiltinTable& table) {
    check_input_file(table.file, "table file");
    std::ifstream in(table.file);
    if (!in) throw ModelError("cannot read the table file " + table.file.string() + ": " + std::strerror(errno));
    try {
        read_rows(in, table);
    } catch (const std::bad_alloc&) {
        throw ModelError("not enough memory to read the table file " + table.file.string());
    }
    if (table.times.empty()) throw ModelError("table file " + table.file.string() + " holds no rows");
}

}  // namespace host
