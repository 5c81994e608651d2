// Reading gaze calibrations back from the tracker: three 301 blocks per eye.
#include "gaze_calibration.h"

#include "device_queries.h"
#include "hid_link.h"
#include "saccadrix/saccadrix.h"

namespace saccadrix {
namespace {

constexpr uint16_t kCmdCalibrationBlock = 301;
constexpr uint16_t kCmdReadCalibrationBlock = 401;
constexpr size_t kPayload = 4;  // payload offset within an input report
constexpr int kCoefficients = 16;

// Block indices 1..3 belong to the first eye, 4..6 to the second; an eye argument of 1
// means the second eye and every other value the first.
uint16_t first_block(int eye) { return eye == 1 ? 4 : 1; }

}  // namespace
}  // namespace saccadrix

using namespace saccadrix;

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
        OutReport(kCmdReadCalibrationBlock, block), Reply{kCmdCalibrationBlock, block, kQueryTries},
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
  *viewingDistance = conn.viewingDistance.load();
  if (conn.model.load() >= 4) {
    int distance = 0;
    if (zelSaccadrixGetViewingDistance(&distance) == kStatusOk) {
      conn.viewingDistance.store(static_cast<double>(distance));
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
      HidLock lock;
      *calibrated = 1;
      break;
    }
  }
  return kStatusOk;
}
