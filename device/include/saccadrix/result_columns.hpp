// The 41 result columns: how a recording is laid out as columns, the same for the
// MATLAB/Octave gateway (option 6 returns output k as column k), the command-line tool's CSV
// and MAT files, and any C++ client that wants that layout. Header-only, C++17.
#ifndef SACCADRIX_RESULT_COLUMNS_HPP
#define SACCADRIX_RESULT_COLUMNS_HPP

#include <cstddef>
#include <cstdint>

#include "saccadrix/saccadrix.h"

namespace saccadrix::columns {

// Which record field a column carries.
enum class Field {
  kTimestamp,
  kResultsType,
  kValue,  // eye[eye].values[slot]
  kTracked,
  kStatusBit0,
  kCalibrated,
  kReserved,
  kFirstTriggerPin,
  kDigitalInputs,
  kEventPin,
  kUnused,  // the last column: always 0
};

struct Column {
  const char* name;
  Field field;
  int eye;   // 0 or 1 for per-eye fields
  int slot;  // index into values[] for kValue
};

// Within each eye the pupil centre (values 2, 3) comes before the reflection centre
// (values 0, 1); values 6 and 7, the trigger masks and the record size are not columns.
#define SACCADRIX_EYE_COLUMNS(e)                                    \
  Column{"eye" #e "_pupil_x", Field::kValue, e, 2},                 \
  Column{"eye" #e "_pupil_y", Field::kValue, e, 3},                 \
  Column{"eye" #e "_reflection_x", Field::kValue, e, 0},            \
  Column{"eye" #e "_reflection_y", Field::kValue, e, 1},            \
  Column{"eye" #e "_list_value1", Field::kValue, e, 4},             \
  Column{"eye" #e "_list_value2", Field::kValue, e, 5},             \
  Column{"eye" #e "_gaze_x", Field::kValue, e, 8},                  \
  Column{"eye" #e "_gaze_y", Field::kValue, e, 9},                  \
  Column{"eye" #e "_gaze_z", Field::kValue, e, 10},                 \
  Column{"eye" #e "_angle1", Field::kValue, e, 11},                 \
  Column{"eye" #e "_angle2", Field::kValue, e, 12},                 \
  Column{"eye" #e "_angle3", Field::kValue, e, 13},                 \
  Column{"eye" #e "_angle4", Field::kValue, e, 14},                 \
  Column{"eye" #e "_tracked", Field::kTracked, e, 0},               \
  Column{"eye" #e "_status_bit0", Field::kStatusBit0, e, 0},        \
  Column{"eye" #e "_calibrated", Field::kCalibrated, e, 0},         \
  Column{"eye" #e "_reserved", Field::kReserved, e, 0},             \
  Column{"eye" #e "_first_trigger_pin", Field::kFirstTriggerPin, e, 0}

inline constexpr Column kColumns[] = {
    Column{"timestamp", Field::kTimestamp, 0, 0},
    Column{"results_type", Field::kResultsType, 0, 0},
    SACCADRIX_EYE_COLUMNS(0),
    SACCADRIX_EYE_COLUMNS(1),
    Column{"digital_inputs", Field::kDigitalInputs, 0, 0},
    Column{"event_pin", Field::kEventPin, 0, 0},
    Column{"unused", Field::kUnused, 0, 0},
};

#undef SACCADRIX_EYE_COLUMNS

inline constexpr size_t kColumnCount = sizeof(kColumns) / sizeof(kColumns[0]);
static_assert(kColumnCount == 41, "a recording has 41 columns");

// An integer field widened to 64 bits (0 for kValue and kUnused). The packed record's
// fields are read by value.
inline uint64_t IntegerValue(const T_RESULTS_STRUCT& record, const Column& column) {
  const T_EYE_RESULTS& eye = record.eye[column.eye];
  switch (column.field) {
    case Field::kTimestamp: return record.timestamp;
    case Field::kResultsType: return record.resultsType;
    case Field::kTracked: return eye.tracked;
    case Field::kStatusBit0: return eye.statusBit0;
    case Field::kCalibrated: return eye.calibrated;
    case Field::kReserved: return eye.reserved;
    case Field::kFirstTriggerPin: return eye.firstTriggerPin;
    case Field::kDigitalInputs: return record.digitalInputs;
    case Field::kEventPin: return record.eventPin;
    case Field::kValue:
    case Field::kUnused: break;
  }
  return 0;
}

// The column's value as a double: every field converts exactly, except timestamps above
// 2^53, which round to the nearest double.
inline double ColumnValue(const T_RESULTS_STRUCT& record, const Column& column) {
  if (column.field == Field::kValue) {
    const float value = record.eye[column.eye].values[column.slot];
    return static_cast<double>(value);
  }
  return static_cast<double>(IntegerValue(record, column));
}

}  // namespace saccadrix::columns

#endif  // SACCADRIX_RESULT_COLUMNS_HPP
