#include "result_columns.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace saccadrix::cli {

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
    std::snprintf(text, sizeof text, "%" PRIu64, columns::IntegerValue(record, column));
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
  AppendCsvLine(line, record);
  return line;
}

void AppendCsvLine(std::string& out, const T_RESULTS_STRUCT& record) {
  for (size_t i = 0; i < kColumnCount; ++i) {
    if (i > 0) out += ',';
    AppendColumnText(out, record, kColumns[i]);
  }
}

}  // namespace saccadrix::cli
