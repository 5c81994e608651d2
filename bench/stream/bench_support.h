// What the streaming benchmarks share: a simulated model code 4 tracker opened at a rate,
// percentiles and the process's CPU time.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "saccadrix/saccadrix.h"
#include "virtual_tracker.h"

namespace bench {

inline double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  const size_t k = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
  std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
  return v[k];
}

inline double process_cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Attaches a model code 4 tracker streaming at rate and opens it; exits on failure.
inline int open_tracker(double rate) {
  vt::reset();
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(4);
  c.rate_hz = rate;
  const int id = vt::attach(c);
  if (zelSaccadrixInit() != 4) {
    std::fprintf(stderr, "Init failed\n");
    std::exit(1);
  }
  return id;
}

// The stored recording from its start: timestamps step by one, so gaps are lost records and
// repeats duplicates.
struct StoredCount {
  uint64_t delivered = 0, lost = 0, duplicated = 0;
};
inline StoredCount count_stored() {
  StoredCount c;
  uint64_t previous = 0;
  zelSaccadrixSetBufferPosition(0);
  T_RESULTS_STRUCT r;
  while (zelSaccadrixGetBufferedResult(&r, 0) == 0) {
    if (c.delivered++ > 0) {
      if (r.timestamp <= previous) {
        ++c.duplicated;
      } else {
        c.lost += r.timestamp - previous - 1;
      }
    }
    previous = r.timestamp;
  }
  return c;
}

// A record a client saw: its timestamp and when it became visible.
using Seen = std::pair<uint64_t, std::chrono::steady_clock::time_point>;

// A client that spins on zelSaccadrixGetLastResult (no sleep between calls) and notes when
// each new record becomes visible, until stop is set.
inline std::thread spinning_client(std::atomic<bool>& stop, std::vector<Seen>& seen) {
  return std::thread([&stop, &seen] {
    T_RESULTS_STRUCT r;
    uint64_t last = ~0ull;
    while (!stop.load(std::memory_order_relaxed)) {
      if (zelSaccadrixGetLastResult(&r) == 0 && r.timestamp != last) {
        last = r.timestamp;
        seen.emplace_back(r.timestamp, std::chrono::steady_clock::now());
      }
    }
  });
}

// Microseconds from the moment the simulated tracker made each report readable (its own
// record) to the moment the client saw its record; reports it did not keep are skipped.
inline std::vector<double> latencies_us(int id, const std::vector<Seen>& seen) {
  std::unordered_map<uint64_t, std::chrono::steady_clock::time_point> readable;
  for (const vt::Readable& e : vt::readable_times(id)) readable.emplace(e.timestamp, e.when);
  std::vector<double> out;
  for (const Seen& s : seen) {
    const auto it = readable.find(s.first);
    if (it != readable.end() && s.second >= it->second) {
      out.push_back(std::chrono::duration<double, std::micro>(s.second - it->second).count());
    }
  }
  return out;
}

}  // namespace bench
