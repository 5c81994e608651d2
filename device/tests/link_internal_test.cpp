// The reply wait, the draining pause and the exchange primitive, driven against the virtual
// tracker with exact reports pushed into its input queue: once where the command reads for
// itself (no poll thread, as during Init), once with the poll thread as the reader.
#include <gtest/gtest.h>

#include <hidapi.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "hid_link.h"
#include "report_builder.h"
#include "result_buffers.h"
#include "saccadrix/saccadrix.h"
#include "virtual_tracker.h"
#include "wait_for.h"

using namespace saccadrix;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

int ring_length() {
  ResultsLock lock;
  return ringBuf_length(&results_buffer);
}

// A device opened by hand, with no poll thread: the command is its own reader.
class SelfRead : public ::testing::Test {
 protected:
  void SetUp() override {
    vt::reset();
    vt::DeviceConfig c;
    c.product_id = vt::product_id_for_model(4);
    id_ = vt::attach(c);
    vt::pause_stream(id_, true);
    device_ = hid_open(0x0861, c.product_id, nullptr);
    ASSERT_NE(device_, nullptr);
    hid_set_nonblocking(device_, 1);
    conn.device.store(device_);
    conn.model.store(4);
    ResultsLock lock;
    ringBuf_init(&results_buffer);
  }
  void TearDown() override {
    conn.device.store(nullptr);
    conn.model.store(0);
    hid_close(device_);
    vt::reset();
  }
  int id_ = 0;
  hid_device* device_ = nullptr;
};

TEST_F(SelfRead, reply_with_another_argument_is_skipped) {
  HidLock lock;
  vt::push_report(id_, TestReport(301, 5).f32(8, 1.5f).bytes);
  vt::push_report(id_, TestReport(301, 2).f32(8, 2.5f).bytes);
  uint8_t packet[kInReportSize];
  ASSERT_EQ(GetHIDPacketOfType(packet, 301, 2, kReplyBudgetMs), 0);
  EXPECT_EQ(InReport(packet).f32(8), 2.5f);
  EXPECT_EQ(vt::queued(id_), 0u);
}

TEST_F(SelfRead, results_and_stray_replies_met_while_waiting_are_handed_on) {
  HidLock lock;
  vt::push_report(id_, TestReport(202).u64(6, 11).bytes);
  vt::push_report(id_, TestReport(404).bytes);  // a stray reply: dropped
  vt::push_report(id_, TestReport(202).u64(6, 12).bytes);
  vt::push_report(id_, TestReport(400, 0).u16(2, 777).bytes);
  vt::push_report(id_, TestReport(202).u64(6, 13).bytes);
  uint8_t packet[kInReportSize];
  ASSERT_EQ(GetHIDPacketOfType(packet, 400, kAnyArg, kReplyBudgetMs), 0);
  EXPECT_EQ(InReport(packet).u16(2), 777);
  EXPECT_EQ(ring_length(), 2);
  EXPECT_EQ(+last_result.timestamp, 12u);
  EXPECT_EQ(vt::queued(id_), 1u);  // the report after the reply stays for the next reader
}

TEST_F(SelfRead, empty_device_spends_the_budget_then_times_out) {
  HidLock lock;
  uint8_t packet[kInReportSize];
  EXPECT_EQ(GetHIDPacketOfType(packet, 400, kAnyArg, 0), kStatusTimeout);
  const auto t0 = Clock::now();
  EXPECT_EQ(GetHIDPacketOfType(packet, 400, kAnyArg, 20), kStatusTimeout);
  EXPECT_GE(Clock::now() - t0, milliseconds(19));
}

TEST_F(SelfRead, pause_drains_the_device_and_unplug_fails_the_wait) {
  {
    HidLock lock;
    for (uint64_t ts = 1; ts <= 70; ++ts) vt::push_report(id_, TestReport(202).u64(6, ts).bytes);
    PauseDraining(20);
  }
  EXPECT_EQ(vt::queued(id_), 0u);
  EXPECT_GE(ring_length(), 63);  // the queue holds 63; none of them is lost to the pause
  vt::detach(id_);
  HidLock lock;
  uint8_t packet[kInReportSize];
  EXPECT_EQ(GetHIDPacketOfType(packet, 400, kAnyArg, kReplyBudgetMs), kStatusIo);
}

// A connection opened by Init: the poll thread reads everything, commands only wait.
class PollReader : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    vt::reset();
    vt::DeviceConfig c;
    c.product_id = vt::product_id_for_model(4);
    id_ = vt::attach(c);
    ASSERT_EQ(zelSaccadrixInit(), 4);
  }
  static void TearDownTestSuite() {
    zelSaccadrixClose();
    vt::reset();
  }
  void SetUp() override {
    vt::set_faults(id_, vt::Faults{});
    vt::set_rate(id_, 1000);
    ASSERT_TRUE(wait_for([] { return vt::queued(id_) == 0; }));
  }
  static int id_;
};
int PollReader::id_ = 0;

TEST_F(PollReader, short_write_fails_the_query_without_waiting) {
  vt::Faults f;
  f.short_writes = 1;
  vt::set_faults(id_, f);
  bool decoded = false;
  EXPECT_EQ(link::query(OutReport(400), Reply{400, kAnyArg, 5000},
                        [&](const InReport&) { decoded = true; }, kNoPause),
            kStatusIo);
  EXPECT_FALSE(decoded);
}

// The reply reaches the waiting command while results keep streaming, and the results
// around it all reach the ring, in order.
TEST_F(PollReader, reply_is_delivered_among_streaming_results) {
  vt::Faults f;
  f.results_before_reply = 5;
  vt::set_faults(id_, f);
  zelSaccadrixFlushResults();
  for (int i = 0; i < 20; ++i) {
    uint16_t version = 0;
    ASSERT_EQ(link::query(OutReport(400), Reply{400, kAnyArg, kReplyBudgetMs},
                          [&](const InReport& r) { version = r.u16(2); }, kNoPause),
              0);
    EXPECT_NE(version, 0);
  }
  T_RESULTS_STRUCT r;
  uint64_t previous = 0;
  int n = 0;
  while (zelSaccadrixGetResult(&r) >= 0) {
    if (n++ > 0) {
      EXPECT_GT(+r.timestamp, previous);
    }
    previous = r.timestamp;
  }
  EXPECT_GE(n, 100);  // 5 before each of the 20 replies, plus whatever streamed meanwhile
}

TEST_F(PollReader, query_pauses_after_releasing_the_lock) {
  std::atomic<bool> query_returned{false};
  std::atomic<bool> probe_locked_first{false};
  vt::clear_written(id_);
  std::thread probe([&] {
    // Wait until the query holds the lock (its write has gone out), then take it.
    wait_for([&] { return !vt::written(id_).empty(); });
    HidLock lock;
    probe_locked_first = !query_returned.load();
  });
  const auto t0 = Clock::now();
  EXPECT_EQ(link::query(OutReport(400), Reply{400, kAnyArg, kReplyBudgetMs},
                        [](const InReport&) {}, kPauseAfterQueryMs),
            0);
  query_returned = true;
  probe.join();
  EXPECT_GE(Clock::now() - t0, milliseconds(50));
  EXPECT_TRUE(probe_locked_first);
}

TEST_F(PollReader, missing_reply_times_out_after_the_budget_despite_results) {
  vt::Faults f;
  f.missing_replies = 1;
  vt::set_faults(id_, f);
  const auto t0 = Clock::now();
  EXPECT_EQ(link::query(OutReport(400), Reply{400, kAnyArg, kReplyBudgetMs},
                        [](const InReport&) {}, kNoPause),
            kStatusTimeout);
  EXPECT_GE(Clock::now() - t0, milliseconds(99));
}

// A set-command holds the lock for 50 ms; at 8 kHz about 400 reports arrive meanwhile (six
// times what the operating system's queue holds), and the reader keeps taking them.
TEST_F(PollReader, set_pause_keeps_the_device_drained) {
  vt::set_rate(id_, 8000);
  const uint64_t dropped_before = vt::dropped(id_);
  const uint64_t generated_before = vt::reports_generated(id_);
  zelSaccadrixFlushResults();
  EXPECT_EQ(link::set(OutReport(303, 7), kPauseAfterSetMs), 65);
  const uint64_t generated = vt::reports_generated(id_) - generated_before;
  // A starved test machine may still drop a few; a reader blocked by the pause would lose
  // nearly everything beyond the queue's 63 reports.
  EXPECT_LT(vt::dropped(id_) - dropped_before, generated / 4);
  EXPECT_GT(zelSaccadrixGetResult(nullptr), 63);
  vt::set_rate(id_, 1000);
}

// Runs last in its suite by construction: the unplug ends the connection, so the suite
// reconnects afterwards for whichever case the shuffle puts next.
// A direct call has the device to itself: the reader stays parked between two reads while
// it runs (no result arrives meanwhile, although the tracker streams), and reads on after.
TEST_F(PollReader, direct_calls_run_with_the_reader_parked) {
  const auto newest = [] {
    T_RESULTS_STRUCT r{};
    zelSaccadrixGetLastResult(&r);
    return +r.timestamp;
  };
  for (int i = 0; i < 5; ++i) {
    uint64_t during_first = 0, during_last = 0;
    EXPECT_EQ(link::with_device([&](hid_device*) {
                during_first = newest();
                std::this_thread::sleep_for(milliseconds(10));  // ten reports at 1 kHz
                during_last = newest();
                return 7;
              }),
              7);
    EXPECT_EQ(during_first, during_last);
    EXPECT_TRUE(wait_for([&] { return newest() > during_last; }));
  }
  EXPECT_EQ(vt::dropped(id_), 0u);
}

TEST_F(PollReader, unplug_during_a_wait_fails_it_and_later_waits_read_for_themselves) {
  vt::Faults f;
  f.reply_delay_ms = 3000;
  vt::set_faults(id_, f);
  vt::clear_written(id_);
  std::thread unplug([] {
    wait_for([] { return !vt::written(id_).empty(); });
    std::this_thread::sleep_for(milliseconds(20));
    vt::detach(id_);
  });
  EXPECT_EQ(link::query(OutReport(400), Reply{400, kAnyArg, kNetworkReplyBudgetMs},
                        [](const InReport&) {}, kNoPause),
            kStatusIo);
  unplug.join();
  EXPECT_EQ(link::query(OutReport(400), Reply{400, kAnyArg, kReplyBudgetMs},
                        [](const InReport&) {}, kNoPause),
            kStatusIo);
  EXPECT_EQ(zelSaccadrixClose(), 0);
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(4);
  id_ = vt::attach(c);
  ASSERT_EQ(zelSaccadrixInit(), 4);
}

}  // namespace
