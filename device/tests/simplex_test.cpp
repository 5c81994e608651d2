#include "simplex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace saccadrix {
namespace {

// The objective is a plain function, so the tests keep its dimension and a record of every
// point it was called with here.
int g_dim = 0;
std::vector<std::vector<double>> g_calls;

void ResetRecorder(int dim) {
  g_dim = dim;
  g_calls.clear();
}

void Record(const double* p) { g_calls.emplace_back(p, p + g_dim); }

double Constant(const double* p) {
  Record(p);
  return 4.25;
}

double NotANumber(const double* p) {
  Record(p);
  return std::numeric_limits<double>::quiet_NaN();
}

// Minimum 0 at (3, -1, 0.5, 0, 0, ...).
double Quadratic(const double* p) {
  Record(p);
  const double centre[3] = {3.0, -1.0, 0.5};
  double sum = 0.0;
  for (int j = 0; j < g_dim; ++j) {
    const double d = p[j] - (j < 3 ? centre[j] : 0.0);
    sum += (j + 1) * d * d;
  }
  return sum;
}

// Minimum 0 at (1, 1, ..., 1).
double Rosenbrock(const double* p) {
  Record(p);
  double sum = 0.0;
  for (int j = 0; j + 1 < g_dim; ++j) {
    const double a = p[j + 1] - p[j] * p[j];
    const double b = 1.0 - p[j];
    sum += 100.0 * a * a + b * b;
  }
  return sum;
}

// Returns the scripted values in call order, then 10 for every further call. Scripts whose
// values are all >= 10 (or NaN) therefore end in a converged simplex soon after they run out.
std::vector<double> g_script;
double Scripted(const double* p) {
  const size_t call = g_calls.size();
  Record(p);
  return call < g_script.size() ? g_script[call] : 10.0;
}

int MinimizeScripted(std::vector<double>& x, std::vector<double> script) {
  ResetRecorder(static_cast<int>(x.size()));
  g_script = std::move(script);
  return minimize(x.data(), g_dim, 0.01, Scripted);
}

// The count that minimize returns leaves out the n + 1 calls that evaluate the starting simplex.
int CallsWhileIterating() { return static_cast<int>(g_calls.size()) - (g_dim + 1); }

using Point = std::vector<double>;

TEST(Minimize, ConstantObjectiveStopsAtOnceWithTheLastVertexInFront) {
  for (int n : {1, 2, 16}) {
    SCOPED_TRACE(n);
    ResetRecorder(n);
    std::vector<double> x(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) x[static_cast<size_t>(j)] = 0.25 * j - 1.0;
    std::vector<double> expected = x;
    expected.back() += 1.0;  // equal lowest values: the last vertex wins
    EXPECT_EQ(minimize(x.data(), n, 1e-6, Constant), 0);
    EXPECT_EQ(x, expected);
    // Starting simplex: x, then x plus exactly 1.0 in one coordinate each, evaluated in order.
    ASSERT_EQ(g_calls.size(), static_cast<size_t>(n + 1));
    for (int i = 1; i <= n; ++i) {
      EXPECT_EQ(g_calls[static_cast<size_t>(i)][static_cast<size_t>(i - 1)],
                g_calls[0][static_cast<size_t>(i - 1)] + 1.0);
    }
  }
}

TEST(Amoeba, ConvergedRunSwapsTheLowestVertexAndItsValueIntoRowZero) {
  double simplex[3][kSimplexMaxDim] = {{0.0, 0.0}, {5.0, 6.0}, {7.0, 8.0}};
  double values[3] = {3.0, 1.0, 2.0};
  int evaluations = 99;
  ResetRecorder(2);
  // A spread never exceeds 2, so a tolerance of 3 converges before any call.
  EXPECT_EQ(amoeba(simplex, values, 2, 3.0, Constant, evaluations), 0);
  EXPECT_EQ(evaluations, 0);
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ((Point{simplex[0][0], simplex[0][1], values[0]}), (Point{5.0, 6.0, 1.0}));
  EXPECT_EQ((Point{simplex[1][0], simplex[1][1], values[1]}), (Point{0.0, 0.0, 3.0}));
}

TEST(Minimize, ToleranceNotAboveZeroRunsToTheEvaluationLimit) {
  for (double tolerance : {0.0, -1.0}) {
    SCOPED_TRACE(tolerance);
    ResetRecorder(3);
    std::vector<double> x = {10.0, 10.0, 10.0};
    EXPECT_EQ(minimize(x.data(), 3, tolerance, Quadratic), -1);
    // The limit is tested before each iteration's calls are counted, so the run may pass it
    // by at most n + 1 (a contraction and a shrink).
    EXPECT_GE(CallsWhileIterating(), kSimplexEvaluationLimit);
    EXPECT_LE(CallsWhileIterating(), kSimplexEvaluationLimit + 3 + 1);
    // The caller still receives a vertex of the collapsed simplex.
    EXPECT_NEAR(x[0], 3.0, 1e-6);
    EXPECT_NEAR(x[1], -1.0, 1e-6);
    EXPECT_NEAR(x[2], 0.5, 1e-6);
  }
}

TEST(Minimize, NanValuesNeverConvergeAndNeverReplaceAVertex) {
  ResetRecorder(2);
  std::vector<double> x = {1.5, -2.5};
  EXPECT_EQ(minimize(x.data(), 2, 1.0, NotANumber), -1);
  EXPECT_EQ(x, (Point{1.5, -2.5}));
  // Each rejected reflection counts one call.
  EXPECT_EQ(CallsWhileIterating(), kSimplexEvaluationLimit);
}

TEST(Minimize, ConvergesOnAQuadraticAndOnRosenbrockIn2And16Dimensions) {
  std::vector<double> rosenbrock16(16);
  for (size_t j = 0; j < rosenbrock16.size(); ++j) rosenbrock16[j] = j % 2 == 0 ? -1.2 : 1.0;
  const struct {
    SimplexObjective objective;
    std::vector<double> start;
    std::vector<double> minimum;
  } cases[] = {
      {Quadratic, {0.0, 0.0, 0.0}, {3.0, -1.0, 0.5}},
      {Rosenbrock, {-1.2, 1.0}, {1.0, 1.0}},
      {Rosenbrock, rosenbrock16, std::vector<double>(16, 1.0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start.size());
    ResetRecorder(static_cast<int>(c.start.size()));
    std::vector<double> x = c.start;
    const int evaluations = minimize(x.data(), g_dim, 1e-14, c.objective);
    EXPECT_GT(evaluations, 0);
    EXPECT_EQ(evaluations, CallsWhileIterating());
    for (size_t j = 0; j < x.size(); ++j) EXPECT_NEAR(x[j], c.minimum[j], 1e-6) << j;
  }
}

// The cases below script the objective's values so that each tie decides which point the
// minimiser evaluates next; the recorded points show the decision.

TEST(MinimizeTies, ReflectionEqualToTheLowestExpands) {
  std::vector<double> x = {0.0};
  // Vertices 0 and 1 score 11 and 12; the reflection of 1 (to -1) scores 11 = lowest.
  EXPECT_EQ(MinimizeScripted(x, {11.0, 12.0, 11.0, 11.0}), 2);
  ASSERT_GE(g_calls.size(), 4u);
  EXPECT_EQ(g_calls[2], Point{-1.0});
  EXPECT_EQ(g_calls[3], Point{-2.0});  // expansion; a contraction would try -0.5
  EXPECT_EQ(x, Point{-1.0});           // equal values: the last index is the lowest
}

TEST(MinimizeTies, ReflectionEqualToTheNextHighestContracts) {
  std::vector<double> x = {0.0, 0.0};
  // Values 10, 11, 12: lowest 0, next-highest 1, highest 2. The reflection of vertex 2 to
  // (1, -1) scores 11 = next-highest; the contraction then scores 10.5 and is kept.
  const int evaluations = MinimizeScripted(x, {10.0, 11.0, 12.0, 11.0, 10.5});
  ASSERT_GE(g_calls.size(), 5u);
  EXPECT_EQ(g_calls[3], (Point{1.0, -1.0}));
  EXPECT_EQ(g_calls[4], (Point{0.75, -0.5}));  // accepting the reflection would try (0, -1)
  EXPECT_EQ(evaluations, CallsWhileIterating());
}

TEST(MinimizeTies, ContractionEqualToTheReflectedValueShrinks) {
  std::vector<double> x = {0.0, 0.0};
  // As above, but the contraction scores 11, the value of the reflected vertex: shrink every
  // vertex but the lowest half-way towards it, in index order.
  EXPECT_EQ(MinimizeScripted(x, {10.0, 11.0, 12.0, 11.0, 11.0}), 2 + 2);
  ASSERT_EQ(g_calls.size(), 7u);
  EXPECT_EQ(g_calls[5], (Point{0.5, 0.0}));
  EXPECT_EQ(g_calls[6], (Point{0.5, -0.5}));
  EXPECT_EQ(x, (Point{0.5, -0.5}));
}

TEST(MinimizeTies, NanTrialNeverReplacesAVertex) {
  std::vector<double> x = {0.0};
  // The reflection of vertex 1 (to -1) scores NaN: vertex 1 stays where it was, so the next
  // iteration reflects it to -1 again (a NaN vertex would have been reflected back to +1).
  MinimizeScripted(x, {11.0, 12.0, std::numeric_limits<double>::quiet_NaN()});
  ASSERT_GE(g_calls.size(), 4u);
  EXPECT_EQ(g_calls[2], Point{-1.0});
  EXPECT_EQ(g_calls[3], Point{-1.0});
}

TEST(MinimizeTies, EqualHighestValuesReflectTheFirst) {
  std::vector<double> x = {0.0, 0.0, 0.0};
  // Vertices 0, 1 and 2 share the highest value: vertex 1 is reflected (vertex 0 loses the
  // opening comparison, vertex 2 is not strictly higher).
  MinimizeScripted(x, {15.0, 15.0, 15.0, 10.0});
  ASSERT_GE(g_calls.size(), 5u);
  ASSERT_EQ(g_calls[4].size(), 3u);
  EXPECT_DOUBLE_EQ(g_calls[4][0], -1.0);
  EXPECT_DOUBLE_EQ(g_calls[4][1], 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(g_calls[4][2], 2.0 / 3.0);
}

}  // namespace
}  // namespace saccadrix
