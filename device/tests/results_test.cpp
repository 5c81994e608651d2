// Following the tracker live and recording trials, against a streaming virtual tracker.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "saccadrix/saccadrix.h"
#include "virtual_tracker.h"
#include "tracker_test_support.h"
#include "wait_for.h"

using std::chrono::milliseconds;

namespace {

std::vector<T_RESULTS_STRUCT> read_stored() {
  std::vector<T_RESULTS_STRUCT> out;
  const int n = zelSaccadrixGetResultsCount();
  if (n > 0) {
    EXPECT_EQ(zelSaccadrixSetBufferPosition(0), 0);
  }
  T_RESULTS_STRUCT r;
  while (zelSaccadrixGetBufferedResult(&r, 0) == 0) out.push_back(r);
  EXPECT_EQ(static_cast<int>(out.size()), n);
  return out;
}

// Records must come in order, each once. Timestamps step by `step`; a gap is allowed only
// where the simulated operating system queue dropped reports because the poll thread was
// not scheduled in time (a loaded test machine), never where the library lost a record.
void expect_in_order(const std::vector<T_RESULTS_STRUCT>& records, uint64_t queue_drops,
                     uint64_t step = 1) {
  uint64_t gaps = 0;
  for (size_t i = 1; i < records.size(); ++i) {
    ASSERT_GT(+records[i].timestamp, +records[i - 1].timestamp) << "at record " << i;
    gaps += (records[i].timestamp - records[i - 1].timestamp) / step - 1;
  }
  EXPECT_LE(gaps, queue_drops);
}

using Streaming = tracker_test::StreamingTracker;

// Needs a process in which no record has arrived yet: CTest runs it alone
// (results_fresh_process), and the other cases without it.
TEST(FreshProcess, newest_record_is_zero_before_the_first_report) {
  vt::reset();
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(4);
  c.rate_hz = 0;
  vt::attach(c);
  ASSERT_EQ(zelSaccadrixInit(), 4);
  T_RESULTS_STRUCT r;
  std::memset(&r, 0xAB, sizeof r);
  EXPECT_EQ(zelSaccadrixGetLastResult(&r), 0);
  const T_RESULTS_STRUCT zero{};
  EXPECT_EQ(std::memcmp(&r, &zero, sizeof r), 0);
  EXPECT_EQ(zelSaccadrixGetLastResult(nullptr), SACCADRIX_E_NO_RECORD);
  T_RESULTS_STRUCT out;
  EXPECT_EQ(zelSaccadrixGetResult(&out), SACCADRIX_E_IO);
  zelSaccadrixClose();
  vt::reset();
}

TEST_F(Streaming, live_ring_delivers_every_record_in_order) {
  const uint64_t dropped_before = vt::dropped(id_);
  zelSaccadrixFlushResults();
  ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResult(nullptr) >= 200; }));
  std::vector<T_RESULTS_STRUCT> got;
  T_RESULTS_STRUCT r;
  for (int left = 1; left > 0 || got.size() < 300;) {
    left = zelSaccadrixGetResult(&r);
    if (left < 0) {
      std::this_thread::sleep_for(milliseconds(1));
      left = 1;
      continue;
    }
    got.push_back(r);
  }
  expect_in_order(got, vt::dropped(id_) - dropped_before);
  EXPECT_EQ(+got[0].size, 155);
  EXPECT_EQ(+got[0].resultsType, 0);
}

TEST_F(Streaming, null_destination_counts_without_removing) {
  ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResult(nullptr) > 3; }));
  vt::pause_stream(id_, true);
  ASSERT_TRUE(wait_for([] { return vt::queued(id_) == 0; }));
  std::this_thread::sleep_for(milliseconds(20));
  const int waiting = zelSaccadrixGetResult(nullptr);
  EXPECT_EQ(zelSaccadrixGetResult(nullptr), waiting);
  T_RESULTS_STRUCT r;
  EXPECT_EQ(zelSaccadrixGetResult(&r), waiting - 1);
  zelSaccadrixFlushResults();
  EXPECT_EQ(zelSaccadrixGetResult(nullptr), 0);
  vt::pause_stream(id_, false);
}

TEST_F(Streaming, recording_starts_at_the_timestamp_restart_and_survives_close_of_reading) {
  ASSERT_TRUE(wait_for([] {
    T_RESULTS_STRUCT r;
    zelSaccadrixGetLastResult(&r);
    return r.timestamp > 1000;
  }));
  T_RESULTS_STRUCT before;
  zelSaccadrixGetLastResult(&before);
  const uint64_t dropped_before = vt::dropped(id_);
  ASSERT_EQ(zelSaccadrixStartTracking(), 0);
  EXPECT_EQ(zelSaccadrixGetTrackingStarted(), 1);
  ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResultsCount() >= 200; }));
  EXPECT_EQ(zelSaccadrixStopTracking(), 0);
  EXPECT_EQ(zelSaccadrixGetTrackingStarted(), 0);
  const int count = zelSaccadrixGetResultsCount();
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(zelSaccadrixGetResultsCount(), count);  // nothing appended after the stop
  const auto stored = read_stored();
  ASSERT_FALSE(stored.empty());
  EXPECT_LE(+stored.front().timestamp, +before.timestamp);
  EXPECT_LT(+stored.front().timestamp, 100u);  // the tracker restarted its count when armed
  expect_in_order(stored, vt::dropped(id_) - dropped_before);
}

TEST_F(Streaming, starting_twice_discards_the_first_recording) {
  const uint64_t dropped_before = vt::dropped(id_);
  ASSERT_EQ(zelSaccadrixStartTracking(), 0);
  ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResultsCount() >= 100; }));
  vt::pause_stream(id_, true);  // nothing new arrives while the second start runs
  ASSERT_TRUE(wait_for([] { return vt::queued(id_) == 0; }));
  ASSERT_EQ(zelSaccadrixStartTracking(), 0);
  EXPECT_EQ(zelSaccadrixGetResultsCount(), 0);
  vt::pause_stream(id_, false);
  ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResultsCount() >= 50; }));
  zelSaccadrixStopTracking();
  const auto stored = read_stored();
  EXPECT_LT(+stored.front().timestamp, 100u);
  expect_in_order(stored, vt::dropped(id_) - dropped_before);
}

TEST_F(Streaming, results_type_selects_the_reports_and_refuses_other_values) {
  const size_t sent = vt::written(id_).size();
  EXPECT_EQ(zelSaccadrixSetResultsType(2), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixSetResultsType(-1), SACCADRIX_E_ARG);
  EXPECT_EQ(vt::written(id_).size(), sent);
  ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResult(nullptr) > 10; }));  // not cleared

  ASSERT_EQ(zelSaccadrixSetResultsType(1), 0);
  EXPECT_EQ(vt::written(id_).back().command(), 107);
  ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResult(nullptr) > 10; }));
  T_RESULTS_STRUCT r;
  for (int i = 0; i < 10; ++i) {
    ASSERT_GE(zelSaccadrixGetResult(&r), 0);
    EXPECT_EQ(+r.resultsType, 1);
  }
  ASSERT_EQ(zelSaccadrixSetResultsType(0), 0);
  EXPECT_EQ(vt::written(id_).back().command(), 106);
  ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResult(nullptr) > 0; }));
  ASSERT_GE(zelSaccadrixGetResult(&r), 0);
  EXPECT_EQ(+r.resultsType, 0);
}

// Several threads use the library at once while the tracker streams at 2 kHz: every record
// sent reaches the stored list exactly once and in order, and a reader that follows the
// recording through the cursor sees each record once.
TEST_F(Streaming, concurrent_commands_and_readers_lose_and_duplicate_nothing) {
  vt::set_rate(id_, 2000);
  const uint64_t dropped_before = vt::dropped(id_);
  ASSERT_EQ(zelSaccadrixStartTracking(), 0);
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {  // commands
    while (!stop) {
      uint8_t table[32];
      int count;
      zelSaccadrixGetPinFunctions(table, sizeof table, &count);
      zelSaccadrixSetResultsType(0);
      uint8_t calibrated;
      zelSaccadrixGetCalibrated(1, &calibrated);
    }
  });
  threads.emplace_back([&] {  // live reader
    T_RESULTS_STRUCT r;
    while (!stop) {
      if (zelSaccadrixGetResult(&r) < 0) std::this_thread::sleep_for(milliseconds(1));
      zelSaccadrixGetLastResult(&r);
    }
  });
  std::vector<T_RESULTS_STRUCT> followed;
  threads.emplace_back([&] {  // follows the recording through the cursor
    T_RESULTS_STRUCT r;
    for (;;) {
      (void)zelSaccadrixGetBufferPosition();
      (void)zelSaccadrixGetTrackingStarted();
      if (zelSaccadrixGetBufferedResult(&r, 0) == 0) followed.push_back(r);
      else if (stop) break;  // caught up with a recording that no longer grows
      else std::this_thread::sleep_for(milliseconds(1));
    }
  });
  std::this_thread::sleep_for(std::chrono::seconds(3));
  vt::pause_stream(id_, true);
  ASSERT_TRUE(wait_for([&] { return vt::queued(id_) == 0; }));
  std::this_thread::sleep_for(milliseconds(20));
  stop = true;
  for (auto& t : threads) t.join();
  zelSaccadrixStopTracking();

  const uint64_t drops = vt::dropped(id_) - dropped_before;
  const auto stored = read_stored();
  ASSERT_GT(stored.size(), 4000u);
  expect_in_order(stored, drops);
  T_RESULTS_STRUCT newest;
  zelSaccadrixGetLastResult(&newest);
  EXPECT_EQ(+stored.back().timestamp, +newest.timestamp);
  ASSERT_FALSE(followed.empty());
  EXPECT_EQ(+followed.front().timestamp, +stored.front().timestamp);
  EXPECT_EQ(followed.size(), stored.size());  // the follower caught up and saw each once
  expect_in_order(followed, drops);
  vt::set_rate(id_, 1000);
  vt::pause_stream(id_, false);
}

TEST_F(Streaming, recording_is_readable_after_close) {
  const uint64_t dropped_before = vt::dropped(id_);
  ASSERT_EQ(zelSaccadrixStartTracking(), 0);
  ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResultsCount() >= 100; }));
  ASSERT_EQ(zelSaccadrixClose(), 0);
  EXPECT_EQ(zelSaccadrixGetTrackingStarted(), 0);
  const int count = zelSaccadrixGetResultsCount();
  const auto stored = read_stored();
  EXPECT_EQ(static_cast<int>(stored.size()), count);
  expect_in_order(stored, vt::dropped(id_) - dropped_before);
  EXPECT_EQ(zelSaccadrixGetResult(nullptr), SACCADRIX_E_NO_DEVICE);
  T_RESULTS_STRUCT r;
  EXPECT_EQ(zelSaccadrixSetBufferPosition(count - 1), 0);
  EXPECT_EQ(zelSaccadrixGetBufferedResult(&r, 1), 0);
  EXPECT_EQ(zelSaccadrixGetResultsCount(), count - 1);
  EXPECT_EQ(zelSaccadrixClearDataBuffer(), 0);
  EXPECT_EQ(zelSaccadrixGetResultsCount(), 0);
  EXPECT_EQ(zelSaccadrixGetBufferedResult(&r, 0), SACCADRIX_E_NO_RECORD);
  // The suite's other cases, in whatever order they run, find the connection open again.
  ASSERT_EQ(zelSaccadrixInit(), 4);
}

class PairedSamples : public ::testing::Test {
 protected:
  void TearDown() override {
    zelSaccadrixClose();
    zelSaccadrixClearDataBuffer();
    vt::reset();
  }
};

TEST_F(PairedSamples, model3_stream_becomes_two_records_per_report) {
  vt::reset();
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(3);
  c.firmware_version = 26122;
  c.rate_hz = 500;
  const int id = vt::attach(c);
  ASSERT_EQ(zelSaccadrixInit(), 3);
  const uint64_t dropped_before = vt::dropped(id);
  ASSERT_EQ(zelSaccadrixStartTracking(), 0);
  ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResultsCount() >= 200; }));
  zelSaccadrixStopTracking();
  const auto stored = read_stored();
  // The second sample of a pair carries timestamp + 1; a dropped report loses two.
  expect_in_order(stored, 2 * (vt::dropped(id) - dropped_before));
  for (const auto& r : stored) {
    ASSERT_EQ(+r.resultsType, 0);
    T_EYE_RESULTS zero{};
    ASSERT_EQ(std::memcmp(&r.eye[1], &zero, sizeof zero), 0);
  }
  EXPECT_GE(vt::reports_generated(id) * 2, stored.size());
}

}  // namespace
