// The exported validation functions: argument checks, and records read in place as gaze
// vectors (calibrated) or as eye positions through the fitted calibration (raw).
#include <cmath>
#include <cstring>

#include "gaze_mapping.h"
#include "validation.h"

namespace {

using saccadrix::validation::apply_calibration;
using saccadrix::validation::check_arguments;
using saccadrix::validation::validate;

// Slots of an eye block's values[]: the eye position of raw results and the gaze vector of
// calibrated results.
constexpr int kEyeXSlot = 6, kEyeYSlot = 7;
constexpr int kGazeXSlot = 8, kGazeYSlot = 9, kGazeZSlot = 10;

}  // namespace

extern "C" ZEL_SACCADRIX_API int zelSaccadrixValidate(const double* time, const double* gaze,
                                                      const uint8_t* tracked, int count,
                                                      const T_VALIDATION_TARGET* targets,
                                                      int targetCount,
                                                      const T_VALIDATION_PARAMS* params,
                                                      T_VALIDATION_RESULT* perTarget,
                                                      T_VALIDATION_RESULT* overall) {
  const int status = check_arguments(time, count, targets, targetCount, params);
  if (status != SACCADRIX_OK) return status;
  if (gaze == nullptr && count > 0) return SACCADRIX_E_ARG;
  auto sample = [&](long i, double (&g)[3]) {
    if (tracked != nullptr && tracked[i] == 0) return false;
    const double* v = gaze + 3 * i;
    g[0] = v[0];
    g[1] = v[1];
    g[2] = v[2];
    return true;
  };
  validate(time, count, sample, targets, targetCount, *params, perTarget, 1, overall);
  return SACCADRIX_OK;
}

extern "C" ZEL_SACCADRIX_API int zelSaccadrixValidateRecords(
    const T_RESULTS_STRUCT* records, const double* time, int count,
    const T_GAZE_CALIBRATION* calibration, const T_VALIDATION_TARGET* targets, int targetCount,
    const T_VALIDATION_PARAMS* params, T_VALIDATION_RESULT* perTarget,
    T_VALIDATION_RESULT* overall) {
  const int status = check_arguments(time, count, targets, targetCount, params);
  if (status != SACCADRIX_OK) return status;
  if (records == nullptr && count > 0) return SACCADRIX_E_ARG;
  bool can_map = calibration != nullptr;
  for (int eye = 0; eye < 2 && can_map; ++eye) {
    const double scale = calibration[eye].eyeScale;
    can_map = std::isfinite(scale) && scale != 0;
  }
  for (int i = 0; i < count; ++i) {
    if (records[i].resultsType != 1 && !can_map) return SACCADRIX_E_ARG;
  }
  for (int eye = 0; eye < 2; ++eye) {
    auto sample = [&](long i, double (&g)[3]) {
      // The record is packed: copy the eye block out rather than bind to its members.
      T_EYE_RESULTS e;
      std::memcpy(&e, &records[i].eye[eye], sizeof e);
      if (e.tracked == 0) return false;
      if (records[i].resultsType == 1) {
        g[0] = e.values[kGazeXSlot];
        g[1] = e.values[kGazeYSlot];
        g[2] = e.values[kGazeZSlot];
        return true;
      }
      return apply_calibration(calibration[eye].coefficients, calibration[eye].eyeScale,
                               e.values[kEyeXSlot], e.values[kEyeYSlot], g);
    };
    validate(time, count, sample, targets, targetCount, *params,
             perTarget != nullptr ? perTarget + eye : nullptr, 2,
             overall != nullptr ? overall + eye : nullptr);
  }
  return SACCADRIX_OK;
}

extern "C" ZEL_SACCADRIX_API int zelSaccadrixApplyCalibration(const double* coefficients,
                                                              double eyeScale, double eyeX,
                                                              double eyeY, double* gaze) {
  if (coefficients == nullptr || gaze == nullptr || !(eyeScale != 0)) return SACCADRIX_E_ARG;
  double g[3];
  if (!apply_calibration(coefficients, eyeScale, eyeX, eyeY, g)) return SACCADRIX_E_ARG;
  for (int i = 0; i < 3; ++i) gaze[i] = g[i];
  return SACCADRIX_OK;
}
