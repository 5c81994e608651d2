// What event detection costs: events::feed per record as the decode path calls it (off, one
// eye, both eyes), and the offline detection's throughput.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "live_events.h"
#include "saccadrix/saccadrix_events.h"
#include "synthetic_eye.h"

namespace {

// Calibrated records of a synthetic subject (saccades, PSOs, blinks) at a rate, both eyes
// alike, with their sample times.
struct Stream {
  std::vector<T_RESULTS_STRUCT> records;
  std::vector<double> times;
};

Stream make_stream(double rate, double seconds) {
  synthetic::Scenario scenario;
  scenario.rate = rate;
  scenario.seconds = seconds;
  scenario.noise = 0.014;
  scenario.pso = true;
  scenario.blinkEvery = 4;
  const synthetic::Signal s = synthetic::generate(scenario);
  Stream stream;
  for (size_t i = 0; i < s.t.size(); ++i) {
    T_RESULTS_STRUCT r;
    std::memset(&r, 0, sizeof r);
    r.size = sizeof r;
    r.timestamp = i;
    r.resultsType = 1;
    if (!std::isnan(s.x[i])) {
      const double ax = s.x[i] / 57.29577951308232, ay = s.y[i] / 57.29577951308232;
      for (auto& eye : r.eye) {
        eye.tracked = 1;
        eye.values[8] = static_cast<float>(std::cos(ay) * std::sin(ax));
        eye.values[9] = static_cast<float>(std::sin(ay));
        eye.values[10] = static_cast<float>(std::cos(ay) * std::cos(ax));
      }
    }
    stream.records.push_back(r);
    stream.times.push_back(s.t[i]);
  }
  return stream;
}

void drain() {
  T_EVENT_STRUCT e;
  while (zelSaccadrixGetEvent(&e) == 1) {
  }
}

// Arguments: rate (Hz), eyes detected (0, 1 or 2).
void BM_feed(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const int eyes = static_cast<int>(state.range(1));
  const Stream stream = make_stream(rate, 60);
  zelSaccadrixSetEventDetection(-1, 0, nullptr);
  if (eyes >= 1) zelSaccadrixSetEventDetection(0, 1, nullptr);
  if (eyes >= 2) zelSaccadrixSetEventDetection(1, 1, nullptr);
  size_t i = 0;
  double offset = 0;
  const double span = stream.times.back() - stream.times.front() + 1 / rate;
  for (auto _ : state) {
    const double t = stream.times[i] + offset;
    saccadrix::events::feed(stream.records[i], t, t);
    if (++i == stream.records.size()) {
      i = 0;
      offset += span;  // time goes on when the stream starts over
    }
    if ((i & 255) == 0) {
      state.PauseTiming();
      drain();  // a client that reads the queue now and then
      state.ResumeTiming();
    }
  }
  drain();
  zelSaccadrixSetEventDetection(-1, 0, nullptr);
  saccadrix::events::feed(stream.records[0], 0, 0);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_feed)
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({1000, 2})
    ->Args({8000, 1})
    ->Args({8000, 2});

// Offline: a minute of samples at a rate, per call; items are samples.
void BM_detect_offline(benchmark::State& state) {
  synthetic::Scenario scenario;
  scenario.rate = static_cast<double>(state.range(0));
  scenario.seconds = 60;
  scenario.noise = 0.014;
  scenario.pso = true;
  scenario.blinkEvery = 4;
  scenario.pursuitEvery = 5;
  const synthetic::Signal s = synthetic::generate(scenario);
  std::vector<int8_t> labels(s.t.size());
  std::vector<T_EVENT_STRUCT> events(4096);
  for (auto _ : state) {
    int count = 0;
    zelSaccadrixDetectEvents(s.t.data(), s.x.data(), s.y.data(), static_cast<int>(s.t.size()),
                             labels.data(), nullptr, events.data(), 4096, &count);
    benchmark::DoNotOptimize(count);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(s.t.size()));
}
BENCHMARK(BM_detect_offline)->Arg(500)->Arg(1000)->Arg(8000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
