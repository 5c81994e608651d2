// The simulated subject in front of the tracker: where the eyes look and why (fixations with
// drift, tremor and microsaccades, saccades on the main sequence, post-saccadic
// oscillations, smooth pursuit, blinks), what the tracker measures of it (noise and a
// constant offset on top of the true gaze), head drift and the device's digital inputs, one
// sample at a time. The eyes move in degrees of visual angle; the tracker sees eye positions
// (pupil minus reflection) of gain x tan(angle).
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "virtual_tracker.h"

namespace vt::detail {

struct EyeFrame {
  bool tracked = false;
  double eye_x = 0, eye_y = 0;     // eye position: pupil centre minus reflection centre
  double cr_x = 0, cr_y = 0;       // centre of the two corneal reflections (camera pixels)
  double pupil_w = 0, pupil_h = 0; // pupil size, sent as the two per-eye list values
};

// What the subject really did in a sample (the same for both eyes: they move together).
struct SampleTruth {
  uint8_t kind = kTruthFixation;
  double x_deg = 0, y_deg = 0;  // true gaze direction
  int target = -1;              // shown target (run_targets step, 0 for look_at); -1 free
  uint64_t saccade = 0;         // number of the saccade under way (1, 2, ...); 0 outside saccades
  bool micro = false;           // that saccade is a microsaccade
  double from_x = 0, from_y = 0, to_x = 0, to_y = 0;  // that saccade's start and landing
  double peak_velocity = 0;     // and its peak velocity (deg/s)
};

struct SubjectSample {
  EyeFrame eye[2];
  uint32_t digital = 0;
  SampleTruth truth;
};

// Valid ranges of SubjectConfig (see virtual_tracker.h); names the first field out of range.
bool valid_subject(const SubjectConfig& config, const char** problem);

// Eye position (tracker units) of a direction, and back.
double eye_units(double angle_deg, double gain);
double degrees_of(double eye_units, double gain);

class Subject {
 public:
  explicit Subject(uint64_t seed, const SubjectConfig& config = SubjectConfig{});

  // Advances the subject by dt seconds and returns its state at the new time.
  SubjectSample next(double dt);

  void set_config(const SubjectConfig& config) { config_ = config; }
  const SubjectConfig& config() const { return config_; }

  // An exact, still eye position in tracker units: no noise, drift or offset.
  void hold_eye(double x, double y);
  void release_eye() { eye_held_ = false; }
  void hold_digital(uint32_t bits) { digital_held_ = true; digital_ = bits; }
  void release_digital() { digital_held_ = false; }

  void run_targets(const std::vector<TargetStep>& steps);
  void release_target();

 private:
  enum class Phase { kFixation, kSaccade, kPso, kPursuit, kBlink };
  struct Target {
    double x = 0, y = 0, vx = 0, vy = 0;
    bool moving() const { return vx != 0 || vy != 0; }
  };

  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  double gauss() { return normal_(rng_); }
  bool happens(double rate_per_s, double dt);
  void start_fixation();
  void start_saccade(double to_x, double to_y, bool micro);
  void start_pursuit_episode();
  void end_movement();
  void follow_targets(double dt);
  bool react();
  void step_fixation(double dt);
  void step_pursuit(double dt);

  SubjectConfig config_;
  std::mt19937_64 rng_;
  std::normal_distribution<double> normal_{0.0, 1.0};
  double t_ = 0;

  // The eye (degrees): where it points apart from tremor, the drift velocity, the tremor.
  Phase phase_ = Phase::kFixation;
  Phase after_blink_ = Phase::kFixation;
  double phase_left_ = 0;  // free viewing: seconds left in the current fixation or pursuit
  double blink_left_ = 0;
  double pursuit_t_ = 0;   // time since the pursuit began (its velocity builds up)
  double x_ = 0, y_ = 0;
  double drift_vx_ = 0, drift_vy_ = 0;
  double tremor_x_ = 0, tremor_y_ = 0;
  double anchor_x_ = 0, anchor_y_ = 0;  // the point a fixation holds on to (microsaccades aim here)

  // The saccade under way, and the oscillation after it.
  uint64_t saccade_count_ = 0;
  bool micro_ = false;
  double from_x_ = 0, from_y_ = 0, to_x_ = 0, to_y_ = 0;
  double saccade_len_ = 0, saccade_t_ = 0, peak_velocity_ = 0;
  double pso_amp_ = 0, pso_t_ = 0;

  // What the subject looks at: a pursued target of its own in free viewing, or the targets a
  // test shows.
  Target target_;
  bool directed_ = false;
  std::vector<TargetStep> steps_;
  size_t step_ = 0;
  double step_t_ = 0;          // time into the current step
  double react_at_ = -1;       // subject time of the pending reaction to a new target

  bool eye_held_ = false;
  double held_x_ = 0, held_y_ = 0;
  bool digital_held_ = false;
  uint32_t digital_ = 0;
  double digital_left_ = 1.0;
};

}  // namespace vt::detail
