// The live detector of one eye: the offline criteria applied one sample at a time, causally.
// Pure: no locks, no globals; the caller (live_events.cpp, or a test) owns it and feeds it
// from one thread. O(1) per sample; allocates only when constructed.
//
// Differences from the offline detection (also in analysis/README.md):
//  - the speed comes from a trailing window of liveVelocityWindow (at least 3 samples) and
//    belongs to the sample at the window's middle; the state machine runs that much behind
//    the newest sample;
//  - the thresholds come from the same iteration as offline, run every 0.1 s over the speeds
//    of about the last liveThresholdTime seconds (a histogram whose weights decay
//    exponentially) instead of over the whole recording; until a quarter of
//    liveThresholdTime (at most 0.5 s) of data has been seen, the starting thresholds hold;
//  - the local noise before a saccade is an exponential average over localNoiseWindow;
//  - a saccade's START is queued when the speed passes the peak threshold, back-dated to the
//    onset; a saccade shorter than the minimum saccade duration, or still fast after 0.15 s,
//    ends with the REJECTED flag (a false alarm), the noise limit (maxSpeed) is not applied,
//    and a saccade cut by lost samples ends with the CUT flag instead of becoming part of
//    the blink;
//  - pursuit faster than the thresholds learnt on fixations can start a false saccade at its
//    onset (most are REJECTED); offline, the thresholds see the whole recording;
//  - a PSO's START and END, and the next fixation's START, come at the end of the PSO window;
//  - pursuit and fixation switch when the trailing pursuit speed has been above (below) the
//    pursuit speed for the minimum pursuit (fixation) duration; the switch is back-dated to
//    the middle of the pursuit window;
//  - the blink margin before a loss shortens the event in progress (its END is back-dated),
//    but its mean and peak still count the margin's samples when they lie more than the
//    history (4096 samples) back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "event_core.h"

namespace saccadrix::events {

struct LiveSample {
  double time = 0;       // s: the sample's time (host clock); non-increasing times are nudged
  double hostTime = 0;   // s: when the record was read (the events' detectedTime)
  uint64_t timestamp = 0;
  double x = 0, y = 0;   // deg
  bool valid = false;    // false: lost (blink, eye not found)
};

class LiveDetector {
 public:
  // At most this many events come out of one push.
  static constexpr size_t kMaxEventsPerPush = 16;
  static constexpr size_t kHistory = 4096;  // samples kept for back-dating (a power of 2)

  explicit LiveDetector(const T_EVENT_PARAMS& params, int eye = 0);

  // Forgets everything about the data (state, thresholds, history), keeps the parameters.
  void reset();
  // Takes one sample; writes the events it completes or starts to out (room for
  // kMaxEventsPerPush) and returns their number.
  size_t push(const LiveSample& sample, T_EVENT_STRUCT* out);
  // Ends the event in progress as the data stopped (CUT flag for saccades and PSOs).
  size_t finish(T_EVENT_STRUCT* out);

  // True when nothing has been pushed since construction or the last reset.
  bool idle() const { return !haveTime_; }
  Thresholds thresholds() const { return thresholds_; }
  // Events that did not fit into one push's output since the last call (none in practice).
  uint64_t take_overflow() {
    const uint64_t n = overflow_;
    overflow_ = 0;
    return n;
  }
  bool adaptive() const { return adaptive_; }

 private:
  enum class State { kNone, kInter, kSaccade, kPost, kBlink };
  struct Hist {
    double t, host, x, y, v;
    uint64_t ts;
  };
  struct Stats {
    Hist firstSample{}, lastSample{};  // copies: the history may have moved on
    uint64_t first = 0, last = 0;
    uint32_t n = 0;
    double sx = 0, sy = 0, peak = -1;
    uint64_t peakSeq = 0;
  };
  // Exponential averages of a speed and its square.
  struct Moments {
    double s = 0, q = 0, w = 0;
    void add(double v, double alpha) {
      s += alpha * (v - s);
      q += alpha * (v * v - q);
      w += alpha * (1 - w);
    }
    void mean_sd(double* mean, double* sd) const {
      *mean = s / w;
      const double var = q / w - *mean * *mean;
      *sd = var > 0 ? std::sqrt(var) : 0;
    }
  };
  // A trailing window over history entries [lo, hi) with its least-squares sums.
  struct Window {
    uint64_t lo = 0, hi = 0;
    uint64_t removed = 0;
    SlopeSums sums;
  };

  Hist& at(uint64_t seq) { return history_[seq & (kHistory - 1)]; }
  const Hist& at(uint64_t seq) const { return history_[seq & (kHistory - 1)]; }
  uint64_t oldest() const { return next_ > kHistory ? next_ - kHistory : 0; }

  void window_reset(Window& w);
  void window_add(Window& w, uint64_t seq);
  void window_trim(Window& w, double since, uint64_t keepAtLeast);
  bool window_speed(const Window& w, double* speed) const;

  void process_all();
  void step(uint64_t k);
  void step_inter(uint64_t k);
  void enter_inter(uint64_t first, uint64_t k);
  void resolve_post(uint64_t k, bool cut);
  void begin_loss(const LiveSample& s);
  void end_all_for_gap();
  void add_speed(double v);
  void update_thresholds(double now);

  Stats empty_stats(uint64_t first) const;
  Stats stats_over(uint64_t first, uint64_t last) const;
  void stats_add(Stats& st, uint64_t seq) const;
  void rollback(Stats& st, uint64_t end) const;

  void emit_start(int type, uint64_t firstSeq);
  void emit_end(int type, const Stats& st, uint8_t flags);
  void emit(const T_EVENT_STRUCT& e);
  void emit_blink_end(uint8_t flags);

  T_EVENT_PARAMS p_;
  int eye_;
  std::vector<Hist> history_;
  uint64_t next_ = 0;       // sequence number of the next history entry
  uint64_t processed_ = 0;  // entries below this have been through step()

  Window velocity_;
  Window pursuit_;
  double lastTime_ = 0;
  bool haveTime_ = false;
  double interval_ = 0;     // running estimate of the sample interval
  double lastHost_ = 0;

  State state_ = State::kNone;
  double prevSpeed_ = 0;
  bool havePrev_ = false;

  // Thresholds: the offline iteration, run every kThresholdUpdate seconds on a histogram of
  // the recent speeds whose weights decay with liveThresholdTime.
  struct Sums {
    double n, sum, sumSq;
  };
  std::vector<double> speedBins_;
  std::vector<Sums> cumulative_;  // per bin: the sums of the bins below it
  double binWidth_ = 1;
  double binsPerSpeed_ = 1;
  double speedWeight_ = 1;        // what a speed added now counts
  double speedSeconds_ = 0;   // seconds of samples in the histogram, undecayed
  double lastUpdate_ = 0;     // sample time of the last update
  bool adaptive_ = false;
  Thresholds thresholds_;
  Moments localMoments_;

  // Fixation or pursuit in progress.
  int interType_ = SACCADRIX_EVENT_FIXATION;
  Stats inter_;
  bool haveCandidate_ = false;
  uint64_t candidate_ = 0;
  Stats candidateStats_;    // inter_ as it stood before the candidate onset
  Moments candidateLocal_;  // local noise as it stood then
  bool switching_ = false;
  uint64_t switchSince_ = 0;

  // Saccade, then the PSO window after it.
  Stats saccade_;
  double offsetThreshold_ = 0;
  uint64_t offset_ = 0;
  bool haveAbove_ = false;
  uint64_t lastAbove_ = 0;

  // Blink.
  Stats blink_;
  uint32_t lostCount_ = 0;
  double lastLostTime_ = 0;
  uint64_t lastLostTimestamp_ = 0;

  T_EVENT_STRUCT* out_ = nullptr;
  size_t outCount_ = 0;
  uint64_t overflow_ = 0;
};

}  // namespace saccadrix::events
