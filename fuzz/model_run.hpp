// A model text read, checked and, when short, run, as the model-file
// harnesses do it. Asserted: whatever the text, the reader and the engine
// fail only with the host's own errors, whose messages are not empty.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/model/model_file.hpp"
#include "host/sim/engine.hpp"
#include "loaded_blocks.hpp"
#include "scratch.hpp"

namespace fuzzing {

// Runs `text` as a model, under `method` when given.
inline void run_model_text(const std::string& text, std::optional<host::SolverMethod> method) {
    keep_blocks_loaded();
    try {
        // Relative table files resolve against the examples, as for the seeds.
        host::ModelSpec spec = host::read_model_text(text, "fuzzed.yaml", BLOCKS_EXAMPLES_DIR);
        // Only the instrumented block libraries, whatever folders the text names.
        spec.search_path = {BLOCKS_LIBRARY_DIR};
        if (method) spec.solver.method = *method;
        host::Simulation simulation(std::move(spec));
        // Runs of more than about a thousand major steps, of any method, are cut short.
        simulation.set_progress([](double t) {
            if (t > 0.0) throw host::HostError("a run this long is cut short");
        });
        simulation.run([](double, const std::vector<double>&) {});
    } catch (const host::BlockError& error) {
        check_message(error.message());
    } catch (const host::HostError& error) {
        check_message(error.what());
    }
}

}  // namespace fuzzing
