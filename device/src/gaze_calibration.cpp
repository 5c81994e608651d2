// Gaze calibrations: the fit (on the caller's thread), storing it on the tracker as three
// 301 blocks per eye with read-back verification, and reading it back.
#include "gaze_calibration.h"

#include <cmath>

#include "device_queries.h"
#include "gaze_fit.h"
#include "hid_link.h"
#include "int_convert.h"
#include "saccadrix/saccadrix.h"

namespace saccadrix {
namespace {

constexpr size_t kPayload = kReplyPayload;
constexpr int kCoefficients = 16;

// The starting matrix of every fit: the identity with M[2][2] = the viewing distance.
void starting_matrix(double (&m)[kCoefficients], double viewing_distance) {
  for (int i = 0; i < kCoefficients; ++i) m[i] = i % 5 == 0 ? 1.0 : 0.0;
  m[10] = viewing_distance;
}

// Doubles travel as 32-bit floats, rounded to nearest; values beyond the float range
// become infinities, as IEEE conversion has them, instead of undefined behaviour.
float to_float(double v) {
  constexpr double kMax = 3.4028234663852886e38;
  if (v > kMax) return v < 3.4028235677973366e38 ? 3.4028234663852886e38f : HUGE_VALF;
  if (v < -kMax) return v > -3.4028235677973366e38 ? -3.4028234663852886e38f : -HUGE_VALF;
  return static_cast<float>(v);
}

// Block indices 1..3 belong to the first eye, 4..6 to the second; an eye argument of 1
// means the second eye and every other value the first.
uint16_t first_block(int eye) { return eye == 1 ? 4 : 1; }

}  // namespace

int CalibrateSingle(uint32_t count, const targ_struct* targets, double* coefficients,
                    double eyeScale, double viewingDistance) {
  if (open_device() == nullptr) return kStatusNoDevice;
  return FitGaze(count, targets, coefficients, eyeScale, viewingDistance);
}

}  // namespace saccadrix

using namespace saccadrix;

extern "C" int zelSaccadrixCalibrate(uint32_t count, const targ_struct* targets,
                                     double* coefficients, double eyeScale,
                                     double viewingDistance) {
  if (coefficients == nullptr || (targets == nullptr && count > 0)) return kStatusArg;
  library.viewingDistance.store(viewingDistance);
  double working[kCoefficients];
  starting_matrix(working, viewingDistance);
  if (open_device() == nullptr) return kStatusNoDevice;
  const int residual = CalibrateSingle(count, targets, working, eyeScale, viewingDistance);
  for (int i = 0; i < kCoefficients; ++i) coefficients[i] = working[i];
  return residual;
}

extern "C" int zelSaccadrixCalibrateDevice(int eye, uint32_t count, const targ_struct* targets,
                                           double eyeScale, double viewingDistance, double aux1,
                                           double aux2, int* calibrationError) {
  if (calibrationError == nullptr || (targets == nullptr && count > 0)) return kStatusArg;
  double working[kCoefficients];
  starting_matrix(working, viewingDistance);
  *calibrationError = zelSaccadrixCalibrate(count, targets, working, eyeScale, viewingDistance);
  return zelSaccadrixSetCalibration(eye, working, eyeScale, viewingDistance, aux1, aux2);
}

extern "C" int zelSaccadrixSetCalibration(int eye, const double* coefficients, double eyeScale,
                                          double viewingDistance, double aux1, double aux2) {
  if (open_device() == nullptr) return kStatusNoDevice;
  if (coefficients == nullptr) return kStatusArg;
  library.viewingDistance.store(viewingDistance);

  const uint16_t block = first_block(eye);
  OutReport block1(kCmdCalibrationBlock, block);
  for (size_t k = 0; k < 14; ++k) block1.put_f32(kOutPayload + 4 + 4 * k, to_float(coefficients[k]));
  OutReport block2(kCmdCalibrationBlock, static_cast<uint16_t>(block + 1));
  block2.put_f32(kOutPayload + 0, to_float(coefficients[14]));
  block2.put_f32(kOutPayload + 4, to_float(coefficients[15]));
  // The tracker keeps the scale as the float of its integer part.
  const float scale_sent = static_cast<float>(saturating_int32(eyeScale));
  OutReport block3(kCmdCalibrationBlock, static_cast<uint16_t>(block + 2));
  block3.put_f32(kOutPayload + 4 * kBlock3ScaleSlot, scale_sent);
  block3.put_f32(kOutPayload + 4 * kBlock3Aux1Slot, to_float(aux1));
  block3.put_f32(kOutPayload + 4 * kBlock3Aux2Slot, to_float(aux2));
  {
    Exchange exchange;
    if (!exchange.device_open()) return kStatusNoDevice;
    for (const OutReport* report : {&block1, &block2, &block3}) {
      exchange.send(*report);  // not examined: the read-back below tells
      exchange.pause(kPauseAfterSetMs);
    }
    exchange.pause(kPauseAfterBlocksMs);
  }

  double read[kCoefficients] = {};
  double read_scale = 0, distance = viewingDistance;
  int status = zelSaccadrixGetCalibration(eye, read, &read_scale, &distance, &aux1, &aux2);
  if (status == kStatusOk) {
    for (int k = 0; k < kCoefficients && status == kStatusOk; ++k) {
      if (!(to_float(coefficients[k]) == to_float(read[k]))) status = kStatusVerify;
    }
    if (status == kStatusOk && !(to_float(read_scale) == scale_sent)) status = kStatusVerify;
  }
  const int model = conn.model.load();
  // Trackers of model code 3 use one matrix for both eyes: storing the first stores both.
  if (eye == 0 && status == kStatusOk && model == 3) {
    status = zelSaccadrixSetCalibration(1, coefficients, eyeScale, distance, aux1, aux2);
  }
  if (status != kStatusOk || model < 4) return status;
  OutReport report(kCmdSetViewingDistance);
  report.put_i32(kOutPayload, saturating_int32(distance));
  if (link::set(report) == kStatusNoDevice) return kStatusNoDevice;
  // The read-back above refreshed the library's distance from the tracker before the new
  // distance reached it; the library now holds the distance it has just stored instead.
  library.viewingDistance.store(distance);
  return kStatusOk;
}

extern "C" int zelSaccadrixGetCalibration(int eye, double* coefficients, double* eyeScale,
                                          double* viewingDistance, double* aux1, double* aux2) {
  if (open_device() == nullptr) return kStatusNoDevice;
  if (!coefficients || !eyeScale || !viewingDistance || !aux1 || !aux2) return kStatusArg;
  // All three exchanges are made; the first failure is what the caller hears, so a missing
  // block never reads as a complete calibration. Outputs of a failed block keep their values.
  int status = kStatusOk;
  for (uint16_t b = 0; b < 3; ++b) {
    const uint16_t block = static_cast<uint16_t>(first_block(eye) + b);
    const int exchange = link::query(
        OutReport(kCmdReadCalibrationBlock, block), Reply{kCmdCalibrationBlock, block, kReplyBudgetMs},
        [&](const InReport& r) {
          if (b == 0) {
            for (size_t k = 0; k < 14; ++k) coefficients[k] = r.f32(kPayload + 4 + 4 * k);
          } else if (b == 1) {
            coefficients[14] = r.f32(kPayload + 0);
            coefficients[15] = r.f32(kPayload + 4);
          } else {
            *eyeScale = r.f32(kPayload + 12);
            *aux1 = r.f32(kPayload + 24);
            *aux2 = r.f32(kPayload + 28);
          }
        },
        kPauseAfterQueryMs);
    if (status == kStatusOk) status = exchange;
  }
  *viewingDistance = library.viewingDistance.load();
  if (conn.model.load() >= 4) {
    int distance = 0;
    if (zelSaccadrixGetViewingDistance(&distance) == kStatusOk) {
      library.viewingDistance.store(static_cast<double>(distance));
    }
  }
  return status;
}

extern "C" int zelSaccadrixGetCalibrated(int eye, uint8_t* calibrated) {
  if (calibrated == nullptr) return kStatusArg;
  *calibrated = 0;
  double coefficients[kCoefficients] = {};
  double scale = 0, distance = 0, aux1 = 0, aux2 = 0;
  const int status =
      zelSaccadrixGetCalibration(eye, coefficients, &scale, &distance, &aux1, &aux2);
  if (status != kStatusOk) return status;
  for (double c : coefficients) {
    if (!(c == 0.0)) {  // a NaN counts as a stored value
      *calibrated = 1;
      break;
    }
  }
  return kStatusOk;
}
