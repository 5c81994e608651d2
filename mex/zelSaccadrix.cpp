// zelSaccadrix(option, ...): the MATLAB / GNU Octave gateway of the device library.
//
// Options 0 to 24 and 27 to 35 each call the device library (one function, or a few for the
// exports, the markers, the validation and the events) and return what it reports as new
// arrays; 25 and 26 belong to the video gateway and do nothing here. The gateway keeps no
// state: the connection, the poll thread and the recorded results live in the device
// library, which is never unloaded, so clearing the gateway (clear mex, clear all) leaves a
// running connection alone.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <vector>

#include "gateway.h"
#include "saccadrix/result_columns.hpp"
#include "saccadrix/saccadrix.h"
#include "saccadrix/saccadrix_events.h"
#include "saccadrix/saccadrix_validation.h"

namespace {

using saccadrix::gateway::DoubleArrayInput;
using saccadrix::gateway::FlagInput;
using saccadrix::gateway::IntegerInput;
using saccadrix::gateway::Option;
using saccadrix::gateway::OutputValue;
using saccadrix::gateway::Outputs;
using saccadrix::gateway::Raise;
using saccadrix::gateway::RaiseWithoutId;
using saccadrix::gateway::ScalarInput;
using saccadrix::gateway::StringInput;
using saccadrix::gateway::TextRowInput;

// The eye scale that options 9 and 10 always store.
constexpr double kEyeScale = 100.0;
// Doubles in the calibration vector of options 10 and 11: 16 coefficients, aux1, aux2.
constexpr size_t kCoefficients = 16;
constexpr size_t kCalibrationVector = kCoefficients + 2;
// Doubles per calibration target in the input of option 9.
constexpr size_t kDoublesPerTarget = 4;
// A marker's text: at most 255 bytes and the terminating zero.
constexpr size_t kMarkerTextSize = 256;

// ---- Options whose only output is what one library call returns ----------------------------

template <int (*Function)()>
void ReturnValue(Outputs& out, const mxArray* const[]) {
  auto result = out.Int32(0);
  result.Store(Function());
}

void mexSetResultsType(Outputs& out, const mxArray* const prhs[]) {
  const int32_t type = IntegerInput(prhs[1]);
  auto status = out.Int32(0);
  status.Store(zelSaccadrixSetResultsType(type));
}

void mexGetTrackingStarted(Outputs& out, const mxArray* const[]) {
  auto started = out.Int32(0);
  started.Store(zelSaccadrixGetTrackingStarted());
}

// ---- Option 6: stored results as 41 columns -------------------------------------------------

// The output columns in order: output k carries kColumns[k - 1] of every record read.
using saccadrix::columns::ColumnValue;
using saccadrix::columns::kColumns;
constexpr int kColumnCount = static_cast<int>(saccadrix::columns::kColumnCount);

// Whether `columns` double columns of `rows` rows can be made at all. The host keeps a
// second copy of every column while it takes the outputs over, so both copies must fit into
// the machine's memory. Asking for more would not fail cleanly: the allocation may succeed
// on paper and the process be killed once the pages are touched.
bool ColumnsFit(int32_t rows, int columns) {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) {
    return true;  // unknown: let the host's allocator decide
  }
  const double memory = static_cast<double>(pages) * static_cast<double>(page_size);
  const double needed = 2.0 * static_cast<double>(rows) * columns * sizeof(double);
  return needed <= memory;
}

// The cursor position that leaves the newest n results to read: count - n, as a signed
// 32-bit position. Differences beyond that range saturate (the library refuses them anyway).
int32_t NewestPosition(int32_t count, int32_t n) {
  const int64_t position = static_cast<int64_t>(count) - n;
  return saccadrix::saturating_int32(static_cast<double>(position));
}

// Records read from the library per call while exporting: one call (and one hold of its
// lock, a few tens of microseconds) per chunk instead of per record.
constexpr int32_t kExportChunk = 1024;

// The two exports of stored results: option 6 (the 41 columns) and option 31 (the same 41,
// then each record's host time and sample time).
struct Export {
  int outputs;                      // 41 or 43
  const char* too_many_identifier;  // raised for an N whose columns cannot be made
};
constexpr Export kExportColumns{kColumnCount, "MATLAB:mexGetBufferedResults:tooManyResults"};
constexpr Export kExportColumnsWithTimes{kColumnCount + 2,
                                         "MATLAB:mexGetBufferedResultsWithTimes:tooManyResults"};

// zelSaccadrix(6 or 31, N, remove, fromStart): reads N stored results (N = -1: all of them)
// from the oldest (fromStart nonzero) or as the newest N, removing each if asked, into up to
// kind.outputs N-by-1 double columns: the 41 record columns, then (option 31) the host time
// and the sample time. Only the columns the caller asks for are made; the records are read
// (and removed) all the same. Rows for which no record is left stay 0 in every column.
template <const Export& kind>
void ExportResults(Outputs& out, const mxArray* const prhs[]) {
  int32_t n = IntegerInput(prhs[1]);
  const uint8_t remove = FlagInput(prhs[2]);
  const bool from_start = IntegerInput(prhs[3]) != 0;

  if (n == -1) {
    n = zelSaccadrixGetResultsCount();
  }
  const int columns = out.Room() < kind.outputs ? out.Room() : kind.outputs;
  if (n > 0 && !ColumnsFit(n, columns)) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "Cannot return %ld results: %d output column(s) of %ld rows need %.1f GB, "
                  "more than this computer's memory. No result was read.",
                  static_cast<long>(n), columns, static_cast<long>(n),
                  static_cast<double>(n) * columns * sizeof(double) / 1e9);
    Raise(kind.too_many_identifier, text);
  }

  // The cursor status is not looked at: a refused position leaves the cursor where it was,
  // and reading starts there.
  if (from_start) {
    (void)zelSaccadrixSetBufferPosition(0);
  } else {
    (void)zelSaccadrixSetBufferPosition(NewestPosition(zelSaccadrixGetResultsCount(), n));
  }
  if (n <= 0) {
    RaiseWithoutId("Error in zelSaccadrix: Cannot create a matrix smaller than 1-by-1 in size");
  }

  double* data[kColumnCount + 2] = {};
  for (int c = 0; c < columns; ++c) {
    data[c] = out.DoubleColumn(c, static_cast<size_t>(n));
  }
  const int record_columns = columns < kColumnCount ? columns : kColumnCount;
  // The library writes the two times straight into their columns (null: not asked for).
  double* host_times = data[kColumnCount];
  double* sample_times = data[kColumnCount + 1];

  const int32_t chunk_size = n < kExportChunk ? n : kExportChunk;
  auto* chunk = static_cast<T_RESULTS_STRUCT*>(
      mxCalloc(static_cast<size_t>(chunk_size), sizeof(T_RESULTS_STRUCT)));
  if (chunk == nullptr) {
    RaiseWithoutId("Out of memory - not enough free heap space");
  }
  // Reading stops at the first call that finds no record at the cursor.
  for (int32_t row = 0; row < n;) {
    const int32_t wanted = n - row < chunk_size ? n - row : chunk_size;
    const int got = zelSaccadrixGetBufferedResults(
        chunk, host_times != nullptr ? host_times + row : nullptr,
        sample_times != nullptr ? sample_times + row : nullptr, wanted, remove);
    if (got <= 0) {
      break;
    }
    // Column by column: each output column is written in order.
    for (int c = 0; c < record_columns; ++c) {
      double* column = data[c] + row;
      for (int i = 0; i < got; ++i) {
        column[i] = ColumnValue(chunk[i], kColumns[c]);
      }
    }
    row += got;
  }
  mxFree(chunk);
}

// ---- Options 9 to 22 and 24: calibration, settings and identity -----------------------------

// zelSaccadrix(9, eye, count, targets, viewingDistance, aux): fits and stores a gaze
// calibration from count targets, four doubles each (targetX, targetY, eyeX, eyeY), one
// target per column of a 4-by-count matrix; aux holds aux1 and aux2. Returns
// [status; calibrationError] as one 2-by-1 double column.
void mexCalibrateDevice(Outputs& out, const mxArray* const prhs[]) {
  const int32_t eye = IntegerInput(prhs[1]);
  const int32_t count = IntegerInput(prhs[2]);
  if (count < 0) {
    Raise("MATLAB:mexCalibrateDevice:invalidCount",
          "The count of targets (input 3) must not be negative.");
  }
  const size_t values = static_cast<size_t>(count) * kDoublesPerTarget;
  const double* data = DoubleArrayInput(prhs[3], values);
  if (data == nullptr) {
    Raise("MATLAB:mexCalibrateDevice:invalidTargets",
          "Input 4 must be a real double array of at least 4 x count elements.");
  }
  const double* aux = DoubleArrayInput(prhs[5], 2);
  if (aux == nullptr) {
    Raise("MATLAB:mexCalibrateDevice:invalidAux",
          "Input 6 must be a real double array of at least 2 elements (aux1, aux2).");
  }

  std::vector<targ_struct> targets;
  try {
    targets.resize(static_cast<size_t>(count));
  } catch (const std::bad_alloc&) {
    RaiseWithoutId("Out of memory - not enough free heap space");
  }
  for (size_t k = 0; k < targets.size(); ++k) {
    const double* target = data + k * kDoublesPerTarget;
    targets[k].targetX = target[0];
    targets[k].targetY = target[1];
    targets[k].eyeX = target[2];
    targets[k].eyeY = target[3];
  }
  const double viewing_distance = ScalarInput(prhs[4]);

  double* result = out.DoubleColumn(0, 2);
  int calibration_error = 0;
  const int status = zelSaccadrixCalibrateDevice(
      eye, static_cast<uint32_t>(count), targets.empty() ? nullptr : targets.data(), kEyeScale,
      viewing_distance, aux[0], aux[1], &calibration_error);
  result[0] = status;
  result[1] = calibration_error;
}

// zelSaccadrix(10, eye, calibration, viewingDistance): stores the 18-element calibration
// vector that option 11 returns (16 coefficients, aux1, aux2) with the eye scale 100.
void mexSetCalibration(Outputs& out, const mxArray* const prhs[]) {
  const int32_t eye = IntegerInput(prhs[1]);
  const double* vector = DoubleArrayInput(prhs[2], kCalibrationVector);
  if (vector == nullptr) {
    Raise("MATLAB:mexSetCalibration:invalidCalibration",
          "Input 3 must be a real double array of at least 18 elements.");
  }
  double coefficients[kCoefficients];
  for (size_t i = 0; i < kCoefficients; ++i) coefficients[i] = vector[i];
  const double aux1 = vector[kCoefficients];
  const double aux2 = vector[kCoefficients + 1];
  const double viewing_distance = ScalarInput(prhs[3]);

  auto status = out.Int32(0);
  status.Store(
      zelSaccadrixSetCalibration(eye, coefficients, kEyeScale, viewing_distance, aux1, aux2));
}

// zelSaccadrix(11, eye): [calibration (18-by-1), viewingDistance]. The status and the eye
// scale are not returned; values the library did not report read as 0.
void mexGetCalibration(Outputs& out, const mxArray* const prhs[]) {
  const int32_t eye = IntegerInput(prhs[1]);
  double* vector = out.DoubleColumn(0, kCalibrationVector);
  auto distance_out = out.Double(1);

  double coefficients[kCoefficients] = {};
  double eye_scale = 0.0, viewing_distance = 0.0, aux1 = 0.0, aux2 = 0.0;
  (void)zelSaccadrixGetCalibration(eye, coefficients, &eye_scale, &viewing_distance, &aux1,
                                   &aux2);
  for (size_t i = 0; i < kCoefficients; ++i) vector[i] = coefficients[i];
  vector[kCoefficients] = aux1;
  vector[kCoefficients + 1] = aux2;
  distance_out.Store(viewing_distance);
}

void mexSetPupilCalibration(Outputs& out, const mxArray* const prhs[]) {
  const double reference = ScalarInput(prhs[1]);
  const double value = ScalarInput(prhs[2]);
  auto status = out.Int32(0);
  status.Store(zelSaccadrixSetPupilCalibration(reference, value));
}

void mexGetPupilCalibration(Outputs& out, const mxArray* const[]) {
  auto scale_out = out.Double(0);
  double pupil_scale = 0.0;
  (void)zelSaccadrixGetPupilCalibration(&pupil_scale);
  scale_out.Store(pupil_scale);
}

void mexSetTracking(Outputs& out, const mxArray* const prhs[]) {
  const uint8_t first = FlagInput(prhs[1]);
  const uint8_t second = FlagInput(prhs[2]);
  auto status = out.Int32(0);
  status.Store(zelSaccadrixSetTracking(first != 0, second != 0));
}

void mexGetTracking(Outputs& out, const mxArray* const[]) {
  auto first_out = out.Int32(0);
  auto second_out = out.Int32(1);
  auto status_out = out.Int32(2);
  uint8_t first = 0, second = 0;
  const int status = zelSaccadrixGetTracking(&first, &second);
  first_out.Store(first);
  second_out.Store(second);
  status_out.Store(status);
}

// Options 16 and 18: a text the library writes into a zero-filled buffer of fixed size.
template <size_t Size, int (*Function)(char*, size_t)>
void ReturnText(Outputs& out, const mxArray* const[]) {
  char text[Size] = {};
  (void)Function(text, Size);
  text[Size - 1] = '\0';
  out.Text(0, text);
}

void mexGetFirmwareVersion(Outputs& out, const mxArray* const[]) {
  auto version_out = out.UInt16(0);
  uint16_t version = 0;
  (void)zelSaccadrixGetFirmwareVersion(&version);
  version_out.Store(version);
}

// Options 19 and 20: a library call on a file name.
template <int (*Function)(const char*)>
void FileCommand(Outputs& out, const mxArray* const prhs[]) {
  const char* path = StringInput(prhs[1]);
  auto status = out.Int32(0);
  status.Store(Function(path));
}

void mexGetCalibrated(Outputs& out, const mxArray* const prhs[]) {
  const int32_t eye = IntegerInput(prhs[1]);
  auto calibrated_out = out.Int32(0);
  auto status_out = out.Int32(1);
  uint8_t calibrated = 0;
  const int status = zelSaccadrixGetCalibrated(eye, &calibrated);
  calibrated_out.Store(calibrated);
  status_out.Store(status);
}

void mexGetPupilCalibrated(Outputs& out, const mxArray* const[]) {
  auto calibrated_out = out.Int32(0);
  auto status_out = out.Int32(1);
  uint8_t calibrated = 0;
  const int status = zelSaccadrixGetPupilCalibrated(&calibrated);
  calibrated_out.Store(calibrated);
  status_out.Store(status);
}

void mexGetCaptureConfig(Outputs& out, const mxArray* const[]) {
  const OutputValue<int32_t> value_out[] = {out.Int32(0), out.Int32(1), out.Int32(2),
                                            out.Int32(3), out.Int32(4)};
  auto status_out = out.Int32(5);
  int values[5] = {};
  const int status =
      zelSaccadrixGetCaptureConfig(&values[0], &values[1], &values[2], &values[3], &values[4]);
  for (int i = 0; i < 5; ++i) value_out[i].Store(values[i]);
  status_out.Store(status);
}

// ---- Options 27 to 30: the host clock and markers --------------------------------------------

// zelSaccadrix(27): the host clock now, in seconds (a double).
void mexGetHostClock(Outputs& out, const mxArray* const[]) {
  auto seconds_out = out.Double(0);
  double seconds = 0.0;
  (void)zelSaccadrixGetHostClock(&seconds);
  seconds_out.Store(seconds);
}

// Element i of a real numeric array as a device timestamp. False when it is not one: NaN,
// negative, or beyond 2^64 - 1; fractions are truncated toward zero.
template <typename T>
bool TimestampOf(const void* data, size_t i, uint64_t* timestamp) {
  const T value = static_cast<const T*>(data)[i];
  if constexpr (std::is_floating_point_v<T>) {
    // 2^64 is exact as a double; the comparisons are false for NaN.
    if (!(value >= 0 && static_cast<double>(value) < 18446744073709551616.0)) {
      return false;
    }
  } else if constexpr (std::is_signed_v<T>) {
    if (value < 0) {
      return false;
    }
  }
  *timestamp = static_cast<uint64_t>(value);
  return true;
}

// How to read one element of each numeric class as a timestamp (null for other classes).
using TimestampReader = bool (*)(const void*, size_t, uint64_t*);
TimestampReader TimestampReaderFor(mxClassID class_id) {
  switch (class_id) {
    case mxDOUBLE_CLASS: return TimestampOf<double>;
    case mxSINGLE_CLASS: return TimestampOf<float>;
    case mxINT8_CLASS: return TimestampOf<int8_t>;
    case mxUINT8_CLASS: return TimestampOf<uint8_t>;
    case mxINT16_CLASS: return TimestampOf<int16_t>;
    case mxUINT16_CLASS: return TimestampOf<uint16_t>;
    case mxINT32_CLASS: return TimestampOf<int32_t>;
    case mxUINT32_CLASS: return TimestampOf<uint32_t>;
    case mxINT64_CLASS: return TimestampOf<int64_t>;
    case mxUINT64_CLASS: return TimestampOf<uint64_t>;
    default: return nullptr;
  }
}

// zelSaccadrix(28, timestamps): the host time of each device timestamp as the clock mapping
// of the current timestamp epoch estimates it, in an array of doubles shaped like the input.
// NaN for an element that is not a timestamp, and for all of them while there is no mapping.
void mexTimestampToHostClock(Outputs& out, const mxArray* const prhs[]) {
  const mxArray* input = prhs[1];
  const TimestampReader read =
      (mxIsNumeric(input) && !mxIsComplex(input) && !mxIsSparse(input))
          ? TimestampReaderFor(mxGetClassID(input))
          : nullptr;
  const void* timestamps = read != nullptr ? mxGetData(input) : nullptr;
  const size_t count = read != nullptr ? mxGetNumberOfElements(input) : 0;
  if (read == nullptr || (timestamps == nullptr && count > 0)) {
    Raise("MATLAB:mexTimestampToHostClock:invalidTimestamps",
          "Input 2 must be a real numeric array of device timestamps.");
  }
  double* seconds = out.DoubleArrayShapedLike(0, input);
  if (seconds == nullptr) {
    return;
  }
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (size_t i = 0; i < count; ++i) {
    uint64_t timestamp = 0;
    if (!read(timestamps, i, &timestamp) ||
        zelSaccadrixTimestampToHostClock(timestamp, &seconds[i]) != 0) {
      seconds[i] = kNaN;
    }
  }
}

// zelSaccadrix(29, text): adds a marker to the current recording. A text that is not a
// character row goes to the library as no text at all, which refuses it (-3) as it refuses
// a text longer than 255 bytes.
void mexAddMarker(Outputs& out, const mxArray* const prhs[]) {
  const char* text = TextRowInput(prhs[1]);
  auto status = out.Int32(0);
  status.Store(zelSaccadrixAddMarker(text));
}

// zelSaccadrix(30): [hostTimes, timestamps, texts], one row per marker of the current
// recording in the order they were added: doubles, uint64 device timestamps (exact; 0 where
// the mapping gives none) and a cell column of character rows.
void mexGetMarkers(Outputs& out, const mxArray* const[]) {
  const int count = zelSaccadrixGetMarkerCount();
  const size_t rows = count > 0 ? static_cast<size_t>(count) : 0;
  double* host_times = out.DoubleColumn(0, rows);
  uint64_t* timestamps = out.UInt64Column(1, rows);
  mxArray* texts = out.CellColumn(2, rows);
  char text[kMarkerTextSize];
  for (size_t i = 0; i < rows; ++i) {
    double host_time = 0.0;
    uint64_t timestamp = 0;
    if (zelSaccadrixGetMarker(static_cast<int>(i), &host_time, &timestamp, text, sizeof text) !=
        0) {
      text[0] = '\0';  // cleared meanwhile by another thread: the row stays empty
    }
    if (host_times != nullptr) host_times[i] = host_time;
    if (timestamps != nullptr) timestamps[i] = timestamp;
    Outputs::SetText(texts, i, text);
  }
}

// ---- Option 32: a validation of the stored recording ------------------------------------------

constexpr double kDefaultSkipSeconds = 0.3;

// Output struct fields of option 32, each an N-by-2 double (column = eye) per target and a
// 1-by-2 row in `overall`.
struct ValidationFigure {
  const char* name;
  double (*value)(const T_VALIDATION_RESULT&);
};
constexpr ValidationFigure kValidationFigures[] = {
    {"accuracy", [](const T_VALIDATION_RESULT& r) { return r.accuracy; }},
    {"offsetX", [](const T_VALIDATION_RESULT& r) { return r.offsetX; }},
    {"offsetY", [](const T_VALIDATION_RESULT& r) { return r.offsetY; }},
    {"precisionRms", [](const T_VALIDATION_RESULT& r) { return r.precisionRms; }},
    {"precisionSd", [](const T_VALIDATION_RESULT& r) { return r.precisionSd; }},
    {"dataLoss", [](const T_VALIDATION_RESULT& r) { return r.dataLoss; }},
    {"samples", [](const T_VALIDATION_RESULT& r) { return static_cast<double>(r.samples); }},
    {"tracked", [](const T_VALIDATION_RESULT& r) { return static_cast<double>(r.tracked); }},
};
constexpr int kValidationFigureCount =
    static_cast<int>(sizeof(kValidationFigures) / sizeof(kValidationFigures[0]));

// A real, full double matrix of `rows` rows and two columns (x and y, or start and end), or
// null for anything else (rows 0: any number of rows of at least one).
const double* TwoColumnInput(const mxArray* input, size_t rows) {
  if (input == nullptr || mxGetNumberOfDimensions(input) != 2 || mxGetN(input) != 2 ||
      mxGetM(input) < 1 || (rows != 0 && mxGetM(input) != rows)) {
    return nullptr;
  }
  return DoubleArrayInput(input, 2 * mxGetM(input));
}

// A rows-by-columns double matrix as a new array.
mxArray* NewMatrix(size_t rows, size_t columns, double** data) {
  mxArray* array =
      mxCreateDoubleMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(columns), mxREAL);
  if (array == nullptr) {
    RaiseWithoutId("Out of memory - not enough free heap space");
  }
  *data = mxGetPr(array);
  return array;
}

// The figures of `count` targets of `eyes` eyes (results[eyes * k + eye]) as fields of
// `record`, one count-by-eyes matrix per figure.
void SetFigures(mxArray* record, const T_VALIDATION_RESULT* results, size_t count,
                size_t eyes) {
  for (const ValidationFigure& figure : kValidationFigures) {
    double* data = nullptr;
    mxArray* matrix = NewMatrix(count, eyes, &data);
    for (size_t k = 0; k < count; ++k) {
      for (size_t eye = 0; eye < eyes; ++eye) {
        data[eye * count + k] = figure.value(results[eyes * k + eye]);
      }
    }
    mxSetField(record, 0, figure.name, matrix);
  }
}

// Every stored record from the oldest, with its time: the mapped sample time, or the host
// read time where the mapping has none. Nothing is removed. Returns 0 or a negative status.
int ReadRecording(std::vector<T_RESULTS_STRUCT>* records, std::vector<double>* time) {
  const int32_t count = zelSaccadrixGetResultsCount();
  if (count <= 0 || zelSaccadrixSetBufferPosition(0) != SACCADRIX_OK) {
    return SACCADRIX_OK;  // nothing recorded: every window is empty
  }
  std::vector<double> host;
  try {
    records->resize(static_cast<size_t>(count));
    time->resize(static_cast<size_t>(count));
    host.resize(static_cast<size_t>(count));
  } catch (const std::bad_alloc&) {
    RaiseWithoutId("Out of memory - not enough free heap space");
  }
  size_t read = 0;
  while (read < records->size()) {
    const size_t left = records->size() - read;
    const int wanted = static_cast<int>(left < kExportChunk ? left : kExportChunk);
    const int got = zelSaccadrixGetBufferedResults(&(*records)[read], &host[read],
                                                   &(*time)[read], wanted, 0);
    if (got < 0) {
      return got;
    }
    if (got == 0) {
      break;
    }
    read += static_cast<size_t>(got);
  }
  records->resize(read);
  time->resize(read);
  for (size_t i = 0; i < read; ++i) {
    if (!std::isfinite((*time)[i])) (*time)[i] = host[i];
  }
  return SACCADRIX_OK;
}

// The fitted calibrations of both eyes, for raw records. Returns 0 or a negative status.
int ReadCalibrations(T_GAZE_CALIBRATION (&calibration)[2]) {
  for (int eye = 0; eye < 2; ++eye) {
    double distance = 0.0, aux1 = 0.0, aux2 = 0.0;
    const int status = zelSaccadrixGetCalibration(eye, calibration[eye].coefficients,
                                                  &calibration[eye].eyeScale, &distance, &aux1,
                                                  &aux2);
    if (status < 0) {
      return status;
    }
  }
  return SACCADRIX_OK;
}

// The validation of the stored recording, both eyes: per_target[2 * k + eye].
int ValidateRecording(const std::vector<T_VALIDATION_TARGET>& targets,
                      const T_VALIDATION_PARAMS& params, T_VALIDATION_RESULT* per_target,
                      T_VALIDATION_RESULT* overall) {
  std::vector<T_RESULTS_STRUCT> records;
  std::vector<double> time;
  int status = ReadRecording(&records, &time);
  T_GAZE_CALIBRATION calibration[2] = {};
  bool raw = false;
  for (const T_RESULTS_STRUCT& r : records) raw = raw || r.resultsType == 0;
  if (status == SACCADRIX_OK && raw) {
    status = ReadCalibrations(calibration);
  }
  if (status != SACCADRIX_OK) {
    return status;
  }
  return zelSaccadrixValidateRecords(records.empty() ? nullptr : records.data(),
                                     time.empty() ? nullptr : time.data(),
                                     static_cast<int>(records.size()),
                                     raw ? calibration : nullptr, targets.data(),
                                     static_cast<int>(targets.size()), &params, per_target,
                                     overall);
}

bool IsRealDouble(const mxArray* input) {
  return mxIsDouble(input) && !mxIsComplex(input) && !mxIsSparse(input);
}

// The validation of samples a script gives, one eye: M sample times (any shape) and an
// M-by-3 array of gaze vectors (x, y, z), lost where a vector is zero or not finite.
int ValidateArrays(const mxArray* time_input, const mxArray* gaze_input,
                   const std::vector<T_VALIDATION_TARGET>& targets,
                   const T_VALIDATION_PARAMS& params, T_VALIDATION_RESULT* per_target,
                   T_VALIDATION_RESULT* overall) {
  const size_t m = mxGetNumberOfElements(time_input);
  if (!IsRealDouble(time_input) || !IsRealDouble(gaze_input) ||
      mxGetNumberOfDimensions(gaze_input) != 2 || mxGetM(gaze_input) != m ||
      mxGetN(gaze_input) != 3 || m > static_cast<size_t>(std::numeric_limits<int>::max())) {
    Raise("MATLAB:mexValidate:invalidSamples",
          "Inputs 6 and 7 must be real double arrays: M sample times and M-by-3 gaze vectors.");
  }
  std::vector<double> gaze;
  try {
    gaze.resize(3 * m);
  } catch (const std::bad_alloc&) {
    RaiseWithoutId("Out of memory - not enough free heap space");
  }
  const double* time = m > 0 ? mxGetPr(time_input) : nullptr;
  const double* columns = m > 0 ? mxGetPr(gaze_input) : nullptr;
  for (size_t i = 0; i < m; ++i) {
    for (size_t c = 0; c < 3; ++c) gaze[3 * i + c] = columns[c * m + i];
  }
  return zelSaccadrixValidate(time, m > 0 ? gaze.data() : nullptr, nullptr,
                              static_cast<int>(m), targets.data(),
                              static_cast<int>(targets.size()), &params, per_target, overall);
}

// zelSaccadrix(32, targets, windows, viewingDistance[, skipSeconds[, time, gaze]]):
// [v, status], a validation of the stored recording (read, not removed) or of the samples
// given. targets is N-by-2 (x, y on the target plane at viewingDistance, or degrees when it
// is 0); windows is N-by-2 (start, end: on the host clock, option 27's seconds, as the
// sample times of option 31; or on the clock of the time given). v holds target, window,
// each figure of T_VALIDATION_RESULT as an N-by-2 matrix (column = eye; N-by-1 for samples
// given) and overall (the same figures as a row); figures are NaN when the status is not 0.
void mexValidate(Outputs& out, const mxArray* const prhs[]) {
  if (prhs[5] != nullptr && prhs[6] == nullptr) {
    Raise("MATLAB:mexValidate:invalidNumInputs", "Four, five or seven inputs required.");
  }
  const double* positions = TwoColumnInput(prhs[1], 0);
  if (positions == nullptr) {
    Raise("MATLAB:mexValidate:invalidTargets",
          "Input 2 must be a real double N-by-2 array of targets (x, y), N at least 1.");
  }
  const size_t n = mxGetM(prhs[1]);
  const double* windows = TwoColumnInput(prhs[2], n);
  if (windows == nullptr) {
    Raise("MATLAB:mexValidate:invalidWindows",
          "Input 3 must be a real double N-by-2 array of windows (start, end), a row per "
          "target.");
  }
  if (n > static_cast<size_t>(std::numeric_limits<int>::max() / 2)) {
    Raise("MATLAB:mexValidate:invalidTargets", "Too many targets.");
  }
  T_VALIDATION_PARAMS params{};
  params.viewingDistance = ScalarInput(prhs[3]);
  params.skipSeconds = prhs[4] != nullptr ? ScalarInput(prhs[4]) : kDefaultSkipSeconds;
  params.windowsInSamples = 0;

  const bool samples_given = prhs[5] != nullptr;
  const size_t eyes = samples_given ? 1 : 2;
  std::vector<T_VALIDATION_TARGET> targets;
  std::vector<T_VALIDATION_RESULT> per_target;
  try {
    targets.resize(n);
    per_target.resize(eyes * n);
  } catch (const std::bad_alloc&) {
    RaiseWithoutId("Out of memory - not enough free heap space");
  }
  for (size_t k = 0; k < n; ++k) {
    targets[k].x = positions[k];
    targets[k].y = positions[n + k];
    targets[k].start = windows[k];
    targets[k].end = windows[n + k];
  }

  T_VALIDATION_RESULT overall[2] = {};
  const int status =
      samples_given
          ? ValidateArrays(prhs[5], prhs[6], targets, params, per_target.data(), overall)
          : ValidateRecording(targets, params, per_target.data(), overall);
  if (status != SACCADRIX_OK) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const T_VALIDATION_RESULT none{kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, 0, 0};
    for (auto& r : per_target) r = none;
    overall[0] = overall[1] = none;
  }

  auto status_out = out.Int32(1);
  status_out.Store(status);
  if (!out.HasRoom(0)) {
    return;
  }
  const char* names[kValidationFigureCount + 3] = {"target", "window"};
  for (int f = 0; f < kValidationFigureCount; ++f) names[f + 2] = kValidationFigures[f].name;
  names[kValidationFigureCount + 2] = "overall";
  mxArray* v = out.StructColumn(0, 1, kValidationFigureCount + 3, names);
  double* data = nullptr;
  mxArray* target_matrix = NewMatrix(n, 2, &data);
  std::memcpy(data, positions, 2 * n * sizeof(double));
  mxSetField(v, 0, "target", target_matrix);
  mxArray* window_matrix = NewMatrix(n, 2, &data);
  std::memcpy(data, windows, 2 * n * sizeof(double));
  mxSetField(v, 0, "window", window_matrix);
  SetFigures(v, per_target.data(), n, eyes);
  mxArray* all = mxCreateStructMatrix(1, 1, kValidationFigureCount, names + 2);
  if (all == nullptr) {
    RaiseWithoutId("Out of memory - not enough free heap space");
  }
  // One "target": each figure becomes a row.
  SetFigures(all, overall, 1, eyes);
  mxSetField(v, 0, "overall", all);
}

// ---- Options 33 to 35: eye-movement events --------------------------------------------------

// The members of T_EVENT_PARAMS that a script may set, by name. Flags take 0 or 1 (logical
// or numeric); the others any real number, which the library checks against its range.
struct EventParamField {
  const char* name;
  size_t offset;
  bool flag;
};
constexpr EventParamField kEventParamFields[] = {
    {"detectPso", offsetof(T_EVENT_PARAMS, detectPso), true},
    {"detectPursuit", offsetof(T_EVENT_PARAMS, detectPursuit), true},
    {"minSaccadeDuration", offsetof(T_EVENT_PARAMS, minSaccadeDuration), false},
    {"initialPeakThreshold", offsetof(T_EVENT_PARAMS, initialPeakThreshold), false},
    {"peakSigmas", offsetof(T_EVENT_PARAMS, peakSigmas), false},
    {"onsetSigmas", offsetof(T_EVENT_PARAMS, onsetSigmas), false},
    {"localNoiseWeight", offsetof(T_EVENT_PARAMS, localNoiseWeight), false},
    {"localNoiseWindow", offsetof(T_EVENT_PARAMS, localNoiseWindow), false},
    {"maxSpeed", offsetof(T_EVENT_PARAMS, maxSpeed), false},
    {"maxPsoDuration", offsetof(T_EVENT_PARAMS, maxPsoDuration), false},
    {"minFixationDuration", offsetof(T_EVENT_PARAMS, minFixationDuration), false},
    {"minPursuitDuration", offsetof(T_EVENT_PARAMS, minPursuitDuration), false},
    {"pursuitWindow", offsetof(T_EVENT_PARAMS, pursuitWindow), false},
    {"pursuitMinSpeed", offsetof(T_EVENT_PARAMS, pursuitMinSpeed), false},
    {"blinkMargin", offsetof(T_EVENT_PARAMS, blinkMargin), false},
    {"liveVelocityWindow", offsetof(T_EVENT_PARAMS, liveVelocityWindow), false},
    {"liveThresholdTime", offsetof(T_EVENT_PARAMS, liveThresholdTime), false},
};

// The detection parameters of a script: the defaults, with each field of the scalar struct
// `input` (input number `position`) in place of its member. Raises `identifier` for an input
// that is not a scalar struct, a field that is not a member, or a value that is not a real
// number. A flag other than 0 or 1 is passed on as 2, which the library refuses.
T_EVENT_PARAMS EventParamsInput(const mxArray* input, int position, const char* identifier) {
  T_EVENT_PARAMS params{};
  (void)zelSaccadrixGetDefaultEventParams(&params);
  char text[200];
  if (!mxIsStruct(input) || mxGetNumberOfElements(input) != 1) {
    std::snprintf(text, sizeof text, "Input %d must be a scalar struct of event parameters.",
                  position);
    Raise(identifier, text);
  }
  const int fields = mxGetNumberOfFields(input);
  for (int f = 0; f < fields; ++f) {
    const char* name = mxGetFieldNameByNumber(input, f);
    const EventParamField* field = nullptr;
    for (const EventParamField& candidate : kEventParamFields) {
      if (std::strcmp(candidate.name, name) == 0) field = &candidate;
    }
    if (field == nullptr) {
      std::snprintf(text, sizeof text, "Input %d has a field '%.64s' that is no event parameter.",
                    position, name);
      Raise(identifier, text);
    }
    const mxArray* value = mxGetFieldByNumber(input, 0, f);
    if (value == nullptr || mxGetNumberOfElements(value) != 1 ||
        !(mxIsNumeric(value) || mxIsLogical(value)) || mxIsComplex(value) ||
        mxIsSparse(value)) {
      std::snprintf(text, sizeof text, "Field '%s' of input %d must be a real number.",
                    field->name, position);
      Raise(identifier, text);
    }
    const double number = mxGetScalar(value);
    auto* member = reinterpret_cast<unsigned char*>(&params) + field->offset;
    if (field->flag) {
      const uint32_t flag = number == 0.0 ? 0u : (number == 1.0 ? 1u : 2u);
      std::memcpy(member, &flag, sizeof flag);
    } else {
      std::memcpy(member, &number, sizeof number);
    }
  }
  return params;
}

// zelSaccadrix(33, eye, on[, params]): turns live event detection of an eye (0, 1, or -1
// for both) on (on nonzero) or off, with the parameters of a struct (missing fields: the
// defaults). Returns the status.
void mexSetEventDetection(Outputs& out, const mxArray* const prhs[]) {
  const int32_t eye = IntegerInput(prhs[1]);
  const int on = IntegerInput(prhs[2]) != 0 ? 1 : 0;
  T_EVENT_PARAMS params{};
  const bool given = prhs[3] != nullptr;
  if (given) {
    params = EventParamsInput(prhs[3], 4, "MATLAB:mexSetEventDetection:invalidParams");
  }
  auto status = out.Int32(0);
  status.Store(zelSaccadrixSetEventDetection(eye, on, given ? &params : nullptr));
}

// The name of an event type, as the struct's typeName field gives it.
const char* EventTypeName(int type) {
  switch (type) {
    case SACCADRIX_EVENT_FIXATION: return "fixation";
    case SACCADRIX_EVENT_SACCADE: return "saccade";
    case SACCADRIX_EVENT_PSO: return "pso";
    case SACCADRIX_EVENT_PURSUIT: return "pursuit";
    case SACCADRIX_EVENT_BLINK: return "blink";
    default: return "undefined";
  }
}

mxArray* NewNumber(double value) {
  mxArray* array = mxCreateDoubleScalar(value);
  if (array == nullptr) RaiseWithoutId("Out of memory - not enough free heap space");
  return array;
}

mxArray* NewTimestamp(uint64_t value) {
  mxArray* array = mxCreateNumericMatrix(1, 1, mxUINT64_CLASS, mxREAL);
  if (array == nullptr) RaiseWithoutId("Out of memory - not enough free heap space");
  *static_cast<uint64_t*>(mxGetData(array)) = value;
  return array;
}

mxArray* NewText(const char* text) {
  mxArray* array = mxCreateString(text);
  if (array == nullptr) RaiseWithoutId("Out of memory - not enough free heap space");
  return array;
}

// A sample index of an offline event as Octave counts (from 1); NaN for a live event.
double IndexFromOne(int32_t index) {
  return index >= 0 ? static_cast<double>(index) + 1.0
                    : std::numeric_limits<double>::quiet_NaN();
}

// The fields of an event struct of options 34 and 35, in order: T_EVENT_STRUCT's members
// (timestamps as uint64, the rest as doubles) and the type and phase as text.
struct EventField {
  const char* name;
  mxArray* (*make)(const T_EVENT_STRUCT&);
};
constexpr EventField kEventFields[] = {
    {"type", [](const T_EVENT_STRUCT& e) { return NewNumber(e.type); }},
    {"typeName", [](const T_EVENT_STRUCT& e) { return NewText(EventTypeName(e.type)); }},
    {"eye", [](const T_EVENT_STRUCT& e) { return NewNumber(e.eye); }},
    {"phase", [](const T_EVENT_STRUCT& e) { return NewNumber(e.phase); }},
    {"phaseName",
     [](const T_EVENT_STRUCT& e) {
       return NewText(e.phase == SACCADRIX_EVENT_START ? "start" : "end");
     }},
    {"flags", [](const T_EVENT_STRUCT& e) { return NewNumber(e.flags); }},
    {"dropped", [](const T_EVENT_STRUCT& e) { return NewNumber(e.dropped); }},
    {"startIndex", [](const T_EVENT_STRUCT& e) { return NewNumber(IndexFromOne(e.startIndex)); }},
    {"endIndex", [](const T_EVENT_STRUCT& e) { return NewNumber(IndexFromOne(e.endIndex)); }},
    {"sampleCount", [](const T_EVENT_STRUCT& e) { return NewNumber(e.sampleCount); }},
    {"startTimestamp", [](const T_EVENT_STRUCT& e) { return NewTimestamp(e.startTimestamp); }},
    {"endTimestamp", [](const T_EVENT_STRUCT& e) { return NewTimestamp(e.endTimestamp); }},
    {"startTime", [](const T_EVENT_STRUCT& e) { return NewNumber(e.startTime); }},
    {"endTime", [](const T_EVENT_STRUCT& e) { return NewNumber(e.endTime); }},
    {"detectedTime", [](const T_EVENT_STRUCT& e) { return NewNumber(e.detectedTime); }},
    {"startX", [](const T_EVENT_STRUCT& e) { return NewNumber(e.startX); }},
    {"startY", [](const T_EVENT_STRUCT& e) { return NewNumber(e.startY); }},
    {"endX", [](const T_EVENT_STRUCT& e) { return NewNumber(e.endX); }},
    {"endY", [](const T_EVENT_STRUCT& e) { return NewNumber(e.endY); }},
    {"meanX", [](const T_EVENT_STRUCT& e) { return NewNumber(e.meanX); }},
    {"meanY", [](const T_EVENT_STRUCT& e) { return NewNumber(e.meanY); }},
    {"amplitude", [](const T_EVENT_STRUCT& e) { return NewNumber(e.amplitude); }},
    {"peakVelocity", [](const T_EVENT_STRUCT& e) { return NewNumber(e.peakVelocity); }},
};
constexpr int kEventFieldCount = static_cast<int>(sizeof(kEventFields) / sizeof(kEventFields[0]));

// Output `index` as a column of event structs (0-by-1 for none).
void EventsOutput(Outputs& out, int index, const T_EVENT_STRUCT* events, size_t count) {
  const char* names[kEventFieldCount];
  for (int f = 0; f < kEventFieldCount; ++f) names[f] = kEventFields[f].name;
  mxArray* array = out.StructColumn(index, count, kEventFieldCount, names);
  if (array == nullptr) {
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    for (int f = 0; f < kEventFieldCount; ++f) {
      mxSetFieldByNumber(array, static_cast<mwIndex>(i), f, kEventFields[f].make(events[i]));
    }
  }
}

// zelSaccadrix(34): [events, dropped, status], every queued live event, oldest first;
// dropped adds up the events the full queue lost before them; status is 0 or the negative
// status that ended the reading.
void mexGetEvents(Outputs& out, const mxArray* const[]) {
  std::vector<T_EVENT_STRUCT> events;
  double dropped = 0.0;
  int status = SACCADRIX_OK;
  for (;;) {
    T_EVENT_STRUCT event{};
    const int got = zelSaccadrixGetEvent(&event);
    if (got <= 0) {
      status = got;
      break;
    }
    dropped += event.dropped;
    try {
      events.push_back(event);
    } catch (const std::bad_alloc&) {
      RaiseWithoutId("Out of memory - not enough free heap space");
    }
  }
  EventsOutput(out, 0, events.data(), events.size());
  auto dropped_out = out.Double(1);
  dropped_out.Store(dropped);
  auto status_out = out.Int32(2);
  status_out.Store(status);
}

// Events asked for on the first offline pass; a larger array when more were found.
constexpr int kFirstEventGuess = 4096;

// zelSaccadrix(35, time, x, y[, params]): [labels, events, status], the offline detection
// on arrays of as many doubles each (seconds; degrees, NaN = lost): an int8 label per sample
// (a column), the events as a struct column, the status. Labels are 0 and the events none
// when the status is not 0.
void mexDetectEvents(Outputs& out, const mxArray* const prhs[]) {
  const size_t count = mxGetNumberOfElements(prhs[1]);
  const double* arrays[3] = {};
  for (int i = 0; i < 3; ++i) {
    const mxArray* input = prhs[i + 1];
    // Empty arrays are samples too (none): their data pointer may be null.
    const bool empty_double = count == 0 && mxIsDouble(input) && !mxIsComplex(input) &&
                              !mxIsSparse(input) && mxGetNumberOfElements(input) == 0;
    arrays[i] = DoubleArrayInput(input, count);
    if (!empty_double && (arrays[i] == nullptr || mxGetNumberOfElements(input) != count)) {
      Raise("MATLAB:mexDetectEvents:invalidSamples",
            "Inputs 2 to 4 must be real double arrays of as many elements (time, x, y).");
    }
  }
  if (count > static_cast<size_t>(std::numeric_limits<int>::max())) {
    Raise("MATLAB:mexDetectEvents:invalidSamples", "Too many samples.");
  }
  T_EVENT_PARAMS params{};
  const bool given = prhs[4] != nullptr;
  if (given) {
    params = EventParamsInput(prhs[4], 5, "MATLAB:mexDetectEvents:invalidParams");
  }
  const T_EVENT_PARAMS* params_in = given ? &params : nullptr;

  int8_t* labels = out.Int8Column(0, count);
  std::vector<int8_t> scratch;  // labels nobody asked for still need room
  if (labels == nullptr && count > 0) {
    try {
      scratch.resize(count);
    } catch (const std::bad_alloc&) {
      RaiseWithoutId("Out of memory - not enough free heap space");
    }
    labels = scratch.data();
  }
  std::vector<T_EVENT_STRUCT> events;
  const bool want_events = out.HasRoom(1);
  int found = 0;
  int status = SACCADRIX_OK;
  for (int pass = 0; pass < 2; ++pass) {
    const int guess = pass == 0 ? kFirstEventGuess : found;
    try {
      events.resize(want_events ? static_cast<size_t>(guess) : 0);
    } catch (const std::bad_alloc&) {
      RaiseWithoutId("Out of memory - not enough free heap space");
    }
    status = zelSaccadrixDetectEvents(arrays[0], arrays[1], arrays[2], static_cast<int>(count),
                                      labels, params_in, events.empty() ? nullptr : events.data(),
                                      static_cast<int>(events.size()), &found);
    if (status != SACCADRIX_OK || !want_events || found <= guess) break;
  }
  if (status != SACCADRIX_OK) {
    found = 0;
    if (labels != nullptr && count > 0) std::memset(labels, 0, count);
  }
  const size_t listed = static_cast<size_t>(found) < events.size() ? static_cast<size_t>(found)
                                                                   : events.size();
  EventsOutput(out, 1, events.data(), listed);
  auto status_out = out.Int32(2);
  status_out.Store(status);
}

// ---- The option table -----------------------------------------------------------------------

constexpr auto mexInit = ReturnValue<zelSaccadrixInit>;
constexpr auto mexClose = ReturnValue<zelSaccadrixClose>;
constexpr auto mexStartTracking = ReturnValue<zelSaccadrixStartTracking>;
constexpr auto mexStopTracking = ReturnValue<zelSaccadrixStopTracking>;
constexpr auto mexGetResultsCount = ReturnValue<zelSaccadrixGetResultsCount>;
constexpr auto mexGetResults = ExportResults<kExportColumns>;
constexpr auto mexGetResultsWithTimes = ExportResults<kExportColumnsWithTimes>;
constexpr auto mexClearDataBuffer = ReturnValue<zelSaccadrixClearDataBuffer>;
constexpr auto mexGetLibVersion = ReturnValue<zelSaccadrixGetLibVersion>;
constexpr auto mexGetSerialNumber = ReturnText<16, zelSaccadrixGetSerialNumber>;
constexpr auto mexGetFirmwareBuildDateTime = ReturnText<32, zelSaccadrixGetFirmwareBuildDateTime>;
constexpr auto mexSaveCalibration = FileCommand<zelSaccadrixSaveCalibration>;
constexpr auto mexLoadCalibration = FileCommand<zelSaccadrixLoadCalibration>;

// Row k serves option code k.
constexpr Option kOptions[] = {
    {mexInit, 1, "MATLAB:mexInit:invalidNumInputs", "One input required."},
    {mexClose, 1, "MATLAB:mexClose:invalidNumInputs", "One input required."},
    {mexSetResultsType, 2, "MATLAB:mexSetResultsType:invalidNumInputs", "Two inputs required."},
    {mexStartTracking, 1, "MATLAB:mexStartTracking:invalidNumInputs", "One input required."},
    {mexStopTracking, 1, "MATLAB:mexStopTracking:invalidNumInputs", "One input required."},
    {mexGetResultsCount, 1, "MATLAB:mexGetResultsCount:invalidNumInputs", "One input required."},
    {mexGetResults, 4, "MATLAB:mexGetBufferedResults:invalidNumInputs", "Four inputs required!"},
    {mexClearDataBuffer, 1, "MATLAB:mexClearDataBuffer:invalidNumInputs", "One input required."},
    {mexGetLibVersion, 1, "MATLAB:mexGetLibVersion:invalidNumInputs", "One input required."},
    {mexCalibrateDevice, 6, "MATLAB:mexCalibrateDevice:invalidNumInputs", "Six inputs required."},
    {mexSetCalibration, 4, "MATLAB:mexSetCalibration:invalidNumInputs", "Four inputs required."},
    {mexGetCalibration, 2, "MATLAB:mexGetCalibration:invalidNumInputs", "Two inputs required."},
    {mexSetPupilCalibration, 3, "MATLAB:mexSetPupilCalibration:invalidNumInputs",
     "Three inputs required."},
    {mexGetPupilCalibration, 1, "MATLAB:mexGetPupilCalibration:invalidNumInputs",
     "One input required."},
    {mexSetTracking, 3, "MATLAB:mexSetTracking:invalidNumInputs", "Three inputs required."},
    {mexGetTracking, 1, "MATLAB:mexGetTracking:invalidNumInputs", "One input required."},
    {mexGetSerialNumber, 1, "MATLAB:mexGetSerialNumber:invalidNumInputs", "One input required."},
    {mexGetFirmwareVersion, 1, "MATLAB:mexGetFirmwareVersion:invalidNumInputs",
     "One input required."},
    {mexGetFirmwareBuildDateTime, 1, "MATLAB:mexGetFirmwareBuildDateTime:invalidNumInputs",
     "One input required."},
    {mexSaveCalibration, 2, "MATLAB:mexSaveCalibration:invalidNumInputs", "Two inputs required."},
    {mexLoadCalibration, 2, "MATLAB:mexLoadCalibration:invalidNumInputs", "Two inputs required."},
    {mexGetCalibrated, 2, "MATLAB:mexGetCalibrated:invalidNumInputs", "Two inputs required."},
    {mexGetPupilCalibrated, 1, "MATLAB:mexGetPupilCalibrated:invalidNumInputs",
     "One input required."},
    {mexGetTrackingStarted, 1, "MATLAB:mexGetTrackingStarted:invalidNumInputs",
     "One input required."},
    {mexGetCaptureConfig, 1, "MATLAB:mexGetCaptureConfig:invalidNumInputs",
     "One input required."},
    // 25 and 26 are the video gateway's (zelSaccadrixGS): here they do nothing.
    {nullptr, 0, nullptr, nullptr},
    {nullptr, 0, nullptr, nullptr},
    {mexGetHostClock, 1, "MATLAB:mexGetHostClock:invalidNumInputs", "One input required."},
    {mexTimestampToHostClock, 2, "MATLAB:mexTimestampToHostClock:invalidNumInputs",
     "Two inputs required."},
    {mexAddMarker, 2, "MATLAB:mexAddMarker:invalidNumInputs", "Two inputs required."},
    {mexGetMarkers, 1, "MATLAB:mexGetMarkers:invalidNumInputs", "One input required."},
    {mexGetResultsWithTimes, 4, "MATLAB:mexGetBufferedResultsWithTimes:invalidNumInputs",
     "Four inputs required."},
    {mexValidate, 4, "MATLAB:mexValidate:invalidNumInputs", "Four, five or seven inputs required.",
     7},
    {mexSetEventDetection, 3, "MATLAB:mexSetEventDetection:invalidNumInputs",
     "Three or four inputs required.", 4},
    {mexGetEvents, 1, "MATLAB:mexGetEvents:invalidNumInputs", "One input required."},
    {mexDetectEvents, 4, "MATLAB:mexDetectEvents:invalidNumInputs",
     "Four or five inputs required.", 5},
};
// Codes past the last row do nothing; a new option is a new row here.
static_assert(sizeof(kOptions) / sizeof(kOptions[0]) == 36, "options 0 to 35");
static_assert(saccadrix::gateway::InputsFit(kOptions),
              "an option takes more inputs than Dispatch passes on");

}  // namespace

extern "C" SACCADRIX_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs,
                                                 const mxArray* prhs[]) {
  saccadrix::gateway::Dispatch(kOptions, 0, nlhs, plhs, nrhs, prhs);
}
