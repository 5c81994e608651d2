// Pieces that the offline detection and the live detector share: the parameters, the
// least-squares velocity over a sliding set of samples, the adaptive thresholds and the
// onset/offset rules. Plain code, no state beyond what the caller holds.
#pragma once

#include <cmath>
#include <cstdint>

#include "saccadrix/saccadrix_events.h"

namespace saccadrix::events {

// The documented defaults.
T_EVENT_PARAMS default_params();
// True when every field is within its documented range.
bool params_valid(const T_EVENT_PARAMS& p);

// Thresholds never fall below these, so that noise-free data (a simulator, a model eye)
// does not make every wobble a saccade.
constexpr double kMinPeakThreshold = 10.0;  // deg/s
constexpr double kMinOnsetThreshold = 5.0;  // deg/s
// The peak-threshold iteration ends when it moves by less than this (deg/s).
constexpr double kThresholdConvergence = 1.0;
// Fewer usable samples than this: the thresholds stay at their starting values.
constexpr int kMinThresholdSamples = 10;

// Least-squares line through (t, x) and (t, y) of a set of samples that changes by adding
// and removing samples: the slope is the velocity. Sums are kept relative to an origin near
// the samples; the owner moves the origin (rebase) by clearing and adding the samples again
// whenever the samples have moved far from it, which keeps the sums exact enough.
class SlopeSums {
 public:
  void clear(double t0, double x0, double y0) {
    t0_ = t0;
    x0_ = x0;
    y0_ = y0;
    n_ = 0;
    st_ = sx_ = sy_ = stt_ = stx_ = sty_ = 0;
  }
  void add(double t, double x, double y) {
    const double dt = t - t0_, dx = x - x0_, dy = y - y0_;
    ++n_;
    st_ += dt;
    sx_ += dx;
    sy_ += dy;
    stt_ += dt * dt;
    stx_ += dt * dx;
    sty_ += dt * dy;
  }
  void remove(double t, double x, double y) {
    const double dt = t - t0_, dx = x - x0_, dy = y - y0_;
    --n_;
    st_ -= dt;
    sx_ -= dx;
    sy_ -= dy;
    stt_ -= dt * dt;
    stx_ -= dt * dx;
    sty_ -= dt * dy;
  }
  int count() const { return n_; }
  double origin() const { return t0_; }
  // The slopes (units of x per unit of t); false with fewer than two samples or no spread
  // in time.
  bool slope(double* vx, double* vy) const {
    if (n_ < 2) return false;
    const double n = n_;
    const double d = n * stt_ - st_ * st_;
    if (!(d > 1e-12 * n * stt_)) return false;
    *vx = (n * stx_ - st_ * sx_) / d;
    *vy = (n * sty_ - st_ * sy_) / d;
    return true;
  }

 private:
  double t0_ = 0, x0_ = 0, y0_ = 0;
  int n_ = 0;
  double st_ = 0, sx_ = 0, sy_ = 0, stt_ = 0, stx_ = 0, sty_ = 0;
};

struct Thresholds {
  double peak = 100;   // a saccade's speed passes this
  double onset = 50;   // a saccade starts where the speed falls below this, going back
};

// The thresholds from the mean and standard deviation of the speeds below the peak
// threshold.
inline Thresholds thresholds_from(const T_EVENT_PARAMS& p, double mean, double sd) {
  Thresholds t;
  t.peak = std::fmax(mean + p.peakSigmas * sd, kMinPeakThreshold);
  t.onset = std::fmin(std::fmax(mean + p.onsetSigmas * sd, kMinOnsetThreshold), t.peak);
  return t;
}

// The thresholds before any data: the starting peak threshold and half of it.
inline Thresholds initial_thresholds(const T_EVENT_PARAMS& p) {
  Thresholds t;
  t.peak = p.initialPeakThreshold;
  t.onset = p.initialPeakThreshold / 2;
  return t;
}

// The offset threshold of a saccade: a blend of the onset threshold and the noise just
// before the saccade (mean + 3 SD of the speed there), which ends saccades earlier where the
// data are quiet.
inline double offset_threshold(const T_EVENT_PARAMS& p, const Thresholds& t, bool haveLocal,
                               double localMean, double localSd) {
  if (!haveLocal) return t.onset;
  const double local = localMean + 3 * localSd;
  return (1 - p.localNoiseWeight) * t.onset + p.localNoiseWeight * local;
}

// Going back from a saccade's peak, its onset is the first sample below the onset threshold
// whose predecessor is not slower (a local minimum of the speed).
inline bool is_onset(double speed, double previousSpeed, double onsetThreshold) {
  return speed < onsetThreshold && previousSpeed >= speed;
}
// Going forward, the offset is the first sample below the offset threshold whose successor
// is not slower.
inline bool is_offset(double speed, double nextSpeed, double offsetThreshold) {
  return speed < offsetThreshold && nextSpeed >= speed;
}

// Mean and standard deviation from a count, a sum and a sum of squares.
inline void mean_sd(double n, double sum, double sumSq, double* mean, double* sd) {
  *mean = sum / n;
  const double var = sumSq / n - *mean * *mean;
  *sd = var > 0 ? std::sqrt(var) : 0;
}

}  // namespace saccadrix::events
