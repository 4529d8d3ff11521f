// Table files: CSV of a time column and one column per output element.
//
//   time,u          an optional header line
//   0,2
//   1,4             times rise from row to row
#pragma once

#include <filesystem>

#include "host/model/builtins.hpp"
#include "host/model/model.hpp"

namespace host {

// Fills table.times and table.columns from table.file. Throws ModelError
// with "FILE:ROW: what" for a bad row, or a message naming the file.
void read_table_file(BuiltinTable& table);

}  // namespace host
