// Settings commands against a model code 4 tracker, and every settings call without a
// connection, through the public interface and the virtual tracker.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tracker_test_support.h"

using namespace tracker_test;

namespace {

std::string text_of(const char* buffer, size_t size) {
  return std::string(buffer, strnlen(buffer, size));
}

// ---- Without a connection (first: nothing has been opened in this process yet) ------------

class SettingsWithoutTracker : public ::testing::Test {
 protected:
  void SetUp() override {
    zelSaccadrixClose();
    vt::reset();
    id_ = vt::attach(tracker(4));
  }
  int id_ = 0;
};

// Needs a process in which no tracker has been opened yet: CTest runs it alone.
class FreshProcess : public SettingsWithoutTracker {};

TEST_F(FreshProcess, build_date_before_any_open_is_the_default_text_cut_to_fit) {
  char text[64];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(zelSaccadrixGetFirmwareBuildDateTime(text, sizeof text), 0);
  EXPECT_STREQ(text, "Build date not supported");
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(zelSaccadrixGetFirmwareBuildDateTime(text, 5), 0);
  EXPECT_STREQ(text, "Buil");
  EXPECT_EQ(text[5], 'x');
  EXPECT_EQ(zelSaccadrixGetFirmwareBuildDateTime(text, 1), 0);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'u');
  text[0] = 'x';
  EXPECT_EQ(zelSaccadrixGetFirmwareBuildDateTime(text, 0), 0);
  EXPECT_EQ(text[0], 'x');
  EXPECT_EQ(zelSaccadrixGetFirmwareBuildDateTime(nullptr, 0), 0);
  EXPECT_EQ(zelSaccadrixGetFirmwareBuildDateTime(nullptr, 8), SACCADRIX_E_ARG);
}

TEST_F(SettingsWithoutTracker, set_commands_send_nothing_and_report_no_device) {
  EXPECT_EQ(zelSaccadrixSetParam(5, 1), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(zelSaccadrixSetTracking(true, true), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(zelSaccadrixSetIPV4Config(1, 2, 3, 4, 5, 6), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(zelSaccadrixSetTrackingMode(1), SACCADRIX_E_UNSUPPORTED);
  // Model-4-only commands test the model first: without a connection the model code is 0.
  PinFunctionRecord pin{};
  AnalogueFunctionRecord analogue{};
  EXPECT_EQ(zelSaccadrixSetPinFunction(1, &pin), SACCADRIX_E_UNSUPPORTED);
  EXPECT_EQ(zelSaccadrixSetAnalogueFunction(1, &analogue), SACCADRIX_E_UNSUPPORTED);
  EXPECT_EQ(zelSaccadrixSaveCapturedImages(), SACCADRIX_E_UNSUPPORTED);
  EXPECT_TRUE(vt::written(id_).empty());
}

TEST_F(SettingsWithoutTracker, queries_clear_or_keep_their_outputs_as_documented) {
  int value = 7;
  EXPECT_EQ(zelSaccadrixGetParam(1, &value), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(value, 7);
  uint8_t first = 7, second = 7;
  EXPECT_EQ(zelSaccadrixGetTracking(&first, &second), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(first, 7);
  EXPECT_EQ(second, 7);
  int mode = 7;
  EXPECT_EQ(zelSaccadrixGetTrackingMode(&mode), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(mode, 1);
  int c[5] = {7, 7, 7, 7, 7};
  EXPECT_EQ(zelSaccadrixGetCaptureConfig(&c[0], &c[1], &c[2], &c[3], &c[4]),
            SACCADRIX_E_NO_DEVICE);
  for (int v : c) EXPECT_EQ(v, 0);
  uint8_t flag = 7;
  int ip[5] = {7, 7, 7, 7, 7};
  EXPECT_EQ(zelSaccadrixGetIPV4Config(&flag, &ip[0], &ip[1], &ip[2], &ip[3], &ip[4]),
            SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(flag, 0);
  for (int v : ip) EXPECT_EQ(v, 0);
  char mac[32] = "keep", info[32] = "keep";
  EXPECT_EQ(zelSaccadrixGetEthMacAddress(mac, info, sizeof mac), SACCADRIX_E_NO_DEVICE);
  EXPECT_STREQ(mac, "keep");
  char serial[16] = "keep";
  EXPECT_EQ(zelSaccadrixGetSerialNumber(serial, sizeof serial), SACCADRIX_E_NO_DEVICE);
  EXPECT_STREQ(serial, "keep");
  PinFunctionRecord pin;
  EXPECT_EQ(zelSaccadrixGetPinFunction(0, &pin), SACCADRIX_E_UNSUPPORTED);
  EXPECT_EQ(zelSaccadrixGetPinFunction(1, nullptr), SACCADRIX_E_ARG);
  AnalogueFunctionRecord analogue;
  EXPECT_EQ(zelSaccadrixGetAnalogueFunction(9, &analogue), SACCADRIX_E_UNSUPPORTED);
  EXPECT_EQ(zelSaccadrixGetAnalogueFunction(1, nullptr), SACCADRIX_E_ARG);
  EXPECT_TRUE(vt::written(id_).empty());
}

TEST_F(SettingsWithoutTracker, null_outputs_are_refused_first) {
  int v = 0;
  uint8_t b = 0;
  EXPECT_EQ(zelSaccadrixGetParam(1, nullptr), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetTracking(&b, nullptr), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetTrackingMode(nullptr), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetCaptureConfig(&v, &v, nullptr, &v, &v), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetIPV4Config(&b, &v, &v, &v, &v, nullptr), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetEthMacAddress(nullptr, nullptr, 4), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetSerialNumber(nullptr, 4), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetFirmwareVersion(nullptr), SACCADRIX_E_ARG);
}

// ---- Model code 4 -----------------------------------------------------------------------

class OnModel4 : public OnTracker<4> {
 protected:
  static void SetUpTestSuite() {
    vt::DeviceConfig c = config();
    c.serial = L"SN-\u0141\u00E9-0123456789ABCDEF";
    c.tracking_mode = 7;
    c.rate_hz = 250;
    c.capture_config = {1280, 1024, -3, 77};
    c.mac_address = "00:1B:C5:0A:21:7F";
    c.ethernet_info = "192.168.1.100 255.255.255.0";
    open(c);
  }
};

TEST_F(OnModel4, params_travel_with_16_bit_ids_and_read_back_only_their_low_byte) {
  const auto t0 = Clock::now();
  EXPECT_EQ(zelSaccadrixSetParam(5, 300), 0);
  EXPECT_GE(Clock::now() - t0, milliseconds(50));  // the set pause
  int value = 0;
  EXPECT_EQ(zelSaccadrixGetParam(5, &value), 0);
  EXPECT_EQ(value, 44);

  EXPECT_EQ(zelSaccadrixSetParam(0x10006, -1), 0);
  const auto sets = sent(id_, 303);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].arg(), 5);
  EXPECT_EQ(sent_i32(sets[0], 5), 300);
  EXPECT_EQ(sets[1].arg(), 6);
  EXPECT_EQ(sent_i32(sets[1], 5), -1);

  // An id beyond 16 bits is sent as its low 16 bits and matched against them, not left to
  // wait out its budget for a reply that cannot match.
  EXPECT_EQ(zelSaccadrixGetParam(0x10006, &value), 0);
  EXPECT_EQ(value, 255);
  EXPECT_EQ(zelSaccadrixGetParam(-65530, &value), 0);  // low 16 bits: 6
  EXPECT_EQ(value, 255);
  const auto gets = sent(id_, 402);
  ASSERT_EQ(gets.size(), 3u);
  EXPECT_EQ(gets[1].arg(), 6);
  EXPECT_EQ(gets[2].arg(), 6);
}

TEST_F(OnModel4, param_reply_for_another_id_is_skipped) {
  ASSERT_EQ(zelSaccadrixSetParam(9, 12), 0);
  vt::Faults f;
  f.wrong_arg_replies = 1;
  vt::set_faults(id_, f);
  int value = 0;
  EXPECT_EQ(zelSaccadrixGetParam(9, &value), 0);
  EXPECT_EQ(value, 12);
}

TEST_F(OnModel4, tracking_flags_are_bits_0_and_1_of_parameter_0) {
  struct Row {
    bool first, second;
    int32_t word;
  } rows[] = {{true, false, 1}, {false, true, 2}, {true, true, 3}, {false, false, 0}};
  for (const Row& row : rows) {
    expect_tracking_word(id_, row.first, row.second, row.word);
    uint8_t first = 9, second = 9;
    EXPECT_EQ(zelSaccadrixGetTracking(&first, &second), 0);
    EXPECT_EQ(first, row.first ? 1 : 0);
    EXPECT_EQ(second, row.second ? 1 : 0);
  }
  ASSERT_EQ(zelSaccadrixSetParam(0, 0x102), 0);  // only the low byte comes back
  uint8_t first = 9, second = 9;
  EXPECT_EQ(zelSaccadrixGetTracking(&first, &second), 0);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
}

TEST_F(OnModel4, tracking_mode_and_capture_configuration_come_from_the_tracker) {
  int mode = 0;
  EXPECT_EQ(zelSaccadrixGetTrackingMode(&mode), 0);
  EXPECT_EQ(mode, 7);
  int c[5] = {};
  EXPECT_EQ(zelSaccadrixGetCaptureConfig(&c[0], &c[1], &c[2], &c[3], &c[4]), 0);
  EXPECT_EQ(c[0], 1280);
  EXPECT_EQ(c[1], 1024);
  EXPECT_EQ(c[2], 250);  // the rate is the reply's first value
  EXPECT_EQ(c[3], -3);
  EXPECT_EQ(c[4], 77);
  EXPECT_EQ(commands(id_), (std::vector<uint16_t>{404, 405}));
  EXPECT_EQ(zelSaccadrixSetTrackingMode(2), SACCADRIX_E_UNSUPPORTED);
  EXPECT_EQ(commands(id_).size(), 2u);
}

TEST_F(OnModel4, failed_queries_report_their_status_and_keep_cleared_outputs) {
  vt::Faults f;
  f.missing_replies = 2;
  vt::set_faults(id_, f);
  int mode = 9;
  EXPECT_EQ(zelSaccadrixGetTrackingMode(&mode), SACCADRIX_E_TIMEOUT);
  EXPECT_EQ(mode, 1);
  int c[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(zelSaccadrixGetCaptureConfig(&c[0], &c[1], &c[2], &c[3], &c[4]),
            SACCADRIX_E_TIMEOUT);
  for (int v : c) EXPECT_EQ(v, 0);

  f = vt::Faults{};
  f.short_writes = 2;
  vt::set_faults(id_, f);
  int value = 9;
  EXPECT_EQ(zelSaccadrixGetParam(1, &value), SACCADRIX_E_IO);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(zelSaccadrixSetParam(1, 1), 0);  // a set-command never reports the write
}

TEST_F(OnModel4, pin_records_pass_through_unchanged_for_pins_1_to_32) {
  for (uint8_t pin : {uint8_t{1}, uint8_t{17}, uint8_t{32}}) {
    PinFunctionRecord record;
    for (size_t i = 0; i < sizeof record.bytes; ++i) record.bytes[i] = static_cast<uint8_t>(pin * 7 + i);
    EXPECT_EQ(zelSaccadrixSetPinFunction(pin, &record), 0);
    const auto sets = sent(id_, 306);
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets.back().bytes[3], pin);
    EXPECT_EQ(0, std::memcmp(&sets.back().bytes[4], record.bytes, 46));
    EXPECT_EQ(sets.back().bytes[50], 0);
    EXPECT_EQ(0, std::memcmp(vt::state(id_).pin_records[pin - 1u].data(), record.bytes, 46));

    PinFunctionRecord read;
    std::memset(&read, 0xEE, sizeof read);
    EXPECT_EQ(zelSaccadrixGetPinFunction(pin, &read), 0);
    EXPECT_EQ(0, std::memcmp(read.bytes, record.bytes, 46));
    EXPECT_EQ(sent(id_, 407).back().arg(), pin);
  }
  PinFunctionRecord record{};
  vt::clear_written(id_);
  EXPECT_EQ(zelSaccadrixGetPinFunction(0, &record), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetPinFunction(33, &record), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixSetPinFunction(0, &record), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixSetPinFunction(255, &record), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetPinFunction(0, nullptr), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixSetPinFunction(1, nullptr), SACCADRIX_E_ARG);
  EXPECT_TRUE(vt::written(id_).empty());
}

TEST_F(OnModel4, analogue_records_pass_through_unchanged_for_channels_1_to_8) {
  for (uint8_t channel : {uint8_t{1}, uint8_t{8}}) {
    AnalogueFunctionRecord record;
    for (size_t i = 0; i < sizeof record.bytes; ++i) record.bytes[i] = static_cast<uint8_t>(200 - channel - i);
    EXPECT_EQ(zelSaccadrixSetAnalogueFunction(channel, &record), 0);
    const auto sets = sent(id_, 307);
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets.back().bytes[3], channel);
    EXPECT_EQ(0, std::memcmp(&sets.back().bytes[4], record.bytes, 26));
    EXPECT_EQ(sets.back().bytes[30], 0);

    AnalogueFunctionRecord read;
    std::memset(&read, 0xEE, sizeof read);
    EXPECT_EQ(zelSaccadrixGetAnalogueFunction(channel, &read), 0);
    EXPECT_EQ(0, std::memcmp(read.bytes, record.bytes, 26));
  }
  AnalogueFunctionRecord record{};
  vt::clear_written(id_);
  EXPECT_EQ(zelSaccadrixGetAnalogueFunction(0, &record), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetAnalogueFunction(9, &record), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixSetAnalogueFunction(9, &record), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixSetAnalogueFunction(1, nullptr), SACCADRIX_E_ARG);
  EXPECT_TRUE(vt::written(id_).empty());
}

TEST_F(OnModel4, ipv4_block_round_trips_through_the_tracker) {
  EXPECT_EQ(zelSaccadrixSetIPV4Config(2, -1062731420, -256, 7, -8, 2147483647), 0);
  const auto sets = sent(id_, 500);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].bytes[3], 2);
  EXPECT_EQ(sent_i32(sets[0], 4), -1062731420);
  EXPECT_EQ(sent_i32(sets[0], 20), 2147483647);
  uint8_t flag = 0;
  int v[5] = {};
  EXPECT_EQ(zelSaccadrixGetIPV4Config(&flag, &v[0], &v[1], &v[2], &v[3], &v[4]), 0);
  EXPECT_EQ(flag, 2);
  EXPECT_EQ(v[0], -1062731420);
  EXPECT_EQ(v[1], -256);
  EXPECT_EQ(v[2], 7);
  EXPECT_EQ(v[3], -8);
  EXPECT_EQ(v[4], 2147483647);
}

TEST_F(OnModel4, ethernet_texts_are_copied_and_cut_to_the_callers_buffers) {
  char mac[64], info[64];
  EXPECT_EQ(zelSaccadrixGetEthMacAddress(mac, info, sizeof mac), 0);
  EXPECT_STREQ(mac, "00:1B:C5:0A:21:7F");
  EXPECT_STREQ(info, "192.168.1.100 255.255.255.0");

  std::memset(mac, 'x', sizeof mac);
  std::memset(info, 'x', sizeof info);
  EXPECT_EQ(zelSaccadrixGetEthMacAddress(mac, info, 8), SACCADRIX_E_ARG);
  EXPECT_STREQ(mac, "00:1B:C");
  EXPECT_STREQ(info, "192.168");
  EXPECT_EQ(mac[8], 'x');
  EXPECT_EQ(info[8], 'x');

  EXPECT_EQ(zelSaccadrixGetEthMacAddress(mac, info, 1), SACCADRIX_E_ARG);
  EXPECT_EQ(mac[0], '\0');
  EXPECT_EQ(mac[1], '0');  // the rest of the earlier text: nothing written past size
  EXPECT_EQ(zelSaccadrixGetEthMacAddress(nullptr, nullptr, 0), SACCADRIX_E_ARG);
}

TEST_F(OnModel4, ethernet_texts_without_zero_bytes_end_at_the_report) {
  uint8_t reply[64] = {};
  reply[0] = 502 & 0xFF;
  reply[1] = 502 >> 8;
  for (size_t i = 2; i < 64; ++i) reply[i] = static_cast<uint8_t>('A' + i % 26);
  char mac[100], info[100];
  std::memset(mac, 'x', sizeof mac);
  std::memset(info, 'x', sizeof info);
  const int status = with_reply(id_, 502, reply, [&] {
    return zelSaccadrixGetEthMacAddress(mac, info, sizeof mac);
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::string(mac), std::string(reinterpret_cast<const char*>(reply + 2), 62));
  EXPECT_EQ(std::string(info), std::string(reinterpret_cast<const char*>(reply + 22), 42));
}

TEST_F(OnModel4, save_captured_images_is_a_set_command) {
  const uint64_t before = vt::state(id_).images_saved;
  const auto t0 = Clock::now();
  EXPECT_EQ(zelSaccadrixSaveCapturedImages(), 0);
  EXPECT_GE(Clock::now() - t0, milliseconds(50));
  EXPECT_EQ(vt::state(id_).images_saved, before + 1);
  const auto sets = sent(id_, 503);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].arg(), 0);
}

TEST_F(OnModel4, serial_number_is_the_low_bytes_of_each_character_zero_padded) {
  const std::string expected = std::string("SN-") + '\x41' + '\xE9' + "-0123456789ABCDEF";
  char text[40];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(zelSaccadrixGetSerialNumber(text, 32), 0);
  EXPECT_EQ(std::string(text, expected.size()), expected);
  for (size_t i = expected.size(); i < 32; ++i) EXPECT_EQ(text[i], '\0') << i;
  EXPECT_EQ(text[32], 'x');

  // A serial number longer than the buffer is cut and still ends with a zero byte.
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(zelSaccadrixGetSerialNumber(text, 16), 0);
  EXPECT_EQ(text_of(text, 16), expected.substr(0, 15));
  EXPECT_EQ(text[15], '\0');
  EXPECT_EQ(text[16], 'x');

  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(zelSaccadrixGetSerialNumber(text, 1), 0);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'x');
  EXPECT_EQ(zelSaccadrixGetSerialNumber(text, 0), 0);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'x');
  EXPECT_EQ(zelSaccadrixGetSerialNumber(nullptr, 0), 0);
  EXPECT_TRUE(vt::written(id_).empty());  // hidapi's string, no command
}

TEST_F(OnModel4, unreadable_serial_number_reports_failure_and_an_empty_text) {
  vt::Faults f;
  f.string_read_error = true;
  vt::set_faults(id_, f);
  char text[16];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(zelSaccadrixGetSerialNumber(text, 8), -1);
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(text[i], '\0') << i;
  EXPECT_EQ(text[8], 'x');
  vt::set_faults(id_, vt::Faults{});
}

}  // namespace
