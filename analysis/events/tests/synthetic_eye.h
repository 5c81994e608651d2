// A small deterministic generator of gaze signals with their true labels, for the event
// tests: fixations with slow drift, saccades on a main sequence (duration 2.2 ms per degree
// + 21 ms, minimum-jerk velocity profile), optional post-saccadic oscillations, smooth
// pursuit, blinks as NaN runs, and white measurement noise. Not the virtual tracker's
// subject: a fixed recipe, so that a test's expectations follow from its parameters.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "saccadrix/saccadrix_events.h"

namespace synthetic {

struct Scenario {
  double rate = 500;         // samples per second
  double seconds = 20;
  double noise = 0.01;       // SD of the white noise of each sample (deg)
  uint32_t seed = 1;
  double minAmplitude = 1;   // saccade amplitudes, uniform (deg)
  double maxAmplitude = 12;
  bool pso = false;          // a damped oscillation after each saccade
  double blinkEvery = 0;     // s between blinks (0: none)
  double pursuitEvery = 0;   // s between pursuits (0: none)
  double pursuitSpeed = 10;  // deg/s
};

struct TrueSaccade {
  double onset, offset;  // s
  double amplitude;      // deg
};

struct Signal {
  std::vector<double> t, x, y;
  std::vector<int8_t> label;  // SACCADRIX_EVENT_...
  std::vector<TrueSaccade> saccades;
};

// xorshift-based generator: the same numbers on every platform and standard library.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(0x9E3779B97F4A7C15ull ^ seed) { next(); }
  uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  double uniform(double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(next() >> 11) * 0x1.0p-53;
  }
  double normal() {
    const double u = uniform(1e-12, 1), v = uniform(0, 1);
    return std::sqrt(-2 * std::log(u)) * std::cos(6.283185307179586 * v);
  }

 private:
  uint64_t state_;
};

inline double main_sequence_duration(double amplitude) { return 0.0022 * amplitude + 0.021; }

inline Signal generate(const Scenario& scenario) {
  Signal s;
  Random rnd(scenario.seed);
  const double dt = 1 / scenario.rate;
  const size_t n = static_cast<size_t>(scenario.seconds * scenario.rate);
  s.t.resize(n);
  s.x.resize(n);
  s.y.resize(n);
  s.label.assign(n, SACCADRIX_EVENT_FIXATION);
  for (size_t i = 0; i < n; ++i) s.t[i] = 10 + static_cast<double>(i) * dt;  // not starting at 0

  double px = 0, py = 0;
  double nextBlink = scenario.blinkEvery > 0 ? scenario.blinkEvery : 1e300;
  double nextPursuit = scenario.pursuitEvery > 0 ? scenario.pursuitEvery * 0.7 : 1e300;
  size_t i = 0;
  auto time = [&](size_t k) { return static_cast<double>(k) * dt; };
  auto put = [&](size_t k, double x, double y, int8_t label) {
    s.x[k] = x;
    s.y[k] = y;
    s.label[k] = label;
  };
  while (i < n) {
    // Fixation with a slow drift.
    const double fixation = rnd.uniform(0.25, 0.6);
    const double driftAngle = rnd.uniform(0, 6.283185307179586);
    const double drift = rnd.uniform(0, 0.3);  // deg/s
    const size_t fixEnd = std::min(n, i + static_cast<size_t>(fixation * scenario.rate));
    for (; i < fixEnd; ++i) {
      px += drift * std::cos(driftAngle) * dt;
      py += drift * std::sin(driftAngle) * dt;
      put(i, px, py, SACCADRIX_EVENT_FIXATION);
    }
    if (i >= n) break;

    if (time(i) >= nextBlink) {
      nextBlink += scenario.blinkEvery;
      const size_t end = std::min(n, i + static_cast<size_t>(rnd.uniform(0.1, 0.15) * scenario.rate));
      for (; i < end; ++i) put(i, NAN, NAN, SACCADRIX_EVENT_BLINK);
      // A short fixation after the blink, then on.
      continue;
    }
    if (time(i) >= nextPursuit) {
      nextPursuit += scenario.pursuitEvery;
      const double angle = rnd.uniform(0, 6.283185307179586);
      const size_t end = std::min(n, i + static_cast<size_t>(rnd.uniform(0.4, 0.7) * scenario.rate));
      for (; i < end; ++i) {
        px += scenario.pursuitSpeed * std::cos(angle) * dt;
        py += scenario.pursuitSpeed * std::sin(angle) * dt;
        put(i, px, py, SACCADRIX_EVENT_PURSUIT);
      }
      continue;
    }

    // Saccade towards the middle of a 30-degree field.
    const double amplitude = rnd.uniform(scenario.minAmplitude, scenario.maxAmplitude);
    double angle = rnd.uniform(0, 6.283185307179586);
    if (std::hypot(px + amplitude * std::cos(angle), py + amplitude * std::sin(angle)) > 15) {
      angle = std::atan2(-py, -px);
    }
    const double duration = main_sequence_duration(amplitude);
    const double sx = px, sy = py;
    const double ex = px + amplitude * std::cos(angle), ey = py + amplitude * std::sin(angle);
    const double onset = s.t[i];
    const size_t start = i;
    for (; i < n && time(i) - time(start) < duration; ++i) {
      const double u = (time(i) - time(start)) / duration;
      const double f = u * u * u * (10 - 15 * u + 6 * u * u);
      put(i, sx + (ex - sx) * f, sy + (ey - sy) * f, SACCADRIX_EVENT_SACCADE);
    }
    px = ex;
    py = ey;
    s.saccades.push_back({onset, i > 0 ? s.t[i - 1] : onset, amplitude});
    if (scenario.pso) {
      // Two damped swings of about 0.05 of the amplitude along its direction, 20 ms.
      const size_t psoStart = i;
      for (; i < n && time(i) - time(psoStart) < 0.020; ++i) {
        const double u = (time(i) - time(psoStart)) / 0.020;
        const double a = 0.05 * amplitude * std::sin(6.283185307179586 * u) * (1 - u);
        put(i, px + a * std::cos(angle), py + a * std::sin(angle), SACCADRIX_EVENT_PSO);
      }
    }
  }
  for (size_t k = 0; k < n; ++k) {
    if (std::isnan(s.x[k])) continue;
    s.x[k] += scenario.noise * rnd.normal();
    s.y[k] += scenario.noise * rnd.normal();
  }
  return s;
}

}  // namespace synthetic
