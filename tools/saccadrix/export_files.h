// Writing a recording as CSV and as a MATLAB MAT file. Both files are written under a
// temporary name in the destination's folder and renamed over the destination only when
// complete, so a destination never holds a partial file.
#ifndef SACCADRIX_TOOLS_EXPORT_FILES_H
#define SACCADRIX_TOOLS_EXPORT_FILES_H

#include <cstdint>
#include <string>
#include <vector>

#include "saccadrix/saccadrix.h"

namespace saccadrix::cli {

// A file under construction. The temporary file is created at once, so that a destination
// that cannot be written is found out before anything is recorded; it is removed again
// unless Commit() renamed it over the destination. Errors throw Failure (kOutputFile).
class PendingFile {
 public:
  explicit PendingFile(std::string destination);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const std::string& destination() const { return destination_; }
  const std::string& temporary() const { return temporary_; }
  void Commit();

 private:
  std::string destination_;
  std::string temporary_;
  bool committed_ = false;
};

// Facts about the recording stored next to the columns in a MAT file.
struct RecordingInfo {
  int model = 0;
  uint16_t firmware = 0;
  std::string serial;
  std::string started;  // local time, ISO 8601
};

// The header line and one line per record, the 41 columns of result_columns.h.
void WriteCsv(const std::string& path, const std::vector<T_RESULTS_STRUCT>& records);

// A MAT file (version 5, compressed) with one N-by-1 double variable per column, named as
// the CSV header names them, the cell array "columns" with those names in column order, and
// the variables model_code, firmware_version, serial_number and recording_start.
void WriteMat(const std::string& path, const std::vector<T_RESULTS_STRUCT>& records,
              const RecordingInfo& info);

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_EXPORT_FILES_H
