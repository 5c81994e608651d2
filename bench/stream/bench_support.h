// What the streaming benchmarks share: a simulated model code 4 tracker opened at a rate,
// percentiles and the process's CPU time.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

}  // namespace bench
