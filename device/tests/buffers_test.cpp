// The ring of recent records and the stored-results list with its cursor.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

#include "result_buffers.h"

using namespace saccadrix;

namespace {

T_RESULTS_STRUCT record(uint64_t timestamp) {
  T_RESULTS_STRUCT r{};
  r.size = 155;
  r.timestamp = timestamp;
  return r;
}

class Ring : public ::testing::Test {
 protected:
  void SetUp() override { ringBuf_init(&results_buffer); }
};

TEST_F(Ring, overflow_drops_the_oldest_record) {
  for (uint64_t i = 1; i <= kRingCapacity + 1; ++i) ringBuf_push(&results_buffer, record(i));
  EXPECT_EQ(ringBuf_length(&results_buffer), kRingCapacity);
  EXPECT_TRUE(ringBuf_full(&results_buffer));
  T_RESULTS_STRUCT out;
  ASSERT_EQ(ringBuf_pop(&results_buffer, &out), 0);
  EXPECT_EQ(+out.timestamp, 2u);
  EXPECT_EQ(+last_result.timestamp, static_cast<uint64_t>(kRingCapacity + 1));
  // Order survives the wrap-around.
  for (uint64_t expect = 3; ringBuf_pop(&results_buffer, &out) == 0; ++expect) {
    ASSERT_EQ(+out.timestamp, expect);
  }
}

TEST_F(Ring, pop_from_an_empty_ring_fails_and_changes_nothing) {
  T_RESULTS_STRUCT out = record(77);
  EXPECT_EQ(ringBuf_pop(&results_buffer, &out), -1);
  EXPECT_EQ(+out.timestamp, 77u);
  EXPECT_TRUE(ringBuf_empty(&results_buffer));
}

TEST_F(Ring, flush_keeping_keeps_only_new_records_of_the_new_type) {
  for (uint64_t i = 1; i <= 5; ++i) ringBuf_push(&results_buffer, record(i));
  T_RESULTS_STRUCT calibrated = record(6);
  calibrated.resultsType = 1;
  ringBuf_push(&results_buffer, calibrated);
  ringBuf_push(&results_buffer, record(7));
  ringBuf_flush_keeping(&results_buffer, 3, 1);
  ASSERT_EQ(ringBuf_length(&results_buffer), 1);
  EXPECT_EQ(+last_result.timestamp, 7u);  // the newest record is not touched
  T_RESULTS_STRUCT out;
  ringBuf_pop(&results_buffer, &out);
  EXPECT_EQ(+out.timestamp, 6u);
}

class StoredListTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearStoredResults(); }
  void TearDown() override { ClearStoredResults(); }
  void append(std::initializer_list<uint64_t> timestamps) {
    for (uint64_t t : timestamps) StoreResult(record(t));
  }
  // The records held agree with count, and the cursor lies within them or just past.
  void expect_consistent() {
    const StoredList& l = results_storage;
    EXPECT_EQ(l.records.size(), static_cast<size_t>(l.count));
    EXPECT_GE(l.position, 0);
    EXPECT_LE(l.position, l.count);
  }
  std::vector<uint64_t> contents() {
    std::vector<uint64_t> out;
    for (size_t i = 0; i < results_storage.records.size(); ++i) {
      out.push_back(+results_storage.records.record(i).timestamp);
    }
    return out;
  }
  uint64_t read(bool remove = false) {
    T_RESULTS_STRUCT out{};
    EXPECT_EQ(ReadStoredResult(&out, remove), 0);
    return out.timestamp;
  }
};

TEST_F(StoredListTest, first_append_places_the_cursor_on_it) {
  append({10});
  EXPECT_EQ(results_storage.count, 1);
  EXPECT_EQ(results_storage.position, 0);
  append({11, 12});
  EXPECT_EQ(results_storage.position, 0);  // appends never move it
  EXPECT_EQ(read(), 10u);
}

TEST_F(StoredListTest, reading_without_remove_advances_the_cursor) {
  append({1, 2, 3, 4});
  EXPECT_EQ(read(), 1u);
  EXPECT_EQ(read(), 2u);
  EXPECT_EQ(read(), 3u);
  EXPECT_EQ(results_storage.position, 3);
  EXPECT_EQ(read(), 4u);
  expect_consistent();
}

TEST_F(StoredListTest, removing_at_the_front_moves_first) {
  append({1, 2, 3});
  EXPECT_EQ(read(true), 1u);
  EXPECT_EQ(results_storage.count, 2);
  EXPECT_EQ(results_storage.position, 0);
  EXPECT_EQ(contents(), (std::vector<uint64_t>{2, 3}));
  expect_consistent();
}

TEST_F(StoredListTest, removing_in_the_middle_closes_the_gap) {
  append({1, 2, 3});
  ASSERT_EQ(MoveStoredCursor(1), 0);
  EXPECT_EQ(read(true), 2u);
  EXPECT_EQ(contents(), (std::vector<uint64_t>{1, 3}));
  EXPECT_EQ(results_storage.position, 1);
  expect_consistent();
}

TEST_F(StoredListTest, removing_the_only_record_empties_the_list) {
  append({1});
  EXPECT_EQ(read(true), 1u);
  const StoredList& l = results_storage;
  EXPECT_EQ(l.count, 0);
  EXPECT_EQ(l.position, 0);
  EXPECT_TRUE(l.records.empty());
  T_RESULTS_STRUCT out;
  EXPECT_EQ(ReadStoredResult(&out, false), -15);
}

TEST_F(StoredListTest, reads_fail_for_null_destination_and_past_the_end) {
  append({1});
  EXPECT_EQ(ReadStoredResult(nullptr, false), -15);
  EXPECT_EQ(results_storage.position, 0);
  read();
  T_RESULTS_STRUCT out;
  EXPECT_EQ(ReadStoredResult(&out, false), -15);
  EXPECT_EQ(results_storage.position, 1);
}

TEST_F(StoredListTest, cursor_moves_check_range_and_keep_position_in_step) {
  append({0, 1, 2, 3, 4, 5});
  EXPECT_EQ(MoveStoredCursor(6), -15);
  EXPECT_EQ(MoveStoredCursor(-1), -15);
  EXPECT_EQ(results_storage.position, 0);
  for (int p : {3, 1, 5, 0, 4, 2}) {
    ASSERT_EQ(MoveStoredCursor(p), 0);
    EXPECT_EQ(read(), static_cast<uint64_t>(p));
    expect_consistent();
  }
  ClearStoredResults();
  EXPECT_EQ(MoveStoredCursor(0), -15);
}

// A reader that has caught up with a running recording must get each later record exactly
// once: the cursor waits past the end and picks up the next append.
TEST_F(StoredListTest, reading_past_the_end_then_appending_neither_repeats_nor_skips) {
  append({1, 2});
  EXPECT_EQ(read(), 1u);
  EXPECT_EQ(read(), 2u);
  T_RESULTS_STRUCT out;
  EXPECT_EQ(ReadStoredResult(&out, false), -15);
  append({3});
  expect_consistent();
  EXPECT_EQ(read(), 3u);
  append({4, 5});
  EXPECT_EQ(read(), 4u);
  EXPECT_EQ(read(), 5u);
  // The walk of a cursor move starts from a cursor that matches position.
  append({6, 7, 8});
  read();
  read();
  read();
  ASSERT_EQ(MoveStoredCursor(4), 0);
  EXPECT_EQ(read(), 5u);
  expect_consistent();
}

TEST_F(StoredListTest, removing_the_last_record_leaves_the_reader_past_the_end) {
  append({1, 2, 3});
  ASSERT_EQ(MoveStoredCursor(2), 0);
  EXPECT_EQ(read(true), 3u);
  EXPECT_EQ(results_storage.count, 2);
  EXPECT_EQ(results_storage.position, 2);
  EXPECT_EQ(contents(), (std::vector<uint64_t>{1, 2}));
  expect_consistent();
  append({4});
  EXPECT_EQ(read(true), 4u);
  ASSERT_EQ(MoveStoredCursor(1), 0);
  EXPECT_EQ(read(), 2u);
  expect_consistent();
}

// The chunked store against a std::deque doing the same appends and removals, across chunk
// boundaries: removals at the front, the back and inside, with the host times kept beside.
TEST(StoredRecordsTest, matches_a_deque_across_chunks) {
  StoredRecords store;
  std::deque<uint64_t> oracle;
  std::mt19937 rng(7);
  uint64_t next = 1;
  const size_t n = 3 * StoredRecords::kChunk + 17;
  for (size_t round = 0; round < 4; ++round) {
    while (oracle.size() < n) {
      ASSERT_TRUE(store.push_back(record(next), static_cast<double>(next) / 2));
      oracle.push_back(next++);
    }
    for (int k = 0; k < 300 && !oracle.empty(); ++k) {
      const size_t pick = rng() % 3;
      const size_t at = pick == 0 ? 0 : pick == 1 ? oracle.size() - 1 : rng() % oracle.size();
      store.erase(at);
      oracle.erase(oracle.begin() + static_cast<std::ptrdiff_t>(at));
    }
    // A reader that drains a whole chunk from the front.
    for (size_t k = 0; k < StoredRecords::kChunk + 1; ++k) {
      store.erase(0);
      oracle.pop_front();
    }
    ASSERT_EQ(store.size(), oracle.size());
    for (size_t i = 0; i < oracle.size(); ++i) {
      ASSERT_EQ(+store.record(i).timestamp, oracle[i]) << "at " << i;
      ASSERT_EQ(store.host_time(i), static_cast<double>(oracle[i]) / 2);
    }
  }
  while (!store.empty()) store.erase(store.size() - 1);
  EXPECT_TRUE(store.push_back(record(1), 0));
  EXPECT_EQ(+store.record(0).timestamp, 1u);
}

}  // namespace
