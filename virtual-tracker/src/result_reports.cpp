#include "result_reports.h"

#include <cmath>
#include <limits>

#include "protocol.h"

namespace vt::detail {
namespace {

constexpr double kDegrees = 57.29577951308232;
constexpr double kFix13 = 8192.0;  // 2^13: fixed-point scale of types 202 and 203
constexpr double kFix5 = 32.0;     // 1 / 0.03125: fixed-point scale of type 201

// Status word of a tracked eye: bit 0 pupil found, bit 1 eye tracked, bits 2 and 3 the first
// and second corneal reflection found.
constexpr uint16_t kStatusTracked = 0x0F;

template <typename T>
T saturate(double v) {
  if (!std::isfinite(v)) return 0;
  const double r = std::nearbyint(v);
  if (r <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (r >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(r);
}

uint32_t to_u24(double v) {
  if (!std::isfinite(v) || v <= 0) return 0;
  const double r = std::nearbyint(v * kFix13);
  return r >= 16777215.0 ? 16777215u : static_cast<uint32_t>(r);
}

// The four angles the device reports with gaze (type 201), in degrees; zero when the gaze is
// the null vector.
std::array<double, 4> gaze_angles(const std::array<double, 3>& g) {
  const double r = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
  if (!(r > 0)) return {0, 0, 0, 0};
  return {std::asin(g[0] / r) * kDegrees, std::atan(g[1] / g[2]) * kDegrees,
          std::atan(g[0] / g[2]) * kDegrees, std::asin(g[1] / r) * kDegrees};
}

void put_raw_old(ReportWriter<64>& w, size_t base, const EyeFrame& f, uint16_t m) {
  // base = 16 + 24e: status, then the scale m at +6 and the values from +8.
  w.u16(base, f.tracked ? kStatusTracked : 0);
  w.u16(base + 6, m);
  if (!f.tracked) return;
  auto px = [m](double v) { return saturate<uint16_t>(v * m); };
  w.u16(base + 8, px(f.pupil_w));
  w.u16(base + 10, px(f.pupil_h));
  w.u16(base + 12, px(f.cr_x + f.eye_x));
  w.u16(base + 14, px(f.cr_y + f.eye_y));
  w.u16(base + 16, px(f.cr_x - 3.0));
  w.u16(base + 18, px(f.cr_y));
  w.u16(base + 20, px(f.cr_x + 3.0));
  w.u16(base + 22, px(f.cr_y));
}

void put_raw(ReportWriter<64>& w, size_t base, const EyeFrame& f) {
  // base = 14 + 25e: status byte, then eight uint24 values.
  w.u8(base, f.tracked ? static_cast<uint8_t>(kStatusTracked) : 0);
  if (!f.tracked) return;
  const double values[8] = {f.pupil_w,  f.pupil_h, f.cr_x + f.eye_x, f.cr_y + f.eye_y,
                            f.cr_x - 3.0, f.cr_y,  f.cr_x + 3.0,     f.cr_y};
  for (size_t i = 0; i < 8; ++i) w.u24(base + 1 + 3 * i, to_u24(values[i]));
}

void put_calibrated_old(ReportWriter<64>& w, size_t base, const EyeFrame& f,
                        const EyeCalibration& cal) {
  // base = 16 + 24e: status, then nine int16 from +6 in units of 1/32.
  w.u16(base, f.tracked ? kStatusTracked : 0);
  if (!f.tracked) return;
  const auto g = gaze_vector(cal, f.eye_x, f.eye_y);
  const auto a = gaze_angles(g);
  const double values[9] = {f.pupil_w, f.pupil_h, g[0], g[1], g[2], a[0], a[1], a[2], a[3]};
  for (size_t i = 0; i < 9; ++i) w.i16(base + 6 + 2 * i, saturate<int16_t>(values[i] * kFix5));
}

void put_calibrated(ReportWriter<64>& w, size_t base, const EyeFrame& f,
                    const EyeCalibration& cal) {
  // base = 22 + 21e: status byte, then five int32 in units of 2^-13.
  w.u8(base, f.tracked ? static_cast<uint8_t>(kStatusTracked) : 0);
  if (!f.tracked) return;
  const auto g = gaze_vector(cal, f.eye_x, f.eye_y);
  const double values[5] = {f.pupil_w, f.pupil_h, g[0], g[1], g[2]};
  for (size_t i = 0; i < 5; ++i) w.i32(base + 1 + 4 * i, saturate<int32_t>(values[i] * kFix13));
}

}  // namespace

EyeCalibration calibration_from_blocks(const std::array<uint8_t, 60>& block1,
                                       const std::array<uint8_t, 60>& block2,
                                       const std::array<uint8_t, 60>& block3) {
  EyeCalibration cal;
  const ReportReader<60> b1(block1), b2(block2), b3(block3);
  for (size_t k = 0; k < 14; ++k) cal.m[k] = b1.f32(4 + 4 * k);
  cal.m[14] = b2.f32(0);
  cal.m[15] = b2.f32(4);
  cal.eye_scale = b3.f32(12);
  cal.valid = false;
  for (double c : cal.m) {
    if (c != 0.0) cal.valid = true;  // a NaN counts as set, as hosts test it
  }
  return cal;
}

std::array<double, 3> gaze_vector(const EyeCalibration& cal, double eye_x, double eye_y) {
  if (!cal.valid || !(cal.eye_scale != 0.0)) return {0, 0, 0};
  const double u = eye_x / cal.eye_scale;
  const double v = eye_y / cal.eye_scale;
  const double p[4] = {u, v, 1.0 - std::sqrt(u * u + v * v), 1.0};
  double q[4];
  for (size_t r = 0; r < 4; ++r) {
    q[r] = 0;
    for (size_t k = 0; k < 4; ++k) q[r] += cal.m[4 * r + k] * p[k];
  }
  const std::array<double, 3> g = {q[0] / q[3], q[1] / q[3], q[2] / q[3]};
  for (double c : g) {
    if (!std::isfinite(c)) return {0, 0, 0};
  }
  return g;
}

InputReport encode_result(uint16_t type, const ResultFrame& frame, uint16_t raw_scale) {
  InputReport r{};
  ReportWriter<64> w(r);
  w.u16(0, type);
  w.u16(2, frame.marker);
  switch (type) {
    case kRawOld:
    case kCalibratedOld:
      w.u32(4, frame.digital);
      w.u64(8, frame.timestamp);
      for (size_t e = 0; e < 2; ++e) {
        if (type == kRawOld) {
          put_raw_old(w, 16 + 24 * e, frame.block[e], raw_scale);
        } else {
          put_calibrated_old(w, 16 + 24 * e, frame.block[e], frame.cal[e]);
        }
      }
      break;
    case kRaw:
    case kCalibrated:
      w.u32(2, frame.digital);  // model code 4 reports have no pair marker
      w.u64(6, frame.timestamp);
      for (size_t e = 0; e < 2; ++e) {
        if (type == kRaw) {
          put_raw(w, 14 + 25 * e, frame.block[e]);
        } else {
          put_calibrated(w, 22 + 21 * e, frame.block[e], frame.cal[e]);
        }
      }
      break;
    default:
      break;
  }
  return r;
}

}  // namespace vt::detail
