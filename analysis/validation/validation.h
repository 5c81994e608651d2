// Validation in degrees over arrays: the figures of saccadrix_validation.h for one eye. The
// samples come through an accessor, so records are read in place, never copied.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "saccadrix/saccadrix_validation.h"

namespace saccadrix::validation {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A direction of unit length; valid is false for a vector that is zero or not finite.
struct Direction {
  double v[3] = {0, 0, 0};
  bool valid = false;
};
Direction unit(double x, double y, double z);

// The angle between two unit directions, in degrees (atan2 of the cross and dot products:
// exact for the small angles of noise, where acos loses its digits).
double angle_between(const Direction& a, const Direction& b);

// The direction of a target (see T_VALIDATION_PARAMS::viewingDistance).
Direction target_direction(const T_VALIDATION_TARGET& t, double viewing_distance);

// The arguments' rules of zelSaccadrixValidate: SACCADRIX_OK or SACCADRIX_E_ARG.
int check_arguments(const double* time, int count, const T_VALIDATION_TARGET* targets,
                    int target_count, const T_VALIDATION_PARAMS* params);

// Sums over one window, turned into a result by finish().
class Window {
 public:
  explicit Window(const Direction& target);
  // One sample of the window; null gaze: lost.
  void add(const Direction* gaze);
  // The next sample does not follow this one (a sample outside the window came between).
  void end_run() { have_previous_ = false; }
  // Second pass for the SD: the spread around the mean direction of the first.
  Direction mean() const { return unit(sum_[0], sum_[1], sum_[2]); }
  void add_spread(const Direction& gaze, const Direction& mean);
  T_VALIDATION_RESULT finish() const;

 private:
  Direction target_;
  double target_x_ = 0, target_y_ = 0;  // the target's angles atan(x/z), atan(y/z)
  int64_t samples_ = 0, tracked_ = 0, pairs_ = 0;
  double angle_sum_ = 0, offset_x_ = 0, offset_y_ = 0, s2s_sum2_ = 0, spread_sum2_ = 0;
  double sum_[3] = {0, 0, 0};
  Direction previous_;
  bool have_previous_ = false;
};

// The overall figures: means over the targets that have them, counts over all samples.
class Overall {
 public:
  void add(const T_VALIDATION_RESULT& r);
  T_VALIDATION_RESULT finish() const;

 private:
  double sum_[5] = {0, 0, 0, 0, 0};  // accuracy, offsetX, offsetY, precisionRms, precisionSd
  int64_t have_[5] = {0, 0, 0, 0, 0};
  int64_t samples_ = 0, tracked_ = 0;
};

// Runs the validation of one eye. sample(i, gaze) fills gaze[3] and returns whether sample i
// is tracked (its vector is checked here). Arguments already checked. per_target[k * stride]
// receives target k's result (per_target may be null), *overall the overall (may be null).
template <typename Sample>
void validate(const double* time, int count, Sample&& sample, const T_VALIDATION_TARGET* targets,
              int target_count, const T_VALIDATION_PARAMS& params, T_VALIDATION_RESULT* per_target,
              size_t stride, T_VALIDATION_RESULT* overall) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const bool by_index = params.windowsInSamples != 0;
  Overall all;
  for (int k = 0; k < target_count; ++k) {
    const T_VALIDATION_TARGET& t = targets[k];
    // The window's samples: indices [first, last), and among them times [from, to).
    long first = 0, last = count;
    double from = -kInf, to = kInf;
    if (by_index) {
      first = static_cast<long>(std::ceil(std::fmin(std::fmax(t.start, 0.0), count)));
      last = static_cast<long>(std::ceil(std::fmin(std::fmax(t.end, 0.0), count)));
    } else {
      from = t.start;
      to = t.end;
    }
    if (params.skipSeconds > 0) {
      if (by_index) {
        // The skip counts from the window's first sample that has a time.
        for (long i = first; i < last; ++i) {
          if (std::isfinite(time[i])) {
            from = time[i] + params.skipSeconds;
            break;
          }
        }
      } else {
        from += params.skipSeconds;
      }
    }
    const bool timed = time != nullptr && (!by_index || params.skipSeconds > 0);
    auto in_window = [&](long i) { return !timed || (time[i] >= from && time[i] < to); };

    Window w(target_direction(t, params.viewingDistance));
    double g[3];
    auto direction = [&](long i, Direction& d) {
      if (!sample(i, g)) return false;
      d = unit(g[0], g[1], g[2]);
      return d.valid;
    };
    Direction d;
    for (long i = first; i < last; ++i) {
      if (!in_window(i)) {
        w.end_run();
      } else {
        w.add(direction(i, d) ? &d : nullptr);
      }
    }
    const Direction m = w.mean();
    if (m.valid) {
      for (long i = first; i < last; ++i) {
        if (in_window(i) && direction(i, d)) w.add_spread(d, m);
      }
    }
    const T_VALIDATION_RESULT r = w.finish();
    if (per_target != nullptr) per_target[static_cast<size_t>(k) * stride] = r;
    all.add(r);
  }
  if (overall != nullptr) *overall = all.finish();
}

}  // namespace saccadrix::validation
