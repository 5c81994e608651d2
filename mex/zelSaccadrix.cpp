// zelSaccadrix(option, ...): the MATLAB / GNU Octave gateway of the device library.
//
// Options 0 to 24 each call one device-library function (option 6 calls three) and return
// what it reports as new arrays. The gateway keeps no state: the connection, the poll thread
// and the recorded results live in the device library, which is never unloaded, so clearing
// the gateway (clear mex, clear all) leaves a running connection alone.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

#include "gateway.h"
#include "saccadrix/result_columns.hpp"
#include "saccadrix/saccadrix.h"

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

// The eye scale that options 9 and 10 always store.
constexpr double kEyeScale = 100.0;
// Doubles in the calibration vector of options 10 and 11: 16 coefficients, aux1, aux2.
constexpr size_t kCoefficients = 16;
constexpr size_t kCalibrationVector = kCoefficients + 2;
// Doubles per calibration target in the input of option 9.
constexpr size_t kDoublesPerTarget = 4;

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

// zelSaccadrix(6, N, remove, fromStart): reads N stored results (N = -1: all of them) from
// the oldest (fromStart nonzero) or as the newest N, removing each if asked, into up to 41
// N-by-1 double columns. Only the columns the caller asks for are made; the records are read
// (and removed) all the same. Rows of records that could not be read stay 0.
void mexGetResults(Outputs& out, const mxArray* const prhs[]) {
  int32_t n = IntegerInput(prhs[1]);
  const uint8_t remove = FlagInput(prhs[2]);
  const bool from_start = IntegerInput(prhs[3]) != 0;

  if (n == -1) {
    n = zelSaccadrixGetResultsCount();
  }
  const int columns = out.Room() < kColumnCount ? out.Room() : kColumnCount;
  if (n > 0 && !ColumnsFit(n, columns)) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "Cannot return %ld results: %d output column(s) of %ld rows need %.1f GB, "
                  "more than this computer's memory. No result was read.",
                  static_cast<long>(n), columns, static_cast<long>(n),
                  static_cast<double>(n) * columns * sizeof(double) / 1e9);
    Raise("MATLAB:mexGetBufferedResults:tooManyResults", text);
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

  double* data[kColumnCount] = {};
  for (int c = 0; c < columns; ++c) {
    data[c] = out.DoubleColumn(c, static_cast<size_t>(n));
  }
  T_RESULTS_STRUCT record{};
  for (int32_t row = 0; row < n; ++row) {
    if (zelSaccadrixGetBufferedResult(&record, remove) < 0) {
      continue;
    }
    for (int c = 0; c < columns; ++c) {
      data[c][row] = ColumnValue(record, kColumns[c]);
    }
  }
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

// ---- The option table -----------------------------------------------------------------------

constexpr auto mexInit = ReturnValue<zelSaccadrixInit>;
constexpr auto mexClose = ReturnValue<zelSaccadrixClose>;
constexpr auto mexStartTracking = ReturnValue<zelSaccadrixStartTracking>;
constexpr auto mexStopTracking = ReturnValue<zelSaccadrixStopTracking>;
constexpr auto mexGetResultsCount = ReturnValue<zelSaccadrixGetResultsCount>;
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
};
static_assert(sizeof(kOptions) / sizeof(kOptions[0]) == 25, "options 0 to 24");

}  // namespace

extern "C" SACCADRIX_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs,
                                                 const mxArray* prhs[]) {
  saccadrix::gateway::Dispatch(kOptions, 0, nlhs, plhs, nrhs, prhs);
}
