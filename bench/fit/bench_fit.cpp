// Time of a gaze calibration fit for 5, 9 and 16 targets, and the rate of objective
// evaluations it sustains. Targets are synthetic: eye positions on a grid, target positions
// made by a known calibration matrix, then moved by a fixed pattern of offsets of a few
// millimetres, as measured targets would be ("measured"). The "exact" set leaves the offsets
// out: every pass then keeps improving, so all 20 passes run, some up to the minimiser's
// evaluation limit, which makes it the slow end of the range.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "gaze_fit.h"

namespace {

constexpr double kDistance = 570.0;
constexpr double kEyeScale = 100.0;

std::vector<targ_struct> MakeTargets(int count, double noise) {
  const bool projective = count > static_cast<int>(saccadrix::kFitMaxAffineTargets);
  const double w[4] = {projective ? 0.02 : 0.0, projective ? -0.015 : 0.0,
                       projective ? 0.05 : 0.0, 1.0};
  double m[16] = {180, 5, 12, -3, -4, 170, -8, 6, 0, 0, 0, 0, w[0], w[1], w[2], w[3]};
  for (int k = 0; k < 4; ++k) m[8 + k] = kDistance * w[k];
  std::vector<targ_struct> targets;
  for (int i = 0; i < count; ++i) {
    const double eyeX = (i % 4 - 1.5) * 40.0 + 3.0 * i;
    const double eyeY = (i / 4 - 1.5) * 35.0 - 2.0 * i;
    const double u = eyeX / kEyeScale;
    const double v = eyeY / kEyeScale;
    const double e[4] = {u, v, 1.0 - std::sqrt(u * u + v * v), 1.0};
    double q[4] = {0, 0, 0, 0};
    for (int r = 0; r < 4; ++r) {
      for (int k = 0; k < 4; ++k) q[r] += m[4 * r + k] * e[k];
    }
    const double offset = noise * (i % 3 == 0 ? 1.0 : i % 3 == 1 ? -0.5 : 0.25);
    targets.push_back({q[0] / q[3] + offset, q[1] / q[3] - offset, eyeX, eyeY});
  }
  return targets;
}

void RunFits(benchmark::State& state, double noise) {
  const int count = static_cast<int>(state.range(0));
  const auto targets = MakeTargets(count, noise);
  uint64_t evaluations = 0;
  saccadrix::FitStats stats;
  for (auto _ : state) {
    double c[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, kDistance, 0, 0, 0, 0, 1};
    benchmark::DoNotOptimize(saccadrix::FitGaze(static_cast<uint32_t>(count), targets.data(), c,
                                                kEyeScale, kDistance, &stats));
    benchmark::ClobberMemory();
    evaluations += stats.evaluations;
  }
  state.counters["evals_per_fit"] = static_cast<double>(stats.evaluations);
  state.counters["passes"] = stats.passes;
  state.counters["evals_per_s"] =
      benchmark::Counter(static_cast<double>(evaluations), benchmark::Counter::kIsRate);
}

void BM_FitMeasured(benchmark::State& state) { RunFits(state, 3.0); }
void BM_FitExact(benchmark::State& state) { RunFits(state, 0.0); }

// One objective call on its own (fit workspace loaded with `count` targets).
void BM_Errfunction(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto targets = MakeTargets(count, 3.0);
  double c[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, kDistance, 0, 0, 0, 0, 1};
  saccadrix::FitGaze(static_cast<uint32_t>(count), targets.data(), c, kEyeScale, kDistance);
  for (auto _ : state) {
    benchmark::DoNotOptimize(c);
    benchmark::DoNotOptimize(saccadrix::errfunction(c));
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_FitMeasured)->Arg(5)->Arg(9)->Arg(16)->Unit(benchmark::kMillisecond)
    ->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_FitExact)->Arg(5)->Arg(9)->Arg(16)->Unit(benchmark::kMillisecond)
    ->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_Errfunction)->Arg(5)->Arg(9)->Arg(16)->Repetitions(9)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
