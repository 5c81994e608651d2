// A fitted gaze calibration applied on the host: the mapping from an eye position to a gaze
// vector that the tracker applies to calibrated results, for raw results.
#pragma once

#include <cmath>

namespace saccadrix::validation {

// gaze = (q0, q1, q2) / q3 for q = M (u, v, 1 - sqrt(u^2 + v^2), 1), u = x / scale,
// v = y / scale, M row-major. False (gaze untouched) when the result is not finite.
inline bool apply_calibration(const double* m, double scale, double x, double y, double (&gaze)[3]) {
  const double u = x / scale, v = y / scale;
  const double p[4] = {u, v, 1.0 - std::sqrt(u * u + v * v), 1.0};
  double q[4];
  for (int r = 0; r < 4; ++r) {
    q[r] = 0;
    for (int k = 0; k < 4; ++k) q[r] += m[4 * r + k] * p[k];
  }
  const double g[3] = {q[0] / q[3], q[1] / q[3], q[2] / q[3]};
  for (double c : g) {
    if (!std::isfinite(c)) return false;
  }
  for (int i = 0; i < 3; ++i) gaze[i] = g[i];
  return true;
}

}  // namespace saccadrix::validation
