// Control records for block instances. Each instance of the controller
// block has a record of its own, which stays usable after the instance's
// run ends (the record is released, not freed), so that calls between
// evaluations change nothing. A released record goes to the next instance
// that needs one; records are freed with the pool. Memory is thus bounded
// by the number of instances alive at one time, however many runs there are.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "controller.hpp"

namespace blocks {

struct OwnedRecord {
    ControlRecord record;
    std::atomic<const void*> owner{nullptr};  // the instance it belongs to
    bool released = false;
};

class ControlRecordPool {
public:
    // A zero-filled record for `owner`: `current` when it is still the
    // owner's, else a released one or a new one.
    OwnedRecord* acquire(const void* owner, OwnedRecord* current);
    // The record stays the owner's until another owner acquires it.
    void release(OwnedRecord* record);
    std::size_t size() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<OwnedRecord>> records_;
};

// True while `record` belongs to `owner`.
inline bool owned_by(const OwnedRecord* record, const void* owner) {
    return record != nullptr && record->owner.load(std::memory_order_relaxed) == owner;
}

}  // namespace blocks
