// Shard merging over any shard files: the first byte picks the split (1 to
// 3 shards), the rest holds the shards' texts separated by NUL bytes, each
// given the fingerprint of the inputs as they are unless it starts with '#'.
// The sweep is the example engine sweep. Asserted: only the host's errors;
// a merge that succeeds holds the shards' rows, in case order.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "model_run.hpp"
#include "sweeps/fingerprint.hpp"
#include "sweeps/sweep_design.hpp"
#include "sweeps/sweep_summary.hpp"

namespace {

struct Sweep {
    host::SweepSpec spec;
    std::size_t cases = 0;
    std::vector<blocksim::InputHash> fingerprint;
};

const Sweep& engine_sweep() {
    static const Sweep sweep = [] {
        Sweep made;
        made.spec = host::read_sweep_file(fuzzing::scratch_folder() / "engine_sweep.yaml");
        made.spec.model.search_path = {BLOCKS_LIBRARY_DIR};
        made.cases = blocksim::sweep_cases(made.spec).size();
        made.fingerprint = blocksim::sweep_fingerprint(made.spec);
        return made;
    }();
    return sweep;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzzing::keep_blocks_loaded();
    const Sweep& sweep = engine_sweep();
    const int split = 1 + data[0] % 3;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto folder = fuzzing::scratch_folder() / "merge";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::vector<std::string> shards;
    std::size_t start = 0;
    for (int k = 0; k < split && start <= rest.size(); ++k) {
        const std::size_t end = std::min(rest.find('\0', start), rest.size());
        std::string text = rest.substr(start, end - start);
        if (text.empty() || text[0] != '#') text = blocksim::fingerprint_lines(sweep.fingerprint) + text;
        std::ofstream(folder / blocksim::summary_name(k, split), std::ios::binary) << text;
        shards.push_back(text);
        start = end + 1;
    }
    try {
        const blocksim::Merged merged = blocksim::merge_shards(sweep.spec, sweep.cases, folder, sweep.fingerprint);
        std::ifstream in(folder / "summary.csv", std::ios::binary);
        const auto summary = lines_of(std::string(std::istreambuf_iterator<char>(in), {}));
        if (merged.shards != split || summary.size() != sweep.cases + 1) std::abort();
        for (std::size_t i = 0; i < sweep.cases; ++i) {
            // Row i is the (i / split)-th row of shard i % split, after its fingerprint and header.
            std::vector<std::string> rows;
            for (const auto& line : lines_of(shards[i % static_cast<std::size_t>(split)]))
                if (line.empty() || line[0] != '#') rows.push_back(line);
            const std::size_t at = 1 + i / static_cast<std::size_t>(split);
            if (at >= rows.size() || summary[i + 1] != rows[at]) std::abort();
            if (summary[i + 1].rfind(std::to_string(i) + ",", 0) != 0) std::abort();
        }
    } catch (const host::HostError& error) {
        fuzzing::check_message(error.what());
    }
    return 0;
}
