#include "live_detector.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace saccadrix::events {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A step in time longer than this many sample intervals ends the event in progress: reports
// were lost, or the stream paused.
constexpr double kGapIntervals = 5;
// The velocity window keeps at least this many samples, whatever its duration.
constexpr uint64_t kMinVelocitySamples = 3;
// A saccade still above its offset threshold after this long is something else (pursuit
// faster than thresholds learnt on fixations): it ends, rejected.
constexpr double kMaxSaccadeDuration = 0.15;
// Room kept free in the history beyond the longest window.
constexpr uint64_t kHistorySlack = 64;
// How often the thresholds are estimated again (s of sample time), and the histogram's
// size: bins up to twice the starting peak threshold, the last one for all above.
constexpr double kThresholdUpdate = 0.1;
constexpr size_t kSpeedBins = 512;

}  // namespace

LiveDetector::LiveDetector(const T_EVENT_PARAMS& params, int eye)
    : p_(params), eye_(eye), history_(kHistory), speedBins_(kSpeedBins), cumulative_(kSpeedBins) {
  binWidth_ = 2 * p_.initialPeakThreshold / static_cast<double>(kSpeedBins - 1);
  binsPerSpeed_ = 1 / binWidth_;
  reset();
}

void LiveDetector::reset() {
  next_ = processed_ = 0;
  window_reset(velocity_);
  window_reset(pursuit_);
  haveTime_ = false;
  lastTime_ = lastHost_ = interval_ = 0;
  state_ = State::kNone;
  havePrev_ = false;
  prevSpeed_ = 0;
  std::fill(speedBins_.begin(), speedBins_.end(), 0.0);
  speedSeconds_ = lastUpdate_ = 0;
  speedWeight_ = 1;
  localMoments_ = Moments{};
  adaptive_ = false;
  thresholds_ = initial_thresholds(p_);
  haveCandidate_ = switching_ = haveAbove_ = false;
  lostCount_ = 0;
}

// ---- Trailing windows ---------------------------------------------------------------------

void LiveDetector::window_reset(Window& w) {
  w.lo = w.hi = next_;
  w.removed = 0;
  w.sums.clear(0, 0, 0);
}

void LiveDetector::window_add(Window& w, uint64_t seq) {
  if (w.lo == w.hi) {
    w.lo = w.hi = seq;
    w.removed = 0;
    w.sums.clear(at(seq).t, at(seq).x, at(seq).y);
  }
  const Hist& h = at(seq);
  w.sums.add(h.t, h.x, h.y);
  w.hi = seq + 1;
}

void LiveDetector::window_trim(Window& w, double since, uint64_t keepAtLeast) {
  while (w.hi - w.lo > keepAtLeast &&
         (at(w.lo).t < since || w.hi - w.lo > kHistory - kHistorySlack)) {
    const Hist& h = at(w.lo);
    w.sums.remove(h.t, h.x, h.y);
    ++w.lo;
    ++w.removed;
  }
  // Move the sums' origin to the window's start now and then, so that they stay exact.
  if (w.removed > 2 * (w.hi - w.lo) + 16) {
    w.removed = 0;
    w.sums.clear(at(w.lo).t, at(w.lo).x, at(w.lo).y);
    for (uint64_t k = w.lo; k < w.hi; ++k) w.sums.add(at(k).t, at(k).x, at(k).y);
  }
}

bool LiveDetector::window_speed(const Window& w, double* speed) const {
  double vx = 0, vy = 0;
  if (!w.sums.slope(&vx, &vy)) return false;
  *speed = std::sqrt(vx * vx + vy * vy);
  return true;
}

// ---- Event statistics ---------------------------------------------------------------------

void LiveDetector::stats_add(Stats& st, uint64_t seq) const {
  const Hist& h = at(seq);
  ++st.n;
  st.sx += h.x;
  st.sy += h.y;
  if (h.v > st.peak) {
    st.peak = h.v;
    st.peakSeq = seq;
  }
  st.last = seq;
  st.lastSample = h;
}

LiveDetector::Stats LiveDetector::empty_stats(uint64_t first) const {
  Stats st;
  st.first = st.last = first;  // an empty event still has a place: its first sample's
  st.firstSample = st.lastSample = at(first);
  return st;
}

LiveDetector::Stats LiveDetector::stats_over(uint64_t first, uint64_t last) const {
  Stats st = empty_stats(first);
  for (uint64_t k = std::max(first, oldest()); k <= last && k < next_; ++k) stats_add(st, k);
  return st;
}

// Ends st at entry end (end >= st.first): takes the later entries out again.
void LiveDetector::rollback(Stats& st, uint64_t end) const {
  if (st.n == 0 || end >= st.last) return;
  for (uint64_t k = std::max(end + 1, oldest()); k <= st.last; ++k) {
    --st.n;
    st.sx -= at(k).x;
    st.sy -= at(k).y;
  }
  st.last = end;
  st.lastSample = at(end);
  if (st.peakSeq > end) {
    st.peak = -1;
    for (uint64_t k = std::max(st.first, oldest()); k <= end; ++k) {
      if (at(k).v > st.peak) {
        st.peak = at(k).v;
        st.peakSeq = k;
      }
    }
  }
}

void LiveDetector::emit(const T_EVENT_STRUCT& e) {
  if (outCount_ < kMaxEventsPerPush) {
    out_[outCount_++] = e;
  } else {
    ++overflow_;
  }
}

// A blink's END: its samples include the lost ones, and when no sample has come back yet it
// ends at the last lost one, without a position.
void LiveDetector::emit_blink_end(uint8_t flags) {
  Stats st = blink_;
  st.n += lostCount_;
  emit_end(SACCADRIX_EVENT_BLINK, st, flags);
  if (outCount_ == 0) return;
  T_EVENT_STRUCT& e = out_[outCount_ - 1];
  if (!(blink_.n > 0 && blink_.lastSample.t > lastLostTime_)) {
    e.endTime = lastLostTime_;
    e.endTimestamp = lastLostTimestamp_;
    e.endX = e.endY = e.amplitude = kNaN;
  }
}

void LiveDetector::emit_start(int type, uint64_t firstSeq) {
  const Hist& h = at(firstSeq);
  T_EVENT_STRUCT e{};
  e.size = sizeof e;
  e.type = static_cast<int8_t>(type);
  e.eye = static_cast<int8_t>(eye_);
  e.phase = SACCADRIX_EVENT_START;
  e.startIndex = e.endIndex = -1;
  e.startTimestamp = h.ts;
  e.startTime = h.t;
  e.endTime = kNaN;
  e.detectedTime = lastHost_;
  e.startX = h.x;
  e.startY = h.y;
  e.endX = e.endY = e.meanX = e.meanY = e.amplitude = e.peakVelocity = kNaN;
  emit(e);
}

void LiveDetector::emit_end(int type, const Stats& st, uint8_t flags) {
  const Hist& a = st.firstSample;
  const Hist& b = st.n > 0 ? st.lastSample : st.firstSample;
  T_EVENT_STRUCT e{};
  e.size = sizeof e;
  e.type = static_cast<int8_t>(type);
  e.eye = static_cast<int8_t>(eye_);
  e.phase = SACCADRIX_EVENT_END;
  e.flags = flags;
  e.startIndex = e.endIndex = -1;
  e.sampleCount = st.n;
  e.startTimestamp = a.ts;
  e.endTimestamp = b.ts;
  e.startTime = a.t;
  e.endTime = b.t;
  e.detectedTime = lastHost_;
  e.startX = a.x;
  e.startY = a.y;
  e.endX = b.x;
  e.endY = b.y;
  e.meanX = st.n > 0 ? st.sx / st.n : kNaN;
  e.meanY = st.n > 0 ? st.sy / st.n : kNaN;
  e.amplitude = std::hypot(e.endX - e.startX, e.endY - e.startY);
  e.peakVelocity = st.peak >= 0 ? st.peak : kNaN;
  emit(e);
}

// ---- Samples in -----------------------------------------------------------------------------

size_t LiveDetector::push(const LiveSample& sample, T_EVENT_STRUCT* out) {
  out_ = out;
  outCount_ = 0;
  double t = sample.time;
  if (haveTime_) {
    if (!(t > lastTime_)) {
      // Paired samples of old firmware share one time: place the second between.
      t = lastTime_ + (interval_ > 0 ? interval_ / 2 : 1e-6);
    } else {
      const double d = t - lastTime_;
      if (interval_ > 0 && d > kGapIntervals * interval_ && state_ != State::kNone) {
        end_all_for_gap();
      }
      interval_ = interval_ > 0 ? interval_ + 0.05 * (std::min(d, 4 * interval_) - interval_) : d;
    }
  }
  lastTime_ = t;
  haveTime_ = true;
  lastHost_ = sample.hostTime;

  if (!sample.valid) {
    LiveSample lost = sample;
    lost.time = t;
    begin_loss(lost);
    return outCount_;
  }
  const uint64_t seq = next_++;
  at(seq) = Hist{t, sample.hostTime, sample.x, sample.y, kNaN, sample.timestamp};
  if (processed_ < oldest()) processed_ = oldest();
  window_add(velocity_, seq);
  window_trim(velocity_, t - p_.liveVelocityWindow - 0.25 * interval_, kMinVelocitySamples);
  double v = 0;
  const bool full = velocity_.hi - velocity_.lo >= kMinVelocitySamples &&
                    t - at(velocity_.lo).t >= p_.liveVelocityWindow - 1.25 * interval_;
  if (full && window_speed(velocity_, &v)) {
    // The speed belongs to the middle of the window.
    const uint64_t centre = velocity_.lo + (velocity_.hi - velocity_.lo - 1) / 2;
    at(centre).v = v;
    for (; processed_ <= centre; ++processed_) {
      if (std::isnan(at(processed_).v)) at(processed_).v = v;
      step(processed_);
    }
  }
  return outCount_;
}

size_t LiveDetector::finish(T_EVENT_STRUCT* out) {
  out_ = out;
  outCount_ = 0;
  if (state_ != State::kNone) end_all_for_gap();
  return outCount_;
}

// Takes the entries that have no speed of their own yet through the state machine, with the
// newest speed there is.
void LiveDetector::process_all() {
  if (processed_ < oldest()) processed_ = oldest();
  for (; processed_ < next_; ++processed_) {
    if (std::isnan(at(processed_).v)) at(processed_).v = havePrev_ ? prevSpeed_ : 0;
    step(processed_);
  }
}

void LiveDetector::add_speed(double v) {
  if (!(v >= 0)) return;
  const double bin = std::min(v * binsPerSpeed_, static_cast<double>(kSpeedBins - 1));
  speedBins_[static_cast<size_t>(bin)] += speedWeight_;
  speedSeconds_ += interval_;
}

// Nystrom & Holmqvist's iteration, as offline, over the histogram (bin centres). Running
// sums over the bins make each step of the iteration a lookup.
void LiveDetector::update_thresholds(double now) {
  if (now - lastUpdate_ < kThresholdUpdate) return;
  // Older speeds weigh less: each update makes new ones weigh more (and scales everything
  // back down before the weights grow large).
  speedWeight_ *= std::exp((now - lastUpdate_) / p_.liveThresholdTime);
  if (speedWeight_ > 1e100) {
    for (double& b : speedBins_) b /= speedWeight_;
    speedWeight_ = 1;
  }
  lastUpdate_ = now;
  if (!adaptive_ && speedSeconds_ >= std::min(0.5, p_.liveThresholdTime / 4)) adaptive_ = true;
  if (!adaptive_) return;
  double n = 0, sum = 0, sumSq = 0;
  for (size_t b = 0; b + 1 < kSpeedBins; ++b) {
    const double v = (static_cast<double>(b) + 0.5) * binWidth_;
    cumulative_[b] = {n, sum, sumSq};  // the bins below b
    n += speedBins_[b];
    sum += speedBins_[b] * v;
    sumSq += speedBins_[b] * v * v;
  }
  cumulative_[kSpeedBins - 1] = {n, sum, sumSq};
  double peak = p_.initialPeakThreshold;
  for (int iteration = 0; iteration < 200; ++iteration) {
    // The bins whose centre lies below the peak threshold.
    const double first = std::ceil(peak * binsPerSpeed_ - 0.5);
    const Sums& c = cumulative_[static_cast<size_t>(
        std::clamp(first, 0.0, static_cast<double>(kSpeedBins - 1)))];
    if (c.n < kMinThresholdSamples * speedWeight_) break;
    double mean = 0, sd = 0;
    mean_sd(c.n, c.sum, c.sumSq, &mean, &sd);
    const Thresholds next = thresholds_from(p_, mean, sd);
    const bool done = std::fabs(next.peak - peak) < kThresholdConvergence;
    thresholds_ = next;
    peak = next.peak;
    if (done) break;
  }
}

// ---- The state machine ----------------------------------------------------------------------

void LiveDetector::step(uint64_t k) {
  const double v = at(k).v;
  if (state_ != State::kBlink) add_speed(v);
  update_thresholds(at(k).t);
  switch (state_) {
    case State::kNone:
      enter_inter(k, k);
      step_inter(k);
      break;
    case State::kInter:
      step_inter(k);
      break;
    case State::kSaccade:
      if (havePrev_ && is_offset(prevSpeed_, v, offsetThreshold_)) {
        const bool tooShort = saccade_.lastSample.t - saccade_.firstSample.t + interval_ <
                              p_.minSaccadeDuration;
        emit_end(SACCADRIX_EVENT_SACCADE, saccade_, tooShort ? SACCADRIX_EVENT_FLAG_REJECTED : 0);
        offset_ = k - 1;
        haveAbove_ = false;
        state_ = State::kPost;
      } else if (at(k).t - saccade_.firstSample.t > kMaxSaccadeDuration) {
        emit_end(SACCADRIX_EVENT_SACCADE, saccade_, SACCADRIX_EVENT_FLAG_REJECTED);
        enter_inter(k, k);
        step_inter(k);
        break;
      } else {
        stats_add(saccade_, k);
        break;
      }
      [[fallthrough]];
    case State::kPost:
      if (!p_.detectPso || at(k).t - at(offset_).t > p_.maxPsoDuration) {
        resolve_post(k, false);
        step_inter(k);
      } else if (v > offsetThreshold_) {
        haveAbove_ = true;
        lastAbove_ = k;
      }
      break;
    case State::kBlink:
      if (at(k).t - lastLostTime_ <= p_.blinkMargin || !(v < thresholds_.onset)) {
        stats_add(blink_, k);
      } else {
        emit_blink_end(0);
        enter_inter(k, k);
        step_inter(k);
      }
      break;
  }
  prevSpeed_ = v;
  havePrev_ = true;
}

void LiveDetector::enter_inter(uint64_t first, uint64_t k) {
  state_ = State::kInter;
  interType_ = SACCADRIX_EVENT_FIXATION;
  inter_ = first < k ? stats_over(first, k - 1) : empty_stats(first);
  haveCandidate_ = switching_ = false;
  window_reset(pursuit_);
  if (p_.detectPursuit) {
    for (uint64_t s = std::max(first, oldest()); s < k; ++s) window_add(pursuit_, s);
  }
  emit_start(SACCADRIX_EVENT_FIXATION, first);
}

void LiveDetector::step_inter(uint64_t k) {
  const double v = at(k).v;
  const double t = at(k).t;
  const double dt = interval_;
  localMoments_.add(v, std::min(1.0, dt / p_.localNoiseWindow));

  if (inter_.n > 0 && havePrev_ && is_onset(v, prevSpeed_, thresholds_.onset)) {
    haveCandidate_ = true;
    candidate_ = k;
    candidateStats_ = inter_;
    candidateLocal_ = localMoments_;
  }
  if (v > thresholds_.peak) {
    const uint64_t onset = haveCandidate_ ? candidate_ : k;
    Stats ended = haveCandidate_ ? candidateStats_ : inter_;
    const Moments& local = haveCandidate_ ? candidateLocal_ : localMoments_;
    emit_end(interType_, ended, 0);
    double mean = 0, sd = 0;
    const bool haveLocal = local.w > 0.5;
    if (haveLocal) local.mean_sd(&mean, &sd);
    offsetThreshold_ = offset_threshold(p_, thresholds_, haveLocal, mean, sd);
    saccade_ = stats_over(onset, k);
    emit_start(SACCADRIX_EVENT_SACCADE, onset);
    state_ = State::kSaccade;
    haveCandidate_ = false;
    return;
  }
  stats_add(inter_, k);

  if (!p_.detectPursuit) return;
  window_add(pursuit_, k);
  window_trim(pursuit_, t - p_.pursuitWindow, 2);
  double ps = 0;
  const bool known = window_speed(pursuit_, &ps) && t - at(pursuit_.lo).t >= p_.pursuitWindow / 2;
  const bool pursuit = interType_ == SACCADRIX_EVENT_PURSUIT;
  const bool other = known && (pursuit ? ps < p_.pursuitMinSpeed : ps >= p_.pursuitMinSpeed);
  if (!other) {
    switching_ = false;
    return;
  }
  const uint64_t centre = pursuit_.lo + (pursuit_.hi - pursuit_.lo - 1) / 2;
  if (!switching_) {
    switching_ = true;
    switchSince_ = std::max(centre, inter_.first + 1);
  }
  const double needed = pursuit ? p_.minFixationDuration : p_.minPursuitDuration;
  if (switchSince_ <= k && at(centre).t - at(switchSince_).t + dt >= needed) {
    Stats ended = inter_;
    rollback(ended, switchSince_ - 1);
    emit_end(interType_, ended, 0);
    interType_ = pursuit ? SACCADRIX_EVENT_FIXATION : SACCADRIX_EVENT_PURSUIT;
    inter_ = stats_over(switchSince_, k);
    emit_start(interType_, switchSince_);
    switching_ = haveCandidate_ = false;
  }
}

// The PSO window after a saccade is over (or cut short): a PSO when the speed rose above the
// offset threshold in it, ending at the next local minimum below that threshold; then the
// fixation starts, unless the data stopped (cut).
void LiveDetector::resolve_post(uint64_t k, bool cut) {
  uint64_t first = offset_ + 1;
  if (haveAbove_ && p_.detectPso) {
    uint64_t end = lastAbove_;
    while (end + 1 < k && !is_offset(at(end).v, at(end + 1).v, offsetThreshold_)) ++end;
    emit_start(SACCADRIX_EVENT_PSO, first);
    emit_end(SACCADRIX_EVENT_PSO, stats_over(first, end),
             cut && end + 1 >= k ? SACCADRIX_EVENT_FLAG_CUT : 0);
    first = end + 1;
  }
  haveAbove_ = false;
  if (!cut) enter_inter(first, k);
  else offset_ = first - 1;  // what follows the PSO
}

// A lost sample. The event in progress ends before the blink margin; the blink starts there.
void LiveDetector::begin_loss(const LiveSample& s) {
  process_all();
  if (state_ == State::kBlink) {
    ++lostCount_;
    lastLostTime_ = s.time;
    lastLostTimestamp_ = s.timestamp;
    return;
  }
  const double marginStart = s.time - p_.blinkMargin;
  uint64_t blinkFirst = next_;
  switch (state_) {
    case State::kNone:
    case State::kBlink:
      break;
    case State::kInter: {
      uint64_t e = inter_.n > 0 ? inter_.last : inter_.first;
      while (e > inter_.first && e >= oldest() && at(e).t > marginStart) --e;
      Stats ended = inter_;
      if (inter_.n > 0 && at(e).t <= marginStart) rollback(ended, e);
      emit_end(interType_, ended, 0);
      blinkFirst = ended.n > 0 ? ended.last + 1 : next_;
      break;
    }
    case State::kSaccade:
      emit_end(SACCADRIX_EVENT_SACCADE, saccade_, SACCADRIX_EVENT_FLAG_CUT);
      break;
    case State::kPost:
      resolve_post(next_, true);
      blinkFirst = offset_ + 1;
      break;
  }
  if (blinkFirst < next_) {
    blink_ = stats_over(blinkFirst, next_ - 1);
    emit_start(SACCADRIX_EVENT_BLINK, blinkFirst);
  } else {
    // No valid sample in the blink yet: its start is the lost sample.
    const uint64_t seq = next_++;
    at(seq) = Hist{s.time, s.hostTime, kNaN, kNaN, kNaN, s.timestamp};
    processed_ = next_;
    blink_ = empty_stats(seq);
    emit_start(SACCADRIX_EVENT_BLINK, seq);
  }
  state_ = State::kBlink;
  lostCount_ = 1;
  lastLostTime_ = s.time;
  lastLostTimestamp_ = s.timestamp;
  window_reset(velocity_);
  havePrev_ = false;
}

// The data stopped (a gap in time, or the end): whatever is in progress ends where the data
// did, and the next sample starts afresh.
void LiveDetector::end_all_for_gap() {
  process_all();
  switch (state_) {
    case State::kNone:
      break;
    case State::kInter:
      emit_end(interType_, inter_, 0);
      break;
    case State::kSaccade:
      emit_end(SACCADRIX_EVENT_SACCADE, saccade_, SACCADRIX_EVENT_FLAG_CUT);
      break;
    case State::kPost:
      resolve_post(next_, true);
      break;
    case State::kBlink:
      emit_blink_end(SACCADRIX_EVENT_FLAG_CUT);
      break;
  }
  state_ = State::kNone;
  havePrev_ = false;
  haveCandidate_ = switching_ = haveAbove_ = false;
  window_reset(velocity_);
  window_reset(pursuit_);
}

}  // namespace saccadrix::events
