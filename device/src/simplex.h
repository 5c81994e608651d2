// Downhill simplex (Nelder-Mead) minimiser over at most 16 variables, used by the gaze fit.
//
// The minimiser keeps no state between calls: the simplex, its values and column sums live on
// the caller's stack, with fixed capacities (17 vertices of 16 coordinates), so it is reentrant
// as far as the objective is. Its step size, constants, ranking tie-breaks and evaluation
// accounting are fixed, because the calibration that the fit produces depends on each of them.
#ifndef SACCADRIX_SIMPLEX_H
#define SACCADRIX_SIMPLEX_H

namespace saccadrix {

// Largest number of variables; every vertex row has this many coordinates.
constexpr int kSimplexMaxDim = 16;
// A simplex in n dimensions has n + 1 vertices.
constexpr int kSimplexMaxVertices = kSimplexMaxDim + 1;
// amoeba gives up once this many objective calls have been counted (returns -1).
constexpr int kSimplexEvaluationLimit = 100000;

// The function being minimised. It receives a vector of at least n doubles (the minimiser
// only ever passes arrays of kSimplexMaxDim doubles, of which the first n are meaningful)
// and must not write to it. Any value is accepted: NaN is never taken as an improvement.
using SimplexObjective = double (*)(const double* point);

// Minimises `objective` starting from `x` (n doubles, 1 <= n <= 16; not checked).
//
// The starting simplex is x and the n points x + e_i (an absolute step of 1.0 in each
// coordinate, whatever the scale of x). Iterates until the relative spread of the vertex
// values, 2|hi - lo| / (|hi| + |lo| + 1e-10), falls below `tolerance`; a tolerance <= 0 never
// converges and a NaN spread never converges.
//
// On return x holds the first n coordinates of vertex 0: the best vertex on convergence, or
// whatever vertex occupied row 0 when the evaluation limit was reached.
// Returns the number of objective calls made while iterating (the n + 1 calls that evaluate
// the starting simplex are not counted), or -1 when the evaluation limit was reached.
int minimize(double* x, int n, double tolerance, SimplexObjective objective);

// The two steps below are internal to the minimiser; they are declared here so that their
// accounting and tie-breaking can be tested on hand-made simplexes.

// Iterates on a prepared simplex: `simplex` holds n + 1 vertices, `values` the objective at
// each. Sets `evaluations` to 0 on entry and counts the objective calls it makes (1 for an
// accepted reflection, 2 for a reflection followed by an expansion or contraction, n more for
// a shrink). On convergence the best vertex and its value are swapped into row 0 and the count
// is returned; once the count has reached the limit at the start of an iteration,
// `evaluations` becomes -1 and -1 is returned with the rows left as they are.
int amoeba(double simplex[][kSimplexMaxDim], double values[], int n, double tolerance,
           SimplexObjective objective, int& evaluations);

// Tries one move of vertex `worst` along the line through the centroid of the other vertices:
// the trial point is columnSums * f1 - vertex * f2 with f1 = (1 - factor) / n, f2 = f1 - factor
// (-1 reflects, 2 reflects to twice the distance, 0.5 contracts half-way to the centroid).
// When the trial value is strictly lower than values[worst] (so never when it is NaN), the
// vertex, its value and the column sums take the trial point. Returns the trial value either way.
double amotry(double simplex[][kSimplexMaxDim], double values[], double columnSums[], int n,
              SimplexObjective objective, int worst, double factor);

}  // namespace saccadrix

#endif  // SACCADRIX_SIMPLEX_H
