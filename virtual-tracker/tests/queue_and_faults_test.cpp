// The OS input queue, the write log and every injected fault, seen through hidapi.
#include <gtest/gtest.h>

#include <cstring>

#include "test_support.h"

namespace {

using namespace vt_test;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

class QueueAndFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    vt::reset();
    id_ = vt::attach(tracker(4));
    ASSERT_GT(id_, 0);
    dev_ = open_device(id_);
    ASSERT_NE(dev_, nullptr);
  }
  void TearDown() override {
    hid_close(dev_);
    vt::reset();
  }
  std::optional<Report> ask_param(uint16_t id) {
    if (send(dev_, 402, id) != 65) return std::nullopt;
    return read_type(dev_, 402, milliseconds(100));
  }
  int id_ = 0;
  hid_device* dev_ = nullptr;
};

TEST_F(QueueAndFaults, FullQueueDropsTheArrivingReportAndCountsIt) {
  for (uint8_t i = 0; i < 70; ++i) {
    uint8_t r[64] = {};
    r[0] = 0x10;
    r[4] = i;
    vt::push_report(id_, r);
  }
  // hidraw's ring of 64 slots holds 63 reports and keeps them; the later ones are lost.
  EXPECT_EQ(vt::queued(id_), 63u);
  EXPECT_EQ(vt::dropped(id_), 7u);
  const auto reports = drain(dev_);
  ASSERT_EQ(reports.size(), 63u);
  EXPECT_EQ(reports.front()[4], 0);
  EXPECT_EQ(reports.back()[4], 62);
  EXPECT_EQ(vt::queued(id_), 0u);
}

TEST_F(QueueAndFaults, EveryWrittenReportIsLoggedWithItsTime) {
  const auto before = steady_clock::now();
  std::array<uint8_t, 60> payload{};
  payload[0] = 0xAB;
  ASSERT_EQ(send(dev_, 303, 7, payload), 65);
  ASSERT_EQ(send(dev_, 103, 1), 65);
  const auto log = vt::written(id_);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].command(), 303);
  EXPECT_EQ(log[0].arg(), 7);
  EXPECT_EQ(log[0].bytes[5], 0xAB);
  EXPECT_EQ(log[1].command(), 103);
  EXPECT_TRUE(log[0].accepted);
  EXPECT_GE(log[0].when, before);
  EXPECT_LE(log[0].when, log[1].when);
  vt::clear_written(id_);
  EXPECT_TRUE(vt::written(id_).empty());
}

TEST_F(QueueAndFaults, ShortWritesAreLoggedButNotCarriedOut) {
  vt::Faults f;
  f.short_writes = 1;
  vt::set_faults(id_, f);
  EXPECT_EQ(send(dev_, 400), 10);
  EXPECT_EQ(read_type(dev_, 400, milliseconds(30)), std::nullopt);
  EXPECT_EQ(send(dev_, 400), 65);
  EXPECT_TRUE(read_type(dev_, 400).has_value());
  const auto log = vt::written(id_);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_FALSE(log[0].accepted);
  EXPECT_TRUE(log[1].accepted);
}

TEST_F(QueueAndFaults, ReadErrorsFailReadsUntilClearedAndKeepTheQueue) {
  uint8_t r[64] = {0x11};
  vt::push_report(id_, r);
  vt::Faults f;
  f.read_error = true;
  vt::set_faults(id_, f);
  uint8_t buf[64];
  EXPECT_EQ(hid_read(dev_, buf, sizeof buf), -1);
  vt::set_faults(id_, vt::Faults{});
  EXPECT_EQ(hid_read(dev_, buf, sizeof buf), 64);
  EXPECT_EQ(buf[0], 0x11);
}

TEST_F(QueueAndFaults, MissingRepliesAndSilenceLeaveCommandsUnanswered) {
  vt::Faults f;
  f.missing_replies = 2;
  vt::set_faults(id_, f);
  EXPECT_EQ(ask_param(0), std::nullopt);
  EXPECT_EQ(ask_param(0), std::nullopt);
  EXPECT_TRUE(ask_param(0).has_value());

  f = vt::Faults{};
  f.silent = true;
  vt::set_faults(id_, f);
  EXPECT_EQ(ask_param(0), std::nullopt);
  // A silent device still carries out set-commands.
  std::array<uint8_t, 60> value{};
  value[0] = 42;
  ASSERT_EQ(send(dev_, 303, 5, value), 65);
  EXPECT_EQ(vt::state(id_).params.at(5), 42);
  vt::set_faults(id_, vt::Faults{});
  const auto reply = ask_param(5);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ((*reply)[4], 42);
}

TEST_F(QueueAndFaults, DelayedRepliesBecomeReadableAfterTheDelay) {
  vt::Faults f;
  f.reply_delay_ms = 40;
  vt::set_faults(id_, f);
  const auto t0 = steady_clock::now();
  ASSERT_EQ(send(dev_, 400), 65);
  Report r{};
  EXPECT_EQ(hid_read_timeout(dev_, r.data(), r.size(), 0), 0);
  EXPECT_EQ(vt::queued(id_), 0u);
  ASSERT_TRUE(read_type(dev_, 400).has_value());
  EXPECT_GE(steady_clock::now() - t0, milliseconds(40));
}

TEST_F(QueueAndFaults, WrongArgumentAndStrayRepliesPrecedeTheRealOne) {
  vt::Faults f;
  f.wrong_arg_replies = 1;
  f.stray_replies = 1;
  vt::set_faults(id_, f);
  ASSERT_EQ(send(dev_, 402, 9), 65);
  const auto got = drain(dev_);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(u16(got[0], 0), 404);  // stray
  EXPECT_EQ(u16(got[1], 0), 402);
  EXPECT_EQ(u16(got[1], 2), 10);   // wrong argument
  EXPECT_EQ(u16(got[2], 0), 402);
  EXPECT_EQ(u16(got[2], 2), 9);
  // The counters are used up.
  ASSERT_EQ(send(dev_, 402, 9), 65);
  EXPECT_EQ(drain(dev_).size(), 1u);

  // A stray reply to a tracking-mode query is of another type, so it cannot pass for it.
  f = vt::Faults{};
  f.stray_replies = 1;
  vt::set_faults(id_, f);
  ASSERT_EQ(send(dev_, 404), 65);
  const auto mode = drain(dev_);
  ASSERT_EQ(mode.size(), 2u);
  EXPECT_NE(u16(mode[0], 0), 404);
  EXPECT_EQ(u16(mode[1], 0), 404);
}

TEST_F(QueueAndFaults, ResultReportsArriveAheadOfEveryReply) {
  vt::Faults f;
  f.results_before_reply = 3;
  vt::set_faults(id_, f);
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(send(dev_, 406), 65);
    const auto got = drain(dev_);
    ASSERT_EQ(got.size(), 4u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(u16(got[i], 0), 202);
    EXPECT_EQ(u64(got[1], 6), u64(got[0], 6) + 1);
    EXPECT_EQ(u16(got[3], 0), 406);
  }
  EXPECT_EQ(vt::reports_generated(id_), 6u);
}

TEST_F(QueueAndFaults, CorruptCalibrationReadsDifferFromWhatWasStored) {
  std::array<uint8_t, 60> block{};
  const float one = 1.0f;
  std::memcpy(&block[4], &one, 4);
  ASSERT_EQ(send(dev_, 301, 1, block), 65);
  vt::Faults f;
  f.corrupt_calibration_reads = 1;
  vt::set_faults(id_, f);
  ASSERT_EQ(send(dev_, 401, 1), 65);
  auto bad = read_type(dev_, 301);
  ASSERT_TRUE(bad.has_value());
  EXPECT_FALSE(std::equal(block.begin(), block.end(), bad->begin() + 4));
  ASSERT_EQ(send(dev_, 401, 1), 65);
  auto good = read_type(dev_, 301);
  ASSERT_TRUE(good.has_value());
  EXPECT_TRUE(std::equal(block.begin(), block.end(), good->begin() + 4));
}

}  // namespace
