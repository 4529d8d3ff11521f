// The block libraries loaded for the whole run of a harness: libFuzzer
// keeps reading the coverage counters of every instrumented library it has
// seen, so none may be unloaded while it runs.
#pragma once

#include <memory>
#include <vector>

#include "block_manifest.hpp"
#include "host/sfunction/library.hpp"

namespace fuzzing {

inline void keep_blocks_loaded() {
    static const std::vector<std::shared_ptr<const host::Library>> loaded = [] {
        std::vector<std::shared_ptr<const host::Library>> libraries;
        for (const auto& block : blocks::manifest)
            libraries.push_back(host::Library::load(block.name, {BLOCKS_LIBRARY_DIR}));
        return libraries;
    }();
}

}  // namespace fuzzing
