#include "result_columns.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace saccadrix::cli {

// Slots of values[] in the order the columns of one eye carry them: the pupil centre before
// the reflection centre, then the per-eye list, the gaze vector and the four angles.
#define SACCADRIX_EYE_COLUMNS(e)                                       \
  {"eye" #e "_pupil_x", Field::kValue, e, 2},                           \
  {"eye" #e "_pupil_y", Field::kValue, e, 3},                           \
  {"eye" #e "_reflection_x", Field::kValue, e, 0},                      \
  {"eye" #e "_reflection_y", Field::kValue, e, 1},                      \
  {"eye" #e "_list_value1", Field::kValue, e, 4},                       \
  {"eye" #e "_list_value2", Field::kValue, e, 5},                       \
  {"eye" #e "_gaze_x", Field::kValue, e, 8},                            \
  {"eye" #e "_gaze_y", Field::kValue, e, 9},                            \
  {"eye" #e "_gaze_z", Field::kValue, e, 10},                           \
  {"eye" #e "_angle1", Field::kValue, e, 11},                           \
  {"eye" #e "_angle2", Field::kValue, e, 12},                           \
  {"eye" #e "_angle3", Field::kValue, e, 13},                           \
  {"eye" #e "_angle4", Field::kValue, e, 14},                           \
  {"eye" #e "_tracked", Field::kTracked, e, 0},                         \
  {"eye" #e "_status_bit0", Field::kStatusBit0, e, 0},                  \
  {"eye" #e "_calibrated", Field::kCalibrated, e, 0},                   \
  {"eye" #e "_reserved", Field::kReserved, e, 0},                       \
  {"eye" #e "_first_trigger_pin", Field::kFirstTriggerPin, e, 0}

const Column kColumns[kColumnCount] = {
    {"timestamp", Field::kTimestamp, 0, 0},
    {"results_type", Field::kResultsType, 0, 0},
    SACCADRIX_EYE_COLUMNS(0),
    SACCADRIX_EYE_COLUMNS(1),
    {"digital_inputs", Field::kDigitalInputs, 0, 0},
    {"event_pin", Field::kEventPin, 0, 0},
    {"unused", Field::kUnused, 0, 0},
};

#undef SACCADRIX_EYE_COLUMNS

namespace {

// Integer fields widened to 64 bits; the packed record's fields are read by value.
uint64_t IntegerValue(const T_RESULTS_STRUCT& r, const Column& c) {
  const T_EYE_RESULTS& eye = r.eye[c.eye];
  switch (c.field) {
    case Field::kTimestamp: return r.timestamp;
    case Field::kResultsType: return r.resultsType;
    case Field::kTracked: return eye.tracked;
    case Field::kStatusBit0: return eye.statusBit0;
    case Field::kCalibrated: return eye.calibrated;
    case Field::kReserved: return eye.reserved;
    case Field::kFirstTriggerPin: return eye.firstTriggerPin;
    case Field::kDigitalInputs: return r.digitalInputs;
    case Field::kEventPin: return r.eventPin;
    case Field::kValue:
    case Field::kUnused: break;
  }
  return 0;
}

}  // namespace

double ColumnValue(const T_RESULTS_STRUCT& record, const Column& column) {
  if (column.field == Field::kValue) {
    const float value = record.eye[column.eye].values[column.slot];
    return static_cast<double>(value);
  }
  return static_cast<double>(IntegerValue(record, column));
}

void AppendColumnText(std::string& out, const T_RESULTS_STRUCT& record, const Column& column) {
  char text[40];
  if (column.field == Field::kValue) {
    const float value = record.eye[column.eye].values[column.slot];
    // Spelled as MATLAB, Octave and spreadsheets read them back.
    if (std::isnan(value)) {
      out += "NaN";
      return;
    }
    if (std::isinf(value)) {
      out += value > 0 ? "Inf" : "-Inf";
      return;
    }
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  } else {
    std::snprintf(text, sizeof text, "%" PRIu64, IntegerValue(record, column));
  }
  out += text;
}

std::string CsvHeader() {
  std::string line;
  for (size_t i = 0; i < kColumnCount; ++i) {
    if (i > 0) line += ',';
    line += kColumns[i].name;
  }
  return line;
}

std::string CsvLine(const T_RESULTS_STRUCT& record) {
  std::string line;
  line.reserve(400);
  for (size_t i = 0; i < kColumnCount; ++i) {
    if (i > 0) line += ',';
    AppendColumnText(line, record, kColumns[i]);
  }
  return line;
}

}  // namespace saccadrix::cli
