#include "subject.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vt::detail {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadians = kPi / 180.0;
// Where the two eyes' reflections sit in the camera image when the head is still.
constexpr double kCentreX[2] = {250.0, 390.0};
constexpr double kCentreY = 240.0;
// Free viewing looks within this range (degrees), about the span of a screen.
constexpr double kRangeX = 12.0, kRangeY = 9.0;
constexpr double kMinFreeSaccade = 1.0;
constexpr double kFixationMin = 0.2, kFixationMax = 0.6;
constexpr double kBlinkMin = 0.1, kBlinkMax = 0.2;
constexpr double kTremorTau = 0.005;  // s: the tremor's correlation time
constexpr double kDriftTau = 0.3;     // s: the drift velocity's correlation time
// Microsaccades aim back at the fixated point, with this scatter (degrees, per axis), and
// are kept within these amplitudes.
constexpr double kMicroScatter = 0.1, kMicroMin = 0.05, kMicroMax = 1.0;
// One damped cycle after the saccade: period and decay time (s).
constexpr double kPsoPeriod = 0.024, kPsoTau = 0.008;
constexpr double kPsoMax = 1.0, kPsoMin = 0.1;
// Pursuit: speed range (deg/s) and episode length (s) in free viewing; the eye's velocity
// gain, how hard it closes the position error (1/s), how long its velocity takes to build
// up (s), and the error (degrees) that sets off a catch-up saccade.
constexpr double kPursuitSpeedMin = 5, kPursuitSpeedMax = 20;
constexpr double kPursuitMin = 0.6, kPursuitMax = 1.5;
constexpr double kPursuitGain = 0.9, kPursuitCorrection = 2.0, kPursuitRamp = 0.1;
constexpr double kCatchUp = 1.0;

// One step of an Ornstein-Uhlenbeck process of stationary SD sd and correlation time tau,
// exact for any dt: the statistics do not depend on the sample rate.
double ou_step(double value, double sd, double tau, double dt, double gauss) {
  const double a = std::exp(-dt / tau);
  return value * a + sd * std::sqrt(1 - a * a) * gauss;
}

bool in(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }

}  // namespace

bool valid_subject(const SubjectConfig& c, const char** problem) {
  const char* why = nullptr;
  if (!in(c.noise_deg, 0, 1)) why = "subject noise must be within 0..1 degree";
  else if (!in(c.tremor_deg, 0, 0.1)) why = "subject tremor must be within 0..0.1 degree";
  else if (!in(c.drift_deg_s, 0, 5)) why = "subject drift must be within 0..5 deg/s";
  else if (!in(c.microsaccades_per_s, 0, 10)) why = "microsaccades must be within 0..10 per second";
  else if (!in(c.saccade_ms_per_deg, 0.1, 100) || !in(c.saccade_base_ms, 0.1, 100)) {
    why = "saccade main sequence values must be within 0.1..100 ms";
  } else if (!in(c.pso_fraction, 0, 0.5)) why = "PSO fraction must be within 0..0.5";
  else if (!in(c.blinks_per_min, 0, 120)) why = "blinks must be within 0..120 per minute";
  else if (!in(c.offset_x_deg, -45, 45) || !in(c.offset_y_deg, -45, 45)) {
    why = "subject offset must be within -45..45 degrees";
  } else if (!in(c.pursuit_share, 0, 1)) why = "pursuit share must be within 0..1";
  else if (!in(c.reaction_s, 0, 1)) why = "reaction time must be within 0..1 s";
  else if (!in(c.gain, 1, 10000)) why = "subject gain must be within 1..10000";
  if (problem != nullptr) *problem = why;
  return why == nullptr;
}

double eye_units(double angle_deg, double gain) { return gain * std::tan(angle_deg * kRadians); }
double degrees_of(double eye_units, double gain) { return std::atan(eye_units / gain) / kRadians; }

Subject::Subject(uint64_t seed, const SubjectConfig& config) : config_(config), rng_(seed) {
  start_fixation();
}

bool Subject::happens(double rate_per_s, double dt) {
  return rate_per_s > 0 && uniform(0, 1) < 1 - std::exp(-rate_per_s * dt);
}

void Subject::hold_eye(double x, double y) {
  eye_held_ = true;
  held_x_ = x;
  held_y_ = y;
  // Continue from there once released, as free viewing.
  x_ = degrees_of(x, config_.gain);
  y_ = degrees_of(y, config_.gain);
  release_target();
  start_fixation();
}

void Subject::run_targets(const std::vector<TargetStep>& steps) {
  if (steps.empty()) {
    release_target();
    return;
  }
  eye_held_ = false;
  directed_ = true;
  steps_ = steps;
  step_ = 0;
  step_t_ = 0;
  target_ = Target{steps_[0].x_deg, steps_[0].y_deg, steps_[0].vx_deg_s, steps_[0].vy_deg_s};
  react_at_ = t_ + config_.reaction_s;
}

void Subject::release_target() {
  directed_ = false;
  steps_.clear();
  react_at_ = -1;
  target_.vx = target_.vy = 0;
  if (phase_ == Phase::kPursuit) start_fixation();
  phase_left_ = uniform(kFixationMin, kFixationMax);
}

void Subject::start_fixation() {
  phase_ = Phase::kFixation;
  phase_left_ = uniform(kFixationMin, kFixationMax);
  anchor_x_ = x_;
  anchor_y_ = y_;
  drift_vx_ = config_.drift_deg_s * gauss();
  drift_vy_ = config_.drift_deg_s * gauss();
}

void Subject::start_saccade(double to_x, double to_y, bool micro) {
  from_x_ = x_;
  from_y_ = y_;
  to_x_ = to_x;
  to_y_ = to_y;
  const double amplitude = std::hypot(to_x_ - from_x_, to_y_ - from_y_);
  saccade_len_ = (config_.saccade_base_ms + config_.saccade_ms_per_deg * amplitude) / 1000.0;
  peak_velocity_ = kPi / 2 * amplitude / saccade_len_;
  saccade_t_ = 0;
  micro_ = micro;
  ++saccade_count_;
  pso_amp_ = std::min(config_.pso_fraction * amplitude, kPsoMax);
  if (pso_amp_ < kPsoMin) pso_amp_ = 0;
  phase_ = Phase::kSaccade;
}

// After a saccade (and its oscillation): back to the fixation a microsaccade interrupted, on
// to pursuit of a moving target, or a new fixation where the eye landed.
void Subject::end_movement() {
  if (micro_) {
    phase_ = Phase::kFixation;  // the fixation goes on where it was
  } else if (target_.moving()) {
    phase_ = Phase::kPursuit;
  } else {
    start_fixation();
  }
}

void Subject::start_pursuit_episode() {
  const double speed = uniform(kPursuitSpeedMin, kPursuitSpeedMax);
  const double angle = uniform(0, 2 * kPi);
  const double length = uniform(kPursuitMin, kPursuitMax);
  target_ = Target{x_, y_, speed * std::cos(angle), speed * std::sin(angle)};
  // Keep the target on the screen.
  if (std::fabs(x_ + target_.vx * length) > kRangeX) target_.vx = -target_.vx;
  if (std::fabs(y_ + target_.vy * length) > kRangeY) target_.vy = -target_.vy;
  phase_left_ = length;
  pursuit_t_ = 0;
  phase_ = Phase::kPursuit;
}

void Subject::follow_targets(double dt) {
  if (target_.moving()) {
    target_.x += target_.vx * dt;
    target_.y += target_.vy * dt;
  }
  if (!directed_) return;
  step_t_ += dt;
  while (step_t_ >= steps_[step_].seconds) {
    if (step_ + 1 >= steps_.size()) {
      target_.vx = target_.vy = 0;  // the last target stays where it is
      step_t_ = 0;
      steps_[step_].seconds = std::numeric_limits<double>::infinity();
      break;
    }
    step_t_ -= steps_[step_].seconds;
    ++step_;
    const TargetStep& s = steps_[step_];
    target_ = Target{s.x_deg, s.y_deg, s.vx_deg_s, s.vy_deg_s};
    react_at_ = t_ + config_.reaction_s;
  }
}

// The saccade to a newly shown target once the reaction time has passed, aimed at where a
// moving target will be when the eye lands; true when it started.
bool Subject::react() {
  if (react_at_ < 0 || t_ < react_at_) return false;
  react_at_ = -1;
  double to_x = target_.x, to_y = target_.y;
  if (!target_.moving() && std::hypot(to_x - x_, to_y - y_) < kMicroMin) {
    start_fixation();  // already there
    return false;
  }
  if (target_.moving()) {
    const double amplitude = std::hypot(to_x - x_, to_y - y_);
    const double d = (config_.saccade_base_ms + config_.saccade_ms_per_deg * amplitude) / 1000.0;
    to_x += target_.vx * d;
    to_y += target_.vy * d;
    pursuit_t_ = 0;
  }
  start_saccade(to_x, to_y, false);
  return true;
}

void Subject::step_fixation(double dt) {
  if (react()) return;
  if (happens(config_.blinks_per_min / 60.0, dt)) {
    after_blink_ = Phase::kFixation;
    phase_ = Phase::kBlink;
    blink_left_ = uniform(kBlinkMin, kBlinkMax);
    return;
  }
  if (!directed_) {
    phase_left_ -= dt;
    if (phase_left_ <= 0) {
      if (uniform(0, 1) < config_.pursuit_share) {
        start_pursuit_episode();
        return;
      }
      double to_x = 0, to_y = 0;
      do {
        to_x = uniform(-kRangeX, kRangeX);
        to_y = uniform(-kRangeY, kRangeY);
      } while (std::hypot(to_x - x_, to_y - y_) < kMinFreeSaccade);
      start_saccade(to_x, to_y, false);
      return;
    }
  }
  if (happens(config_.microsaccades_per_s, dt)) {
    double dx = anchor_x_ - x_ + kMicroScatter * gauss();
    double dy = anchor_y_ - y_ + kMicroScatter * gauss();
    const double a = std::hypot(dx, dy);
    const double k = a > 0 ? std::clamp(a, kMicroMin, kMicroMax) / a : 0;
    start_saccade(x_ + dx * k, y_ + dy * k, true);
    return;
  }
  drift_vx_ = ou_step(drift_vx_, config_.drift_deg_s, kDriftTau, dt, gauss());
  drift_vy_ = ou_step(drift_vy_, config_.drift_deg_s, kDriftTau, dt, gauss());
  x_ += drift_vx_ * dt;
  y_ += drift_vy_ * dt;
}

void Subject::step_pursuit(double dt) {
  if (react()) return;
  if (happens(config_.blinks_per_min / 60.0, dt)) {
    after_blink_ = Phase::kPursuit;
    phase_ = Phase::kBlink;
    blink_left_ = uniform(kBlinkMin, kBlinkMax);
    return;
  }
  if (!directed_) {
    phase_left_ -= dt;
    if (phase_left_ <= 0) target_.vx = target_.vy = 0;  // the episode's target stops
  }
  if (!target_.moving()) {
    start_fixation();
    return;
  }
  pursuit_t_ += dt;
  const double ex = target_.x - x_, ey = target_.y - y_;
  if (std::hypot(ex, ey) > kCatchUp) {
    // Catch-up saccade to where the target will be when the eye lands.
    const double amplitude = std::hypot(ex, ey);
    const double d = (config_.saccade_base_ms + config_.saccade_ms_per_deg * amplitude) / 1000.0;
    start_saccade(target_.x + target_.vx * d, target_.y + target_.vy * d, false);
    return;
  }
  const double ramp = std::min(pursuit_t_ / kPursuitRamp, 1.0);
  x_ += (kPursuitGain * ramp * target_.vx + kPursuitCorrection * ex) * dt;
  y_ += (kPursuitGain * ramp * target_.vy + kPursuitCorrection * ey) * dt;
}

SubjectSample Subject::next(double dt) {
  if (!(dt > 0) || !std::isfinite(dt)) dt = 0.001;
  t_ += dt;

  if (!digital_held_) {
    digital_left_ -= dt;
    if (digital_left_ <= 0) {
      digital_ ^= 1u << static_cast<unsigned>(uniform(0, 4));
      digital_left_ = uniform(0.5, 2.0);
    }
  }

  SubjectSample s;
  s.digital = digital_;
  SampleTruth& truth = s.truth;
  bool tracked = true;
  if (eye_held_) {
    truth.kind = kTruthFixation;
    truth.x_deg = degrees_of(held_x_, config_.gain);
    truth.y_deg = degrees_of(held_y_, config_.gain);
  } else {
    follow_targets(dt);
    switch (phase_) {
      case Phase::kFixation:
        step_fixation(dt);
        break;
      case Phase::kPursuit:
        step_pursuit(dt);
        break;
      case Phase::kBlink:
        blink_left_ -= dt;
        if (blink_left_ <= 0) {
          if (after_blink_ == Phase::kPursuit && target_.moving()) {
            phase_ = Phase::kPursuit;
          } else {
            phase_ = Phase::kFixation;
          }
        }
        break;
      case Phase::kSaccade:
      case Phase::kPso:
        break;
    }
    // Saccade and oscillation are set by time since their start, also when one began in
    // this very sample.
    if (phase_ == Phase::kSaccade) {
      saccade_t_ += dt;
      const double p = std::min(saccade_t_ / saccade_len_, 1.0);
      const double k = 0.5 - 0.5 * std::cos(kPi * p);  // smooth start and landing
      x_ = from_x_ + (to_x_ - from_x_) * k;
      y_ = from_y_ + (to_y_ - from_y_) * k;
      if (p >= 1.0) {
        if (pso_amp_ > 0) {
          phase_ = Phase::kPso;
          pso_t_ = 0;
        } else {
          end_movement();
        }
      }
    } else if (phase_ == Phase::kPso) {
      pso_t_ += dt;
      const double a = std::hypot(to_x_ - from_x_, to_y_ - from_y_);
      const double along =
          pso_t_ >= kPsoPeriod ? 0.0
                               : pso_amp_ * std::sin(2 * kPi * pso_t_ / kPsoPeriod) *
                                     std::exp(-pso_t_ / kPsoTau);
      x_ = to_x_ + (to_x_ - from_x_) / a * along;
      y_ = to_y_ + (to_y_ - from_y_) / a * along;
      if (pso_t_ >= kPsoPeriod) end_movement();
    }
    tremor_x_ = ou_step(tremor_x_, config_.tremor_deg, kTremorTau, dt, gauss());
    tremor_y_ = ou_step(tremor_y_, config_.tremor_deg, kTremorTau, dt, gauss());

    switch (phase_) {
      case Phase::kFixation: truth.kind = kTruthFixation; break;
      case Phase::kSaccade: truth.kind = kTruthSaccade; break;
      case Phase::kPso: truth.kind = kTruthPso; break;
      case Phase::kPursuit: truth.kind = kTruthPursuit; break;
      case Phase::kBlink: truth.kind = kTruthBlink; break;
    }
    tracked = phase_ != Phase::kBlink;
    truth.x_deg = x_ + tremor_x_;
    truth.y_deg = y_ + tremor_y_;
    truth.target = directed_ ? static_cast<int>(step_) : -1;
    if (phase_ == Phase::kSaccade) {
      truth.saccade = saccade_count_;
      truth.micro = micro_;
      truth.from_x = from_x_;
      truth.from_y = from_y_;
      truth.to_x = to_x_;
      truth.to_y = to_y_;
      truth.peak_velocity = peak_velocity_;
    }
  }

  // Slow head drift moves reflections and pupil together: the eye position is unaffected.
  const double head_x = 2.0 * std::sin(2 * kPi * t_ / 7.0);
  const double head_y = 1.5 * std::sin(2 * kPi * t_ / 11.0);
  const double pupil = 34.0 + 2.0 * std::sin(2 * kPi * t_ / 5.0);
  // White measurement noise of SD noise/2 per axis gives successive samples an RMS distance
  // of `noise`.
  const double sd = config_.noise_deg / 2;
  for (int e = 0; e < 2; ++e) {
    EyeFrame& f = s.eye[e];
    f.tracked = tracked;
    if (!tracked) continue;
    if (eye_held_) {
      f.eye_x = held_x_;
      f.eye_y = held_y_;
    } else {
      const double mx = truth.x_deg + config_.offset_x_deg + sd * gauss();
      const double my = truth.y_deg + config_.offset_y_deg + sd * gauss();
      f.eye_x = eye_units(mx, config_.gain);
      f.eye_y = eye_units(my, config_.gain);
    }
    f.cr_x = kCentreX[e] + head_x;
    f.cr_y = kCentreY + head_y;
    f.pupil_w = pupil;
    f.pupil_h = pupil * 0.95;
  }
  return s;
}

}  // namespace vt::detail
