// Encoding of result reports (types 200..203) from simulated eye frames, and the gaze the
// device computes from a stored calibration.
#pragma once

#include <array>
#include <cstdint>

#include "bytes.h"
#include "subject.h"

namespace vt::detail {

// The calibration of one eye as the device uses it: matrix M (row-major 4x4) and the divisor
// applied to the eye position. Not valid when all 16 coefficients are zero.
struct EyeCalibration {
  bool valid = false;
  std::array<double, 16> m{};
  double eye_scale = 0;
};

// Reads an eye's calibration from its three stored blocks (payload bytes as written).
EyeCalibration calibration_from_blocks(const std::array<uint8_t, 60>& block1,
                                       const std::array<uint8_t, 60>& block2,
                                       const std::array<uint8_t, 60>& block3);

// Gaze vector for an eye position: u = x/scale, v = y/scale, p = (u, v, 1 - |(u,v)|, 1),
// q = M p, gaze = q[0..2] / q[3]. All zero when the calibration is not valid or the result is
// not finite.
std::array<double, 3> gaze_vector(const EyeCalibration& cal, double eye_x, double eye_y);

// One report's content: the two eye blocks (two eyes, or two samples of one eye when
// marker is 1), the digital inputs and the timestamp.
struct ResultFrame {
  EyeFrame block[2];
  EyeCalibration cal[2];  // calibration applied to each block (calibrated types)
  uint32_t digital = 0;
  uint64_t timestamp = 0;
  uint16_t marker = 0;
};

// Lays a frame out as a report of the given type (200..203). raw_scale is the divisor m of
// type 200.
InputReport encode_result(uint16_t type, const ResultFrame& frame, uint16_t raw_scale);

}  // namespace vt::detail
