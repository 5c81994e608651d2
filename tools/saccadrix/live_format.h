// One result as a short line for a person watching the tracker live.
#ifndef SACCADRIX_TOOLS_LIVE_FORMAT_H
#define SACCADRIX_TOOLS_LIVE_FORMAT_H

#include <string>

#include "saccadrix/saccadrix.h"
#include "saccadrix/saccadrix_events.h"

namespace saccadrix::cli {

// Raw results show each eye's pupil and reflection centres, calibrated results the gaze
// vector and the horizontal and vertical angles; untracked eyes say so.
std::string LiveLine(const T_RESULTS_STRUCT& record);

// A live event (zelSaccadrixGetEvent) as one line, times in seconds since origin on the host
// clock (the moment the stream started, say) and positions in degrees. START lines give the start only; END lines the whole event:
//   eye 0 saccade   end    12.3457 .. 12.3917 s (46.0 ms)  (1.20, -0.40) -> (9.80, 2.10)
//   deg, amplitude 8.94 deg, peak 412 deg/s [rejected]
// (one line; the flags in brackets when there are any).
std::string EventLine(const T_EVENT_STRUCT& event, double origin = 0);

// The same as CSV, times on the host clock itself (as in recordings): EventCsvHeader names the columns, EventCsvLine gives one row (the fields
// a START event does not have are empty; flags are "cut", "rejected" or both joined by '+').
std::string EventCsvHeader();
std::string EventCsvLine(const T_EVENT_STRUCT& event);

// "fixation", "saccade", "pso", "pursuit", "blink", or "undefined" for anything else.
const char* EventTypeName(int type);

// Whole events by type, as a client counts them: END events that are not rejected.
struct EventCounts {
  unsigned long long byType[6] = {};
  unsigned long long dropped = 0;  // lost from the library's full queue
  void Add(const T_EVENT_STRUCT& event);
  // "12 fixations, 11 saccades, 3 PSOs, 0 pursuits, 1 blink"
  std::string Summary() const;
};

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_LIVE_FORMAT_H
