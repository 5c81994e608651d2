// Storing, verifying and reading gaze calibrations on the virtual tracker, and the whole
// road from simulated targets to calibrated gaze.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "saccadrix/saccadrix.h"
#include "tracker_test_support.h"

namespace {

using namespace tracker_test;

float f32_at(const std::vector<uint8_t>& bytes, size_t off) {
  float v;
  std::memcpy(&v, bytes.data() + off, 4);
  return v;
}

std::vector<vt::Written> blocks_written(int id) { return sent(id, 301); }

const double kMatrix[16] = {1.25, 0.5, -0.25, 3, 0.125, 2, 0, -7, 0.1, 0.2, 570, 1, 0, 0, 0, 1};

struct Readback {
  double c[16] = {};
  double scale = 0, distance = 0, aux1 = 0, aux2 = 0;
  int status = 0;
};

Readback read_calibration(int eye) {
  Readback r;
  r.status = zelSaccadrixGetCalibration(eye, r.c, &r.scale, &r.distance, &r.aux1, &r.aux2);
  return r;
}

// The tracker of the suite holds a viewing distance of 650 before anything is stored.
template <int Model>
class Calibration : public OnTracker<Model> {
 protected:
  static void SetUpTestSuite() {
    vt::DeviceConfig c = OnTracker<Model>::config();
    c.viewing_distance = 650;
    OnTracker<Model>::open(c);
  }
};

using CalibrationModel4 = Calibration<4>;

TEST_F(CalibrationModel4, store_sends_three_blocks_verifies_and_sends_the_distance) {
  ASSERT_EQ(zelSaccadrixSetCalibration(1, kMatrix, 100.7, 600.9, 1.5, -2.5), 0);
  const auto blocks = blocks_written(id_);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].arg(), 4);
  EXPECT_EQ(blocks[1].arg(), 5);
  EXPECT_EQ(blocks[2].arg(), 6);
  const auto& b1 = blocks[0].bytes;
  EXPECT_EQ(f32_at(b1, 5), 0.0f);
  for (size_t k = 0; k < 14; ++k) EXPECT_EQ(f32_at(b1, 9 + 4 * k), static_cast<float>(kMatrix[k]));
  EXPECT_EQ(f32_at(blocks[1].bytes, 5), static_cast<float>(kMatrix[14]));
  EXPECT_EQ(f32_at(blocks[1].bytes, 9), static_cast<float>(kMatrix[15]));
  for (size_t off = 13; off < 65; ++off) EXPECT_EQ(blocks[1].bytes[off], 0) << off;
  const auto& b3 = blocks[2].bytes;
  for (size_t slot = 0; slot < 15; ++slot) {
    const float expect = slot == 3 ? 100.0f : slot == 6 ? 1.5f : slot == 7 ? -2.5f : 0.0f;
    EXPECT_EQ(f32_at(b3, 5 + 4 * slot), expect) << "slot " << slot;
  }
  // The blocks go out 50 ms apart; the read-back follows; then the viewing distance.
  EXPECT_GE(blocks[1].when - blocks[0].when, milliseconds(49));
  EXPECT_GE(blocks[2].when - blocks[1].when, milliseconds(49));
  const auto sent = commands(id_);
  EXPECT_EQ(sent, (std::vector<uint16_t>{301, 301, 301, 401, 401, 401, 406, 305}));
  int32_t distance;
  std::memcpy(&distance, vt::written(id_).back().bytes.data() + 5, 4);
  EXPECT_EQ(distance, 600);
  EXPECT_EQ(vt::state(id_).viewing_distance, 600);
}

TEST_F(CalibrationModel4, read_back_reports_the_stored_matrix_and_values) {
  ASSERT_EQ(zelSaccadrixSetCalibration(0, kMatrix, 100.7, 600, 1.5, -2.5), 0);
  const Readback r = read_calibration(0);
  ASSERT_EQ(r.status, 0);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(r.c[k], static_cast<double>(static_cast<float>(kMatrix[k])));
  EXPECT_EQ(r.scale, 100.0);
  EXPECT_EQ(r.aux1, 1.5);
  EXPECT_EQ(r.aux2, -2.5);
  uint8_t calibrated = 0;
  EXPECT_EQ(zelSaccadrixGetCalibrated(0, &calibrated), 0);
  EXPECT_EQ(calibrated, 1);
}

TEST_F(CalibrationModel4, stored_distance_is_the_one_the_library_reports) {
  ASSERT_EQ(zelSaccadrixSetCalibration(0, kMatrix, 100, 555, 0, 0), 0);
  EXPECT_EQ(vt::state(id_).viewing_distance, 555);
  EXPECT_EQ(read_calibration(0).distance, 555.0);
  ASSERT_EQ(zelSaccadrixSetCalibration(0, kMatrix, 100, 650, 0, 0), 0);
  EXPECT_EQ(read_calibration(0).distance, 650.0);
}

TEST_F(CalibrationModel4, device_distance_becomes_visible_from_the_next_read) {
  // The tracker holds 650; a fit sets the library's distance without telling the tracker.
  ASSERT_EQ(zelSaccadrixSetCalibration(0, kMatrix, 100, 650, 0, 0), 0);
  double c[16];
  targ_struct t{0, 0, 0, 0};
  ASSERT_EQ(zelSaccadrixCalibrate(1, &t, c, 100, 500), 0);
  EXPECT_EQ(read_calibration(0).distance, 500.0);  // as it was on entry
  EXPECT_EQ(read_calibration(0).distance, 650.0);  // the tracker's, read by the call before
}

TEST_F(CalibrationModel4, read_back_mismatch_is_reported) {
  vt::Faults f;
  f.corrupt_calibration_reads = 1;
  vt::set_faults(id_, f);
  EXPECT_EQ(zelSaccadrixSetCalibration(0, kMatrix, 100, 600, 0, 0), SACCADRIX_E_VERIFY);
  EXPECT_EQ(commands(id_).back(), 406);  // no distance stored after a failed verify
}

TEST_F(CalibrationModel4, coefficients_equal_as_floats_pass_verification) {
  double m[16];
  std::memcpy(m, kMatrix, sizeof m);
  m[1] = 0.1;  // not representable: compared after rounding to float
  m[2] = std::numeric_limits<double>::denorm_min();
  EXPECT_EQ(zelSaccadrixSetCalibration(0, m, 100, 600, 0, 0), 0);
}

TEST_F(CalibrationModel4, a_failed_block_read_is_not_reported_as_success) {
  double c[16];
  for (double& v : c) v = -9;
  double scale = -9, distance = -9, aux1 = -9, aux2 = -9;
  vt::Faults f;
  f.missing_replies = 1;  // block 1 of the three
  vt::set_faults(id_, f);
  EXPECT_EQ(zelSaccadrixGetCalibration(0, c, &scale, &distance, &aux1, &aux2),
            SACCADRIX_E_TIMEOUT);
  EXPECT_EQ(c[0], -9);  // the failed block leaves its outputs alone
  EXPECT_EQ(c[13], -9);
  EXPECT_NE(c[14], -9);  // the later blocks were still read
  EXPECT_NE(scale, -9);
  uint8_t calibrated = 7;
  vt::set_faults(id_, f);
  EXPECT_EQ(zelSaccadrixGetCalibrated(0, &calibrated), SACCADRIX_E_TIMEOUT);
  EXPECT_EQ(calibrated, 0);
}

TEST_F(CalibrationModel4, scales_that_are_not_numbers_or_too_large_are_sent_saturated) {
  ASSERT_EQ(zelSaccadrixSetCalibration(0, kMatrix, std::nan(""), 600, 0, 0), 0);
  EXPECT_EQ(f32_at(blocks_written(id_)[2].bytes, 17), 0.0f);
  vt::clear_written(id_);
  ASSERT_EQ(zelSaccadrixSetCalibration(0, kMatrix, 1e300, 1e300, 0, 0), 0);
  EXPECT_EQ(f32_at(blocks_written(id_)[2].bytes, 17), 2147483648.0f);
  EXPECT_EQ(vt::state(id_).viewing_distance, 2147483647);
  zelSaccadrixSetCalibration(0, kMatrix, 100, 600, 0, 0);
}

TEST_F(CalibrationModel4, bad_pointers_are_refused) {
  targ_struct t{};
  double c[16];
  EXPECT_EQ(zelSaccadrixCalibrate(1, nullptr, c, 100, 600), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixCalibrate(1, &t, nullptr, 100, 600), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixSetCalibration(0, nullptr, 100, 600, 0, 0), SACCADRIX_E_ARG);
  int error = 0;
  EXPECT_EQ(zelSaccadrixCalibrateDevice(0, 3, nullptr, 100, 600, 0, 0, &error), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetCalibrated(0, nullptr), SACCADRIX_E_ARG);
  EXPECT_TRUE(blocks_written(id_).empty());
}

using CalibrationModel3 = Calibration<3>;

TEST_F(CalibrationModel3, storing_eye_0_also_stores_eye_1_but_eye_2_does_not) {
  ASSERT_EQ(zelSaccadrixSetCalibration(0, kMatrix, 100, 600, 0, 0), 0);
  std::vector<uint16_t> args;
  for (const auto& w : blocks_written(id_)) args.push_back(w.arg());
  EXPECT_EQ(args, (std::vector<uint16_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(commands(id_).back(), 401);  // no 305 below model code 4

  vt::clear_written(id_);
  ASSERT_EQ(zelSaccadrixSetCalibration(2, kMatrix, 100, 600, 0, 0), 0);
  args.clear();
  for (const auto& w : blocks_written(id_)) args.push_back(w.arg());
  EXPECT_EQ(args, (std::vector<uint16_t>{1, 2, 3}));
}

TEST(CalibrationWithoutDevice, fit_sets_the_viewing_distance_and_returns_no_device) {
  zelSaccadrixClose();
  vt::reset();
  double c[16] = {42};
  targ_struct t{10, 20, 1, 2};
  EXPECT_EQ(zelSaccadrixCalibrate(1, &t, c, 100, 654), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(c[0], 42);
  EXPECT_EQ(zelSaccadrixSetCalibration(0, c, 100, 600, 0, 0), SACCADRIX_E_NO_DEVICE);
  vt::DeviceConfig cfg;
  cfg.product_id = vt::product_id_for_model(2);
  vt::attach(cfg);
  ASSERT_EQ(zelSaccadrixInit(), 2);
  EXPECT_EQ(read_calibration(0).distance, 654.0);  // the fit's distance, kept by the library
  zelSaccadrixClose();
  vt::reset();
}

// The road a researcher takes: show targets, measure the eye at each, fit and store the
// calibration, switch to calibrated results, and the gaze points at the targets.
TEST(CalibrationEndToEnd, fitted_calibration_steers_gaze_onto_the_targets) {
  zelSaccadrixClose();
  vt::reset();
  vt::DeviceConfig cfg;
  cfg.product_id = vt::product_id_for_model(4);
  cfg.rate_hz = 500;
  const int id = vt::attach(cfg);
  ASSERT_EQ(zelSaccadrixInit(), 4);
  ASSERT_EQ(zelSaccadrixSetResultsType(0), 0);
  const double D = 600, scale = 100;
  std::vector<targ_struct> targets;
  auto measure = [&](double eye_x, double eye_y) {
    vt::set_eye_position(id, eye_x, eye_y);
    std::this_thread::sleep_for(milliseconds(30));
    zelSaccadrixFlushResults();
    EXPECT_TRUE(wait_for([] { return zelSaccadrixGetResult(nullptr) >= 5; }));
    T_RESULTS_STRUCT r;
    zelSaccadrixGetLastResult(&r);
    return std::pair<double, double>{r.eye[0].values[6], r.eye[0].values[7]};
  };
  for (int gy = -1; gy <= 1; ++gy) {
    for (int gx = -1; gx <= 1; ++gx) {
      // The subject looks at (tx, ty); the tracker sees the eye at a position that moves
      // with the target (a quarter of its offset, in tracker units).
      const double tx = 150.0 * gx, ty = 100.0 * gy;
      const auto eye = measure(tx * 0.25 + 3, ty * 0.25 - 2);
      targets.push_back({tx, ty, eye.first, eye.second});
    }
  }
  int error = -1;
  ASSERT_EQ(zelSaccadrixCalibrateDevice(0, static_cast<uint32_t>(targets.size()), targets.data(),
                                        scale, D, 0, 0, &error),
            0);
  EXPECT_GE(error, 0);
  EXPECT_LT(error, 20);  // summed target-plane distance over nine targets, in mm
  ASSERT_EQ(zelSaccadrixSetResultsType(1), 0);
  for (const targ_struct& t : targets) {
    vt::set_eye_position(id, t.eyeX, t.eyeY);
    std::this_thread::sleep_for(milliseconds(30));
    zelSaccadrixFlushResults();
    ASSERT_TRUE(wait_for([] { return zelSaccadrixGetResult(nullptr) >= 5; }));
    T_RESULTS_STRUCT r;
    zelSaccadrixGetLastResult(&r);
    ASSERT_EQ(+r.resultsType, 1);
    const double x = r.eye[0].values[8], y = r.eye[0].values[9], z = r.eye[0].values[10];
    ASSERT_GT(z, 0);
    EXPECT_NEAR(x / z * D, t.targetX, 5.0);
    EXPECT_NEAR(y / z * D, t.targetY, 5.0);
    // The horizontal angle points at the target as seen from the eye.
    EXPECT_NEAR(+r.eye[0].values[13], std::atan(t.targetX / D) * 57.29577951308232, 0.5);
  }
  uint8_t calibrated = 0;
  EXPECT_EQ(zelSaccadrixGetCalibrated(0, &calibrated), 0);
  EXPECT_EQ(calibrated, 1);
  zelSaccadrixClose();
  vt::reset();
}

}  // namespace
