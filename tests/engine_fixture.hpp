// Helpers for tests that run models in the engine.
#pragma once

#include <string>
#include <vector>

#include "host/model/model_file.hpp"
#include "host/sim/engine.hpp"

namespace testing_engine {

// A model from its text, finding the block libraries and the test ones.
inline host::ModelSpec model(const std::string& text, const std::string& base = ".") {
    host::ModelSpec spec = host::read_model_text(text, "test.yaml", base);
    spec.search_path = {BLOCKS_LIBRARY_DIR, TEST_BLOCKS_DIR};
    return spec;
}

// Two blocks whose calls tests record: the controller (continuous states,
// lagged outputs) and a relay behind it (memory updated at major steps).
// SOLVER stands for the solver's map.
inline std::string calling_sequence_model(const std::string& solver) {
    std::string text = R"(
solver: SOLVER
blocks:
  u:      {type: Constant, value: [20000000, 0.4, 0.8]}
  ctrl:   {sfunction: Brisquel}
  pick:   {type: Selector, elements: [4]}
  relay:  {sfunction: sarnith, parameters: [0.5, 0.2]}
connections:
  - u.0 -> ctrl.0
  - ctrl.0 -> pick.0
  - pick.0 -> relay.0
)";
    return text.replace(text.find("SOLVER"), 6, solver);
}

struct Rows {
    std::vector<double> times;
    std::vector<std::vector<double>> values;
};

// Runs the simulation into `rows`, which keep what was logged before a failure.
inline void run_into(host::Simulation& simulation, Rows& rows) {
    simulation.run([&](double t, const std::vector<double>& row) {
        rows.times.push_back(t);
        rows.values.push_back(row);
    });
}

inline Rows run(host::Simulation& simulation) {
    Rows rows;
    run_into(simulation, rows);
    return rows;
}

// The value of `block`.0 at every major step, logged or not.
inline Rows major_steps(host::Simulation& simulation, const std::string& block) {
    host::SignalRef ref;
    ref.block = block;
    simulation.watch(ref);
    Rows rows;
    simulation.set_major_step_sink([&](double t, const std::vector<double>& watched) {
        rows.times.push_back(t);
        rows.values.push_back(watched);
    });
    simulation.run(nullptr);
    return rows;
}

}  // namespace testing_engine
