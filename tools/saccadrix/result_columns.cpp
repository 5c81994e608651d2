#include "result_columns.h"

#include <charconv>
#include <cmath>

namespace saccadrix::cli {

void AppendColumnText(std::string& out, const T_RESULTS_STRUCT& record, const Column& column) {
  // std::to_chars writes what printf would ("%.9g", "%llu"), a few times faster: a recording
  // formats some 700 000 values a second while it runs.
  char text[40];
  std::to_chars_result written{};
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
    written = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                            std::chars_format::general, 9);
  } else {
    written = std::to_chars(text, text + sizeof text, columns::IntegerValue(record, column));
  }
  out.append(text, written.ptr);
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
