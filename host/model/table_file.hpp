// Table files: CSV of a time column and one column per output element.
//
//   time,u          an optional header line
//   0,2
//   1,4             times rise from row to row
//   1,6             a time twice is a step: 4 up to t = 1, 6 from it on
//   # a comment     lines starting with # are skipped, as are blank ones
#pragma once

#include <filesystem>

#include "host/model/builtins.hpp"
#include "host/model/model.hpp"

namespace host {

// Fills table.times and table.columns from table.file. Throws ModelError
// with "FILE:ROW: what" for a bad row, or a message naming the file.
void read_table_file(BuiltinTable& table);

}  // namespace host
