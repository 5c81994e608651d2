// A calibrated gaze vector as a direction in degrees (azimuth and elevation).
#pragma once

#include <cmath>

namespace saccadrix::events {

constexpr double kDegreesPerRadian = 57.29577951308232;

// The slots of an eye block's values[] that hold the calibrated gaze vector.
constexpr int kGazeXSlot = 8;
constexpr int kGazeYSlot = 9;
constexpr int kGazeZSlot = 10;

// Horizontal atan2(gx, |gz|) and vertical atan2(gy, sqrt(gx^2 + gz^2)), in degrees. The
// sign of gz is ignored, so either direction of the tracker's z axis gives the same angles.
// In single precision, the precision of the tracker's gaze vector (1e-5 degree), which
// halves the cost on the decode path. False (outputs untouched) for a zero or non-finite
// vector.
inline bool gaze_direction(double gx, double gy, double gz, double* xDeg, double* yDeg) {
  if (!std::isfinite(gx) || !std::isfinite(gy) || !std::isfinite(gz)) return false;
  const float x = static_cast<float>(gx), y = static_cast<float>(gy), z = static_cast<float>(gz);
  const float horizontal = std::sqrt(x * x + z * z);
  if (!std::isfinite(horizontal) || (horizontal == 0 && y == 0)) return false;
  *xDeg = static_cast<double>(std::atan2(x, std::fabs(z))) * kDegreesPerRadian;
  *yDeg = static_cast<double>(std::atan2(y, horizontal)) * kDegreesPerRadian;
  return true;
}

}  // namespace saccadrix::events
