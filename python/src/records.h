// Records as Python sees them: one record as a Result object, many as rows of a NumPy
// structured array whose fields are the 41 result columns (named as in the command-line
// tool's CSV files) followed by host_time and sample_time.
#ifndef SACCADRIX_PYTHON_RECORDS_H
#define SACCADRIX_PYTHON_RECORDS_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>

#include "saccadrix/result_columns.hpp"
#include "saccadrix/saccadrix.h"

namespace saccadrix::python {

// One record and the host time at which it reached the computer.
struct Result {
  T_RESULTS_STRUCT record{};
  double host_time = 0;
};

// One row of the structured array, packed in column order. The array's dtype is built from
// the column table with these offsets (see RecordDtype), and a row is filled field by field
// from a record in one pass.
#pragma pack(push, 1)
struct EyeRow {
  float values[13];           // the value columns of the eye, in column order
  uint8_t tracked;
  uint8_t status_bit0;
  uint8_t calibrated;
  uint8_t reserved;
  uint8_t first_trigger_pin;
};
struct Row {
  uint64_t timestamp;
  uint16_t results_type;
  EyeRow eye[2];
  uint32_t digital_inputs;
  uint8_t event_pin;
  uint8_t unused;
  double host_time;
  double sample_time;  // NaN where the library has no clock mapping for the record
};
#pragma pack(pop)

// The row fields, one per array field: the column table's 41 columns, then the two times.
inline constexpr size_t kRowFieldCount = columns::kColumnCount + 2;

// The dtype of recording arrays (created once).
pybind11::dtype RecordDtype();

// Fills a row from a record.
void FillRow(Row& row, const T_RESULTS_STRUCT& record, double host_time, double sample_time);

// A new uninitialised record array of n rows.
pybind11::array NewRecordArray(size_t n);

}  // namespace saccadrix::python

#endif  // SACCADRIX_PYTHON_RECORDS_H
