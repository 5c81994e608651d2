// Offline event detection: labels and events of a whole array of samples at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "event_core.h"

namespace saccadrix::events {

// True when every time is finite and each is greater than the one before.
bool times_valid(const double* time, size_t count);

// The median interval between consecutive samples (0 for fewer than two samples).
double median_interval(const double* time, size_t count);

// What the detection found besides the labels, for tests and benchmarks.
struct DetectionInfo {
  Thresholds thresholds;     // the adaptive thresholds of the whole array
  size_t velocityHalf = 0;   // the velocity window's half width in samples
  double interval = 0;       // the median sample interval (s)
};

// Labels count samples (labels has count elements) and appends the events to events (may be
// null). time must satisfy times_valid and params params_valid. Allocates O(count).
void detect_events(const double* time, const double* x, const double* y, size_t count,
                   const T_EVENT_PARAMS& params, int8_t* labels,
                   std::vector<T_EVENT_STRUCT>* events, DetectionInfo* info = nullptr);

}  // namespace saccadrix::events
