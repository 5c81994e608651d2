// The live detection's state: one detector per eye, fed from the decode path, and the queue
// that clients take events from. Three parties touch it:
//  - feed and reset, on the thread that decodes (serialised by the results lock): the only
//    code that runs the detectors;
//  - zelSaccadrixSetEventDetection, on any client thread: builds a new detector and leaves
//    it under configMutex for feed to switch to (feed only try-locks, and the replaced
//    detector is freed by the next Set, so feed never waits and never frees);
//  - zelSaccadrixGetEvent, on any client thread: takes from the queue under queueMutex, which
//    feed also only try-locks (events it could not place wait in its staging area).
#include "live_events.h"

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>

#include "event_core.h"
#include "gaze.h"
#include "live_detector.h"
#include "saccadrix/saccadrix_events.h"

namespace saccadrix::events {

namespace {

constexpr size_t kQueueCapacity = 1024;
constexpr size_t kStagingCapacity = 64;
constexpr uint16_t kCalibratedResults = 1;

struct LiveState {
  // Client side -> feed.
  std::mutex configMutex;
  std::unique_ptr<LiveDetector> pending[2];  // after a switch: the detector replaced
  bool pendingSet[2] = {false, false};
  bool requestedOn[2] = {false, false};
  std::atomic<bool> configChanged{false};
  std::atomic<bool> anyOn{false};

  // Feed's own.
  std::unique_ptr<LiveDetector> detectors[2];
  T_EVENT_STRUCT staging[kStagingCapacity];
  size_t staged = 0;
  uint64_t stagingDropped = 0;

  // The queue.
  std::mutex queueMutex;
  T_EVENT_STRUCT queue[kQueueCapacity];
  size_t head = 0;
  size_t count = 0;
  uint64_t dropped = 0;  // since the last event taken
};

// Never destroyed: the poll thread may still feed while the process exits.
LiveState& live() {
  static LiveState* state = new LiveState;
  return *state;
}

void apply_config(LiveState& s) {
  std::unique_lock<std::mutex> lock(s.configMutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  for (int eye = 0; eye < 2; ++eye) {
    if (!s.pendingSet[eye]) continue;
    s.detectors[eye].swap(s.pending[eye]);
    s.pendingSet[eye] = false;
  }
  s.configChanged.store(false, std::memory_order_relaxed);
}

void flush_staging(LiveState& s) {
  std::unique_lock<std::mutex> lock(s.queueMutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  s.dropped += s.stagingDropped;
  s.stagingDropped = 0;
  for (size_t i = 0; i < s.staged; ++i) {
    if (s.count == kQueueCapacity) {
      // Full: the oldest event goes, and the next one taken says so.
      s.head = (s.head + 1) % kQueueCapacity;
      --s.count;
      ++s.dropped;
    }
    s.queue[(s.head + s.count) % kQueueCapacity] = s.staging[i];
    ++s.count;
  }
  s.staged = 0;
}

LiveSample sample_of(const T_RESULTS_STRUCT& record, int eye, double hostTime, double sampleTime) {
  LiveSample sample;
  sample.time = std::isfinite(sampleTime) ? sampleTime : hostTime;
  sample.hostTime = hostTime;
  sample.timestamp = record.timestamp;
  const T_EYE_RESULTS& block = record.eye[eye];
  sample.valid = block.tracked == 1 &&
                 gaze_direction(block.values[kGazeXSlot], block.values[kGazeYSlot],
                                block.values[kGazeZSlot], &sample.x, &sample.y);
  return sample;
}

}  // namespace

bool wanted() {
  const LiveState& s = live();
  return s.anyOn.load(std::memory_order_relaxed) ||
         s.configChanged.load(std::memory_order_relaxed);
}

void feed(const T_RESULTS_STRUCT& record, double hostTime, double sampleTime) {
  LiveState& s = live();
  if (!s.anyOn.load(std::memory_order_relaxed) &&
      !s.configChanged.load(std::memory_order_relaxed)) {
    return;
  }
  if (s.configChanged.load(std::memory_order_acquire)) apply_config(s);
  for (int eye = 0; eye < 2; ++eye) {
    LiveDetector* detector = s.detectors[eye].get();
    if (detector == nullptr) continue;
    if (record.resultsType != kCalibratedResults) {
      // Nothing to detect on raw results; calibrated ones later start afresh.
      if (!detector->idle()) detector->reset();
      continue;
    }
    T_EVENT_STRUCT out[LiveDetector::kMaxEventsPerPush];
    const size_t n = detector->push(sample_of(record, eye, hostTime, sampleTime), out);
    for (size_t i = 0; i < n; ++i) {
      if (s.staged < kStagingCapacity) {
        s.staging[s.staged++] = out[i];
      } else {
        ++s.stagingDropped;
      }
    }
    s.stagingDropped += detector->take_overflow();
  }
  if (s.staged > 0 || s.stagingDropped > 0) flush_staging(s);
}

void reset() {
  LiveState& s = live();
  for (auto& detector : s.detectors) {
    if (detector) detector->reset();
  }
}

}  // namespace saccadrix::events

using saccadrix::events::LiveDetector;
using saccadrix::events::LiveState;

extern "C" {

int zelSaccadrixSetEventDetection(int eye, int on, const T_EVENT_PARAMS* params) {
  if (eye < -1 || eye > 1) return SACCADRIX_E_ARG;
  const T_EVENT_PARAMS p = params != nullptr ? *params : saccadrix::events::default_params();
  if (!saccadrix::events::params_valid(p)) return SACCADRIX_E_ARG;
  const int first = eye < 0 ? 0 : eye;
  const int last = eye < 0 ? 1 : eye;
  std::unique_ptr<LiveDetector> fresh[2];
  if (on) {
    try {
      for (int e = first; e <= last; ++e) fresh[e] = std::make_unique<LiveDetector>(p, e);
    } catch (const std::bad_alloc&) {
      return SACCADRIX_E_ARG;
    }
  }
  LiveState& s = saccadrix::events::live();
  std::lock_guard<std::mutex> lock(s.configMutex);
  for (int e = first; e <= last; ++e) {
    s.pending[e] = std::move(fresh[e]);  // frees a detector feed replaced earlier
    s.pendingSet[e] = true;
    s.requestedOn[e] = on != 0;
  }
  s.anyOn.store(s.requestedOn[0] || s.requestedOn[1], std::memory_order_relaxed);
  s.configChanged.store(true, std::memory_order_release);
  return SACCADRIX_OK;
}

int zelSaccadrixGetEvent(T_EVENT_STRUCT* event) {
  if (event == nullptr) return SACCADRIX_E_ARG;
  LiveState& s = saccadrix::events::live();
  std::lock_guard<std::mutex> lock(s.queueMutex);
  if (s.count == 0) return 0;
  *event = s.queue[s.head];
  event->dropped = s.dropped > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(s.dropped);
  s.dropped = 0;
  s.head = (s.head + 1) % saccadrix::events::kQueueCapacity;
  --s.count;
  return 1;
}

}  // extern "C"
