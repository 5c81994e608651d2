// The gaze calibration fit: a 4x4 matrix that maps homogeneous eye points onto the targets the
// subject looked at, fitted with the simplex minimiser. No device access happens here.
#ifndef SACCADRIX_GAZE_FIT_H
#define SACCADRIX_GAZE_FIT_H

#include <cstdint>

#include "saccadrix/saccadrix.h"

namespace saccadrix {

// Targets beyond this many are ignored by the fit.
constexpr uint32_t kFitMaxTargets = 16;
// Up to this many targets the fit is affine (bottom row 0 0 0 1); from one more, projective.
constexpr uint32_t kFitMaxAffineTargets = 8;
// The fit runs at most this many minimiser passes.
constexpr int kFitMaxPasses = 20;

// What a fit did, for diagnostics and benchmarks.
struct FitStats {
  int passes = 0;                // minimiser passes run (1 .. kFitMaxPasses)
  int passesAtLimit = 0;         // of those, passes that ended at the evaluation limit
  uint64_t evaluations = 0;      // objective calls made by the minimiser, all passes together
};

// Fits the calibration matrix `coefficients` (row-major M[r][k] = coefficients[4r + k]) to the
// first min(count, 16) targets, starting from the matrix passed in (callers start from the
// identity with M[2][2] = viewingDistance).
//
// Each target contributes the target point (targetX, targetY, viewingDistance, 1) and the eye
// point (u, v, 1 - sqrt(u^2 + v^2), 1) with u = eyeX / eyeScale, v = eyeY / eyeScale. With up to
// 8 targets the fit minimises the summed squared distance of M * eye to the target point and
// forces the bottom row of M to 0 0 0 1 after every pass; with 9 to 16 it minimises the sum of
// the fourth powers of the distances after the perspective divide. Passes use tolerances
// 1, 0.1, ... 1e-19, each continuing from the previous result, and stop after the seventh or a
// later pass that improved the error by less than 0.1 %. A pass that reaches the minimiser's
// evaluation limit keeps its result; the fit goes on.
//
// Returns the residual: the sum over the targets of the distance in the target plane between
// each target and the point its eye position maps to, truncated toward zero to a non-negative
// int (NaN gives 0, overflow saturates); or SACCADRIX_E_ARG (-3), with nothing read or written,
// when coefficients is null or targets is null while count > 0.
//
// The fit's workspace is shared by the whole process: concurrent calls are serialised (a second
// fit waits until the first has finished). `stats`, when not null, receives what the fit did.
int FitGaze(uint32_t count, const targ_struct* targets, double coefficients[16], double eyeScale,
            double viewingDistance, FitStats* stats = nullptr);

// The fit error of the matrix `coefficients` (16 doubles) over the targets of the current or
// last fit: see FitGaze. 0 when the last fit had no targets.
double errfunction(const double* coefficients);

// The residual of the matrix `coefficients` over the targets of the current or last fit, as a
// double: the summed target-plane distances that FitGaze returns truncated.
double errfunction2(const double* coefficients);

}  // namespace saccadrix

#endif  // SACCADRIX_GAZE_FIT_H
