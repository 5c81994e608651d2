#include "live_format.h"

#include <cinttypes>
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

}  // namespace saccadrix::cli
