// Replies of the simulated tracker, byte for byte, and which commands each model answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "test_support.h"

namespace {

using namespace vt_test;
using std::chrono::milliseconds;

class Replies : public OneDevice {
 protected:
  std::optional<Report> query(uint16_t code, uint16_t arg = 0, const std::array<uint8_t, 60>& payload = {}) {
    if (send(dev_, code, arg, payload) != 65) return std::nullopt;
    auto got = drain(dev_);
    // A streaming tracker's result reports may be read along with the reply.
    got.erase(std::remove_if(got.begin(), got.end(),
                             [](const Report& r) { return u16(r, 0) >= 200 && u16(r, 0) <= 203; }),
              got.end());
    if (got.size() != 1) return std::nullopt;  // exactly one reply, nothing else
    return got[0];
  }
};

TEST_F(Replies, FirmwareReplyCarriesVersionAndTerminatedDate) {
  vt::DeviceConfig c = tracker(2);
  c.firmware_version = 26121;
  c.build_date = "Mar  3 2025 09:00:00";
  start(c);
  const auto r = query(400);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(u16(*r, 0), 400);
  EXPECT_EQ(u16(*r, 2), 26121);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&(*r)[4])), c.build_date);
}

TEST_F(Replies, UnterminatedDateFillsTheReportWithoutAZeroByte) {
  vt::DeviceConfig c = tracker(4);
  c.build_date = "0123456789";
  c.build_date_terminated = false;
  const int id = start(c);
  auto r = query(400);
  ASSERT_TRUE(r.has_value());
  for (size_t i = 4; i < 64; ++i) ASSERT_NE((*r)[i], 0) << "byte " << i;
  EXPECT_EQ((*r)[63], '9');  // 60 bytes of a 10-character text repeated

  vt::set_firmware(id, 7, "Jan  1 2030", true);
  r = query(400);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(u16(*r, 2), 7);
  EXPECT_STREQ(reinterpret_cast<const char*>(&(*r)[4]), "Jan  1 2030");
}

TEST_F(Replies, ViewingDistanceAndPinTableOfAModel4Tracker) {
  vt::DeviceConfig c = tracker(4);
  c.viewing_distance = -650;  // signed on the wire
  c.pin_functions = {5, 6, 7, 8, 0, 1};
  start(c);
  auto r = query(406);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(u16(*r, 0), 406);
  EXPECT_EQ(i32(*r, 4), -650);

  r = query(409);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(u16(*r, 0), 409);
  EXPECT_EQ((*r)[2], 6);
  EXPECT_EQ(std::vector<uint8_t>(r->begin() + 3, r->begin() + 9), c.pin_functions);
  EXPECT_EQ((*r)[9], 0);
}

TEST_F(Replies, PinCountMayDifferFromTheFunctionBytes) {
  vt::DeviceConfig c = tracker(4);
  c.pin_functions = std::vector<uint8_t>(12, 5);
  c.pin_count = 40;
  start(c);
  const auto r = query(409);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ((*r)[2], 40);
  EXPECT_EQ((*r)[14], 5);
  EXPECT_EQ((*r)[15], 0);
}

TEST_F(Replies, OlderModelsIgnoreModel4CommandsAndTheWrongResultsPair) {
  const int id = start(tracker(2, 0));
  for (uint16_t code : std::vector<uint16_t>{305, 306, 307, 404, 405, 406, 407, 408, 409, 500, 501, 502, 503}) {
    ASSERT_EQ(send(dev_, code, 1), 65);
    EXPECT_TRUE(drain(dev_).empty()) << "command " << code;
  }
  ASSERT_EQ(send(dev_, 107), 65);
  EXPECT_EQ(vt::state(id).results_type, 0);
  ASSERT_EQ(send(dev_, 105), 65);
  EXPECT_EQ(vt::state(id).results_type, 1);
  ASSERT_EQ(send(dev_, 104), 65);
  EXPECT_EQ(vt::state(id).results_type, 0);
}

TEST_F(Replies, Model4AcceptsOnlyItsOwnResultsPair) {
  const int id = start(tracker(4));
  ASSERT_EQ(send(dev_, 105), 65);
  EXPECT_EQ(vt::state(id).results_type, 0);
  ASSERT_EQ(send(dev_, 107), 65);
  EXPECT_EQ(vt::state(id).results_type, 1);
  ASSERT_EQ(send(dev_, 106), 65);
  EXPECT_EQ(vt::state(id).results_type, 0);
}

TEST_F(Replies, ArmRestartsTheTimestampCount) {
  vt::DeviceConfig c = tracker(4);
  c.start_timestamp = 5000;
  c.arm_timestamp = 1;
  const int id = start(c);
  EXPECT_EQ(vt::state(id).next_timestamp, 5000u);
  ASSERT_EQ(send(dev_, 103, 1), 65);
  EXPECT_TRUE(drain(dev_).empty());  // a set-command has no reply
  EXPECT_EQ(vt::state(id).next_timestamp, 1u);
  EXPECT_EQ(vt::state(id).arm_count, 1u);
}

TEST_F(Replies, DevicesThatAreNotTrackersNeverAnswer) {
  vt::DeviceConfig c;
  c.vendor_id = 0x0861;
  c.product_id = 0x3420;  // the vendor's, but not a tracker's product id
  c.rate_hz = 1000;
  const int id = start(c);
  for (uint16_t code : std::vector<uint16_t>{400, 401, 402, 403, 406, 409}) ASSERT_EQ(send(dev_, code, 1), 65);
  EXPECT_EQ(vt::written(id).size(), 6u);
  std::this_thread::sleep_for(milliseconds(10));
  EXPECT_TRUE(drain(dev_).empty());
  EXPECT_EQ(vt::state(id).model, 0);
}

TEST_F(Replies, InvalidConfigurationsAreRefused) {
  vt::DeviceConfig c = tracker(4);
  c.rate_hz = 9000;
  EXPECT_EQ(vt::attach(c), -1);
  c = tracker(4);
  c.results_type = 2;
  EXPECT_EQ(vt::attach(c), -1);
  c = tracker(4);
  c.pin_functions.assign(62, 1);
  EXPECT_EQ(vt::attach(c), -1);
  c = tracker(4);
  c.build_date = std::string(60, 'x');
  EXPECT_EQ(vt::attach(c), -1);
  c.build_date_terminated = false;  // cut to fit when unterminated
  EXPECT_GT(vt::attach(c), 0);
}

TEST_F(Replies, CalibrationBlocksAreStoredAndReturnedUnderTheirIndex) {
  const int id = start(tracker(4));
  for (uint16_t block = 1; block <= 6; ++block) {
    std::array<uint8_t, 60> payload{};
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(block * 16 + i);
    ASSERT_EQ(send(dev_, 301, block, payload), 65);
  }
  EXPECT_TRUE(drain(dev_).empty());  // storing has no reply
  for (uint16_t block = 1; block <= 6; ++block) {
    const auto r = query(401, block);
    ASSERT_TRUE(r.has_value()) << "block " << block;
    EXPECT_EQ(u16(*r, 0), 301);
    EXPECT_EQ(u16(*r, 2), block);
    for (size_t i = 0; i < 60; ++i) ASSERT_EQ((*r)[4 + i], static_cast<uint8_t>(block * 16 + i));
  }
  EXPECT_EQ(vt::state(id).calibration[5][0], 6 * 16);
  // Indices outside 1..6 are neither stored nor answered.
  ASSERT_EQ(send(dev_, 301, 7, {}), 65);
  ASSERT_EQ(send(dev_, 401, 0), 65);
  ASSERT_EQ(send(dev_, 401, 7), 65);
  EXPECT_TRUE(drain(dev_).empty());
}

TEST_F(Replies, SettingsCommandsChangeWhatTheQueriesReturn) {
  vt::DeviceConfig c = tracker(4, 500);
  c.tracking_word = 3;
  const int id = start(c);
  auto with_i32 = [](int32_t v, size_t at = 0) {
    std::array<uint8_t, 60> p{};
    for (size_t i = 0; i < 4; ++i) p[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
    return p;
  };

  // Parameters: the reply echoes the id and carries the low byte of the value.
  auto r = query(402, 0);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(u16(*r, 2), 0);
  EXPECT_EQ((*r)[4], 3);
  ASSERT_EQ(send(dev_, 303, 12, with_i32(300)), 65);
  r = query(402, 12);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(u16(*r, 2), 12);
  EXPECT_EQ((*r)[4], 44);
  EXPECT_EQ(vt::state(id).params.at(12), 300);

  ASSERT_EQ(send(dev_, 304, 0, with_i32(-512)), 65);
  r = query(403);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(i32(*r, 4), -512);

  ASSERT_EQ(send(dev_, 305, 0, with_i32(655)), 65);
  r = query(406);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(i32(*r, 4), 655);

  r = query(404);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(i32(*r, 4), 1);

  // Capture configuration: five int32 from byte 2, the first being the stream rate.
  vt::pause_stream(id, true);
  drain(dev_);
  r = query(405);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(i32(*r, 2), 500);
  EXPECT_EQ(i32(*r, 6), 640);
  EXPECT_EQ(i32(*r, 10), 480);
}

TEST_F(Replies, PinAndAnalogueRecordsRoundTrip) {
  start(tracker(4));
  // Set-commands carry the number in byte 3 and the record from byte 4.
  auto send_record = [&](uint16_t code, uint8_t number, size_t size) {
    uint8_t out[65] = {};
    out[1] = static_cast<uint8_t>(code);
    out[2] = static_cast<uint8_t>(code >> 8);
    out[3] = number;
    for (size_t i = 0; i < size; ++i) out[4 + i] = static_cast<uint8_t>(number * 3 + i);
    return hid_write(dev_, out, sizeof out);
  };
  ASSERT_EQ(send_record(306, 32, 46), 65);
  ASSERT_EQ(send_record(307, 8, 26), 65);
  ASSERT_EQ(send_record(306, 33, 46), 65);  // no such pin: ignored

  auto r = query(407, 32);
  ASSERT_TRUE(r.has_value());
  for (size_t i = 0; i < 46; ++i) ASSERT_EQ((*r)[3 + i], static_cast<uint8_t>(96 + i)) << i;
  EXPECT_EQ((*r)[49], 0);
  r = query(408, 8);
  ASSERT_TRUE(r.has_value());
  for (size_t i = 0; i < 26; ++i) ASSERT_EQ((*r)[3 + i], static_cast<uint8_t>(24 + i)) << i;
  EXPECT_EQ((*r)[29], 0);
  r = query(407, 1);  // never set: zeros
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ((*r)[3], 0);
  ASSERT_EQ(send(dev_, 407, 33), 65);
  ASSERT_EQ(send(dev_, 408, 9), 65);
  EXPECT_TRUE(drain(dev_).empty());
}

TEST_F(Replies, NetworkBlockEthernetTextsAndSavedImages) {
  vt::DeviceConfig c = tracker(4);
  c.mac_address = "00:11:22:33:44:55";
  c.ethernet_info = "10.0.0.7";
  const int id = start(c);
  uint8_t out[65] = {};
  out[1] = static_cast<uint8_t>(500 & 0xFF);
  out[2] = static_cast<uint8_t>(500 >> 8);
  out[3] = 1;
  const int32_t values[5] = {-1, 2, 3, 4, 0x7fffffff};
  for (size_t k = 0; k < 5; ++k) {
    for (size_t i = 0; i < 4; ++i) out[4 + 4 * k + i] = static_cast<uint8_t>(static_cast<uint32_t>(values[k]) >> (8 * i));
  }
  ASSERT_EQ(hid_write(dev_, out, sizeof out), 65);
  auto r = query(501);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ((*r)[2], 1);
  for (size_t k = 0; k < 5; ++k) EXPECT_EQ(i32(*r, 3 + 4 * k), values[k]);

  r = query(502);
  ASSERT_TRUE(r.has_value());
  EXPECT_STREQ(reinterpret_cast<const char*>(&(*r)[2]), "00:11:22:33:44:55");
  EXPECT_STREQ(reinterpret_cast<const char*>(&(*r)[22]), "10.0.0.7");

  ASSERT_EQ(send(dev_, 503), 65);
  EXPECT_TRUE(drain(dev_).empty());
  EXPECT_EQ(vt::state(id).images_saved, 1u);
}

TEST_F(Replies, ModelCodesFollowTheProductIdTable) {
  EXPECT_EQ(vt::model_for_ids(0x0861, 0x3410), 1);
  EXPECT_EQ(vt::model_for_ids(0x0861, 0x3412), 3);
  EXPECT_EQ(vt::model_for_ids(0x0861, 0x3433), 4);
  EXPECT_EQ(vt::model_for_ids(0x0861, 0x3440), 4);
  EXPECT_EQ(vt::model_for_ids(0x0861, 0x3441), 0);
  EXPECT_EQ(vt::model_for_ids(0x0861, 0x3413), 0);
  EXPECT_EQ(vt::model_for_ids(0x0862, 0x3411), 0);
  for (int m = 1; m <= 4; ++m) EXPECT_EQ(vt::model_for_ids(0x0861, vt::product_id_for_model(m)), m);
  EXPECT_EQ(vt::product_id_for_model(5), 0);
}

}  // namespace
