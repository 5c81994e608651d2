#include "gaze_fit.h"

#include <cmath>
#include <limits>
#include <mutex>

#include "int_convert.h"
#include "simplex.h"

namespace saccadrix {

// The minimiser steps through points where the perspective divide meets w = 0; the fit relies
// on IEEE arithmetic to turn those into infinities or NaNs that are then never accepted.
static_assert(std::numeric_limits<double>::is_iec559, "the fit needs IEEE 754 doubles");

namespace {

constexpr int kCoefficients = 16;
// The pass that must run before an improvement below kMinImprovement ends the fit.
constexpr int kFirstPassThatMayStop = 6;
constexpr double kMinImprovement = 0.001;

// Fit workspace: the target points, the eye points and how many rows are in use. The objective
// of the minimiser is a plain function, so it reads them from here; fitMutex keeps one fit at a
// time in here (held for the whole fit).
double OPT[kFitMaxTargets][4];
double EYE[kFitMaxTargets][4];
uint32_t totalTargets = 0;
uint64_t evaluations = 0;  // objective calls made by the minimiser during the current fit
std::mutex fitMutex;

// q := M * eye, each component summed over k = 0..3 in order.
void Project(const double* m, const double (&eye)[4], double (&q)[4]) {
  for (int r = 0; r < 4; ++r) {
    double sum = 0.0;
    for (int k = 0; k < 4; ++k) sum += m[4 * r + k] * eye[k];
    q[r] = sum;
  }
}

double CountedErrfunction(const double* coefficients) {
  ++evaluations;
  return errfunction(coefficients);
}

}  // namespace

double errfunction(const double* coefficients) {
  const bool projective = totalTargets > kFitMaxAffineTargets;
  double total = 0.0;
  for (uint32_t i = 0; i < totalTargets; ++i) {
    double q[4];
    Project(coefficients, EYE[i], q);
    double e = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double d = projective ? q[k] / q[3] - OPT[i][k] / OPT[i][3] : q[k] - OPT[i][k];
      e += d * d;
    }
    // The projective fit weighs each target by its squared distance squared again.
    total += projective ? e * e : e;
  }
  return total;
}

double errfunction2(const double* coefficients) {
  double total = 0.0;
  for (uint32_t i = 0; i < totalTargets; ++i) {
    double q[4];
    Project(coefficients, EYE[i], q);
    const double dx = OPT[i][0] - q[0] / q[3];
    const double dy = OPT[i][1] - q[1] / q[3];
    total += std::sqrt(dx * dx + dy * dy);
  }
  return total;
}

int FitGaze(uint32_t count, const targ_struct* targets, double coefficients[16], double eyeScale,
            double viewingDistance, FitStats* stats) {
  if (coefficients == nullptr || (targets == nullptr && count > 0)) return SACCADRIX_E_ARG;

  std::lock_guard<std::mutex> lock(fitMutex);
  totalTargets = count < kFitMaxTargets ? count : kFitMaxTargets;
  for (uint32_t i = 0; i < totalTargets; ++i) {
    const targ_struct& t = targets[i];
    OPT[i][0] = t.targetX;
    OPT[i][1] = t.targetY;
    OPT[i][2] = viewingDistance;
    OPT[i][3] = 1.0;
    const double u = t.eyeX / eyeScale;
    const double v = t.eyeY / eyeScale;
    EYE[i][0] = u;
    EYE[i][1] = v;
    EYE[i][2] = 1.0 - std::sqrt(u * u + v * v);
    EYE[i][3] = 1.0;
  }
  evaluations = 0;

  FitStats local;
  double previous = std::numeric_limits<double>::infinity();
  for (int pass = 0; pass < kFitMaxPasses; ++pass) {
    const double tolerance = std::pow(10.0, -static_cast<double>(pass));
    if (minimize(coefficients, kCoefficients, tolerance, CountedErrfunction) < 0) {
      ++local.passesAtLimit;  // not a failure: the pass's point stands and the fit goes on
    }
    ++local.passes;
    if (totalTargets <= kFitMaxAffineTargets) {
      coefficients[12] = 0.0;
      coefficients[13] = 0.0;
      coefficients[14] = 0.0;
      coefficients[15] = 1.0;
    }
    const double e = errfunction(coefficients);
    // NaN in the first pass (inf / inf) and whenever both errors are 0: never stops the fit.
    const double improvement = (previous - e) / previous;
    if (pass >= kFirstPassThatMayStop && improvement < kMinImprovement) break;
    previous = e;
  }
  local.evaluations = evaluations;
  if (stats != nullptr) *stats = local;
  return saturating_int32(errfunction2(coefficients));
}

}  // namespace saccadrix
