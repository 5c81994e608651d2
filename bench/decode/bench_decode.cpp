// Cost of decoding one result report of each type: processBuffer alone (the pure decoder)
// and DecodeIncoming (results lock, decoder, ring push and, while recording, the list append).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "connection_state.h"
#include "result_buffers.h"
#include "result_decoding.h"

using namespace saccadrix;

namespace {

void fill(uint8_t (&report)[64], uint16_t type, uint16_t marker) {
  std::mt19937 rng(type);
  for (auto& b : report) b = static_cast<uint8_t>(rng());
  report[0] = static_cast<uint8_t>(type);
  report[1] = static_cast<uint8_t>(type >> 8);
  report[2] = static_cast<uint8_t>(marker);
  report[3] = 0;
  // Tracked eyes, so that type 203 computes its angles.
  if (type == 203) report[22] = report[43] = 0x0E;
  if (type == 202) report[14] = report[39] = 0x0E;
}

void BM_processBuffer(benchmark::State& state) {
  uint8_t report[64];
  fill(report, static_cast<uint16_t>(state.range(0)), 0);
  DecodeContext context;
  context.model = 4;
  context.pinCount = 12;
  const uint8_t pins[12] = {5, 0, 5, 7, 0, 5, 8, 6, 1, 2, 3, 4};
  std::memcpy(context.pinFunctions, pins, sizeof pins);
  T_RESULTS_STRUCT record;
  for (auto _ : state) {
    benchmark::DoNotOptimize(processBuffer(report, context, &record));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_processBuffer)->Arg(200)->Arg(201)->Arg(202)->Arg(203);

void BM_processResult(benchmark::State& state) {
  const auto type = static_cast<uint16_t>(state.range(0));
  const bool recording = state.range(1) != 0;
  conn.model = type < 202 ? 3 : 4;
  conn.firmwareVersion = 30000;
  uint8_t report[64];
  fill(report, type, type < 202 ? 1 : 0);  // model 3: paired samples, two records
  tracking.storeResults = recording;
  tracking.waitForStart = false;
  for (auto _ : state) {
    // The path of every report read: results lock, the connection's context, decode, push.
    benchmark::DoNotOptimize(DecodeIncoming(report, 1.0));
    if (recording && results_storage.count > 1000000) {
      state.PauseTiming();
      ClearStoredResults();
      state.ResumeTiming();
    }
  }
  ClearStoredResults();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_processResult)->Args({200, 0})->Args({202, 0})->Args({203, 0})->Args({202, 1});

}  // namespace

BENCHMARK_MAIN();
