// A calibration session as the command and the demo run it: show targets one after the
// other, measure the eye positions for a gaze calibration, or record and validate the
// calibrated gaze in degrees, and print the validation table.
#ifndef SACCADRIX_TOOLS_VALIDATION_RUN_H
#define SACCADRIX_TOOLS_VALIDATION_RUN_H

#include <cstdio>
#include <functional>
#include <vector>

#include "saccadrix/saccadrix.h"
#include "saccadrix/saccadrix_validation.h"

namespace saccadrix::cli {

// A target on the target plane, in the unit of the viewing distance (mm).
struct PlaneTarget {
  double x = 0, y = 0;
};

// Called when target `index` appears at (x, y), before the session waits on it: the place to
// draw it, or to tell whoever presents the targets.
using ShowTarget = std::function<void(size_t index, const PlaneTarget& target)>;

// A grid of columns x rows targets spanning width x height, centred, row by row from the
// top left.
std::vector<PlaneTarget> TargetGrid(int columns, int rows, double width, double height);

// Shows each target, waits settleSeconds, then averages each eye's eye position (raw results,
// tracked samples) over measureSeconds: the targets of a gaze calibration, one list per eye.
// Leaves the tracker on raw results. Throws Failure when no result arrives for a target.
struct CalibrationPoints {
  std::vector<targ_struct> eye[2];
};
CalibrationPoints MeasureCalibrationTargets(const std::vector<PlaneTarget>& targets,
                                            double settleSeconds, double measureSeconds,
                                            const ShowTarget& show);

// Records while each target is shown for secondsPerTarget and validates the recording,
// windows from each target's appearance on the host clock (the records' sample times, their
// host times where no mapping exists). With raw results the tracker's stored calibration is
// applied on the host. Throws Failure when the tracker fails or records nothing.
struct ValidationPlan {
  std::vector<PlaneTarget> targets;
  double viewingDistance = 600;
  double secondsPerTarget = 1.5;
  double skipSeconds = 0.5;
  bool raw = false;  // validate raw results through the stored calibration
};
struct ValidationOutcome {
  std::vector<T_VALIDATION_RESULT> perTarget;  // [2 * k + eye]
  T_VALIDATION_RESULT overall[2]{};
  size_t records = 0;
};
ValidationOutcome RunValidation(const ValidationPlan& plan, const ShowTarget& show);

// The table: one line per target with each eye's accuracy, precision (RMS and SD) and data
// loss, and the line over all targets.
void PrintValidationTable(std::FILE* out, const ValidationPlan& plan,
                          const ValidationOutcome& outcome);

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_VALIDATION_RUN_H
