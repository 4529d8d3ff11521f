// The model-file reader over any text, and every model it accepts checked
// and, when short, run. Asserted: whatever the text, the reader and the
// engine fail only with the host's own errors, whose messages are not empty.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "block_manifest.hpp"
#include "host/model/model_file.hpp"
#include "host/sfunction/library.hpp"
#include "host/sim/engine.hpp"

namespace {


// The block libraries stay loaded for the whole run: libFuzzer keeps reading
// the coverage counters of every instrumented library it has seen.
void keep_blocks_loaded() {
    static const std::vector<std::shared_ptr<const host::Library>> loaded = [] {
        std::vector<std::shared_ptr<const host::Library>> libraries;
        for (const auto& block : blocks::manifest)
            libraries.push_back(host::Library::load(block.name, {BLOCKS_LIBRARY_DIR}));
        return libraries;
    }();
}

void check_message(const std::string& message) {
    if (message.empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    keep_blocks_loaded();
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        // Relative table files resolve against the examples, as for the seeds.
        host::ModelSpec spec = host::read_model_text(text, "fuzzed.yaml", BLOCKS_EXAMPLES_DIR);
        // Only the instrumented block libraries, whatever folders the text names.
        spec.search_path = {BLOCKS_LIBRARY_DIR};
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
    return 0;
}
