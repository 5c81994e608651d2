// The simulated subject in front of the tracker: where the eyes look, blinks, head drift and
// the state of the device's digital inputs, one sample at a time.
#pragma once

#include <cstdint>
#include <random>

namespace vt::detail {

struct EyeFrame {
  bool tracked = false;
  double eye_x = 0, eye_y = 0;     // eye position: pupil centre minus reflection centre
  double cr_x = 0, cr_y = 0;       // centre of the two corneal reflections (camera pixels)
  double pupil_w = 0, pupil_h = 0; // pupil size, sent as the two per-eye list values
};

struct SubjectSample {
  EyeFrame eye[2];
  uint32_t digital = 0;
};

class Subject {
 public:
  explicit Subject(uint64_t seed);

  // Advances the subject by dt seconds and returns its state at the new time.
  SubjectSample next(double dt);

  void hold_eye(double x, double y);
  void release_eye() { eye_held_ = false; }
  void hold_digital(uint32_t bits) { digital_held_ = true; digital_ = bits; }
  void release_digital() { digital_held_ = false; }

 private:
  enum class Phase { kFixation, kSaccade, kBlink };

  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  void start_fixation();
  void start_saccade();

  std::mt19937_64 rng_;
  std::normal_distribution<double> tremor_{0.0, 0.03};
  double t_ = 0;
  Phase phase_ = Phase::kFixation;
  double phase_left_ = 0;            // seconds left in the current phase
  double x_ = 0, y_ = 0;             // current eye position
  double from_x_ = 0, from_y_ = 0, to_x_ = 0, to_y_ = 0, saccade_len_ = 0, saccade_t_ = 0;
  bool eye_held_ = false;
  double held_x_ = 0, held_y_ = 0;
  bool digital_held_ = false;
  uint32_t digital_ = 0;
  double digital_left_ = 1.0;
};

}  // namespace vt::detail
