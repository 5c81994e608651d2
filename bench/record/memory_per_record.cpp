// Resident memory the library's stored list takes per record: streams a model code 3 tracker
// at 8000 reports a second (16 000 results) until COUNT results are stored (default 10^6),
// and reads the process's resident size before the recording starts and once the list holds
// them. Uses only calls every version of the library has, so the same source can be built
// against an older library for a before-and-after comparison.
//   bench_record_memory [COUNT]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "saccadrix/saccadrix.h"
#include "virtual_tracker.h"

namespace {

long resident_kib() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::atol(line + 6);
  }
  std::fclose(f);
  return kib;
}

}  // namespace

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 1000000;
  vt::reset();
  vt::DeviceConfig config;
  config.product_id = vt::product_id_for_model(3);
  config.rate_hz = 8000;
  vt::attach(config);
  if (zelSaccadrixInit() != 3) {
    std::fprintf(stderr, "cannot open the simulated tracker\n");
    return 1;
  }
  const long before = resident_kib();
  if (zelSaccadrixStartTracking() != 0) return 1;
  const auto start = std::chrono::steady_clock::now();
  while (zelSaccadrixGetResultsCount() < count) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const long stored = zelSaccadrixGetResultsCount();
  const long after = resident_kib();
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  zelSaccadrixStopTracking();
  double load[1] = {0};
  getloadavg(load, 1);
  std::printf("%ld results stored in %.0f s (load %.2f): resident %ld -> %ld KiB, "
              "%.1f bytes per record\n",
              stored, took, load[0], before, after,
              static_cast<double>(after - before) * 1024.0 / static_cast<double>(stored));
  zelSaccadrixClose();
  return 0;
}
