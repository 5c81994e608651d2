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
// False (outputs untouched) for a zero or non-finite vector.
inline bool gaze_direction(double gx, double gy, double gz, double* xDeg, double* yDeg) {
  if (!std::isfinite(gx) || !std::isfinite(gy) || !std::isfinite(gz)) return false;
  const double horizontal = std::hypot(gx, gz);
  if (horizontal == 0 && gy == 0) return false;
  *xDeg = std::atan2(gx, std::fabs(gz)) * kDegreesPerRadian;
  *yDeg = std::atan2(gy, horizontal) * kDegreesPerRadian;
  return true;
}

}  // namespace saccadrix::events
