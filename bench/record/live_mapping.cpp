// How far the sample times "saccadrix record" writes while recording are from those the
// finished recording gives. The command drains the stored list every 0.1 s and writes each
// result's sample time as the clock mapping stands then; read after the recording, the
// mapping has seen every report. Records like the command for SECONDS (default 30) at 8000
// reports a second (model code 3: 16 000 results), then maps every timestamp again.
//   bench_record_live_mapping [SECONDS]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "../stream/bench_support.h"

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 30;
  vt::reset();
  vt::DeviceConfig config;
  config.product_id = vt::product_id_for_model(3);
  config.rate_hz = 8000;
  vt::attach(config);
  if (zelSaccadrixInit() != 3 || zelSaccadrixStartTracking() != 0) {
    std::fprintf(stderr, "cannot open and start the simulated tracker\n");
    return 1;
  }
  std::vector<T_RESULTS_STRUCT> block(4096);
  std::vector<double> hostBlock(4096), sampleBlock(4096);
  std::vector<uint64_t> timestamps;
  std::vector<double> hostTimes, liveSampleTimes;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (bool last = false; !last;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    last = std::chrono::steady_clock::now() >= end;
    if (last) zelSaccadrixStopTracking();
    int n;
    while ((n = zelSaccadrixGetBufferedResults(block.data(), hostBlock.data(),
                                               sampleBlock.data(), 4096, 1)) > 0) {
      for (int i = 0; i < n; ++i) {
        timestamps.push_back(+block[static_cast<size_t>(i)].timestamp);
        hostTimes.push_back(hostBlock[static_cast<size_t>(i)]);
        liveSampleTimes.push_back(sampleBlock[static_cast<size_t>(i)]);
      }
    }
  }
  zelSaccadrixClose();
  if (timestamps.empty()) return 1;
  // Results in the first second, and after it, by how far the live sample time is from the
  // final one.
  std::vector<double> first, later;
  const double start = hostTimes.front();
  for (size_t i = 0; i < timestamps.size(); ++i) {
    double final = 0;
    if (zelSaccadrixTimestampToHostClock(timestamps[i], &final) != 0) return 1;
    (hostTimes[i] - start < 1.0 ? first : later).push_back(std::fabs(liveSampleTimes[i] - final));
  }
  std::printf("%zu results in %.0f s; |live - final sample time|:\n", timestamps.size(), seconds);
  for (const auto& [name, v] : {std::pair{"first second", &first}, std::pair{"after it", &later}}) {
    std::printf("  %-12s %8zu results  p50 %7.2f us  p99 %7.2f us  max %7.2f us\n", name,
                v->size(), bench::percentile(*v, 0.5) * 1e6, bench::percentile(*v, 0.99) * 1e6,
                bench::percentile(*v, 1.0) * 1e6);
  }
  return 0;
}
