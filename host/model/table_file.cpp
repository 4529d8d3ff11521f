#include "host/model/table_file.hpp"

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace host {

namespace {

// The cells of a line as numbers; false when any cell is not one.
bool numeric_cells(const std::string& text, std::vector<double>& values) {
    std::stringstream cells(text);
    std::string cell;
    bool numeric = true;
    while (std::getline(cells, cell, ',')) {
        try {
            std::size_t used = 0;
            values.push_back(std::stod(cell, &used));
            if (cell.find_first_not_of(" \t\r", used) != std::string::npos) numeric = false;
        } catch (const std::exception&) {
            numeric = false;
        }
    }
    return numeric;
}

}  // namespace

void read_table_file(BuiltinTable& table) {
    std::ifstream in(table.file);
    if (!in) throw ModelError("cannot read table file " + table.file.string());
    std::string text;
    int row = 0;
    bool header_allowed = true;  // the first line that is neither blank nor a comment
    while (std::getline(in, text)) {
        ++row;
        const auto first = text.find_first_not_of(" \t\r");
        if (first == std::string::npos || text[first] == '#') continue;
        std::vector<double> values;
        const bool numeric = numeric_cells(text, values);
        const std::string where = table.file.string() + ":" + std::to_string(row) + ": ";
        if (!numeric) {
            if (std::exchange(header_allowed, false)) continue;
            const auto last = text.find_last_not_of(" \t\r");
            throw ModelError(where + "'" + text.substr(first, last + 1 - first) +
                             "' is not a row of numbers separated by commas (only the first line may be a header)");
        }
        header_allowed = false;
        if (values.size() < 2) throw ModelError(where + "a row holds a time and at least one value");
        if (table.columns.empty()) table.columns.resize(values.size() - 1);
        if (values.size() - 1 != table.columns.size())
            throw ModelError(where + "has " + std::to_string(values.size() - 1) + " values, earlier rows " +
                             std::to_string(table.columns.size()));
        if (!table.times.empty() && !(values[0] > table.times.back()))
            throw ModelError(where + "times must rise from row to row");
        table.times.push_back(values[0]);
        for (std::size_t i = 1; i < values.size(); ++i) table.columns[i - 1].push_back(values[i]);
    }
    if (table.times.empty()) throw ModelError("table file " + table.file.string() + " holds no rows");
}

}  // namespace host
