// Opening and closing trackers through the public interface, against the virtual tracker.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "saccadrix/saccadrix.h"
#include "virtual_tracker.h"

namespace {

std::vector<uint16_t> commands(int id) {
  std::vector<uint16_t> out;
  for (const vt::Written& w : vt::written(id)) out.push_back(w.command());
  return out;
}

std::string build_date() {
  char text[64];
  zelSaccadrixGetFirmwareBuildDateTime(text, sizeof text);
  return text;
}

vt::DeviceConfig tracker(int model) {
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(model);
  return c;
}

// ---- Without a tracker: no 2-second open wait is involved. ----------------------------

class WithoutTracker : public ::testing::Test {
 protected:
  void SetUp() override {
    zelSaccadrixClose();
    vt::reset();
  }
};

// Cases that need a process in which no tracker has been opened yet: CTest runs them in a
// process of their own (the test name ending in _fresh_process) and the rest without them.
class FreshProcess : public WithoutTracker {};

TEST_F(FreshProcess, versions_and_identity_before_any_open) {
  EXPECT_EQ(zelSaccadrixGetLibVersion(), 46);
  EXPECT_EQ(zelSaccadrixGetAbiVersion(), 2049);
  EXPECT_EQ(build_date(), "Build date not supported");
  uint16_t version = 1;
  EXPECT_EQ(zelSaccadrixGetFirmwareVersion(&version), 0);
  EXPECT_EQ(version, 0);
}

TEST_F(WithoutTracker, init_with_no_device_returns_no_device) {
  EXPECT_EQ(zelSaccadrixInit(), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(zelSaccadrixGetResult(nullptr), SACCADRIX_E_NO_DEVICE);
  T_RESULTS_STRUCT r;
  EXPECT_EQ(zelSaccadrixGetLastResult(&r), SACCADRIX_E_NO_DEVICE);
}

TEST_F(WithoutTracker, foreign_devices_are_not_opened) {
  vt::DeviceConfig mouse;
  mouse.vendor_id = 0x046d;
  mouse.product_id = 0x3411;  // a tracker's product id under another vendor
  const int a = vt::attach(mouse);
  vt::DeviceConfig other = tracker(2);
  other.product_id = 0x3420;  // our vendor, not a tracker
  const int b = vt::attach(other);
  EXPECT_EQ(zelSaccadrixInit(), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(vt::open_handles(), 0);
  EXPECT_TRUE(vt::written(a).empty());
  EXPECT_TRUE(vt::written(b).empty());
}

TEST_F(WithoutTracker, close_without_init_and_twice_returns_ok) {
  EXPECT_EQ(zelSaccadrixClose(), 0);
  EXPECT_EQ(zelSaccadrixClose(), 0);
  EXPECT_EQ(zelSaccadrixHidClose(), 0);
}

TEST_F(WithoutTracker, commands_without_a_connection_send_nothing) {
  const int id = vt::attach(tracker(4));
  EXPECT_EQ(zelSaccadrixArmTimestamp(1), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(zelSaccadrixSetResultsType(1), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(zelSaccadrixStartTracking(), SACCADRIX_E_NO_DEVICE);
  uint8_t calibrated = 7;
  EXPECT_EQ(zelSaccadrixGetCalibrated(0, &calibrated), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(calibrated, 0);
  EXPECT_TRUE(vt::written(id).empty());
}

// ---- Open sequences --------------------------------------------------------------------

class OpenSequence : public ::testing::Test {
 protected:
  void SetUp() override { vt::reset(); }
  void TearDown() override { zelSaccadrixClose(); }
};

TEST_F(OpenSequence, model2_reads_firmware_and_arms_only) {
  vt::DeviceConfig c = tracker(2);
  c.firmware_version = 26000;
  c.build_date = "Mar  3 2026 08:15:00";
  const int id = vt::attach(c);
  // The tracker is given 2 s after enumeration, unless the environment shortens it.
  const char* settle = std::getenv("SACCADRIX_INIT_SETTLE_MS");
  const int settle_ms = settle != nullptr ? std::atoi(settle) : 2000;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(zelSaccadrixInit(), 2);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(settle_ms - 10));
  EXPECT_EQ(commands(id), (std::vector<uint16_t>{400, 103}));
  EXPECT_EQ(vt::written(id)[1].arg(), 1);
  EXPECT_EQ(vt::written(id)[1].bytes.size(), 65u);
  EXPECT_EQ(vt::written(id)[1].bytes[0], 0);
  uint16_t version = 0;
  zelSaccadrixGetFirmwareVersion(&version);
  EXPECT_EQ(version, 26000);
  EXPECT_EQ(build_date(), "Mar  3 2026 08:15:00");
  uint8_t table[4] = {9, 9, 9, 9};
  int count = 5;
  EXPECT_EQ(zelSaccadrixGetPinFunctions(table, sizeof table, &count), SACCADRIX_E_UNSUPPORTED);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(table[0], 9);
  EXPECT_EQ(commands(id).size(), 2u);  // nothing sent for the refused query
}

TEST_F(OpenSequence, model4_also_reads_viewing_distance_and_pin_table) {
  vt::DeviceConfig c = tracker(4);
  c.pin_functions = {5, 0, 5, 7, 0, 5, 8, 6, 1, 2, 3, 4};
  const int id = vt::attach(c);
  ASSERT_EQ(zelSaccadrixInit(), 4);
  EXPECT_EQ(commands(id), (std::vector<uint16_t>{400, 406, 409, 103}));

  uint8_t small[8];
  std::memset(small, 0xEE, sizeof small);
  int count = 0;
  ASSERT_EQ(zelSaccadrixGetPinFunctions(small, sizeof small, &count), 0);
  EXPECT_EQ(count, 12);
  EXPECT_EQ(std::vector<uint8_t>(small, small + 8), (std::vector<uint8_t>{5, 0, 5, 7, 0, 5, 8, 6}));

  uint8_t big[32];
  std::memset(big, 0xEE, sizeof big);
  ASSERT_EQ(zelSaccadrixGetPinFunctions(big, sizeof big, &count), 0);
  EXPECT_EQ(big[11], 4);
  EXPECT_EQ(big[12], 0);  // cleared over the caller's whole length
  EXPECT_EQ(big[31], 0);
}

TEST_F(OpenSequence, pin_count_beyond_the_reply_copies_only_what_the_reply_holds) {
  vt::DeviceConfig c = tracker(4);
  c.pin_functions = std::vector<uint8_t>(61, 3);
  c.pin_count = 255;
  vt::attach(c);
  ASSERT_EQ(zelSaccadrixInit(), 4);
  std::vector<uint8_t> table(300, 0xEE);
  int count = 0;
  ASSERT_EQ(zelSaccadrixGetPinFunctions(table.data(), table.size(), &count), 0);
  EXPECT_EQ(count, 255);
  EXPECT_EQ(table[60], 3);
  EXPECT_EQ(table[61], 0);  // the reply ends at byte 63: 61 function bytes at most
  EXPECT_EQ(table[299], 0);
}

TEST_F(OpenSequence, first_listed_of_two_trackers_is_used) {
  const int first = vt::attach(tracker(4));
  const int second = vt::attach(tracker(2));
  ASSERT_EQ(zelSaccadrixInit(), 4);
  EXPECT_FALSE(vt::written(first).empty());
  EXPECT_TRUE(vt::written(second).empty());
  EXPECT_EQ(vt::open_handles(), 1);
}

TEST_F(OpenSequence, init_twice_closes_the_first_connection_before_reopening) {
  vt::attach(tracker(2));
  ASSERT_EQ(zelSaccadrixInit(), 2);
  ASSERT_EQ(zelSaccadrixInit(), 2);
  EXPECT_EQ(vt::open_handles(), 1);
  EXPECT_EQ(zelSaccadrixClose(), 0);
  EXPECT_EQ(vt::open_handles(), 0);
  EXPECT_EQ(zelSaccadrixClose(), 0);
  EXPECT_EQ(zelSaccadrixGetResult(nullptr), SACCADRIX_E_NO_DEVICE);
}

TEST_F(OpenSequence, long_build_date_leaves_the_default_text) {
  vt::DeviceConfig c = tracker(2);
  c.build_date = std::string(40, 'x');
  vt::attach(c);
  ASSERT_EQ(zelSaccadrixInit(), 2);
  EXPECT_EQ(build_date(), "Build date not supported");
}

TEST_F(OpenSequence, unterminated_build_date_is_read_only_to_the_report_end) {
  vt::DeviceConfig c = tracker(2);
  c.build_date = "2026";
  c.build_date_terminated = false;  // 60 text bytes and no zero byte
  vt::attach(c);
  ASSERT_EQ(zelSaccadrixInit(), 2);
  EXPECT_EQ(build_date(), "Build date not supported");  // 60 characters do not fit 32
}

TEST_F(OpenSequence, silent_tracker_still_opens_with_firmware_not_supported) {
  const int id = vt::attach(tracker(4));
  vt::Faults f;
  f.silent = true;
  vt::set_faults(id, f);
  ASSERT_EQ(zelSaccadrixInit(), 4);
  EXPECT_EQ(build_date(), "Not supported.");
  uint16_t version = 1;
  zelSaccadrixGetFirmwareVersion(&version);
  EXPECT_EQ(version, 0);
  EXPECT_EQ(commands(id), (std::vector<uint16_t>{400, 406, 409, 103}));
}

TEST_F(OpenSequence, arm_takes_its_pause_and_reports_success_even_for_a_short_write) {
  const int id = vt::attach(tracker(2));
  ASSERT_EQ(zelSaccadrixInit(), 2);
  vt::clear_written(id);
  vt::Faults f;
  f.short_writes = 1;
  vt::set_faults(id, f);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(zelSaccadrixArmTimestamp(0x10001), 0);
  const auto elapsed = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(elapsed, std::chrono::milliseconds(50));
  ASSERT_EQ(commands(id), (std::vector<uint16_t>{103}));
  EXPECT_EQ(vt::written(id)[0].arg(), 1);  // low 16 bits of the value
}

TEST_F(OpenSequence, unplugged_tracker_fails_queries_with_io_error) {
  const int id = vt::attach(tracker(4));
  ASSERT_EQ(zelSaccadrixInit(), 4);
  vt::detach(id);
  uint8_t table[32];
  int count = 0;
  EXPECT_EQ(zelSaccadrixGetPinFunctions(table, sizeof table, &count), SACCADRIX_E_IO);
  EXPECT_EQ(zelSaccadrixArmTimestamp(1), 0);
  EXPECT_EQ(zelSaccadrixSetResultsType(0), SACCADRIX_E_IO);
  EXPECT_EQ(zelSaccadrixClose(), 0);
}

}  // namespace
