#include "simplex.h"

#include <cmath>
#include <utility>

namespace saccadrix {
namespace {

constexpr double kInitialStep = 1.0;
constexpr double kReflection = -1.0;
constexpr double kExpansion = 2.0;
constexpr double kContraction = 0.5;
constexpr double kShrink = 0.5;
// Keeps the relative spread finite when the values at both ends are zero.
constexpr double kSpreadGuard = 1e-10;

// Sum of every coordinate over the n + 1 vertices, accumulated in vertex order.
void BuildColumnSums(const double simplex[][kSimplexMaxDim], int n, double columnSums[]) {
  for (int j = 0; j < n; ++j) {
    double sum = 0.0;
    for (int i = 0; i <= n; ++i) sum += simplex[i][j];
    columnSums[j] = sum;
  }
}

}  // namespace

double amotry(double simplex[][kSimplexMaxDim], double values[], double columnSums[], int n,
              SimplexObjective objective, int worst, double factor) {
  double trial[kSimplexMaxDim] = {};
  const double f1 = (1.0 - factor) / n;
  const double f2 = f1 - factor;
  for (int j = 0; j < n; ++j) trial[j] = columnSums[j] * f1 - simplex[worst][j] * f2;
  const double y = objective(trial);
  if (values[worst] > y) {  // false for a NaN y: a NaN never replaces a vertex
    values[worst] = y;
    for (int j = 0; j < n; ++j) {
      columnSums[j] += trial[j] - simplex[worst][j];
      simplex[worst][j] = trial[j];
    }
  }
  return y;
}

int amoeba(double simplex[][kSimplexMaxDim], double values[], int n, double tolerance,
           SimplexObjective objective, int& evaluations) {
  double columnSums[kSimplexMaxDim] = {};
  evaluations = 0;
  BuildColumnSums(simplex, n, columnSums);
  for (;;) {
    // Rank. Among equal lowest values the last index wins; the highest only moves on a
    // strictly greater value, so among equal highest values the first found stays.
    int highest = 1;
    int nextHighest = 0;
    if (values[0] > values[1]) {
      highest = 0;
      nextHighest = 1;
    }
    int lowest = 0;
    for (int i = 0; i <= n; ++i) {
      if (values[i] <= values[lowest]) lowest = i;
      if (values[i] > values[highest]) {
        nextHighest = highest;
        highest = i;
      } else if (values[i] > values[nextHighest] && i != highest) {
        nextHighest = i;
      }
    }

    const double spread = 2.0 * std::fabs(values[highest] - values[lowest]) /
                          (std::fabs(values[highest]) + std::fabs(values[lowest]) + kSpreadGuard);
    if (spread < tolerance) {  // false for a NaN spread
      std::swap(values[0], values[lowest]);
      for (int j = 0; j < n; ++j) std::swap(simplex[0][j], simplex[lowest][j]);
      return evaluations;
    }
    // Tested before counting this iteration's calls, so the count may pass the limit by up
    // to n + 1 before the run ends.
    if (evaluations >= kSimplexEvaluationLimit) {
      evaluations = -1;
      return -1;
    }
    evaluations += 2;

    double y = amotry(simplex, values, columnSums, n, objective, highest, kReflection);
    if (y <= values[lowest]) {
      amotry(simplex, values, columnSums, n, objective, highest, kExpansion);
    } else if (y >= values[nextHighest]) {
      const double saved = values[highest];
      y = amotry(simplex, values, columnSums, n, objective, highest, kContraction);
      if (y >= saved) {
        // Contraction did not help: pull every vertex half-way towards the lowest. The
        // column-sum buffer serves as scratch for each shrunken vertex and is rebuilt after.
        for (int i = 0; i <= n; ++i) {
          if (i == lowest) continue;
          for (int j = 0; j < n; ++j) {
            columnSums[j] = simplex[i][j] = kShrink * (simplex[i][j] + simplex[lowest][j]);
          }
          values[i] = objective(columnSums);
        }
        evaluations += n;
        BuildColumnSums(simplex, n, columnSums);
      }
    } else {
      evaluations -= 1;  // the reflection alone was accepted: one call, not two
    }
  }
}

int minimize(double* x, int n, double tolerance, SimplexObjective objective) {
  double simplex[kSimplexMaxVertices][kSimplexMaxDim] = {};
  double values[kSimplexMaxVertices] = {};
  for (int i = 0; i <= n; ++i) {
    for (int j = 0; j < n; ++j) simplex[i][j] = x[j];
    if (i > 0) simplex[i][i - 1] += kInitialStep;
  }
  for (int i = 0; i <= n; ++i) values[i] = objective(simplex[i]);
  int evaluations = 0;
  const int result = amoeba(simplex, values, n, tolerance, objective, evaluations);
  for (int j = 0; j < n; ++j) x[j] = simplex[0][j];
  return result;
}

}  // namespace saccadrix
