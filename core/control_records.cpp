#include "control_records.hpp"

namespace blocks {

OwnedRecord* ControlRecordPool::acquire(const void* owner, OwnedRecord* current) {
    std::lock_guard<std::mutex> lock(mutex_);
    OwnedRecord* record = owned_by(current, owner) ? current : nullptr;
    for (std::size_t i = 0; record == nullptr && i < records_.size(); ++i)
        if (records_[i]->released) record = records_[i].get();
    if (record == nullptr) record = records_.emplace_back(std::make_unique<OwnedRecord>()).get();
    record->record = ControlRecord{};
    record->owner.store(owner, std::memory_order_relaxed);
    record->released = false;
    return record;
}

void ControlRecordPool::release(OwnedRecord* record) {
    std::lock_guard<std::mutex> lock(mutex_);
    record->released = true;
}

std::size_t ControlRecordPool::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.size();
}

}  // namespace blocks
