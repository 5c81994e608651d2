#include "validation.h"

#include <cstdint>

namespace saccadrix::validation {
namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kRadiansPerDegree = 1 / kDegreesPerRadian;

double mean_or_nan(double sum, int64_t n) { return n > 0 ? sum / static_cast<double>(n) : kNaN; }

// Overlapping windows can count one sample many times over all targets.
int32_t saturated(int64_t n) { return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n); }

}  // namespace

Direction unit(double x, double y, double z) {
  Direction d;
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return d;
  const double n = std::sqrt(x * x + y * y + z * z);
  if (!(n > 0) || !std::isfinite(n)) return d;
  d.v[0] = x / n;
  d.v[1] = y / n;
  d.v[2] = z / n;
  d.valid = true;
  return d;
}

double angle_between(const Direction& a, const Direction& b) {
  const double cx = a.v[1] * b.v[2] - a.v[2] * b.v[1];
  const double cy = a.v[2] * b.v[0] - a.v[0] * b.v[2];
  const double cz = a.v[0] * b.v[1] - a.v[1] * b.v[0];
  const double dot = a.v[0] * b.v[0] + a.v[1] * b.v[1] + a.v[2] * b.v[2];
  return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), dot) * kDegreesPerRadian;
}

Direction target_direction(const T_VALIDATION_TARGET& t, double viewing_distance) {
  if (viewing_distance > 0) return unit(t.x, t.y, viewing_distance);
  return unit(std::tan(t.x * kRadiansPerDegree), std::tan(t.y * kRadiansPerDegree), 1.0);
}

int check_arguments(const double* time, int count, const T_VALIDATION_TARGET* targets,
                    int target_count, const T_VALIDATION_PARAMS* params) {
  if (count < 0 || targets == nullptr || target_count < 1 || params == nullptr) {
    return SACCADRIX_E_ARG;
  }
  const T_VALIDATION_PARAMS& p = *params;
  if (!std::isfinite(p.viewingDistance) || p.viewingDistance < 0) return SACCADRIX_E_ARG;
  if (!std::isfinite(p.skipSeconds) || p.skipSeconds < 0) return SACCADRIX_E_ARG;
  if (p.windowsInSamples != 0 && p.windowsInSamples != 1) return SACCADRIX_E_ARG;
  if (time == nullptr && count > 0 && (p.windowsInSamples == 0 || p.skipSeconds > 0)) {
    return SACCADRIX_E_ARG;
  }
  for (int k = 0; k < target_count; ++k) {
    const T_VALIDATION_TARGET& t = targets[k];
    if (!std::isfinite(t.x) || !std::isfinite(t.y) || !std::isfinite(t.start) ||
        !std::isfinite(t.end) || t.end < t.start) {
      return SACCADRIX_E_ARG;
    }
    if (p.viewingDistance == 0 && (std::fabs(t.x) >= 90 || std::fabs(t.y) >= 90)) {
      return SACCADRIX_E_ARG;
    }
  }
  return SACCADRIX_OK;
}

Window::Window(const Direction& target) : target_(target) {
  target_x_ = std::atan2(target_.v[0], target_.v[2]) * kDegreesPerRadian;
  target_y_ = std::atan2(target_.v[1], target_.v[2]) * kDegreesPerRadian;
}

void Window::add(const Direction* gaze) {
  ++samples_;
  if (gaze == nullptr) {
    have_previous_ = false;
    return;
  }
  const Direction& d = *gaze;
  ++tracked_;
  angle_sum_ += angle_between(d, target_);
  offset_x_ += std::atan2(d.v[0], d.v[2]) * kDegreesPerRadian - target_x_;
  offset_y_ += std::atan2(d.v[1], d.v[2]) * kDegreesPerRadian - target_y_;
  for (int i = 0; i < 3; ++i) sum_[i] += d.v[i];
  if (have_previous_) {
    const double a = angle_between(previous_, d);
    s2s_sum2_ += a * a;
    ++pairs_;
  }
  previous_ = d;
  have_previous_ = true;
}

void Window::add_spread(const Direction& gaze, const Direction& mean) {
  const double a = angle_between(gaze, mean);
  spread_sum2_ += a * a;
}

T_VALIDATION_RESULT Window::finish() const {
  T_VALIDATION_RESULT r{};
  r.accuracy = mean_or_nan(angle_sum_, tracked_);
  r.offsetX = mean_or_nan(offset_x_, tracked_);
  r.offsetY = mean_or_nan(offset_y_, tracked_);
  r.precisionRms = pairs_ > 0 ? std::sqrt(s2s_sum2_ / static_cast<double>(pairs_)) : kNaN;
  r.precisionSd = tracked_ > 1 ? std::sqrt(spread_sum2_ / static_cast<double>(tracked_ - 1)) : kNaN;
  r.dataLoss = samples_ > 0 ? 100.0 * static_cast<double>(samples_ - tracked_) / static_cast<double>(samples_)
                            : kNaN;
  r.samples = saturated(samples_);
  r.tracked = saturated(tracked_);
  return r;
}

void Overall::add(const T_VALIDATION_RESULT& r) {
  const double v[5] = {r.accuracy, r.offsetX, r.offsetY, r.precisionRms, r.precisionSd};
  for (int i = 0; i < 5; ++i) {
    if (std::isfinite(v[i])) {
      sum_[i] += v[i];
      ++have_[i];
    }
  }
  samples_ += r.samples;
  tracked_ += r.tracked;
}

T_VALIDATION_RESULT Overall::finish() const {
  T_VALIDATION_RESULT r{};
  r.accuracy = mean_or_nan(sum_[0], have_[0]);
  r.offsetX = mean_or_nan(sum_[1], have_[1]);
  r.offsetY = mean_or_nan(sum_[2], have_[2]);
  r.precisionRms = mean_or_nan(sum_[3], have_[3]);
  r.precisionSd = mean_or_nan(sum_[4], have_[4]);
  r.dataLoss = samples_ > 0 ? 100.0 * static_cast<double>(samples_ - tracked_) / static_cast<double>(samples_)
                            : kNaN;
  r.samples = saturated(samples_);
  r.tracked = saturated(tracked_);
  return r;
}

}  // namespace saccadrix::validation
