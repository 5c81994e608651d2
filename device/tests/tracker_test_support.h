// Helpers shared by the tests that drive the library against the virtual tracker: a tracker
// of a model code, one connection per fixture suite, what the library wrote, and exact
// replies queued while a command waits.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "saccadrix/saccadrix.h"
#include "virtual_tracker.h"
#include "wait_for.h"

namespace tracker_test {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

inline vt::DeviceConfig tracker(int model) {
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(model);
  return c;
}

inline std::vector<vt::Written> sent(int id, uint16_t command) {
  std::vector<vt::Written> out;
  for (const vt::Written& w : vt::written(id)) {
    if (w.command() == command) out.push_back(w);
  }
  return out;
}

inline std::vector<uint16_t> commands(int id) {
  std::vector<uint16_t> out;
  for (const vt::Written& w : vt::written(id)) out.push_back(w.command());
  return out;
}

inline int32_t sent_i32(const vt::Written& w, size_t off) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(w.bytes[off + i]) << (8 * i);
  return static_cast<int32_t>(v);
}

// Sets the two tracking flags and expects one command 303 for parameter 0 with this word.
inline void expect_tracking_word(int id, bool first, bool second, int32_t word) {
  vt::clear_written(id);
  EXPECT_EQ(zelSaccadrixSetTracking(first, second), 0);
  const auto sets = sent(id, 303);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].arg(), 0);
  EXPECT_EQ(sent_i32(sets[0], 5), word) << "flags " << first << second;
}

// Runs call while the tracker's own answer to command is suppressed and reply is queued
// instead, once the command has been written. The command waits for its reply from before
// its write, so whoever reads the queued reply hands it to the command.
template <typename Call>
int with_reply(int id, uint16_t command, const uint8_t (&reply)[64], Call call) {
  vt::Faults f;
  f.missing_replies = 1;
  vt::set_faults(id, f);
  const size_t before = sent(id, command).size();
  std::thread answer([&] {
    if (wait_for([&] { return sent(id, command).size() > before; })) vt::push_report(id, reply);
  });
  const int status = call();
  answer.join();
  vt::set_faults(id, vt::Faults{});
  return status;
}

// A suite of cases against one connection to a tracker of a model code.
template <int Model>
class OnTracker : public ::testing::Test {
 protected:
  static vt::DeviceConfig config() { return tracker(Model); }
  static void open(const vt::DeviceConfig& c) {
    zelSaccadrixClose();
    vt::reset();
    id_ = vt::attach(c);
    ASSERT_GT(id_, 0);
    ASSERT_EQ(zelSaccadrixInit(), Model);
  }
  static void TearDownTestSuite() {
    zelSaccadrixClose();
    vt::reset();
  }
  void SetUp() override {
    vt::set_faults(id_, vt::Faults{});
    vt::clear_written(id_);
  }
  static int id_;
};
template <int Model>
int OnTracker<Model>::id_ = 0;

// A suite of cases against one connection to a model code 4 tracker that streams raw results
// at 1 kHz; the stored recording is cleared when the suite ends.
class StreamingTracker : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { open_streaming(0); }
  // clock_ppm: how fast the tracker's clock runs against the host's.
  static void open_streaming(double clock_ppm) {
    vt::reset();
    vt::DeviceConfig c = tracker(4);
    c.rate_hz = 1000;
    c.clock_ppm = clock_ppm;
    id_ = vt::attach(c);
    ASSERT_EQ(zelSaccadrixInit(), 4);
  }
  static void TearDownTestSuite() {
    zelSaccadrixClose();
    zelSaccadrixClearDataBuffer();
    vt::reset();
  }
  static inline int id_ = 0;
};

}  // namespace tracker_test
