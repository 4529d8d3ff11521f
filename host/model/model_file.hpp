// Model files: YAML describing blocks, connections, solver and logging.
//
//   solver: {method: ode4, step: 0.001, stop: 10}
//   blocks:
//     fan:   {sfunction: blower, parameters: [0.7, [2, 0.5, 0.1], 0.0698]}
//     gain:  {type: Gain, gain: 2}
//   connections:
//     - fan.2 -> gain.0            # output port -> input port(s), ports from 0
//   log:
//     every: 10                    # every 10th major step
//     groups:
//       Power: [fan.2, gain.0]     # one plot panel per group
//
// See docs/running.md for every block type and parameter form.
#pragma once

#include <filesystem>
#include <string>

#include "host/model/model.hpp"

namespace host {

ModelSpec read_model_file(const std::filesystem::path& file);
// `source` names the text in messages; relative paths in it (tables,
// search_path) are taken from `base_directory`.
ModelSpec read_model_text(const std::string& text, const std::string& source,
                          const std::filesystem::path& base_directory);

// A dialog parameter written as in a model file: a number, a list of
// numbers, [] (empty), or a one-key map naming the class: {single: ...},
// {int32: ...}, {logical: ...}, {complex: [[re, im], ...]}, {sparse: [...]},
// {char: text}, {double: ...}. Throws ModelError starting with `source`.
ArrayPtr parameter_from_text(const std::string& text, const std::string& source);

}  // namespace host
