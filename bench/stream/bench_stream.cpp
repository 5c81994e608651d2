// End-to-end streaming against the virtual tracker:
//  - records sent, delivered, lost and duplicated at 1, 2 and 8 kHz while recording;
//  - latency from a report becoming readable in the input queue to its record reaching a
//    client through the ring (a reader thread pops the ring, sleeping 20 us when empty);
//  - records lost while commands run during a 1 kHz recording;
// usage: bench_stream [--seconds N] (per rate; default 60)
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "saccadrix/saccadrix.h"
#include "bench_support.h"
#include "virtual_tracker.h"

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

namespace {

using bench::open_tracker;
using bench::percentile;
using bench::process_cpu_seconds;

struct Tally {
  uint64_t delivered = 0, lost = 0, duplicated = 0;
};

// Walks the stored recording: timestamps step by one, so gaps are lost records and repeats
// are duplicates.
Tally tally_recording() {
  Tally t;
  const int n = zelSaccadrixGetResultsCount();
  if (n <= 0) return t;
  zelSaccadrixSetBufferPosition(0);
  T_RESULTS_STRUCT r;
  uint64_t previous = 0;
  bool first = true;
  while (zelSaccadrixGetBufferedResult(&r, 0) == 0) {
    ++t.delivered;
    if (!first) {
      if (r.timestamp <= previous) ++t.duplicated;
      else t.lost += r.timestamp - previous - 1;
    }
    previous = r.timestamp;
    first = false;
  }
  return t;
}




void wait_drained(int id) {
  vt::pause_stream(id, true);
  for (int i = 0; i < 2000 && vt::queued(id) > 0; ++i) std::this_thread::sleep_for(milliseconds(1));
  std::this_thread::sleep_for(milliseconds(20));
}

void stream_at(double rate, int seconds) {
  const int id = open_tracker(rate);
  zelSaccadrixStartTracking();
  // Timestamps restart at the arm command: measure latency only from here on, so that
  // every timestamp names one report.
  std::this_thread::sleep_for(milliseconds(100));
  vt::keep_readable_times(id, static_cast<size_t>(rate * (seconds + 5)));
  zelSaccadrixFlushResults();
  std::atomic<bool> stop{false};
  std::unordered_map<uint64_t, Clock::time_point> popped;
  popped.reserve(static_cast<size_t>(rate * (seconds + 5)));
  std::thread reader([&] {
    T_RESULTS_STRUCT r;
    while (!stop) {
      if (zelSaccadrixGetResult(&r) >= 0) popped.emplace(r.timestamp, Clock::now());
      else std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  });
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  zelSaccadrixStopTracking();
  wait_drained(id);
  stop = true;
  reader.join();
  const Tally t = tally_recording();
  // The tracker counts samples from its restart: everything it sent is delivered or lost.
  const uint64_t sent = t.delivered - t.duplicated + t.lost;

  std::vector<double> latency_us;
  for (const vt::Readable& e : vt::readable_times(id)) {
    auto it = popped.find(e.timestamp);
    if (it != popped.end() && it->second >= e.when) {
      latency_us.push_back(duration<double, std::micro>(it->second - e.when).count());
    }
  }
  const double p50 = percentile(latency_us, 0.50), p99 = percentile(latency_us, 0.99);
  const double max = latency_us.empty() ? 0 : *std::max_element(latency_us.begin(), latency_us.end());
  std::printf("| %5.0f Hz | %3d s | %8llu | %8llu | %4llu | %4llu | %6llu | %7.0f | %7.0f | %7.0f |\n",
              rate, seconds, static_cast<unsigned long long>(sent),
              static_cast<unsigned long long>(t.delivered), static_cast<unsigned long long>(t.lost),
              static_cast<unsigned long long>(t.duplicated),
              static_cast<unsigned long long>(vt::dropped(id)), p50, p99, max);
  std::fflush(stdout);
  zelSaccadrixClose();
  zelSaccadrixClearDataBuffer();
}

void commands_during_recording() {
  struct Case {
    const char* name;
    std::function<void()> run;
  };
  const double coefficients[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 570, 0, 0, 0, 0, 1};
  const Case cases[] = {
      {"20 x SetResultsType(0)", [] { for (int i = 0; i < 20; ++i) zelSaccadrixSetResultsType(0); }},
      {"SetCalibration (store + read-back)",
       [&] { zelSaccadrixSetCalibration(0, coefficients, 100, 570, 0, 0); }},
      {"10 x GetPinFunctions", [] {
         uint8_t table[32];
         int count;
         for (int i = 0; i < 10; ++i) zelSaccadrixGetPinFunctions(table, sizeof table, &count);
       }},
      {"StartTracking (restarts the recording)", [] { zelSaccadrixStartTracking(); }},
  };
  for (const Case& c : cases) {
    const int id = open_tracker(1000);
    zelSaccadrixStartTracking();
    std::this_thread::sleep_for(milliseconds(500));
    const auto t0 = Clock::now();
    c.run();
    const double took = duration<double, std::milli>(Clock::now() - t0).count();
    std::this_thread::sleep_for(milliseconds(500));
    zelSaccadrixStopTracking();
    wait_drained(id);
    const Tally t = tally_recording();
    std::printf("| %s | %6.0f ms | %6llu | %4llu | %4llu | %6llu |\n", c.name, took,
                static_cast<unsigned long long>(t.delivered), static_cast<unsigned long long>(t.lost),
                static_cast<unsigned long long>(t.duplicated),
                static_cast<unsigned long long>(vt::dropped(id)));
    std::fflush(stdout);
    zelSaccadrixClose();
    zelSaccadrixClearDataBuffer();
  }
}


}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
  }
  std::printf("| rate | time | sent | delivered | lost | dup | queue drops | p50 us | p99 us | max us |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  for (double rate : {1000.0, 2000.0, 8000.0}) stream_at(rate, seconds);
  std::printf("\n| command during a 1 kHz recording | took | recorded | lost | dup | queue drops |\n");
  std::printf("|---|---|---|---|---|---|\n");
  commands_during_recording();
  return 0;
}
