// The result stream: rate, report layouts of types 200..203, timestamps, paired samples,
// calibrated gaze from stored blocks, and the simulated subject.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <set>

#include "subject.h"
#include "test_support.h"

namespace {

using namespace vt_test;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr double kFix13 = 1.0 / 8192.0;

uint32_t u24(const Report& r, size_t off) {
  return static_cast<uint32_t>(r[off]) | static_cast<uint32_t>(r[off + 1]) << 8 |
         static_cast<uint32_t>(r[off + 2]) << 16;
}
int16_t i16(const Report& r, size_t off) { return static_cast<int16_t>(u16(r, off)); }

class Stream : public OneDevice {
 protected:
  // Collects n result reports of `type`, skipping others.
  std::vector<Report> collect(uint16_t type, size_t n) {
    std::vector<Report> out;
    const auto deadline = steady_clock::now() + milliseconds(3000);
    Report r{};
    while (out.size() < n && steady_clock::now() < deadline) {
      const int got = hid_read_timeout(dev_, r.data(), r.size(), 20);
      if (got == 64 && u16(r, 0) == type) out.push_back(r);
    }
    return out;
  }
  // Stores an eye's calibration through commands 301 as a host does: matrix and eye scale.
  void store_calibration(int eye, const std::array<float, 16>& m, float eye_scale) {
    std::array<uint8_t, 60> b1{}, b2{}, b3{};
    std::memcpy(&b1[4], &m[0], 14 * sizeof(float));
    std::memcpy(&b2[0], &m[14], 2 * sizeof(float));
    std::memcpy(&b3[12], &eye_scale, sizeof(float));
    const uint16_t first = eye == 0 ? 1 : 4;
    ASSERT_EQ(send(dev_, 301, first, b1), 65);
    ASSERT_EQ(send(dev_, 301, static_cast<uint16_t>(first + 1), b2), 65);
    ASSERT_EQ(send(dev_, 301, static_cast<uint16_t>(first + 2), b3), 65);
  }
};

double seconds_since(steady_clock::time_point t0) {
  return std::chrono::duration<double>(steady_clock::now() - t0).count();
}

// The stream keeps its schedule from `since` (a time before its rate was set): it never runs
// ahead of rate x elapsed, and a stream thread that a loaded machine starves catches up. No
// fixed-window rate, which a busy machine would fail.
void expect_rate(int id, double rate, steady_clock::time_point since, uint64_t generated_before) {
  std::this_thread::sleep_for(milliseconds(300));
  const double due = rate * seconds_since(since);
  EXPECT_TRUE(eventually([&] {
    return static_cast<double>(vt::reports_generated(id) - generated_before) >= 0.9 * due;
  },
                         milliseconds(10000)))
      << "the stream fell behind its schedule at " << rate << " Hz";
  EXPECT_LE(static_cast<double>(vt::reports_generated(id) - generated_before),
            rate * seconds_since(since) + 2)
      << "the stream ran ahead of its schedule at " << rate << " Hz";
}

TEST_F(Stream, RateHoldsOnAverageAtLowAndHighRates) {
  const auto started = steady_clock::now();
  const int id = start(tracker(4, 1000));
  expect_rate(id, 1000, started, 0);
  const auto switched = steady_clock::now();
  const uint64_t before = vt::reports_generated(id);
  vt::set_rate(id, 8000);
  expect_rate(id, 8000, switched, before);
  // Nobody reads: the queue holds the first 63 and the rest are lost, as with hidraw.
  EXPECT_EQ(vt::queued(id), vt::kInputQueueCapacity);
  EXPECT_GT(vt::dropped(id), 1000u);
  vt::set_rate(id, 20000);  // out of range: ignored
  EXPECT_DOUBLE_EQ(vt::state(id).rate_hz, 8000);
}

TEST_F(Stream, PauseRateZeroAndClosedDevicesQueueNothing) {
  const int id = vt::attach(tracker(4, 2000));
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(vt::reports_generated(id), 0u);  // nobody has the device open
  EXPECT_EQ(vt::queued(id), 0u);
  dev_ = open_device(id);
  ASSERT_TRUE(eventually([&] { return vt::reports_generated(id) > 10; }));

  vt::pause_stream(id, true);
  drain(dev_);
  const uint64_t paused_at = vt::reports_generated(id);
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(vt::reports_generated(id), paused_at);
  vt::pause_stream(id, false);
  ASSERT_TRUE(eventually([&] { return vt::reports_generated(id) > paused_at; }));

  vt::set_rate(id, 0);
  drain(dev_);
  const uint64_t stopped_at = vt::reports_generated(id);
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(vt::reports_generated(id), stopped_at);
}

TEST_F(Stream, TimestampsCountSamplesAndRestartWhenArmed) {
  vt::DeviceConfig c = tracker(4, 2000);
  c.start_timestamp = 777777;
  const int id = start(c);
  auto reports = collect(202, 20);
  ASSERT_EQ(reports.size(), 20u);
  EXPECT_GE(u64(reports[0], 6), 777777u);
  for (size_t i = 1; i < reports.size(); ++i) ASSERT_EQ(u64(reports[i], 6), u64(reports[i - 1], 6) + 1);

  ASSERT_EQ(send(dev_, 103, 1), 65);
  drain(dev_);
  reports = collect(202, 5);
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_LT(u64(reports[0], 6), 100u);  // restarted near zero
  EXPECT_EQ(u64(reports[4], 6), u64(reports[0], 6) + 4);
  EXPECT_EQ(vt::state(id).arm_count, 1u);
}

TEST_F(Stream, ResultsTypeCommandsSwitchTheReportType) {
  start(tracker(1, 2000));
  EXPECT_EQ(collect(200, 1).size(), 1u);
  ASSERT_EQ(send(dev_, 105), 65);
  drain(dev_);
  const auto after = collect(201, 3);
  EXPECT_EQ(after.size(), 3u);
  const auto rest = drain(dev_);
  for (const Report& r : rest) EXPECT_EQ(u16(r, 0), 201);
}

TEST_F(Stream, RawReportsOfOlderModelsCarryTheEyePositionScaledByM) {
  vt::DeviceConfig c = tracker(2, 2000);
  c.raw_scale = 16;
  const int id = start(c);
  vt::set_eye_position(id, 10.0, -5.0);
  vt::set_digital_inputs(id, 0x5);
  drain(dev_);
  const auto reports = collect(200, 3);
  ASSERT_EQ(reports.size(), 3u);
  const Report& r = reports.back();
  EXPECT_EQ(u16(r, 2), 0);  // not paired
  EXPECT_EQ(u32(r, 4), 0x5u);
  for (size_t e = 0; e < 2; ++e) {
    const size_t b = 24 * e;
    const uint16_t status = u16(r, 16 + b);
    EXPECT_TRUE((status & 0x2) && (status & 0xC)) << "eye " << e << " tracked";
    const double m = u16(r, 22 + b);
    ASSERT_EQ(m, 16);
    EXPECT_GT(u16(r, 24 + b) / m, 20.0);  // pupil size
    const double pupil_x = u16(r, 28 + b) / m, pupil_y = u16(r, 30 + b) / m;
    const double cr_x = (u16(r, 32 + b) + u16(r, 36 + b)) / (2 * m);
    const double cr_y = (u16(r, 34 + b) + u16(r, 38 + b)) / (2 * m);
    EXPECT_NEAR(pupil_x - cr_x, 10.0, 0.07);
    EXPECT_NEAR(pupil_y - cr_y, -5.0, 0.07);
  }
}

TEST_F(Stream, RawReportsOfModel4CarryTheEyePositionInFixedPoint) {
  const int id = start(tracker(4, 2000));
  vt::set_eye_position(id, -12.5, 7.25);
  vt::set_digital_inputs(id, 0x80000001u);
  drain(dev_);
  const auto reports = collect(202, 3);
  ASSERT_EQ(reports.size(), 3u);
  const Report& r = reports.back();
  EXPECT_EQ(u32(r, 2), 0x80000001u);
  for (size_t e = 0; e < 2; ++e) {
    const size_t b = 25 * e;
    EXPECT_EQ(r[14 + b] & 0x2, 0x2);
    const double pupil_x = u24(r, 21 + b) * kFix13, pupil_y = u24(r, 24 + b) * kFix13;
    const double cr_x = (u24(r, 27 + b) + u24(r, 33 + b)) * kFix13 / 2;
    const double cr_y = (u24(r, 30 + b) + u24(r, 36 + b)) * kFix13 / 2;
    EXPECT_NEAR(pupil_x - cr_x, -12.5, 1e-3);
    EXPECT_NEAR(pupil_y - cr_y, 7.25, 1e-3);
  }
}

TEST_F(Stream, Model3SendsPairsOfOneEyeAndCountsBothSamples) {
  vt::DeviceConfig c = tracker(3, 2000);
  c.firmware_version = 26122;
  const int id = start(c);
  vt::set_eye_position(id, 3.0, 4.0);
  drain(dev_);
  auto reports = collect(200, 4);
  ASSERT_EQ(reports.size(), 4u);
  for (size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(u16(reports[i], 2), 1) << "pair marker";
    // Both blocks hold the same (first) eye: its reflections sit at the same place.
    EXPECT_NEAR(u16(reports[i], 32), u16(reports[i], 56), 16);
    if (i > 0) {
      EXPECT_EQ(u64(reports[i], 8), u64(reports[i - 1], 8) + 2);
    }
  }

  // Older firmware gives both samples of a pair the report's timestamp: it counts reports.
  vt::set_firmware(id, 26121, "old", true);
  drain(dev_);
  reports = collect(200, 3);
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(u64(reports[2], 8), u64(reports[1], 8) + 1);
}

TEST_F(Stream, CalibratedGazeFollowsTheStoredMatrix) {
  vt::DeviceConfig c = tracker(4, 2000);
  c.results_type = 1;
  const int id = start(c);
  // Eye 0: a general matrix (scales, offsets, and q3 = 2 to test the division); eye 1 left
  // uncalibrated.
  const std::array<float, 16> m = {400, 0, 0, 10,  //
                                   0, 300, 0, -20,  //
                                   0, 0, 1200, 0,   //
                                   0, 0, 0, 2};
  store_calibration(0, m, 100.0f);
  vt::set_eye_position(id, 20.0, -10.0);
  drain(dev_);
  const auto reports = collect(203, 2);
  ASSERT_EQ(reports.size(), 2u);
  const Report& r = reports.back();
  const double u = 0.2, v = -0.1, w = 1 - std::sqrt(u * u + v * v);
  EXPECT_EQ(r[22] & 0x2, 0x2);
  EXPECT_NEAR(i32(r, 31) * kFix13, (400 * u + 10) / 2, 1e-3);
  EXPECT_NEAR(i32(r, 35) * kFix13, (300 * v - 20) / 2, 1e-3);
  EXPECT_NEAR(i32(r, 39) * kFix13, 1200 * w / 2, 1e-3);
  EXPECT_GT(i32(r, 23), 0);  // pupil size still sent
  // Uncalibrated eye: gaze zeros.
  EXPECT_EQ(i32(r, 22 + 21 + 9), 0);
  EXPECT_EQ(i32(r, 22 + 21 + 13), 0);
  EXPECT_EQ(i32(r, 22 + 21 + 17), 0);
}

TEST_F(Stream, CalibratedReportsOfOlderModelsCarryGazeAndAngles) {
  vt::DeviceConfig c = tracker(2, 2000);
  c.results_type = 1;
  const int id = start(c);
  const std::array<float, 16> identity_at_600 = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 600, 0, 0, 0, 0, 1};
  store_calibration(1, identity_at_600, 100.0f);
  vt::set_eye_position(id, 30.0, 40.0);
  drain(dev_);
  const auto reports = collect(201, 2);
  ASSERT_EQ(reports.size(), 2u);
  const Report& r = reports.back();
  const size_t b = 16 + 24;  // second eye; the first has no calibration
  auto slot = [&](size_t k) { return i16(r, b + 6 + 2 * k) / 32.0; };
  const double x = 0.3, y = 0.4, z = 600 * (1 - 0.5);
  EXPECT_NEAR(slot(2), x, 0.02);
  EXPECT_NEAR(slot(3), y, 0.02);
  EXPECT_NEAR(slot(4), z, 0.02);
  const double rr = std::sqrt(x * x + y * y + z * z), deg = 180 / 3.14159265358979;
  EXPECT_NEAR(slot(5), std::asin(x / rr) * deg, 0.02);
  EXPECT_NEAR(slot(6), std::atan(y / z) * deg, 0.02);
  EXPECT_NEAR(slot(7), std::atan(x / z) * deg, 0.02);
  EXPECT_NEAR(slot(8), std::asin(y / rr) * deg, 0.02);
  for (size_t k = 2; k < 9; ++k) EXPECT_EQ(i16(r, 16 + 6 + 2 * k), 0) << "uncalibrated slot " << k;
}

TEST_F(Stream, ReadableTimesRecordWhenEachResultEnteredTheQueue) {
  const int id = start(tracker(4, 2000));
  vt::keep_readable_times(id, 8);
  ASSERT_TRUE(eventually([&] { return vt::readable_times(id).size() == 8; }));
  const auto log = vt::readable_times(id);
  for (size_t i = 1; i < log.size(); ++i) {
    EXPECT_EQ(log[i].timestamp, log[i - 1].timestamp + 1);
    EXPECT_LE(log[i - 1].when, log[i].when);
  }
}

// A host's threads against a streaming device: a poll thread reading, client threads
// writing queries, and an unplug in the middle of it all.
TEST_F(Stream, ConcurrentPollingWritingAndUnplugStayConsistent) {
  const int id = start(tracker(4, 8000));
  std::atomic<bool> stop{false};
  std::atomic<int> results{0}, replies{0}, failed_reads{0};
  std::thread poll([&] {
    Report r{};
    while (!stop) {
      const int n = hid_read(dev_, r.data(), r.size());
      if (n < 0) {
        ++failed_reads;
        std::this_thread::sleep_for(milliseconds(1));
      } else if (n == 0) {
        std::this_thread::yield();
      } else if (u16(r, 0) == 202) {
        ++results;
      } else if (u16(r, 0) == 402) {
        ++replies;
      }
    }
  });
  std::vector<std::thread> clients;
  for (int t = 0; t < 2; ++t) {
    clients.emplace_back([&] {
      while (!stop) {
        send(dev_, 402, 0);
        std::this_thread::sleep_for(milliseconds(1));
      }
    });
  }
  ASSERT_TRUE(eventually([&] { return results > 100 && replies > 5; }));
  vt::detach(id);
  ASSERT_TRUE(eventually([&] { return failed_reads > 0; }));
  EXPECT_EQ(send(dev_, 402, 0), -1);
  stop = true;
  poll.join();
  for (auto& c : clients) c.join();
}

// The subject on its own, over 30 simulated seconds at 1 kHz.
TEST(Subject, MakesFixationsSaccadesBlinksAndInputChanges) {
  vt::detail::Subject s(42);
  size_t untracked = 0, fast = 0;
  double min_x = 1e9, max_x = -1e9, last_x = 0, last_y = 0;
  bool have_last = false;
  std::set<uint32_t> inputs;
  for (int i = 0; i < 30000; ++i) {
    const auto sample = s.next(0.001);
    inputs.insert(sample.digital);
    if (!sample.eye[0].tracked) {
      ++untracked;
      have_last = false;
      continue;
    }
    const double x = sample.eye[0].eye_x, y = sample.eye[0].eye_y;
    min_x = std::min(min_x, x);
    max_x = std::max(max_x, x);
    if (have_last) {
      const double step = std::hypot(x - last_x, y - last_y);
      EXPECT_LT(step, 5.0) << "the eye jumped at sample " << i;
      if (step > 0.5) ++fast;  // moving in a saccade
    }
    last_x = x;
    last_y = y;
    have_last = true;
  }
  EXPECT_GT(untracked, 50u);    // some blinks
  EXPECT_LT(untracked, 6000u);  // but mostly tracked
  EXPECT_GT(fast, 100u);        // saccades
  EXPECT_GT(max_x - min_x, 20.0);
  EXPECT_GE(inputs.size(), 3u);
}

}  // namespace
