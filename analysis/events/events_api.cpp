// The exported offline functions: defaults, the detection over arrays, gaze directions.
#include <algorithm>
#include <limits>
#include <new>
#include <vector>

#include "detect.h"
#include "event_core.h"
#include "gaze.h"
#include "saccadrix/saccadrix_events.h"

using saccadrix::events::default_params;
using saccadrix::events::detect_events;
using saccadrix::events::params_valid;
using saccadrix::events::times_valid;

extern "C" {

int zelSaccadrixGetDefaultEventParams(T_EVENT_PARAMS* params) {
  if (params == nullptr) return SACCADRIX_E_ARG;
  *params = default_params();
  return SACCADRIX_OK;
}

int zelSaccadrixDetectEvents(const double* time, const double* x, const double* y, int count,
                             int8_t* labels, const T_EVENT_PARAMS* params,
                             T_EVENT_STRUCT* events, int maxEvents, int* eventCount) {
  if (count < 0 || maxEvents < 0 || (events == nullptr && maxEvents > 0)) return SACCADRIX_E_ARG;
  if (count > 0 && (time == nullptr || x == nullptr || y == nullptr)) return SACCADRIX_E_ARG;
  const T_EVENT_PARAMS p = params != nullptr ? *params : default_params();
  if (!params_valid(p)) return SACCADRIX_E_ARG;
  const size_t n = static_cast<size_t>(count);
  if (!times_valid(time, n)) return SACCADRIX_E_ARG;
  try {
    // Labels go to a copy first, so that a failure leaves the caller's array untouched.
    std::vector<int8_t> found(n);
    std::vector<T_EVENT_STRUCT> list;
    detect_events(time, x, y, n, p, found.data(), &list);
    if (labels != nullptr && n > 0) std::copy(found.begin(), found.end(), labels);
    const size_t stored = std::min(list.size(), static_cast<size_t>(maxEvents));
    std::copy(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(stored), events);
    if (eventCount != nullptr) {
      *eventCount = list.size() > static_cast<size_t>(std::numeric_limits<int>::max())
                        ? std::numeric_limits<int>::max()
                        : static_cast<int>(list.size());
    }
  } catch (const std::bad_alloc&) {
    return SACCADRIX_E_ARG;
  }
  return SACCADRIX_OK;
}

int zelSaccadrixGazeDirection(double gx, double gy, double gz, double* xDeg, double* yDeg) {
  if (xDeg == nullptr || yDeg == nullptr) return SACCADRIX_E_ARG;
  if (!saccadrix::events::gaze_direction(gx, gy, gz, xDeg, yDeg)) {
    *xDeg = *yDeg = std::numeric_limits<double>::quiet_NaN();
    return SACCADRIX_E_ARG;
  }
  return SACCADRIX_OK;
}

}  // extern "C"
