// Settings commands against trackers of model codes 1 to 3: what they answer from the
// library's own state, what they refuse, and the model code 3 tracking word.
#include <gtest/gtest.h>

#include <cstring>

#include "tracker_test_support.h"

using namespace tracker_test;

namespace {

int capture_rate(int* others_sum = nullptr) {
  int c[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(zelSaccadrixGetCaptureConfig(&c[0], &c[1], &c[2], &c[3], &c[4]), 0);
  if (others_sum) *others_sum = c[0] + c[1] + c[3] + c[4];
  return c[2];
}

// Every model-4-only command is refused before any range check, and nothing is sent.
void expect_model_4_commands_refused(int id) {
  vt::clear_written(id);
  PinFunctionRecord pin{};
  AnalogueFunctionRecord analogue{};
  for (uint8_t n : {uint8_t{0}, uint8_t{1}, uint8_t{33}}) {
    EXPECT_EQ(zelSaccadrixGetPinFunction(n, &pin), SACCADRIX_E_UNSUPPORTED) << int{n};
    EXPECT_EQ(zelSaccadrixSetPinFunction(n, &pin), SACCADRIX_E_UNSUPPORTED) << int{n};
    EXPECT_EQ(zelSaccadrixGetAnalogueFunction(n, &analogue), SACCADRIX_E_UNSUPPORTED) << int{n};
    EXPECT_EQ(zelSaccadrixSetAnalogueFunction(n, &analogue), SACCADRIX_E_UNSUPPORTED) << int{n};
  }
  EXPECT_EQ(zelSaccadrixGetPinFunction(1, nullptr), SACCADRIX_E_ARG);  // null comes first
  EXPECT_EQ(zelSaccadrixSaveCapturedImages(), SACCADRIX_E_UNSUPPORTED);
  uint8_t flag = 9;
  int v[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(zelSaccadrixGetIPV4Config(&flag, &v[0], &v[1], &v[2], &v[3], &v[4]),
            SACCADRIX_E_UNSUPPORTED);
  EXPECT_EQ(flag, 0);
  for (int x : v) EXPECT_EQ(x, 0);
  EXPECT_TRUE(vt::written(id).empty());
}

// ---- Model code 1 -------------------------------------------------------------------------

class OnModel1 : public OnTracker<1> {
 protected:
  static void SetUpTestSuite() { open(config()); }
};

TEST_F(OnModel1, ethernet_texts_read_not_supported) {
  char mac[32], info[32];
  std::memset(mac, 'x', sizeof mac);
  std::memset(info, 'x', sizeof info);
  EXPECT_EQ(zelSaccadrixGetEthMacAddress(mac, info, sizeof mac), SACCADRIX_E_UNSUPPORTED);
  EXPECT_STREQ(mac, "Not supported.");
  EXPECT_STREQ(info, "Not supported.");
  std::memset(mac, 'x', sizeof mac);
  EXPECT_EQ(zelSaccadrixGetEthMacAddress(mac, info, 5), SACCADRIX_E_UNSUPPORTED);
  EXPECT_STREQ(mac, "Not ");
  EXPECT_EQ(mac[5], 'x');
  EXPECT_TRUE(vt::written(id_).empty());
}

TEST_F(OnModel1, model_4_commands_are_refused_without_sending) {
  expect_model_4_commands_refused(id_);
}

TEST_F(OnModel1, tracking_mode_is_1_without_asking) {
  int mode = 0;
  EXPECT_EQ(zelSaccadrixGetTrackingMode(&mode), 0);
  EXPECT_EQ(mode, 1);
  EXPECT_TRUE(vt::written(id_).empty());
}

TEST_F(OnModel1, ipv4_configuration_is_still_sent) {
  EXPECT_EQ(zelSaccadrixSetIPV4Config(1, 2, 3, 4, 5, 6), 0);
  EXPECT_EQ(commands(id_), (std::vector<uint16_t>{500}));
}

// ---- Model code 2 -------------------------------------------------------------------------

class OnModel2 : public OnTracker<2> {
 protected:
  static void SetUpTestSuite() { open(config()); }
};

TEST_F(OnModel2, capture_rate_is_estimated_from_the_result_rate) {
  // No results have arrived in this process yet.
  const auto t0 = Clock::now();
  int others = -1;
  EXPECT_EQ(capture_rate(&others), 0);
  EXPECT_GE(Clock::now() - t0, milliseconds(500));
  EXPECT_EQ(others, 0);

  struct Row {
    double results_per_second;
    int capture_rate;
  } rows[] = {{45, 50}, {59, 60}, {25, 30}};
  for (const Row& row : rows) {
    vt::set_rate(id_, row.results_per_second);
    // The estimate settles within a few updates of six results each.
    EXPECT_TRUE(wait_for([&] { return capture_rate(&others) == row.capture_rate; },
                           milliseconds(8000)))
        << row.results_per_second << " results per second";
    EXPECT_EQ(others, 0);
  }
  // Once results stop, the estimate of the old rate no longer counts.
  vt::set_rate(id_, 0);
  EXPECT_TRUE(wait_for([&] { return capture_rate() == 0; }, milliseconds(4000)));
  EXPECT_EQ(commands(id_), (std::vector<uint16_t>{}));
}

TEST_F(OnModel2, tracking_mode_is_1_and_model_4_commands_are_refused) {
  int mode = 0;
  EXPECT_EQ(zelSaccadrixGetTrackingMode(&mode), 0);
  EXPECT_EQ(mode, 1);
  expect_model_4_commands_refused(id_);
}

// ---- Model code 3 -------------------------------------------------------------------------

class OnModel3 : public OnTracker<3> {
 protected:
  static void SetUpTestSuite() { open(config()); }
};

TEST_F(OnModel3, set_tracking_always_sets_the_second_flag) {
  struct Row {
    bool first, second;
    int32_t word;
  } rows[] = {{true, false, 3}, {false, false, 2}, {false, true, 2}, {true, true, 3}};
  for (const Row& row : rows) {
    expect_tracking_word(id_, row.first, row.second, row.word);
  }
}

TEST_F(OnModel3, get_tracking_never_reports_the_second_flag) {
  ASSERT_EQ(zelSaccadrixSetParam(0, 3), 0);
  uint8_t first = 9, second = 9;
  EXPECT_EQ(zelSaccadrixGetTracking(&first, &second), 0);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  int value = 0;
  EXPECT_EQ(zelSaccadrixGetParam(0, &value), 0);  // the device does hold it
  EXPECT_EQ(value, 3);

  // Also when the exchange fails: first is left alone, second still reads 0.
  vt::Faults f;
  f.missing_replies = 1;
  vt::set_faults(id_, f);
  first = second = 9;
  EXPECT_EQ(zelSaccadrixGetTracking(&first, &second), SACCADRIX_E_TIMEOUT);
  EXPECT_EQ(first, 9);
  EXPECT_EQ(second, 0);
}

TEST_F(OnModel3, tracking_mode_is_0_and_model_4_commands_are_refused) {
  int mode = 9;
  EXPECT_EQ(zelSaccadrixGetTrackingMode(&mode), 0);
  EXPECT_EQ(mode, 0);
  expect_model_4_commands_refused(id_);
}

}  // namespace
