#include <cmath>

#include "event_core.h"

namespace saccadrix::events {

T_EVENT_PARAMS default_params() {
  T_EVENT_PARAMS p{};
  p.size = sizeof(T_EVENT_PARAMS);
  p.detectPso = 1;
  p.detectPursuit = 1;
  p.minSaccadeDuration = 0.010;
  p.initialPeakThreshold = 100;
  p.peakSigmas = 6;
  p.onsetSigmas = 3;
  p.localNoiseWeight = 0.3;
  p.localNoiseWindow = 0.040;
  p.maxSpeed = 1000;
  p.maxPsoDuration = 0.040;
  p.minFixationDuration = 0.040;
  p.minPursuitDuration = 0.040;
  p.pursuitWindow = 0.100;
  p.pursuitMinSpeed = 2;
  p.blinkMargin = 0.010;
  p.liveVelocityWindow = 0.004;
  p.liveThresholdTime = 2;
  return p;
}

namespace {

bool within(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }

}  // namespace

bool params_valid(const T_EVENT_PARAMS& p) {
  if (p.size != sizeof(T_EVENT_PARAMS) || p.detectPso > 1 || p.detectPursuit > 1 ||
      p.reserved != 0) {
    return false;
  }
  for (double r : p.reserved2) {
    if (r != 0) return false;
  }
  return within(p.minSaccadeDuration, 0.001, 0.1) &&
         within(p.initialPeakThreshold, 10, 1000) && within(p.peakSigmas, 1, 20) &&
         within(p.onsetSigmas, 0, p.peakSigmas) && within(p.localNoiseWeight, 0, 1) &&
         within(p.localNoiseWindow, 0.005, 0.5) && std::isfinite(p.maxSpeed) &&
         p.maxSpeed > p.initialPeakThreshold && within(p.maxPsoDuration, 0.005, 0.2) &&
         within(p.minFixationDuration, 0, 1) && within(p.minPursuitDuration, 0, 1) &&
         within(p.pursuitWindow, 0.01, 1) && within(p.pursuitMinSpeed, 0.1, 100) &&
         within(p.blinkMargin, 0, 0.5) && within(p.liveVelocityWindow, 0.001, 0.1) &&
         within(p.liveThresholdTime, 0.1, 600);
}

}  // namespace saccadrix::events
