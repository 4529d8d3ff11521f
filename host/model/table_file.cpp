#include "host/model/table_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace host {

namespace {

// One row's cells: numbers, or the first cell that is none.
struct Cells {
    std::vector<double> values;
    std::string not_a_number;  // empty when every cell is a number
    std::string out_of_range;  // a number beyond the largest double
};

// Subnormal numbers (1e-310) are read as the numbers they are; a number
// beyond the largest double (1e400) is an error, not a header.
Cells read_cells(const std::string& text) {
    Cells cells;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const std::string cell = text.substr(start, end - start);
        const char* begin = cell.c_str();
        char* used = nullptr;
        errno = 0;
        const double value = std::strtod(begin, &used);
        const bool rest_blank = used != begin && cell.find_first_not_of(" \t\r", used - begin) == std::string::npos;
        if (!rest_blank) {
            if (cells.not_a_number.empty()) cells.not_a_number = cell;
        } else if (errno == ERANGE && std::isinf(value)) {
            if (cells.out_of_range.empty()) cells.out_of_range = cell;
        }
        cells.values.push_back(value);
        start = end + 1;
    }
    return cells;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") + 1 - first);
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
            throw ModelError(where + "'" + trimmed(text) +
                             "' is not a row of numbers separated by commas (only the first line may be a header)");
        }
        if (!read.out_of_range.empty())
            throw ModelError(where + trimmed(read.out_of_range) + " is beyond the largest number a double holds");
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
