#include "live_format.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace saccadrix::cli {

namespace {

std::string EyeText(const T_RESULTS_STRUCT& r, int e) {
  const T_EYE_RESULTS& eye = r.eye[e];
  char text[160];
  if (eye.tracked == 0) {
    std::snprintf(text, sizeof text, "eye%d  not tracked", e);
  } else if (r.resultsType == 1) {
    std::snprintf(text, sizeof text, "eye%d gaze (%7.3f %7.3f %7.3f) angle h %6.2f v %6.2f", e,
                  static_cast<double>(eye.values[8]), static_cast<double>(eye.values[9]),
                  static_cast<double>(eye.values[10]), static_cast<double>(eye.values[13]),
                  static_cast<double>(eye.values[12]));
  } else {
    std::snprintf(text, sizeof text, "eye%d pupil (%8.3f %8.3f) refl (%8.3f %8.3f)", e,
                  static_cast<double>(eye.values[2]), static_cast<double>(eye.values[3]),
                  static_cast<double>(eye.values[0]), static_cast<double>(eye.values[1]));
  }
  return text;
}

}  // namespace

std::string LiveLine(const T_RESULTS_STRUCT& record) {
  char head[48];
  std::snprintf(head, sizeof head, "t %10" PRIu64 "  ", static_cast<uint64_t>(record.timestamp));
  char tail[32];
  std::snprintf(tail, sizeof tail, "  inputs 0x%04" PRIx32,
                static_cast<uint32_t>(record.digitalInputs));
  return head + EyeText(record, 0) + "  " + EyeText(record, 1) + tail;
}

const char* EventTypeName(int type) {
  static const char* const kNames[] = {"undefined", "fixation", "saccade", "pso", "pursuit",
                                       "blink"};
  return type >= 0 && type <= 5 ? kNames[type] : kNames[0];
}

namespace {

std::string FlagsText(uint8_t flags) {
  std::string text;
  if (flags & SACCADRIX_EVENT_FLAG_CUT) text = "cut";
  if (flags & SACCADRIX_EVENT_FLAG_REJECTED) text += text.empty() ? "rejected" : "+rejected";
  return text;
}

// A number for CSV: empty when it is not a number (a lost position), full precision otherwise.
std::string CsvNumber(double value, const char* format) {
  if (!std::isfinite(value)) return "";
  char text[48];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string EventLine(const T_EVENT_STRUCT& e, double origin) {
  char text[320];
  if (e.phase != SACCADRIX_EVENT_END) {
    std::snprintf(text, sizeof text, "eye %d %-9s start  %.4f s  at (%.2f, %.2f) deg", e.eye,
                  EventTypeName(e.type), e.startTime - origin, e.startX, e.startY);
  } else {
    std::snprintf(text, sizeof text,
                  "eye %d %-9s end    %.4f .. %.4f s (%.1f ms)  (%.2f, %.2f) -> (%.2f, %.2f) "
                  "deg, amplitude %.2f deg, peak %.0f deg/s",
                  e.eye, EventTypeName(e.type), e.startTime - origin, e.endTime - origin,
                  (e.endTime - e.startTime) * 1e3, e.startX, e.startY, e.endX, e.endY,
                  e.amplitude, e.peakVelocity);
  }
  std::string line = text;
  if (e.flags != 0) line += " [" + FlagsText(e.flags) + "]";
  return line;
}

std::string EventCsvHeader() {
  return "eye,phase,type,flags,start_s,end_s,duration_s,start_x_deg,start_y_deg,end_x_deg,"
         "end_y_deg,amplitude_deg,peak_velocity_deg_s,mean_x_deg,mean_y_deg,detected_s,"
         "start_timestamp,end_timestamp,samples";
}

std::string EventCsvLine(const T_EVENT_STRUCT& e) {
  const bool end = e.phase == SACCADRIX_EVENT_END;
  const double none = std::nan("");
  std::string line = std::to_string(e.eye) + (end ? ",end," : ",start,") +
                     EventTypeName(e.type) + "," + FlagsText(e.flags);
  const double fields[] = {e.startTime,
                           end ? e.endTime : none,
                           end ? e.endTime - e.startTime : none,
                           e.startX,
                           e.startY,
                           end ? e.endX : none,
                           end ? e.endY : none,
                           end ? e.amplitude : none,
                           end ? e.peakVelocity : none,
                           end ? e.meanX : none,
                           end ? e.meanY : none,
                           e.detectedTime};
  for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i) {
    // Times to the nanosecond, like the recordings; angles and speeds to 1e-6.
    const bool time = i <= 2 || i == 11;
    line += "," + CsvNumber(fields[i], time ? "%.9f" : "%.6f");
  }
  line += "," + std::to_string(static_cast<unsigned long long>(e.startTimestamp)) + "," +
          (end ? std::to_string(static_cast<unsigned long long>(e.endTimestamp)) : "") + "," +
          (end ? std::to_string(e.sampleCount) : "");
  return line;
}

void EventCounts::Add(const T_EVENT_STRUCT& e) {
  dropped += e.dropped;
  if (e.phase == SACCADRIX_EVENT_END && !(e.flags & SACCADRIX_EVENT_FLAG_REJECTED) &&
      e.type >= 0 && e.type <= 5) {
    ++byType[e.type];
  }
}

std::string EventCounts::Summary() const {
  static const char* const kPlural[] = {"undefined", "fixations", "saccades", "PSOs",
                                        "pursuits", "blinks"};
  static const char* const kSingular[] = {"undefined", "fixation", "saccade", "PSO",
                                          "pursuit", "blink"};
  std::string text;
  for (int t = 1; t <= 5; ++t) {
    if (!text.empty()) text += ", ";
    text += std::to_string(byType[t]) + " " + (byType[t] == 1 ? kSingular[t] : kPlural[t]);
  }
  return text;
}

}  // namespace saccadrix::cli
