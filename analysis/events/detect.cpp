// The offline detection, in the order of analysis/README.md: velocity, blinks and their
// margins, adaptive thresholds, saccades and their PSOs, then fixation against pursuit in
// what is left.
#include "detect.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace saccadrix::events {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A gap in time longer than this many median intervals breaks the data.
constexpr double kGapIntervals = 5;

// Working labels: the public ones, and samples not yet given one.
constexpr int8_t kFree = -1;

struct Segment {
  size_t begin, end;  // [begin, end)
};

// Least-squares speed over a centred window of 2 * half + 1 samples inside each segment,
// from the usable samples only; NaN where the window holds half + 1 usable samples or fewer
// than that, or the sample itself is not usable.
void window_speeds(const double* t, const double* x, const double* y,
                   const std::vector<uint8_t>& usable, const std::vector<Segment>& segments,
                   size_t half, std::vector<double>& speed) {
  const int minCount = static_cast<int>(half + 1);
  SlopeSums sums;
  for (const Segment& seg : segments) {
    size_t lo = seg.begin, hi = seg.begin;
    size_t sinceRebase = 0;
    sums.clear(t[seg.begin], 0, 0);
    for (size_t i = seg.begin; i < seg.end; ++i) {
      const size_t wantLo = i > seg.begin + half ? i - half : seg.begin;
      const size_t wantHi = std::min(seg.end, i + half + 1);
      for (; hi < wantHi; ++hi) {
        if (usable[hi]) sums.add(t[hi], x[hi], y[hi]);
      }
      for (; lo < wantLo; ++lo) {
        if (usable[lo]) sums.remove(t[lo], x[lo], y[lo]);
        ++sinceRebase;
      }
      // Keep the origin near the window: add the window's samples again around its start.
      if (sinceRebase > 2 * half + 8) {
        sinceRebase = 0;
        double x0 = 0, y0 = 0;
        for (size_t k = lo; k < hi; ++k) {
          if (usable[k]) {
            x0 = x[k];
            y0 = y[k];
            break;
          }
        }
        sums.clear(t[lo], x0, y0);
        for (size_t k = lo; k < hi; ++k) {
          if (usable[k]) sums.add(t[k], x[k], y[k]);
        }
      }
      double vx = 0, vy = 0;
      speed[i] = usable[i] && sums.count() >= minCount && sums.slope(&vx, &vy)
                     ? std::sqrt(vx * vx + vy * vy)
                     : kNaN;
    }
  }
}

class Detector {
 public:
  Detector(const double* t, const double* x, const double* y, size_t n, const T_EVENT_PARAMS& p)
      : t_(t), x_(x), y_(y), n_(n), p_(p), usable_(n), speed_(n, kNaN), label_(n, kFree),
        segmentOf_(n) {}

  void run(int8_t* labels, std::vector<T_EVENT_STRUCT>* events, DetectionInfo* info) {
    if (n_ == 0) return;
    dt_ = median_interval(t_, n_);
    if (!(dt_ > 0)) dt_ = 1;  // a single sample
    find_segments();
    for (size_t i = 0; i < n_; ++i) usable_[i] = std::isfinite(x_[i]) && std::isfinite(y_[i]);

    // The velocity window: twice the minimum saccade duration, an odd number of samples.
    half_ = samples_in(p_.minSaccadeDuration, true);
    window_speeds(t_, x_, y_, usable_, segments_, half_, speed_);

    mark_lost_with_margins();
    estimate_thresholds();
    extend_blinks();
    find_saccades();
    classify_intersaccadic();

    for (size_t i = 0; i < n_; ++i) {
      if (label_[i] == kFree) label_[i] = SACCADRIX_EVENT_UNDEFINED;
      if (labels != nullptr) labels[i] = label_[i];
    }
    if (events != nullptr) list_events(*events);
    if (info != nullptr) {
      info->thresholds = thresholds_;
      info->velocityHalf = half_;
      info->interval = dt_;
    }
  }

 private:
  double duration(size_t a, size_t b) const { return t_[b] - t_[a] + dt_; }
  // Half a window in samples, at least 1 and at most the data: the velocity window of
  // Nystrom & Holmqvist (2 * ceil(duration * rate) - 1 samples) when rounded up and made
  // one less, else the nearest count.
  size_t samples_in(double seconds, bool velocityWindow) const {
    const double s = velocityWindow ? std::ceil(seconds / dt_ - 1e-9) - 1 : std::round(seconds / dt_);
    return static_cast<size_t>(std::clamp(s, 1.0, static_cast<double>(std::max<size_t>(n_, 1))));
  }
  bool free_at(size_t i) const { return label_[i] == kFree && std::isfinite(speed_[i]); }

  void find_segments() {
    size_t begin = 0;
    for (size_t i = 1; i <= n_; ++i) {
      if (i == n_ || t_[i] - t_[i - 1] > kGapIntervals * dt_) {
        for (size_t k = begin; k < i; ++k) segmentOf_[k] = segments_.size();
        segments_.push_back({begin, i});
        begin = i;
      }
    }
  }
  const Segment& segment(size_t i) const { return segments_[segmentOf_[i]]; }

  // Lost samples, and usable ones within the margin of them (in the same segment).
  void mark_lost_with_margins() {
    for (const Segment& seg : segments_) {
      size_t i = seg.begin;
      while (i < seg.end) {
        if (usable_[i]) {
          ++i;
          continue;
        }
        size_t a = i, b = i;
        while (b + 1 < seg.end && !usable_[b + 1]) ++b;
        while (a > seg.begin && t_[i] - t_[a - 1] <= p_.blinkMargin) --a;
        const double lastLost = t_[b];
        while (b + 1 < seg.end && t_[b + 1] - lastLost <= p_.blinkMargin) ++b;
        for (size_t k = a; k <= b; ++k) label_[k] = SACCADRIX_EVENT_BLINK;
        i = b + 1;
      }
    }
  }

  // Nystrom & Holmqvist's iteration over the speeds below the peak threshold, from the
  // samples that are neither lost, near a loss, nor too fast to be an eye movement.
  void estimate_thresholds() {
    thresholds_ = initial_thresholds(p_);
    double peak = p_.initialPeakThreshold;
    for (int iteration = 0; iteration < 200; ++iteration) {
      double n = 0, sum = 0, sumSq = 0;
      for (size_t i = 0; i < n_; ++i) {
        const double v = speed_[i];
        if (label_[i] == kFree && v < peak && v <= p_.maxSpeed) {
          n += 1;
          sum += v;
          sumSq += v * v;
        }
      }
      if (n < kMinThresholdSamples) return;
      double mean = 0, sd = 0;
      mean_sd(n, sum, sumSq, &mean, &sd);
      const Thresholds next = thresholds_from(p_, mean, sd);
      const bool done = std::fabs(next.peak - peak) < kThresholdConvergence;
      thresholds_ = next;
      peak = next.peak;
      if (done) return;
    }
  }

  // The eyelid drags the pupil's image before and after a loss: what is still faster than
  // the onset threshold next to a blink belongs to it.
  void extend_blinks() {
    std::vector<uint8_t> grow(n_, 0);
    for (size_t i = 0; i < n_; ++i) {
      if (label_[i] != SACCADRIX_EVENT_BLINK) continue;
      const Segment& seg = segment(i);
      if (i > seg.begin && label_[i - 1] != SACCADRIX_EVENT_BLINK) {
        for (size_t k = i; k > seg.begin && label_[k - 1] == kFree && fast(k - 1);) grow[--k] = 1;
      }
      if (i + 1 < seg.end && label_[i + 1] != SACCADRIX_EVENT_BLINK) {
        for (size_t k = i + 1; k < seg.end && label_[k] == kFree && fast(k); ++k) grow[k] = 1;
      }
    }
    for (size_t i = 0; i < n_; ++i) {
      if (grow[i]) label_[i] = SACCADRIX_EVENT_BLINK;
    }
  }
  bool fast(size_t i) const { return !(speed_[i] < thresholds_.onset); }

  void find_saccades() {
    const Thresholds& th = thresholds_;
    for (size_t i = 0; i < n_; ++i) {
      if (!free_at(i) || !(speed_[i] > th.peak)) continue;
      const Segment& seg = segment(i);

      // Onset: back to a local minimum below the onset threshold.
      size_t on = i;
      bool blinkBefore = false;
      while (on > seg.begin) {
        if (!free_at(on - 1)) {
          blinkBefore = label_[on - 1] == SACCADRIX_EVENT_BLINK;
          break;
        }
        if (is_onset(speed_[on], speed_[on - 1], th.onset)) break;
        --on;
      }

      // The noise just before the onset sets the offset threshold.
      double n = 0, sum = 0, sumSq = 0;
      for (size_t k = on; k > seg.begin && t_[on] - t_[k - 1] <= p_.localNoiseWindow; --k) {
        if (!free_at(k - 1)) break;
        n += 1;
        sum += speed_[k - 1];
        sumSq += speed_[k - 1] * speed_[k - 1];
      }
      double localMean = 0, localSd = 0;
      if (n >= 3) mean_sd(n, sum, sumSq, &localMean, &localSd);
      const double offThreshold = offset_threshold(p_, th, n >= 3, localMean, localSd);

      // Offset: forward to a local minimum below the offset threshold.
      size_t off = i;
      bool blinkAfter = false;
      double peak = speed_[i];
      while (off + 1 < seg.end) {
        if (!free_at(off + 1)) {
          blinkAfter = label_[off + 1] == SACCADRIX_EVENT_BLINK;
          break;
        }
        if (is_offset(speed_[off], speed_[off + 1], offThreshold)) break;
        ++off;
        peak = std::max(peak, speed_[off]);
      }

      int8_t kind = SACCADRIX_EVENT_SACCADE;
      if (blinkBefore || blinkAfter) {
        kind = SACCADRIX_EVENT_BLINK;  // the eyelid, not the eye
      } else if (peak > p_.maxSpeed || duration(on, off) < p_.minSaccadeDuration) {
        kind = SACCADRIX_EVENT_UNDEFINED;
      }
      for (size_t k = on; k <= off; ++k) label_[k] = kind;
      i = off;
      if (kind != SACCADRIX_EVENT_SACCADE || !p_.detectPso) continue;

      // PSO: the speed rises above the offset threshold again within the PSO window, and
      // the PSO ends at the next local minimum below it (at the window's end at the latest).
      auto inWindow = [&](size_t k) {
        return k < seg.end && free_at(k) && t_[k] - t_[off] <= p_.maxPsoDuration;
      };
      size_t last = off;
      for (size_t k = off + 1; inWindow(k); ++k) {
        if (speed_[k] > offThreshold) last = k;
      }
      if (last == off) continue;
      size_t end = last;
      while (inWindow(end + 1) && !is_offset(speed_[end], speed_[end + 1], offThreshold)) ++end;
      for (size_t k = off + 1; k <= end; ++k) label_[k] = SACCADRIX_EVENT_PSO;
      i = end;
    }
  }

  // Between saccades, PSOs and blinks: pursuit where the gaze keeps moving, else fixation.
  void classify_intersaccadic() {
    std::vector<Segment> intervals;
    for (const Segment& seg : segments_) {
      size_t i = seg.begin;
      while (i < seg.end) {
        if (!free_at(i)) {
          ++i;
          continue;
        }
        size_t j = i;
        while (j < seg.end && free_at(j)) ++j;
        intervals.push_back({i, j});
        i = j;
      }
    }
    std::vector<uint8_t> moving(n_, 0);
    if (p_.detectPursuit) {
      std::vector<uint8_t> inside(n_, 0);
      for (const Segment& s : intervals) std::fill(inside.begin() + s.begin, inside.begin() + s.end, 1);
      std::vector<double> slow(n_, kNaN);
      const size_t half = samples_in(p_.pursuitWindow / 2, false);
      window_speeds(t_, x_, y_, inside, intervals, half, slow);
      for (size_t i = 0; i < n_; ++i) moving[i] = slow[i] >= p_.pursuitMinSpeed;
    }
    for (const Segment& s : intervals) label_interval(s, moving);
  }

  // Runs of moving and still samples become pursuit and fixation: moving runs shorter than
  // the minimum pursuit become still, then still runs shorter than the minimum fixation
  // between two moving runs become moving; what is still too short is undefined.
  void label_interval(const Segment& s, std::vector<uint8_t>& moving) {
    struct Run {
      size_t a, b;  // inclusive
      bool moving;
    };
    auto runs_of = [&]() {
      std::vector<Run> runs;
      for (size_t i = s.begin; i < s.end;) {
        size_t j = i;
        while (j + 1 < s.end && moving[j + 1] == moving[i]) ++j;
        runs.push_back({i, j, moving[i] != 0});
        i = j + 1;
      }
      return runs;
    };
    for (const Run& r : runs_of()) {
      if (r.moving && duration(r.a, r.b) < p_.minPursuitDuration) {
        std::fill(moving.begin() + r.a, moving.begin() + r.b + 1, 0);
      }
    }
    std::vector<Run> runs = runs_of();
    for (size_t k = 1; k + 1 < runs.size(); ++k) {
      const Run& r = runs[k];
      if (!r.moving && duration(r.a, r.b) < p_.minFixationDuration) {
        std::fill(moving.begin() + r.a, moving.begin() + r.b + 1, 1);
      }
    }
    for (const Run& r : runs_of()) {
      int8_t kind = r.moving ? SACCADRIX_EVENT_PURSUIT : SACCADRIX_EVENT_FIXATION;
      const double minimum = r.moving ? p_.minPursuitDuration : p_.minFixationDuration;
      if (duration(r.a, r.b) < minimum) kind = SACCADRIX_EVENT_UNDEFINED;
      std::fill(label_.begin() + r.a, label_.begin() + r.b + 1, kind);
    }
  }

  void list_events(std::vector<T_EVENT_STRUCT>& events) const {
    size_t i = 0;
    while (i < n_) {
      size_t j = i;
      while (j + 1 < n_ && label_[j + 1] == label_[i] && segmentOf_[j + 1] == segmentOf_[i]) ++j;
      if (label_[i] != SACCADRIX_EVENT_UNDEFINED) events.push_back(make_event(i, j));
      i = j + 1;
    }
  }

  T_EVENT_STRUCT make_event(size_t a, size_t b) const {
    T_EVENT_STRUCT e{};
    e.size = sizeof e;
    e.type = label_[a];
    e.eye = -1;
    e.phase = SACCADRIX_EVENT_END;
    e.startIndex = static_cast<int32_t>(a);
    e.endIndex = static_cast<int32_t>(b);
    e.sampleCount = static_cast<uint32_t>(b - a + 1);
    e.startTime = t_[a];
    e.endTime = t_[b];
    e.detectedTime = t_[b];
    auto at = [&](size_t k, double* px, double* py) {
      *px = usable_[k] ? x_[k] : kNaN;
      *py = usable_[k] ? y_[k] : kNaN;
    };
    at(a, &e.startX, &e.startY);
    at(b, &e.endX, &e.endY);
    double n = 0, sx = 0, sy = 0, peak = kNaN;
    for (size_t k = a; k <= b; ++k) {
      if (usable_[k]) {
        n += 1;
        sx += x_[k];
        sy += y_[k];
      }
      if (std::isfinite(speed_[k]) && !(speed_[k] <= peak)) peak = speed_[k];
    }
    e.meanX = n > 0 ? sx / n : kNaN;
    e.meanY = n > 0 ? sy / n : kNaN;
    e.amplitude = std::hypot(e.endX - e.startX, e.endY - e.startY);
    e.peakVelocity = peak;
    // The data end inside an event that reaches either end of the array or of a stretch
    // between gaps in time.
    const Segment& seg = segment(a);
    if (a == seg.begin || b + 1 == seg.end) e.flags = SACCADRIX_EVENT_FLAG_CUT;
    return e;
  }

  const double* t_;
  const double* x_;
  const double* y_;
  size_t n_;
  const T_EVENT_PARAMS& p_;
  double dt_ = 0;
  size_t half_ = 1;
  std::vector<uint8_t> usable_;
  std::vector<double> speed_;
  std::vector<int8_t> label_;
  std::vector<size_t> segmentOf_;
  std::vector<Segment> segments_;
  Thresholds thresholds_;
};

}  // namespace

bool times_valid(const double* time, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!std::isfinite(time[i]) || (i > 0 && !(time[i] > time[i - 1]))) return false;
  }
  return true;
}

double median_interval(const double* time, size_t count) {
  if (count < 2) return 0;
  std::vector<double> d(count - 1);
  for (size_t i = 1; i < count; ++i) d[i - 1] = time[i] - time[i - 1];
  auto mid = d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2);
  std::nth_element(d.begin(), mid, d.end());
  return *mid;
}

void detect_events(const double* time, const double* x, const double* y, size_t count,
                   const T_EVENT_PARAMS& params, int8_t* labels,
                   std::vector<T_EVENT_STRUCT>* events, DetectionInfo* info) {
  Detector(time, x, y, count, params).run(labels, events, info);
}

}  // namespace saccadrix::events
