// The controller block's records: one per instance, kept usable after a
// release until another instance takes the record over.
#include <gtest/gtest.h>

#include "core/control_records.hpp"

namespace {

TEST(ControlRecordPool, AnOwnerKeepsItsRecordAcrossRunsZeroFilledEachTime) {
    blocks::ControlRecordPool pool;
    int a = 0;
    blocks::OwnedRecord* record = pool.acquire(&a, nullptr);
    record->record.command = 0.7;
    pool.release(record);
    EXPECT_TRUE(blocks::owned_by(record, &a)) << "released, but nobody took it over";
    EXPECT_EQ(0.7, record->record.command);
    EXPECT_EQ(record, pool.acquire(&a, record));
    EXPECT_EQ(0.0, record->record.command);
    EXPECT_EQ(1u, pool.size());
}

TEST(ControlRecordPool, LiveOwnersHaveRecordsOfTheirOwn) {
    blocks::ControlRecordPool pool;
    int a = 0, b = 0;
    blocks::OwnedRecord* first = pool.acquire(&a, nullptr);
    blocks::OwnedRecord* second = pool.acquire(&b, nullptr);
    EXPECT_NE(first, second);
    // b handing in a's record does not take it.
    EXPECT_EQ(second, pool.acquire(&b, second));
    EXPECT_NE(first, pool.acquire(&b, first));
    EXPECT_TRUE(blocks::owned_by(first, &a));
}

TEST(ControlRecordPool, AReleasedRecordGoesToTheNextOwnerSoMemoryStaysBounded) {
    blocks::ControlRecordPool pool;
    int owners[100];
    blocks::OwnedRecord* previous = nullptr;
    for (int& owner : owners) {
        blocks::OwnedRecord* record = pool.acquire(&owner, nullptr);
        if (previous) {
            EXPECT_EQ(previous, record);
            EXPECT_FALSE(blocks::owned_by(record, &owner - 1)) << "the old owner must see it is gone";
        }
        record->record.command = 1.0;
        pool.release(record);
        previous = record;
    }
    EXPECT_EQ(1u, pool.size());
    EXPECT_FALSE(blocks::owned_by(nullptr, &owners[0]));
}

}  // namespace
