// Validation over arrays, through the library's exported functions: figures against values
// worked out independently (long-double geometry, known offsets and noise), windows, skips
// and lost samples at their edges, records raw and calibrated, and every refused argument.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "saccadrix/saccadrix_validation.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double rad(double deg) { return deg * kPi / 180; }

// The direction of angles (x, y) in the tracker's convention, as a vector with z = 1.
void push_angles(std::vector<double>& gaze, double x_deg, double y_deg) {
  gaze.insert(gaze.end(), {std::tan(rad(x_deg)), std::tan(rad(y_deg)), 1.0});
}

// The angle between two vectors by acos in long double: another formula than the
// library's, precise enough for the angles used here.
double oracle_angle(const double* a, const double* b) {
  long double dot = 0, na = 0, nb = 0;
  for (int i = 0; i < 3; ++i) {
    dot += static_cast<long double>(a[i]) * b[i];
    na += static_cast<long double>(a[i]) * a[i];
    nb += static_cast<long double>(b[i]) * b[i];
  }
  const long double c = std::fmin(1.0L, dot / std::sqrt(na * nb));
  return static_cast<double>(std::acos(c) * 180 / static_cast<long double>(kPi));
}

T_VALIDATION_PARAMS params(double distance, double skip, int in_samples) {
  T_VALIDATION_PARAMS p{};
  p.viewingDistance = distance;
  p.skipSeconds = skip;
  p.windowsInSamples = in_samples;
  return p;
}

TEST(Validation, FiguresOfAFewSamplesMatchTheGeometry) {
  // Target straight ahead; samples at 1 degree right, 1 degree up, lost, 1 degree up, and
  // (2, 2) degrees.
  std::vector<double> gaze;
  push_angles(gaze, 1, 0);
  push_angles(gaze, 0, 1);
  push_angles(gaze, 5, 5);  // lost: its flag says so
  push_angles(gaze, 0, 1);
  push_angles(gaze, 2, 2);
  const uint8_t tracked[] = {1, 1, 0, 1, 1};
  const double target[3] = {0, 0, 1};
  const T_VALIDATION_TARGET t{0, 0, 0, 5};
  const T_VALIDATION_PARAMS p = params(0, 0, 1);
  T_VALIDATION_RESULT r{}, all{};
  ASSERT_EQ(zelSaccadrixValidate(nullptr, gaze.data(), tracked, 5, &t, 1, &p, &r, &all), 0);

  const double* s[] = {&gaze[0], &gaze[3], &gaze[9], &gaze[12]};
  double accuracy = 0;
  for (const double* v : s) accuracy += oracle_angle(v, target) / 4;
  EXPECT_NEAR(r.accuracy, accuracy, 1e-9);
  // Successive tracked pairs: (0, 1) and (3, 4); the lost sample breaks (1, 3).
  const double a01 = oracle_angle(s[0], s[1]), a34 = oracle_angle(s[2], s[3]);
  EXPECT_NEAR(r.precisionRms, std::sqrt((a01 * a01 + a34 * a34) / 2), 1e-7);
  EXPECT_NEAR(r.offsetX, (1 + 0 + 0 + 2) / 4.0, 1e-9);
  EXPECT_NEAR(r.offsetY, (0 + 1 + 1 + 2) / 4.0, 1e-9);
  EXPECT_DOUBLE_EQ(r.dataLoss, 20);
  EXPECT_EQ(r.samples, 5);
  EXPECT_EQ(r.tracked, 4);
  // SD: angles from the mean direction, n - 1 in the denominator.
  double mean[3] = {0, 0, 0};
  for (const double* v : s) {
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int i = 0; i < 3; ++i) mean[i] += v[i] / n;
  }
  double spread = 0;
  for (const double* v : s) spread += std::pow(oracle_angle(v, mean), 2);
  EXPECT_NEAR(r.precisionSd, std::sqrt(spread / 3), 1e-7);
  EXPECT_DOUBLE_EQ(all.accuracy, r.accuracy);
}

// Gaze with a known offset and white noise: the estimates recover them, whether targets and
// gaze are given as angles or as points on a target plane.
TEST(Validation, RecoversAKnownOffsetAndNoise) {
  struct Row {
    double distance;  // 0: angles
    double offset_x, offset_y, sd;
  } rows[] = {{0, 0.5, -0.3, 0.01}, {600, -1.0, 0.25, 0.025}, {700, 0, 0, 0.05}};
  const double targets_deg[][2] = {{-10, -7}, {0, 0}, {10, 7}, {10, -7}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "distance " << row.distance << " sd " << row.sd);
    std::mt19937_64 rng(4);
    std::normal_distribution<double> noise(0, row.sd);
    std::vector<double> time, gaze;
    std::vector<T_VALIDATION_TARGET> targets;
    const int per_target = 4000;
    for (size_t k = 0; k < 4; ++k) {
      const double tx = targets_deg[k][0], ty = targets_deg[k][1];
      const double start = static_cast<double>(k) * 4.0;
      // As a point on the plane, or as angles.
      if (row.distance > 0) {
        targets.push_back({row.distance * std::tan(rad(tx)), row.distance * std::tan(rad(ty)),
                           start, start + 4});
      } else {
        targets.push_back({tx, ty, start, start + 4});
      }
      for (int i = 0; i < per_target; ++i) {
        time.push_back(start + i * 0.001);
        const double gx = tx + row.offset_x + noise(rng), gy = ty + row.offset_y + noise(rng);
        const double z = row.distance > 0 ? row.distance : 1.0;
        gaze.insert(gaze.end(), {z * std::tan(rad(gx)), z * std::tan(rad(gy)), z});
      }
    }
    const T_VALIDATION_PARAMS p = params(row.distance, 0, 0);
    std::vector<T_VALIDATION_RESULT> r(4);
    T_VALIDATION_RESULT all{};
    ASSERT_EQ(zelSaccadrixValidate(time.data(), gaze.data(), nullptr,
                                   static_cast<int>(time.size()), targets.data(), 4, &p,
                                   r.data(), &all),
              0);
    for (const auto& t : r) {
      EXPECT_EQ(t.samples, per_target);
      EXPECT_NEAR(t.offsetX, row.offset_x, 0.002 + row.sd / 20);
      EXPECT_NEAR(t.offsetY, row.offset_y, 0.002 + row.sd / 20);
      // Two axes of white noise: successive samples differ by 2 sd RMS, spread sqrt(2) sd.
      EXPECT_NEAR(t.precisionRms, 2 * row.sd, 0.05 * 2 * row.sd);
      EXPECT_NEAR(t.precisionSd, std::sqrt(2) * row.sd, 0.05 * std::sqrt(2) * row.sd);
    }
    // Accuracy is the mean distance, which noise lifts a little above the offset's size.
    const double size = std::hypot(row.offset_x, row.offset_y);
    EXPECT_GE(all.accuracy, size - 0.01);
    EXPECT_LT(all.accuracy, size + 1.5 * row.sd);
    EXPECT_DOUBLE_EQ(all.dataLoss, 0);
  }
}

// The skip leaves out the landing; lost samples at a window's edges count as lost; a window
// by samples and one by time select the same samples.
TEST(Validation, WindowsSkipsAndLossAtTheEdges) {
  // 2 targets x 1 s at 100 Hz: the first 0.2 s of each window is the saccade from far away,
  // the first and last two samples of each window are lost.
  std::vector<double> time, gaze;
  std::vector<uint8_t> tracked;
  const double target_deg[2] = {-5, 5};
  for (int k = 0; k < 2; ++k) {
    for (int i = 0; i < 100; ++i) {
      time.push_back(k + i * 0.01);
      push_angles(gaze, i < 20 ? -target_deg[k] : target_deg[k] + 0.1, 0);
      tracked.push_back(i < 2 || i >= 98 ? 0 : 1);
    }
  }
  const T_VALIDATION_TARGET by_time[2] = {{-5, 0, 0, 1}, {5, 0, 1, 2}};
  const T_VALIDATION_TARGET by_index[2] = {{-5, 0, 0, 100}, {5, 0, 100, 200}};
  struct Row {
    const T_VALIDATION_TARGET* targets;
    int in_samples;
    double skip;
    double accuracy;
    int samples;
    double loss;
  } rows[] = {
      {by_time, 0, 0.195, 0.1, 80, 2.5},
      {by_index, 1, 0.195, 0.1, 80, 2.5},
      {by_time, 0, 0, (18 * 10.0 + 78 * 0.1) / 96, 100, 4},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "in samples " << row.in_samples << " skip " << row.skip);
    const T_VALIDATION_PARAMS p = params(0, row.skip, row.in_samples);
    T_VALIDATION_RESULT r[2]{};
    ASSERT_EQ(zelSaccadrixValidate(time.data(), gaze.data(), tracked.data(), 200, row.targets, 2,
                                   &p, r, nullptr),
              0);
    for (const auto& t : r) {
      EXPECT_NEAR(t.accuracy, row.accuracy, 1e-6);
      EXPECT_EQ(t.samples, row.samples);
      EXPECT_NEAR(t.dataLoss, row.loss, 1e-9);
    }
  }
  // A window with no sample and one with only lost samples: NaN figures, no failure.
  const T_VALIDATION_TARGET empty[2] = {{0, 0, 5, 6}, {0, 0, 0, 0.015}};
  const T_VALIDATION_PARAMS p = params(0, 0, 0);
  T_VALIDATION_RESULT r[2]{}, all{};
  ASSERT_EQ(zelSaccadrixValidate(time.data(), gaze.data(), tracked.data(), 200, empty, 2, &p, r, &all), 0);
  EXPECT_EQ(r[0].samples, 0);
  EXPECT_TRUE(std::isnan(r[0].dataLoss));
  EXPECT_TRUE(std::isnan(r[1].accuracy));
  EXPECT_DOUBLE_EQ(r[1].dataLoss, 100);
  EXPECT_TRUE(std::isnan(all.accuracy));
  EXPECT_DOUBLE_EQ(all.dataLoss, 100);
}

T_RESULTS_STRUCT record(int type, const double (&values)[2][3], bool eye1_tracked = true) {
  T_RESULTS_STRUCT r;
  std::memset(&r, 0, sizeof r);
  r.size = 155;
  r.resultsType = static_cast<uint16_t>(type);
  for (int e = 0; e < 2; ++e) {
    T_EYE_RESULTS eye;
    std::memset(&eye, 0, sizeof eye);
    eye.tracked = e == 0 || eye1_tracked;
    const int slot = type == 1 ? 8 : 6;
    for (int i = 0; i < (type == 1 ? 3 : 2); ++i) eye.values[slot + i] = static_cast<float>(values[e][i]);
    std::memcpy(&r.eye[e], &eye, sizeof eye);
  }
  return r;
}

// Raw records taken through a fitted calibration give the figures that the tracker's
// calibrated records of the same eye positions give.
TEST(Validation, RawRecordsThroughTheCalibrationMatchCalibratedRecords) {
  // The affine calibration of a subject whose eye position is 150 x tan(angle), eye scale
  // 100, viewing distance 600 mm: gaze = (400 u, 400 v, 600).
  T_GAZE_CALIBRATION cal[2] = {};
  for (T_GAZE_CALIBRATION& c : cal) {
    c.coefficients[0] = c.coefficients[5] = 600.0 * 100 / 150;
    c.coefficients[11] = 600;
    c.coefficients[15] = 1;
    c.eyeScale = 100;
  }
  const double* m = cal[0].coefficients;
  std::vector<T_RESULTS_STRUCT> raw, calibrated;
  std::vector<double> time;
  std::mt19937_64 rng(2);
  std::normal_distribution<double> noise(0, 0.05);
  for (int i = 0; i < 500; ++i) {
    const double ax = 3 + noise(rng), ay = -2 + noise(rng);
    const double ex = 150 * std::tan(rad(ax)), ey = 150 * std::tan(rad(ay));
    const double raw_values[2][3] = {{ex, ey, 0}, {ex, ey, 0}};
    double g[3];
    ASSERT_EQ(zelSaccadrixApplyCalibration(m, 100, ex, ey, g), 0);
    EXPECT_NEAR(g[0], 600 * std::tan(rad(ax)), 1e-6);
    const double cal_values[2][3] = {{g[0], g[1], g[2]}, {g[0], g[1], g[2]}};
    const bool paired = i >= 400;  // model code 3 records from here: eye 1 empty
    raw.push_back(record(0, raw_values, !paired));
    calibrated.push_back(record(1, cal_values, !paired));
    time.push_back(i * 0.002);
  }
  const T_VALIDATION_TARGET t{600 * std::tan(rad(3.0)), 600 * std::tan(rad(-2.0)), 0, 1};
  const T_VALIDATION_PARAMS p = params(600, 0.099, 0);
  T_VALIDATION_RESULT from_raw[2]{}, from_cal[2]{}, all[2]{};
  ASSERT_EQ(zelSaccadrixValidateRecords(raw.data(), time.data(), 500, cal, &t, 1, &p, from_raw, all), 0);
  ASSERT_EQ(zelSaccadrixValidateRecords(calibrated.data(), time.data(), 500, nullptr, &t, 1, &p,
                                        from_cal, nullptr),
            0);
  for (int e = 0; e < 2; ++e) {
    EXPECT_NEAR(from_raw[e].accuracy, from_cal[e].accuracy, 1e-4);
    EXPECT_NEAR(from_raw[e].precisionRms, from_cal[e].precisionRms, 1e-4);
    EXPECT_NEAR(from_raw[e].precisionRms, 0.1, 0.015);
    EXPECT_EQ(from_raw[e].samples, 450);
    EXPECT_EQ(all[e].samples, 450);
  }
  EXPECT_DOUBLE_EQ(from_raw[0].dataLoss, 0);
  EXPECT_NEAR(from_raw[1].dataLoss, 100.0 * 100 / 450, 1e-9);  // the paired records' eye 1
  // Raw records need the calibration.
  EXPECT_EQ(zelSaccadrixValidateRecords(raw.data(), time.data(), 500, nullptr, &t, 1, &p,
                                        from_raw, nullptr),
            SACCADRIX_E_ARG);
  cal[1].eyeScale = 0;
  EXPECT_EQ(zelSaccadrixValidateRecords(raw.data(), time.data(), 500, cal, &t, 1, &p, from_raw,
                                        nullptr),
            SACCADRIX_E_ARG);
}

TEST(Validation, RefusesBadArgumentsAndWritesNothing) {
  const double time[2] = {0, 0.001};
  const double gaze[6] = {0, 0, 1, 0, 0, 1};
  const T_VALIDATION_TARGET good{0, 0, 0, 1};
  const T_VALIDATION_PARAMS time_windows = params(0, 0, 0);
  struct Row {
    const char* what;
    const double* time;
    const double* gaze;
    int count;
    T_VALIDATION_TARGET target;
    int target_count;
    T_VALIDATION_PARAMS p;
  } rows[] = {
      {"negative count", time, gaze, -1, good, 1, time_windows},
      {"null gaze", time, nullptr, 2, good, 1, time_windows},
      {"no target", time, gaze, 2, good, 0, time_windows},
      {"NaN target", time, gaze, 2, {kNaN, 0, 0, 1}, 1, time_windows},
      {"angle of 90 degrees", time, gaze, 2, {90, 0, 0, 1}, 1, time_windows},
      {"window ends before it starts", time, gaze, 2, {0, 0, 1, 0}, 1, time_windows},
      {"infinite window", time, gaze, 2, {0, 0, 0, INFINITY}, 1, time_windows},
      {"negative distance", time, gaze, 2, good, 1, params(-600, 0, 0)},
      {"NaN skip", time, gaze, 2, good, 1, params(0, kNaN, 0)},
      {"negative skip", time, gaze, 2, good, 1, params(0, -0.1, 0)},
      {"window unit 2", time, gaze, 2, good, 1, params(0, 0, 2)},
      {"time windows without times", nullptr, gaze, 2, good, 1, time_windows},
      {"skip without times", nullptr, gaze, 2, good, 1, params(0, 0.1, 1)},
  };
  for (const Row& row : rows) {
    T_VALIDATION_RESULT r{}, all{};
    r.accuracy = all.accuracy = 42;
    EXPECT_EQ(zelSaccadrixValidate(row.time, row.gaze, nullptr, row.count, &row.target,
                                   row.target_count, &row.p, &r, &all),
              SACCADRIX_E_ARG)
        << row.what;
    EXPECT_EQ(r.accuracy, 42) << row.what;
    EXPECT_EQ(all.accuracy, 42) << row.what;
  }
  EXPECT_EQ(zelSaccadrixValidate(time, gaze, nullptr, 2, nullptr, 1, &time_windows, nullptr, nullptr),
            SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixValidate(time, gaze, nullptr, 2, &good, 1, nullptr, nullptr, nullptr),
            SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixValidateRecords(nullptr, time, 2, nullptr, &good, 1, &time_windows,
                                        nullptr, nullptr),
            SACCADRIX_E_ARG);
  // Zero, NaN and a null output are refused by the mapping, and a singular calibration.
  double g[3] = {7, 7, 7};
  const double zero[16] = {};
  EXPECT_EQ(zelSaccadrixApplyCalibration(zero, 100, 1, 1, g), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixApplyCalibration(zero, 0, 1, 1, g), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixApplyCalibration(nullptr, 100, 1, 1, g), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixApplyCalibration(zero, 100, 1, 1, nullptr), SACCADRIX_E_ARG);
  EXPECT_EQ(g[0], 7);
  // Zero and non-finite gaze vectors are lost samples, not failures.
  const double bad_gaze[6] = {0, 0, 0, kNaN, 0, 1};
  T_VALIDATION_RESULT r{};
  ASSERT_EQ(zelSaccadrixValidate(time, bad_gaze, nullptr, 2, &good, 1, &time_windows, &r, nullptr), 0);
  EXPECT_DOUBLE_EQ(r.dataLoss, 100);
}

}  // namespace
