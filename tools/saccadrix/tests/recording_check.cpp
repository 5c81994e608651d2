// Checks the files "saccadrix record" wrote against a virtual tracker:
//   recording_check CSV MAT MIN_ROWS RESULTS_TYPE SERIAL
// Both files must hold the same rows; the timestamps must count up by one from the restart
// at 0 (the virtual tracker counts samples, so a gap is a lost record and a repeat a
// duplicated one); flags must be 0 or 1; the 41st column must be 0; host_time must never
// decrease, and sample_time (when the report became readable) must not come after it.
#include <matio.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Expect(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what.c_str());
    ++failures;
  }
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream s(line);
  for (std::string f; std::getline(s, f, ',');) fields.push_back(f);
  return fields;
}

// The columns a MATLAB user finds by number: the gateway's output order.
constexpr size_t kColumns = 43;
const char* const kExpectedNames[kColumns] = {
    "timestamp", "results_type",
    "eye0_pupil_x", "eye0_pupil_y", "eye0_reflection_x", "eye0_reflection_y",
    "eye0_list_value1", "eye0_list_value2", "eye0_gaze_x", "eye0_gaze_y", "eye0_gaze_z",
    "eye0_angle1", "eye0_angle2", "eye0_angle3", "eye0_angle4", "eye0_tracked",
    "eye0_status_bit0", "eye0_calibrated", "eye0_reserved", "eye0_first_trigger_pin",
    "eye1_pupil_x", "eye1_pupil_y", "eye1_reflection_x", "eye1_reflection_y",
    "eye1_list_value1", "eye1_list_value2", "eye1_gaze_x", "eye1_gaze_y", "eye1_gaze_z",
    "eye1_angle1", "eye1_angle2", "eye1_angle3", "eye1_angle4", "eye1_tracked",
    "eye1_status_bit0", "eye1_calibrated", "eye1_reserved", "eye1_first_trigger_pin",
    "digital_inputs", "event_pin", "unused", "host_time", "sample_time"};
constexpr size_t kHostTime = 41, kSampleTime = 42;
// The CSV gives host-clock seconds to the nanosecond.
constexpr double kCsvSecondsResolution = 1e-9;

std::vector<double> MatColumn(mat_t* mat, const char* name) {
  std::vector<double> values;
  matvar_t* var = Mat_VarRead(mat, name);
  if (var == nullptr || var->class_type != MAT_C_DOUBLE || var->rank != 2 || var->dims[1] != 1) {
    Expect(false, std::string("MAT variable ") + name + " is an N-by-1 double column");
  } else {
    const auto* data = static_cast<const double*>(var->data);
    values.assign(data, data + var->dims[0]);
  }
  Mat_VarFree(var);
  return values;
}

std::string MatText(mat_t* mat, const char* name) {
  matvar_t* var = Mat_VarRead(mat, name);
  std::string text;
  if (var != nullptr && var->class_type == MAT_C_CHAR && var->data != nullptr) {
    text.assign(static_cast<const char*>(var->data), var->dims[0] * var->dims[1]);
  }
  Mat_VarFree(var);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: recording_check CSV MAT MIN_ROWS RESULTS_TYPE SERIAL\n");
    return 2;
  }
  const size_t minRows = std::strtoul(argv[3], nullptr, 10);
  const double resultsType = std::strtod(argv[4], nullptr);

  std::ifstream csv(argv[1]);
  std::string line;
  Expect(static_cast<bool>(std::getline(csv, line)), "CSV has a header");
  const std::vector<std::string> header = Split(line);
  Expect(header.size() == kColumns, "CSV header has 43 columns");
  for (size_t k = 0; k < header.size() && k < kColumns; ++k) {
    Expect(header[k] == kExpectedNames[k], "CSV column " + std::to_string(k + 1) + " is " +
                                               kExpectedNames[k] + ", not " + header[k]);
  }
  std::vector<std::vector<std::string>> rows;
  while (std::getline(csv, line)) rows.push_back(Split(line));
  Expect(rows.size() >= minRows,
         "at least " + std::to_string(minRows) + " rows, got " + std::to_string(rows.size()));

  mat_t* mat = Mat_Open(argv[2], MAT_ACC_RDONLY);
  if (mat == nullptr) {
    std::printf("FAILED: cannot open %s\n", argv[2]);
    return 1;
  }
  std::vector<double> hostTimes, sampleTimes;
  for (size_t k = 0; k < kColumns; ++k) {
    const std::vector<double> column = MatColumn(mat, kExpectedNames[k]);
    if (k == kHostTime) hostTimes = column;
    if (k == kSampleTime) sampleTimes = column;
    Expect(column.size() == rows.size(), std::string("MAT ") + kExpectedNames[k] +
                                             " has as many rows as the CSV");
    for (size_t i = 0; i < column.size() && i < rows.size(); ++i) {
      const std::vector<std::string>& row = rows[i];
      if (row.size() != kColumns) {
        Expect(false, "CSV row " + std::to_string(i) + " has 43 fields");
        break;
      }
      // CSV floats carry 9 digits: the same single-precision value as the MAT file's; times
      // are doubles to the nanosecond.
      const double fromCsv = std::strtod(row[k].c_str(), nullptr);
      const bool same =
          (k >= kHostTime ? std::fabs(fromCsv - column[i]) <= kCsvSecondsResolution
                          : static_cast<float>(fromCsv) == static_cast<float>(column[i])) ||
          (std::isnan(fromCsv) && std::isnan(column[i]));
      if (!same) {
        Expect(false, std::string("row ") + std::to_string(i) + " " + kExpectedNames[k] +
                          ": CSV " + row[k] + " vs MAT " + std::to_string(column[i]));
        break;
      }
      std::string wrong;
      if (k == 0 && std::strtoull(row[0].c_str(), nullptr, 10) != i) {
        wrong = "timestamp is not " + std::to_string(i) + " (a record lost or repeated)";
      } else if (k == 1 && column[i] != resultsType) {
        wrong = "results_type is not " + std::string(argv[4]);
      } else if ((k == 15 || k == 16 || k == 33 || k == 34) && column[i] != 0 && column[i] != 1) {
        wrong = "a flag is not 0 or 1";
      } else if ((k == 18 || k == 36 || k == 40) && column[i] != 0) {
        wrong = "a column that is always 0 is not";
      }
      if (!wrong.empty()) {
        Expect(false, "row " + std::to_string(i) + " " + kExpectedNames[k] + ": " + wrong);
        break;
      }
    }
  }
  for (size_t i = 0; i < hostTimes.size() && i < sampleTimes.size(); ++i) {
    if (i > 0 && hostTimes[i] < hostTimes[i - 1]) {
      Expect(false, "row " + std::to_string(i) + ": host_time decreases");
      break;
    }
    if (!(sampleTimes[i] <= hostTimes[i] + kCsvSecondsResolution)) {
      Expect(false, "row " + std::to_string(i) + ": sample_time " +
                        std::to_string(sampleTimes[i]) + " is not at or before host_time " +
                        std::to_string(hostTimes[i]));
      break;
    }
  }
  Expect(MatText(mat, "serial_number") == argv[5], "serial_number is " + std::string(argv[5]));
  const std::vector<double> model = MatColumn(mat, "model_code");
  Expect(model.size() == 1 && model[0] >= 1 && model[0] <= 4, "model_code is 1..4");
  Mat_Close(mat);
  if (failures == 0) {
    std::printf("recording ok: %zu rows\n", rows.size());
  }
  return failures == 0 ? 0 : 1;
}
