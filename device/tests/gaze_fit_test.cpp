#include "gaze_fit.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

namespace saccadrix {
namespace {

using Matrix = std::array<double, 16>;

// Not the library's initial viewing distance, so that a fit reading that instead shows.
constexpr double kDistance = 650.0;
constexpr double kEyeScale = 100.0;

Matrix StartingMatrix(double distance) {
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, distance, 0, 0, 0, 0, 1};
}

// A calibration that puts every eye point on the target plane z = kDistance: the third row is
// kDistance times the fourth.
Matrix TrueMatrix(bool projective) {
  const double w[4] = {projective ? 0.02 : 0.0, projective ? -0.015 : 0.0,
                       projective ? 0.05 : 0.0, 1.0};
  Matrix m = {180, 5, 12, -3, -4, 170, -8, 6, 0, 0, 0, 0, w[0], w[1], w[2], w[3]};
  for (size_t k = 0; k < 4; ++k) m[8 + k] = kDistance * w[k];
  return m;
}

std::array<double, 4> EyePoint(double eyeX, double eyeY) {
  const double u = eyeX / kEyeScale;
  const double v = eyeY / kEyeScale;
  return {u, v, 1.0 - std::sqrt(u * u + v * v), 1.0};
}

std::array<double, 4> Apply(const Matrix& m, const std::array<double, 4>& e) {
  std::array<double, 4> q{};
  for (size_t r = 0; r < 4; ++r) {
    for (size_t k = 0; k < 4; ++k) q[r] += m[4 * r + k] * e[k];
  }
  return q;
}

// Targets whose eye positions spread over a grid and whose target positions are exactly where
// `truth` maps them, optionally moved by a fixed pattern of offsets (in target-plane units).
std::vector<targ_struct> MakeTargets(size_t count, const Matrix& truth, double noise = 0.0) {
  std::vector<targ_struct> targets;
  for (size_t i = 0; i < count; ++i) {
    const double eyeX = (static_cast<double>(i % 4) - 1.5) * 40.0 + 3.0 * static_cast<double>(i);
    const double eyeY = (static_cast<double>(i / 4) - 1.5) * 35.0 - 2.0 * static_cast<double>(i);
    const auto q = Apply(truth, EyePoint(eyeX, eyeY));
    const double offset = noise * (i % 3 == 0 ? 1.0 : i % 3 == 1 ? -0.5 : 0.25);
    targets.push_back({q[0] / q[3] + offset, q[1] / q[3] - offset, eyeX, eyeY});
  }
  return targets;
}

struct FitResult {
  int residual;
  Matrix m;
  FitStats stats;
};

FitResult Fit(const std::vector<targ_struct>& targets, uint32_t count) {
  FitResult r{0, StartingMatrix(kDistance), {}};
  r.residual = FitGaze(count, targets.data(), r.m.data(), kEyeScale, kDistance, &r.stats);
  return r;
}

FitResult Fit(const std::vector<targ_struct>& targets) {
  return Fit(targets, static_cast<uint32_t>(targets.size()));
}

// The fitted matrix must map each target's eye point onto the target on the plane z = D.
void ExpectMapsTargetsBack(const FitResult& r, const std::vector<targ_struct>& targets,
                           double tolerance) {
  for (const targ_struct& t : targets) {
    const auto q = Apply(r.m, EyePoint(t.eyeX, t.eyeY));
    EXPECT_NEAR(q[0] / q[3], t.targetX, tolerance);
    EXPECT_NEAR(q[1] / q[3], t.targetY, tolerance);
    EXPECT_NEAR(q[2] / q[3], kDistance, tolerance);
  }
}

bool SameBits(const Matrix& a, const Matrix& b) {
  return std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0;
}

TEST(FitGaze, UpToEightTargetsFitAnAffineMatrix) {
  for (size_t count : {1u, 5u, 8u}) {
    SCOPED_TRACE(count);
    const auto affine = MakeTargets(count, TrueMatrix(false));
    const FitResult r = Fit(affine);
    EXPECT_EQ(r.residual, 0);
    ExpectMapsTargetsBack(r, affine, 1e-6);
    // Even targets made by a projective matrix leave the bottom row exactly 0 0 0 1.
    const FitResult p = Fit(MakeTargets(count, TrueMatrix(true)));
    const std::array<double, 4> bottomRow = {p.m[12], p.m[13], p.m[14], p.m[15]};
    EXPECT_EQ(bottomRow, (std::array<double, 4>{0.0, 0.0, 0.0, 1.0}));
  }
}

TEST(FitGaze, NineToSixteenTargetsFitAProjectiveMatrix) {
  for (size_t count : {9u, 12u, 16u}) {
    SCOPED_TRACE(count);
    const auto targets = MakeTargets(count, TrueMatrix(true));
    const FitResult r = Fit(targets);
    EXPECT_EQ(r.residual, 0);
    ExpectMapsTargetsBack(r, targets, 1e-3);
    EXPECT_NE(r.m[12], 0.0);  // a perspective row, not 0 0 0 1
    EXPECT_NE(r.m[14], 0.0);
  }
}

TEST(FitGaze, ResidualIsTheTruncatedSumOfTargetPlaneDistances) {
  for (size_t count : {6u, 16u}) {
    SCOPED_TRACE(count);
    const auto targets = MakeTargets(count, TrueMatrix(count > 8), 7.0);
    const FitResult r = Fit(targets);
    double sum = 0.0;
    for (const targ_struct& t : targets) {
      const auto q = Apply(r.m, EyePoint(t.eyeX, t.eyeY));
      sum += std::hypot(q[0] / q[3] - t.targetX, q[1] / q[3] - t.targetY);
    }
    EXPECT_GT(sum, 1.0);
    EXPECT_EQ(r.residual, static_cast<int>(sum));
  }
}

TEST(FitGaze, TheSeventhPassIsTheFirstThatMayEndTheFit) {
  // Inexact targets: the affine error has settled well before the seventh pass, which then
  // improves it by less than 0.1 % and ends the fit.
  const FitResult r = Fit(MakeTargets(6, TrueMatrix(false), 7.0));
  EXPECT_EQ(r.stats.passes, 7);
  EXPECT_EQ(r.stats.passesAtLimit, 0);
}

TEST(FitGaze, PassesEndingAtTheEvaluationLimitDoNotEndTheFit) {
  // Exact targets keep improving on every pass; with these four some passes run into the
  // minimiser's limit, keep their point, and the fit goes on to a residual of 0.
  const auto targets = MakeTargets(4, TrueMatrix(false));
  const FitResult r = Fit(targets);
  EXPECT_GT(r.stats.passesAtLimit, 0);
  EXPECT_EQ(r.stats.passes, kFitMaxPasses);
  EXPECT_EQ(r.residual, 0);
  ExpectMapsTargetsBack(r, targets, 1e-6);
}

TEST(FitGaze, TargetsBeyondTheSixteenthAreIgnored) {
  auto targets = MakeTargets(16, TrueMatrix(true), 2.0);
  const FitResult sixteen = Fit(targets);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int i = 0; i < 4; ++i) targets.push_back({nan, nan, nan, nan});
  const FitResult twenty = Fit(targets);
  EXPECT_TRUE(SameBits(sixteen.m, twenty.m));
  EXPECT_EQ(sixteen.residual, twenty.residual);
  // A count far beyond the array would read out of bounds if it were not capped.
  const FitResult huge = Fit(targets, 0xFFFFFFFFu);
  EXPECT_TRUE(SameBits(sixteen.m, huge.m));
}

TEST(FitGaze, NoTargetsReturnTheStartingMatrixAfterAllPasses) {
  Matrix m = StartingMatrix(kDistance);
  FitStats stats;
  EXPECT_EQ(FitGaze(0, nullptr, m.data(), kEyeScale, kDistance, &stats), 0);
  EXPECT_TRUE(SameBits(m, StartingMatrix(kDistance)));
  // Every error is 0, so the improvement is NaN and never ends the fit early.
  EXPECT_EQ(stats.passes, kFitMaxPasses);
  EXPECT_EQ(errfunction(m.data()), 0.0);
}

TEST(FitGaze, UnusableEyeScaleGivesResidualZeroNotAnUndefinedConversion) {
  // Scale 0 turns every eye point into infinities and NaNs, and so the residual into NaN.
  const auto targets = MakeTargets(9, TrueMatrix(true));
  Matrix m = StartingMatrix(kDistance);
  EXPECT_EQ(FitGaze(9, targets.data(), m.data(), 0.0, kDistance), 0);
}

TEST(FitGaze, NullArgumentsAreRefusedUntouched) {
  Matrix m = StartingMatrix(kDistance);
  EXPECT_EQ(FitGaze(3, nullptr, m.data(), kEyeScale, kDistance), SACCADRIX_E_ARG);
  EXPECT_TRUE(SameBits(m, StartingMatrix(kDistance)));
  const auto targets = MakeTargets(3, TrueMatrix(false));
  EXPECT_EQ(FitGaze(3, targets.data(), nullptr, kEyeScale, kDistance), SACCADRIX_E_ARG);
}

TEST(FitGaze, ConcurrentFitsGiveTheResultsOfSequentialFits) {
  // The workspace is process-wide: unserialised fits would mix each other's targets.
  const auto a = MakeTargets(16, TrueMatrix(true), 3.0);
  const auto b = MakeTargets(9, TrueMatrix(false), 5.0);
  const FitResult expectedA = Fit(a);
  const FitResult expectedB = Fit(b);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    FitResult gotA{};
    FitResult gotB{};
    std::atomic<int> ready{0};
    auto run = [&ready](const std::vector<targ_struct>* targets, FitResult* out) {
      ready.fetch_add(1);
      while (ready.load() < 2) std::this_thread::yield();
      *out = Fit(*targets);
    };
    std::thread ta(run, &a, &gotA);
    std::thread tb(run, &b, &gotB);
    ta.join();
    tb.join();
    EXPECT_TRUE(SameBits(gotA.m, expectedA.m));
    EXPECT_EQ(gotA.residual, expectedA.residual);
    EXPECT_TRUE(SameBits(gotB.m, expectedB.m));
    EXPECT_EQ(gotB.residual, expectedB.residual);
  }
}

}  // namespace
}  // namespace saccadrix
