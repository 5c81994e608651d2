#include "subject.h"

#include <algorithm>
#include <cmath>

namespace vt::detail {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Where the two eyes' reflections sit in the camera image when the head is still.
constexpr double kCentreX[2] = {250.0, 390.0};
constexpr double kCentreY = 240.0;
// Range of fixation targets, in eye-position units (about the span of a screen).
constexpr double kRangeX = 25.0, kRangeY = 18.0;

}  // namespace

Subject::Subject(uint64_t seed) : rng_(seed) { start_fixation(); }

void Subject::hold_eye(double x, double y) {
  eye_held_ = true;
  held_x_ = x;
  held_y_ = y;
  // Continue from there once released.
  x_ = x;
  y_ = y;
  phase_ = Phase::kFixation;
  phase_left_ = uniform(0.2, 0.6);
}

void Subject::start_fixation() {
  phase_ = Phase::kFixation;
  phase_left_ = uniform(0.2, 0.6);
}

void Subject::start_saccade() {
  from_x_ = x_;
  from_y_ = y_;
  to_x_ = uniform(-kRangeX, kRangeX);
  to_y_ = uniform(-kRangeY, kRangeY);
  const double amplitude = std::hypot(to_x_ - from_x_, to_y_ - from_y_);
  // Saccades last longer the further they go (the main sequence).
  saccade_len_ = 0.02 + 0.0015 * amplitude;
  saccade_t_ = 0;
  phase_ = Phase::kSaccade;
}

SubjectSample Subject::next(double dt) {
  if (!(dt > 0) || !std::isfinite(dt)) dt = 0.001;
  t_ += dt;

  bool tracked = true;
  if (eye_held_) {
    x_ = held_x_;
    y_ = held_y_;
  } else {
    phase_left_ -= dt;
    switch (phase_) {
      case Phase::kFixation:
        if (phase_left_ <= 0) {
          if (uniform(0, 1) < 0.1) {
            phase_ = Phase::kBlink;
            phase_left_ = uniform(0.1, 0.15);
          } else {
            start_saccade();
          }
        }
        break;
      case Phase::kSaccade: {
        saccade_t_ += dt;
        const double s = std::min(saccade_t_ / saccade_len_, 1.0);
        const double k = 0.5 - 0.5 * std::cos(kPi * s);  // smooth start and landing
        x_ = from_x_ + (to_x_ - from_x_) * k;
        y_ = from_y_ + (to_y_ - from_y_) * k;
        if (s >= 1.0) start_fixation();
        break;
      }
      case Phase::kBlink:
        tracked = false;
        if (phase_left_ <= 0) start_fixation();
        break;
    }
  }

  if (!digital_held_) {
    digital_left_ -= dt;
    if (digital_left_ <= 0) {
      digital_ ^= 1u << static_cast<unsigned>(uniform(0, 4));
      digital_left_ = uniform(0.5, 2.0);
    }
  }

  SubjectSample s;
  s.digital = digital_;
  // Slow head drift moves reflections and pupil together: the eye position is unaffected.
  const double head_x = 2.0 * std::sin(2 * kPi * t_ / 7.0);
  const double head_y = 1.5 * std::sin(2 * kPi * t_ / 11.0);
  const double pupil = 34.0 + 2.0 * std::sin(2 * kPi * t_ / 5.0);
  for (int e = 0; e < 2; ++e) {
    EyeFrame& f = s.eye[e];
    f.tracked = tracked;
    if (!tracked) continue;
    // Fixational tremor on top of the gaze; the second eye sits slightly converged.
    const double jx = eye_held_ ? 0.0 : tremor_(rng_);
    const double jy = eye_held_ ? 0.0 : tremor_(rng_);
    f.eye_x = x_ + jx + (e == 1 && !eye_held_ ? -0.4 : 0.0);
    f.eye_y = y_ + jy;
    f.cr_x = kCentreX[e] + head_x;
    f.cr_y = kCentreY + head_y;
    f.pupil_w = pupil;
    f.pupil_h = pupil * 0.95;
  }
  return s;
}

}  // namespace vt::detail
