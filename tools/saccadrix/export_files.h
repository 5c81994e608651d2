// Writing a recording as CSV and as a MATLAB MAT file. Both files are written under a
// temporary name in the destination's folder and renamed over the destination only when
// complete, so a destination never holds a partial file. The writers take the records a
// block at a time while the tracker records, so their memory does not grow with the
// recording's length.
#ifndef SACCADRIX_TOOLS_EXPORT_FILES_H
#define SACCADRIX_TOOLS_EXPORT_FILES_H

#include <cstdint>
#include <memory>
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

// A time-stamped message of the recording (zelSaccadrixAddMarker).
struct Marker {
  double hostTime = 0;     // seconds on the host clock
  uint64_t timestamp = 0;  // the tracker's timestamp at that moment (0: no mapping)
  std::string text;
};

// The markers of the library's current recording, in the order they were added, with
// timestamps as the clock mapping gives them now.
std::vector<Marker> RecordingMarkers();

// Which columns a file holds: the 41 result columns alone, or followed by host_time and
// sample_time (seconds on the host clock: when the record was read, and when its sample
// became readable as the clock mapping estimates it).
enum class Times { kWithout, kWith };

// Records as the library hands them out: records[i] with hostTimes[i] and sampleTimes[i].
// The time arrays are read only by writers made with Times::kWith.
struct RecordBlock {
  const T_RESULTS_STRUCT* records = nullptr;
  const double* hostTimes = nullptr;
  const double* sampleTimes = nullptr;
  size_t count = 0;
};

class TextFile;

// A CSV file written as the records come: the header line, then one line per record.
// Throws Failure (kOutputFile) on any error, a full disk included.
class CsvWriter {
 public:
  CsvWriter(const std::string& path, Times times);
  ~CsvWriter();
  CsvWriter(const CsvWriter&) = delete;
  CsvWriter& operator=(const CsvWriter&) = delete;

  void Append(const RecordBlock& block);
  // Writes out what is buffered, syncs the file to disk and closes it.
  void Finish();

 private:
  std::unique_ptr<TextFile> file_;
  Times times_;
  std::string line_;
};

// A MAT file (version 5) written as the records come, in memory that does not depend on the
// recording's length. A MAT file keeps each variable in one piece, so the columns cannot go
// into it while they grow: each one is compressed as it arrives into a scratch file of its
// own (next to the destination, and unlinked at once, so that nothing is left behind
// whatever ends the process), and Finish() copies the compressed columns into the file.
//
// The file holds one N-by-1 double variable per column, named as the CSV header names them;
// the cell array "columns" with those names in column order; model_code, firmware_version,
// serial_number and recording_start; and with Times::kWith the markers: marker_time (double,
// host clock), marker_timestamp (uint64, exact beyond 2^53) and marker_text (cell of char,
// stored in UTF-16 as MATLAB stores text; bytes that are not UTF-8 become U+FFFD), each
// M-by-1. A version 5 variable is limited to 2^32 bytes: a MAT file holds at most
// kMaxMatRows records (9.3 hours at 16 000 records a second); Append throws beyond that.
class MatWriter {
 public:
  static constexpr uint64_t kMaxMatRows = 536870000;

  MatWriter(const std::string& path, Times times);
  ~MatWriter();
  MatWriter(const MatWriter&) = delete;
  MatWriter& operator=(const MatWriter&) = delete;

  void Append(const RecordBlock& block);
  void Finish(const RecordingInfo& info, const std::vector<Marker>& markers);

 private:
  class ColumnStream;

  std::string path_;
  Times times_;
  uint64_t rows_ = 0;
  std::vector<std::unique_ptr<ColumnStream>> columns_;
};

// The markers as CSV: the header "host_time,timestamp,text" and a line per marker; the text
// is always quoted, with its quotes doubled and its line breaks kept inside the quotes.
void WriteMarkersCsv(const std::string& path, const std::vector<Marker>& markers);

// A whole recording at once, the 41 columns only (the demo's trial).
void WriteCsv(const std::string& path, const std::vector<T_RESULTS_STRUCT>& records);
void WriteMat(const std::string& path, const std::vector<T_RESULTS_STRUCT>& records,
              const RecordingInfo& info);

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_EXPORT_FILES_H
