// Device lists from the environment: the syntax, its defaults and its errors.
#include <gtest/gtest.h>

#include <cmath>

#include "env_config.h"

namespace {

using vt::detail::EnvDevice;
using vt::detail::parse_device_list;

std::vector<EnvDevice> parse_ok(const std::string& text, double default_rate = 1000) {
  std::vector<EnvDevice> out;
  std::string error;
  EXPECT_TRUE(parse_device_list(text, default_rate, out, error)) << error;
  return out;
}

std::string parse_error(const std::string& text) {
  std::vector<EnvDevice> out;
  std::string error;
  EXPECT_FALSE(parse_device_list(text, 1000, out, error)) << text;
  return error;
}

TEST(EnvConfig, ListsDevicesWithDefaultsForWhatIsNotNamed) {
  const auto d = parse_ok("model=4,fw=26122,rate=2000; model=2 ;", 500);
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].config.vendor_id, 0x0861);
  EXPECT_EQ(d[0].config.product_id, 0x3433);
  EXPECT_EQ(d[0].config.firmware_version, 26122);
  EXPECT_DOUBLE_EQ(d[0].config.rate_hz, 2000);
  EXPECT_EQ(d[1].config.product_id, 0x3411);
  EXPECT_DOUBLE_EQ(d[1].config.rate_hz, 500);  // the default rate
  // Serial numbers differ so that hosts can tell the devices apart.
  EXPECT_NE(d[0].config.serial, d[1].config.serial);
  EXPECT_FALSE(d[0].hold_eye);

  EXPECT_TRUE(parse_ok("").empty());
  EXPECT_TRUE(parse_ok(" ; ").empty());
  // A device with no model named is a current (model code 4) tracker.
  EXPECT_EQ(parse_ok("fw=1")[0].config.product_id, 0x3433);
}

TEST(EnvConfig, EveryKeyReachesTheConfiguration) {
  const auto d = parse_ok(
      "vid=0x0861,pid=0x3412,fw=26121,date=Jan  2 2024,date_terminated=0,rate=0,results=1,"
      "distance=650,pins=5:6:7:8,pin_count=12,serial=X9,product=P,manufacturer=M,path=/dev/x,"
      "start_ts=99,arm_ts=1,seed=7,pupil=-1024,mode=2,eye=12.5:-3");
  ASSERT_EQ(d.size(), 1u);
  const vt::DeviceConfig& c = d[0].config;
  EXPECT_EQ(c.product_id, 0x3412);
  EXPECT_EQ(c.firmware_version, 26121);
  EXPECT_EQ(c.build_date, "Jan  2 2024");
  EXPECT_FALSE(c.build_date_terminated);
  EXPECT_DOUBLE_EQ(c.rate_hz, 0);
  EXPECT_EQ(c.results_type, 1);
  EXPECT_EQ(c.viewing_distance, 650);
  EXPECT_EQ(c.pin_functions, (std::vector<uint8_t>{5, 6, 7, 8}));
  EXPECT_EQ(c.pin_count, 12);
  EXPECT_EQ(c.serial, L"X9");
  EXPECT_EQ(c.product, L"P");
  EXPECT_EQ(c.manufacturer, L"M");
  EXPECT_EQ(c.path, "/dev/x");
  EXPECT_EQ(c.start_timestamp, 99u);
  EXPECT_EQ(c.arm_timestamp, 1u);
  EXPECT_EQ(c.seed, 7u);
  EXPECT_EQ(c.pupil_scale, -1024);
  EXPECT_EQ(c.tracking_mode, 2);
  EXPECT_TRUE(d[0].hold_eye);
  EXPECT_DOUBLE_EQ(d[0].eye_x, 12.5);
  EXPECT_DOUBLE_EQ(d[0].eye_y, -3);
}

TEST(EnvConfig, MistakesAreNamedAndAttachNothing) {
  EXPECT_NE(parse_error("model=5").find("model"), std::string::npos);
  EXPECT_NE(parse_error("model=4;colour=red").find("device 2: unknown key \"colour\""), std::string::npos);
  EXPECT_NE(parse_error("rate=9000").find("rate"), std::string::npos);
  EXPECT_NE(parse_error("rate=fast").find("rate"), std::string::npos);
  EXPECT_NE(parse_error("model").find("key=value"), std::string::npos);
  EXPECT_NE(parse_error("pins=5:x").find("pins"), std::string::npos);
  EXPECT_NE(parse_error("vid=0x10000").find("vid"), std::string::npos);
  EXPECT_NE(parse_error("start_ts=-1").find("start_ts"), std::string::npos);
  EXPECT_NE(parse_error("eye=1").find("eye"), std::string::npos);
  EXPECT_NE(parse_error("date=" + std::string(60, 'x')).find("59"), std::string::npos);
}

// The subject's and the clock's keys: each reaches its field, and a value out of its range
// is named and attaches nothing.
TEST(EnvConfig, SubjectAndClockKeys) {
  const auto d = parse_ok(
      "noise=0.05,tremor=0.01,drift=0.5,microsaccades=2,saccade_ms_per_deg=3,saccade_base_ms=20,"
      "pso=0.1,blinks=20,offset=0.5:-0.25,pursuit=0.2,reaction=0.3,gain=200,clock_ppm=-100");
  ASSERT_EQ(d.size(), 1u);
  const vt::SubjectConfig& s = d[0].config.subject;
  const double got[] = {s.noise_deg, s.tremor_deg, s.drift_deg_s, s.microsaccades_per_s,
                        s.saccade_ms_per_deg, s.saccade_base_ms, s.pso_fraction, s.blinks_per_min,
                        s.offset_x_deg, s.offset_y_deg, s.pursuit_share, s.reaction_s, s.gain,
                        d[0].config.clock_ppm};
  const double want[] = {0.05, 0.01, 0.5, 2, 3, 20, 0.1, 20, 0.5, -0.25, 0.2, 0.3, 200, -100};
  for (size_t i = 0; i < sizeof want / sizeof want[0]; ++i) EXPECT_DOUBLE_EQ(got[i], want[i]) << i;

  const struct {
    const char* list;
    const char* named;
  } bad[] = {{"noise=2", "noise"},         {"noise=x", "noise"},
             {"offset=1", "offset"},        {"offset=50:0", "offset"},
             {"clock_ppm=1001", "clock_ppm"}, {"gain=0", "gain"},
             {"pursuit=1.5", "pursuit"},    {"blinks=-1", "blinks"}};
  for (const auto& b : bad) {
    EXPECT_NE(parse_error(b.list).find(b.named), std::string::npos) << b.list;
  }
}

TEST(EnvConfig, ConfigurationLimits) {
  vt::DeviceConfig c;
  const char* why = nullptr;
  EXPECT_TRUE(vt::detail::valid_config(c, &why));
  EXPECT_EQ(why, nullptr);
  c.rate_hz = 0.5;
  EXPECT_FALSE(vt::detail::valid_config(c, &why));
  c.rate_hz = std::nan("");
  EXPECT_FALSE(vt::detail::valid_config(c, &why));
  c.rate_hz = 8000;
  EXPECT_TRUE(vt::detail::valid_config(c, &why));
  c.mac_address = std::string(20, '0');
  EXPECT_FALSE(vt::detail::valid_config(c, &why));
}

}  // namespace
