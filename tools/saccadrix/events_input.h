// Gaze samples for event detection, read from a CSV file: a recording written by
// 'saccadrix record' (calibrated), or any CSV whose header names time_s, x_deg and y_deg.
#ifndef SACCADRIX_TOOLS_EVENTS_INPUT_H
#define SACCADRIX_TOOLS_EVENTS_INPUT_H

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace saccadrix::cli {

// One eye's samples (or the samples of a plain CSV), in input order. Rows without a usable
// time (empty, NaN, or not after the row before) are left out; row[i] is the input data row
// (0-based) of sample i.
struct GazeSeries {
  int eye = -1;  // -1 for a plain CSV
  std::vector<double> time, x, y;
  std::vector<size_t> row;
  size_t valid = 0;  // samples with a position
};

struct EventInput {
  bool recording = false;
  size_t rows = 0;                  // data rows read
  std::vector<GazeSeries> series;   // the eyes asked for (recordings), or the one series
  std::vector<std::string> notes;   // what the reader assumed or left out, for the user
};

struct EventInputOptions {
  int eye = -1;                 // recordings: 0 or 1, or -1 for both
  double timestampRate = 1000;  // recordings without sample_time: timestamp ticks per second
};

// Reads the whole stream. Throws a usage Failure that names the file and the line for input
// that cannot be used: no header, neither kind of CSV, a raw recording, a field that is not
// a number, a row of the wrong length.
EventInput ReadEventInput(std::istream& in, const std::string& name,
                          const EventInputOptions& options);

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_EVENTS_INPUT_H
