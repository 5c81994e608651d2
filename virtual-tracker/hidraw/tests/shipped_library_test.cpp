// The shipped libSaccadrix, linked to the real libhidapi-hidraw, against emulated hidraw
// trackers: udev enumeration, the strings read from sysfs, open and the descriptor ioctl,
// reads and writes on the node, hot unplug, a node that may not be opened.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hidraw_test_support.h"

namespace {

using namespace hidraw_test;
using std::chrono::milliseconds;

// Takes records from the ring until `count` have arrived (or the deadline passes).
std::vector<T_RESULTS_STRUCT> collect(size_t count, milliseconds within = milliseconds(20000)) {
  std::vector<T_RESULTS_STRUCT> got;
  got.reserve(count);
  T_RESULTS_STRUCT r;
  eventually([&] {
    while (got.size() < count && zelSaccadrixGetResult(&r) >= 0) got.push_back(r);
    return got.size() >= count;
  }, within);
  return got;
}

// Device timestamps of consecutive reports differ by one sample: a gap is a lost report.
size_t gaps(const std::vector<T_RESULTS_STRUCT>& records) {
  size_t missing = 0;
  for (size_t i = 1; i < records.size(); ++i) {
    if (records[i].timestamp != records[i - 1].timestamp + 1) ++missing;
  }
  return missing;
}

// One connection to a streaming model code 4 tracker for the whole suite.
class Tracker : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unplug_everything();
    vt::DeviceConfig c = tracker(4, 1000, L"SX-2291");
    c.pin_functions = {5, 6, 7, 8, 0, 0};
    id_ = vt::hidraw::plug(c);
    ASSERT_GT(id_, 0);
    ASSERT_EQ(zelSaccadrixInit(), 4);
  }
  static void TearDownTestSuite() { unplug_everything(); }
  void SetUp() override {
    vt::set_faults(id_, vt::Faults{});
    vt::set_rate(id_, 1000);
  }
  static inline int id_ = 0;
};

TEST_F(Tracker, identity_and_strings_come_through_udev_and_the_node) {
  uint16_t version = 0;
  ASSERT_EQ(zelSaccadrixGetFirmwareVersion(&version), 0);
  EXPECT_EQ(version, 26122);
  char text[64] = {};
  ASSERT_EQ(zelSaccadrixGetFirmwareBuildDateTime(text, sizeof text), 0);
  EXPECT_STREQ(text, "Nov 12 2026 10:21:07");
  // hidapi reads the serial number from the node's udev entry, found through fstat().
  ASSERT_EQ(zelSaccadrixGetSerialNumber(text, sizeof text), 0);
  EXPECT_STREQ(text, "SX-2291");
  uint8_t pins[8] = {};
  int count = 0;
  ASSERT_EQ(zelSaccadrixGetPinFunctions(pins, sizeof pins, &count), 0);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(pins[3], 8);
  // The library holds one descriptor of the node, and its poll thread reads it.
  EXPECT_EQ(vt::hidraw::open_count(id_), 1);
  EXPECT_TRUE(eventually([] { return zelSaccadrixGetResult(nullptr) > 0; }));
}

TEST_F(Tracker, every_query_kind_is_answered_through_the_node) {
  struct Query {
    const char* name;
    std::function<int()> call;
    std::function<void()> check;
  };
  // The device's own state is the oracle: other cases of the suite change it.
  const vt::DeviceState state = vt::state(id_);
  int i1 = 0, i2 = 0, i3 = 0, i4 = 0, i5 = 0;
  double d1 = 0, coefficients[16] = {}, scale = 0, distance = 0, aux1 = 0, aux2 = 0;
  uint8_t flag = 0, first = 0, second = 0;
  PinFunctionRecord pin{};
  AnalogueFunctionRecord analogue{};
  char mac[64] = {}, ethernet[64] = {};
  const std::vector<Query> queries = {
      {"parameter", [&] { return zelSaccadrixGetParam(0, &i1); },
       [&] { EXPECT_EQ(i1, state.params.at(0)); }},
      {"tracking flags", [&] { return zelSaccadrixGetTracking(&first, &second); },
       [&] { EXPECT_EQ(first + 2 * second, state.params.at(0) & 3); }},
      {"pupil scale", [&] { return zelSaccadrixGetPupilCalibration(&d1); },
       [&] { EXPECT_EQ(d1, state.pupil_scale / 1024.0); }},
      {"tracking mode", [&] { return zelSaccadrixGetTrackingMode(&i1); },
       [&] { EXPECT_EQ(i1, state.tracking_mode); }},
      {"capture configuration", [&] { return zelSaccadrixGetCaptureConfig(&i1, &i2, &i3, &i4, &i5); },
       [&] {
         EXPECT_EQ(i1, 640);
         EXPECT_EQ(i3, 1000);
       }},
      {"pin record", [&] { return zelSaccadrixGetPinFunction(4, &pin); },
       [&] { EXPECT_EQ(pin.bytes[45], state.pin_records[3][45]); }},
      {"analogue record", [&] { return zelSaccadrixGetAnalogueFunction(3, &analogue); },
       [&] { EXPECT_EQ(analogue.bytes[25], state.analogue_records[2][25]); }},
      {"IPv4 block", [&] { return zelSaccadrixGetIPV4Config(&flag, &i1, &i2, &i3, &i4, &i5); },
       [&] {
         EXPECT_EQ(flag, state.ipv4_flag);
         EXPECT_EQ(i4, state.ipv4_values[3]);
       }},
      {"Ethernet texts", [&] { return zelSaccadrixGetEthMacAddress(mac, ethernet, sizeof mac); },
       [&] {
         EXPECT_STREQ(mac, "00:1B:C5:0A:21:7F");
         EXPECT_STREQ(ethernet, "192.168.1.100");
       }},
      {"calibration blocks",
       [&] { return zelSaccadrixGetCalibration(0, coefficients, &scale, &distance, &aux1, &aux2); },
       [] {}},
  };
  for (const Query& q : queries) {
    SCOPED_TRACE(q.name);
    ASSERT_EQ(q.call(), 0);
    q.check();
  }
}

TEST_F(Tracker, every_set_command_kind_reaches_the_tracker) {
  PinFunctionRecord pin{};
  pin.bytes[0] = 7;
  pin.bytes[45] = 0x5A;
  AnalogueFunctionRecord analogue{};
  analogue.bytes[25] = 0xA5;
  double coefficients[16] = {};
  for (int i = 0; i < 16; ++i) coefficients[i] = 0.25 * (i + 1);
  const uint64_t arms = vt::state(id_).arm_count;
  const uint64_t images = vt::state(id_).images_saved;

  EXPECT_EQ(zelSaccadrixSetParam(12, 40), 0);
  EXPECT_EQ(zelSaccadrixSetPupilCalibration(2.0, 3.0), 0);
  EXPECT_EQ(zelSaccadrixSetPinFunction(4, &pin), 0);
  EXPECT_EQ(zelSaccadrixSetAnalogueFunction(3, &analogue), 0);
  EXPECT_EQ(zelSaccadrixSetIPV4Config(0, 1, 2, 3, 4, 5), 0);
  EXPECT_EQ(zelSaccadrixSetCalibration(1, coefficients, 2.5, 640, 0, 0), 0);
  EXPECT_EQ(zelSaccadrixArmTimestamp(1), 0);
  EXPECT_EQ(zelSaccadrixSaveCapturedImages(), 0);
  EXPECT_EQ(zelSaccadrixSetResultsType(1), 0);

  const vt::DeviceState s = vt::state(id_);
  EXPECT_EQ(s.params.at(12), 40);
  EXPECT_EQ(s.pupil_scale, 1536);  // 3 / 2 in 1/1024
  EXPECT_EQ(s.pin_records[3][45], 0x5A);
  EXPECT_EQ(s.analogue_records[2][25], 0xA5);
  EXPECT_EQ(s.ipv4_flag, 0);
  EXPECT_EQ(s.ipv4_values[4], 5);
  EXPECT_EQ(s.arm_count, arms + 1);
  EXPECT_EQ(s.images_saved, images + 1);
  EXPECT_EQ(s.results_type, 1);
  double back[16] = {}, scale = 0, distance = 0, aux1 = 0, aux2 = 0;
  ASSERT_EQ(zelSaccadrixGetCalibration(1, back, &scale, &distance, &aux1, &aux2), 0);
  EXPECT_FLOAT_EQ(static_cast<float>(back[14]), 3.75f);
  EXPECT_FLOAT_EQ(static_cast<float>(back[15]), 4.0f);
  EXPECT_EQ(zelSaccadrixSetResultsType(0), 0);
}

TEST_F(Tracker, streams_at_1_and_8_kHz_without_losing_a_report) {
  for (const double rate : {1000.0, 8000.0}) {
    SCOPED_TRACE(rate);
    vt::set_rate(id_, rate);
    zelSaccadrixFlushResults();
    const uint64_t dropped = vt::dropped(id_);
    const auto records = collect(static_cast<size_t>(rate));  // one second of results
    ASSERT_EQ(records.size(), static_cast<size_t>(rate));
    EXPECT_EQ(gaps(records), 0u);
    EXPECT_EQ(vt::dropped(id_), dropped);
  }
}

TEST_F(Tracker, commands_run_while_results_stream_and_no_result_is_lost) {
  vt::set_rate(id_, 2000);
  zelSaccadrixFlushResults();
  const uint64_t dropped = vt::dropped(id_);
  std::vector<T_RESULTS_STRUCT> records;
  for (int i = 0; i < 20; ++i) {
    int value = 0;
    ASSERT_EQ(zelSaccadrixGetParam(0, &value), 0);
    ASSERT_EQ(zelSaccadrixSetParam(9, i), 0);
    const auto more = collect(20);
    records.insert(records.end(), more.begin(), more.end());
  }
  EXPECT_EQ(gaps(records), 0u);
  EXPECT_EQ(vt::dropped(id_), dropped);
}

TEST_F(Tracker, a_tracker_that_stops_answering_times_out_and_keeps_streaming) {
  vt::Faults f;
  f.silent = true;
  vt::set_faults(id_, f);
  int value = 0;
  EXPECT_EQ(zelSaccadrixGetParam(0, &value), SACCADRIX_E_TIMEOUT);
  double scale = 0;
  EXPECT_EQ(zelSaccadrixGetPupilCalibration(&scale), SACCADRIX_E_TIMEOUT);
  zelSaccadrixFlushResults();
  EXPECT_TRUE(eventually([] { return zelSaccadrixGetResult(nullptr) > 10; }));
  vt::set_faults(id_, vt::Faults{});
  EXPECT_EQ(zelSaccadrixGetParam(0, &value), 0);
}

// The library opens the first tracker the system lists and leaves other devices alone.
TEST(SeveralDevices, the_first_listed_tracker_is_opened_and_a_foreign_device_is_skipped) {
  unplug_everything();
  vt::DeviceConfig foreign;
  foreign.vendor_id = 0x1209;
  foreign.product_id = 0x0001;
  foreign.manufacturer = L"Example";
  foreign.product = L"Keypad";
  const int other = vt::hidraw::plug(foreign);
  const int first = vt::hidraw::plug(tracker(2, 0, L"FIRST"));
  const int second = vt::hidraw::plug(tracker(4, 1000, L"SECOND"));
  ASSERT_GT(other, 0);
  ASSERT_GT(second, 0);
  ASSERT_EQ(zelSaccadrixInit(), 2);
  char serial[32] = {};
  ASSERT_EQ(zelSaccadrixGetSerialNumber(serial, sizeof serial), 0);
  EXPECT_STREQ(serial, "FIRST");
  EXPECT_FALSE(vt::written(first).empty());
  EXPECT_TRUE(vt::written(second).empty());
  EXPECT_TRUE(vt::written(other).empty());
  EXPECT_EQ(vt::hidraw::open_count(second), 0);
  EXPECT_EQ(vt::hidraw::open_count(other), 0);
  unplug_everything();
}

TEST(HotUnplug, streaming_tracker_unplugged_and_plugged_in_again) {
  unplug_everything();
  const int id = vt::hidraw::plug(tracker(4, 1000));
  ASSERT_EQ(zelSaccadrixInit(), 4);
  ASSERT_TRUE(eventually([] { return zelSaccadrixGetResult(nullptr) > 50; }));

  vt::hidraw::unplug(id);
  // The poll thread's read fails and it reads no more: the results stop.
  zelSaccadrixFlushResults();
  EXPECT_TRUE(eventually([] {
    const int before = zelSaccadrixGetResult(nullptr);
    std::this_thread::sleep_for(milliseconds(30));
    return before <= 0 && zelSaccadrixGetResult(nullptr) <= 0;
  }));
  uint8_t table[32];
  int count = 0;
  EXPECT_EQ(zelSaccadrixGetPinFunctions(table, sizeof table, &count), SACCADRIX_E_IO);
  EXPECT_EQ(zelSaccadrixSetResultsType(0), SACCADRIX_E_IO);
  EXPECT_EQ(zelSaccadrixArmTimestamp(1), 0);  // documented: 0 also when the write failed
  EXPECT_EQ(zelSaccadrixClose(), 0);
  EXPECT_EQ(vt::hidraw::open_count(id), 0);
  EXPECT_EQ(zelSaccadrixInit(), SACCADRIX_E_NO_DEVICE);

  const int again = vt::hidraw::plug(tracker(4, 1000));
  ASSERT_EQ(zelSaccadrixInit(), 4);
  EXPECT_TRUE(eventually([] { return zelSaccadrixGetResult(nullptr) > 50; }));
  EXPECT_EQ(vt::hidraw::open_count(again), 1);
  unplug_everything();
}

TEST(NoAccess, a_node_the_user_may_not_open_makes_init_return_minus_1) {
  unplug_everything();
  const int id = vt::hidraw::plug(tracker(4, 1000));
  vt::hidraw::fail_open(id, EACCES);
  EXPECT_EQ(zelSaccadrixInit(), SACCADRIX_E_IO);
  EXPECT_TRUE(vt::written(id).empty());
  EXPECT_EQ(zelSaccadrixClose(), 0);
  vt::hidraw::fail_open(id, 0);  // the udev rule is installed and the tracker replugged
  EXPECT_EQ(zelSaccadrixInit(), 4);
  unplug_everything();
}

TEST(SilentTracker, init_goes_on_without_a_firmware_answer) {
  unplug_everything();
  const int id = vt::hidraw::plug(tracker(2));
  vt::Faults f;
  f.silent = true;
  vt::set_faults(id, f);
  EXPECT_EQ(zelSaccadrixInit(), 2);
  uint16_t version = 1;
  EXPECT_EQ(zelSaccadrixGetFirmwareVersion(&version), 0);
  EXPECT_EQ(version, 0);
  char text[32] = {};
  zelSaccadrixGetFirmwareBuildDateTime(text, sizeof text);
  EXPECT_STREQ(text, "Not supported.");
  unplug_everything();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new hidraw_test::TestbedEnvironment);
  return RUN_ALL_TESTS();
}
