#include "records.h"

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "calls.h"

namespace py = pybind11;

namespace saccadrix::python {

namespace {

using columns::Column;
using columns::Field;
using columns::kColumnCount;
using columns::kColumns;

constexpr size_t kEyeColumnCount = 18;
constexpr size_t kEyeValueCount = 13;
constexpr size_t kFirstEyeColumn = 2;

// The row struct follows the column table; these checks fail the build when the table's
// order and the struct part ways.
constexpr bool ColumnsMatchRow() {
  if (kColumnCount != 41) return false;
  if (kColumns[0].field != Field::kTimestamp || kColumns[1].field != Field::kResultsType)
    return false;
  constexpr Field kFlags[] = {Field::kTracked, Field::kStatusBit0, Field::kCalibrated,
                              Field::kReserved, Field::kFirstTriggerPin};
  for (int e = 0; e < 2; ++e) {
    const size_t base = kFirstEyeColumn + static_cast<size_t>(e) * kEyeColumnCount;
    for (size_t i = 0; i < kEyeColumnCount; ++i) {
      const Column& c = kColumns[base + i];
      if (c.eye != e) return false;
      const Field expected = i < kEyeValueCount ? Field::kValue : kFlags[i - kEyeValueCount];
      if (c.field != expected) return false;
    }
  }
  return kColumns[38].field == Field::kDigitalInputs && kColumns[39].field == Field::kEventPin &&
         kColumns[40].field == Field::kUnused;
}
static_assert(ColumnsMatchRow(), "the row struct follows the column table");
static_assert(sizeof(EyeRow) == 57 && sizeof(Row) == 146, "rows are packed");

// values[] slot of each value column of an eye, in column order.
constexpr std::array<int, kEyeValueCount> EyeSlots() {
  std::array<int, kEyeValueCount> slots{};
  for (size_t i = 0; i < kEyeValueCount; ++i) slots[i] = kColumns[kFirstEyeColumn + i].slot;
  return slots;
}
constexpr std::array<int, kEyeValueCount> kEyeSlots = EyeSlots();

// NumPy type and size of a column's field.
struct FieldFormat {
  const char* format;
  size_t size;
};
FieldFormat FormatOf(Field field) {
  switch (field) {
    case Field::kTimestamp: return {"<u8", 8};
    case Field::kResultsType: return {"<u2", 2};
    case Field::kValue: return {"<f4", 4};
    case Field::kDigitalInputs: return {"<u4", 4};
    case Field::kTracked:
    case Field::kStatusBit0:
    case Field::kCalibrated:
    case Field::kReserved:
    case Field::kFirstTriggerPin:
    case Field::kEventPin:
    case Field::kUnused: break;
  }
  return {"u1", 1};
}

py::dtype MakeRecordDtype() {
  py::list names, formats, offsets;
  size_t offset = 0;
  for (const Column& c : kColumns) {
    const FieldFormat f = FormatOf(c.field);
    names.append(c.name);
    formats.append(f.format);
    offsets.append(offset);
    offset += f.size;
  }
  if (offset != offsetof(Row, host_time)) {
    throw std::logic_error("the record dtype does not match the row layout");
  }
  for (const char* name : {"host_time", "sample_time"}) {
    names.append(name);
    formats.append("<f8");
    offsets.append(offset);
    offset += sizeof(double);
  }
  py::dict layout;
  layout["names"] = names;
  layout["formats"] = formats;
  layout["offsets"] = offsets;
  layout["itemsize"] = sizeof(Row);
  return py::dtype::from_args(layout);
}

// A column's value as a Python number: an int for integer fields, a float for values.
py::object ColumnObject(const T_RESULTS_STRUCT& record, const Column& column) {
  if (column.field == Field::kValue) {
    return py::float_(static_cast<double>(record.eye[column.eye].values[column.slot]));
  }
  return py::int_(columns::IntegerValue(record, column));
}

}  // namespace

py::dtype RecordDtype() {
  // Made on first use (under the GIL) and kept for the life of the process: NumPy's dtype
  // objects are immortal in practice, and the module is never unloaded.
  static py::dtype* dtype = new py::dtype(MakeRecordDtype());
  return *dtype;
}

void FillRow(Row& row, const T_RESULTS_STRUCT& record, double host_time, double sample_time) {
  row.timestamp = record.timestamp;
  row.results_type = record.resultsType;
  for (int e = 0; e < 2; ++e) {
    const T_EYE_RESULTS& in = record.eye[e];
    EyeRow& out = row.eye[e];
    for (size_t i = 0; i < kEyeValueCount; ++i) out.values[i] = in.values[kEyeSlots[i]];
    out.tracked = in.tracked;
    out.status_bit0 = in.statusBit0;
    out.calibrated = in.calibrated;
    out.reserved = in.reserved;
    out.first_trigger_pin = in.firstTriggerPin;
  }
  row.digital_inputs = record.digitalInputs;
  row.event_pin = record.eventPin;
  row.unused = 0;
  row.host_time = host_time;
  row.sample_time = sample_time;
}

py::array NewRecordArray(size_t n) {
  const std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(n)};
  return py::array(RecordDtype(), shape);
}

void BindResults(py::module_& m) {
  py::class_<Result> result(m, "Result", R"doc(
One tracking result: the tracker's record and the host time at which it reached the computer.

Its attributes are the 41 result columns, named as in the command-line tool's CSV files
(``timestamp``, ``results_type``, ``eye0_pupil_x`` ... ``eye1_first_trigger_pin``,
``digital_inputs``, ``event_pin``, ``unused``), and ``host_time`` (seconds of
:func:`saccadrix.host_clock`; 0 before the first result).
)doc");
  for (size_t i = 0; i < kColumnCount; ++i) {
    const Column column = kColumns[i];
    const std::string doc = "Result column " + std::to_string(i + 1) + " of 41 (" +
                            (column.field == Field::kValue ? "float" : "int") + ").";
    result.def_property_readonly(
        column.name, [column](const Result& r) { return ColumnObject(r.record, column); },
        doc.c_str());
  }
  result.def_property_readonly("host_time", [](const Result& r) { return r.host_time; },
                               "Host time (s) at which the record reached the computer.");
  py::tuple names(kColumnCount);
  for (size_t i = 0; i < kColumnCount; ++i) names[i] = kColumns[i].name;
  result.attr("columns") = names;
  result.def(
      "as_dict",
      [](const Result& r) {
        py::dict d;
        for (const Column& c : kColumns) d[c.name] = ColumnObject(r.record, c);
        d["host_time"] = r.host_time;
        return d;
      },
      "The 41 columns and host_time as a dict.");
  result.def("__repr__", [](const Result& r) {
    const T_RESULTS_STRUCT& rec = r.record;
    std::string text = "Result(timestamp=" + std::to_string(rec.timestamp) +
                       ", results_type=" + std::to_string(rec.resultsType) +
                       ", host_time=" + py::repr(py::float_(r.host_time)).cast<std::string>();
    for (int e = 0; e < 2; ++e) {
      text += ", eye" + std::to_string(e) + "_tracked=" + std::to_string(rec.eye[e].tracked);
    }
    return text + ")";
  });

  m.def("record_dtype", &RecordDtype,
        "The NumPy dtype of recording arrays: the 41 columns, host_time, sample_time.");
}

}  // namespace saccadrix::python
