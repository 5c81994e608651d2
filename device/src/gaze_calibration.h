// Gaze calibrations: fitted on the caller's thread, stored on and read from the tracker.
// The exported functions are declared in the public header.
#pragma once

#include <cstdint>

#include "saccadrix/saccadrix.h"

namespace saccadrix {

// The fit without storing: -100 when no tracker is open, else the residual of FitGaze.
int CalibrateSingle(uint32_t count, const targ_struct* targets, double* coefficients,
                    double eyeScale, double viewingDistance);

}  // namespace saccadrix
