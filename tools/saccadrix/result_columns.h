// The 41 result columns: the same columns, in the same order, as the MATLAB/Octave gateway
// returns from a recording, so that column k of a CSV or MAT file is output k there.
#ifndef SACCADRIX_TOOLS_RESULT_COLUMNS_H
#define SACCADRIX_TOOLS_RESULT_COLUMNS_H

#include <cstddef>
#include <string>

#include "saccadrix/result_columns.hpp"
#include "saccadrix/saccadrix.h"

namespace saccadrix::cli {

using columns::Column;
using columns::Field;
using columns::kColumnCount;
using columns::kColumns;
using columns::ColumnValue;

// The column's value as CSV text: integers exactly (the whole 64-bit timestamp), floats with
// the 9 significant digits that give back the same single-precision value.
void AppendColumnText(std::string& out, const T_RESULTS_STRUCT& record, const Column& column);

// Header line and one record as a CSV line, both without the line end.
std::string CsvHeader();
std::string CsvLine(const T_RESULTS_STRUCT& record);
// The same line appended to out (a writer reuses one buffer for a block of lines).
void AppendCsvLine(std::string& out, const T_RESULTS_STRUCT& record);

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_RESULT_COLUMNS_H
