// How close the library's clock mapping comes to the instants the simulated tracker made its
// reports readable (its true host times), with the tracker's clock running 100 ppm fast and
// 100 ppm slow, on the machine as it is and with two busy-looping processes; and what
// zelSaccadrixAddMarker costs from a second thread while streaming at 8 kHz, and whether it
// makes the library lose records.
//
// Mapping, for each load, rate (1 and 8 kHz, model code 4) and drift, SECONDS of streaming:
//   live   a client polls every 0.5 ms, maps the newest record's timestamp with
//          zelSaccadrixTimestampToHostClock as the mapping stands then;
//   after  every stored record's sample time from zelSaccadrixGetBufferedResults, read
//          once streaming has stopped;
//   read   the read delay itself: the record's host time minus its true readable time;
//   and, apart from the simulator's own stalls (its schedule restarts counted), live and
//   after against the tracker's schedule, with the share of reports the simulator made
//   readable over 0.25 ms late.
// SACCADRIX_BENCH_DUMP=1 writes every stored record to stderr (timestamp, host time, sample
// time, true readable time, scheduled time) and each marker call that took over 1 ms.
// Markers: 8 kHz for SECONDS without a marker thread, then with one adding markers at
// 1000 and at 10 000 a second; cost of each call, records lost (timestamp gaps in the
// stored list) and reports the input queue dropped.
// bench_mapping.sh runs each rate and drift in a process of its own: the library carries its
// rate estimate over from one tracker to the next within a process.
//   bench_record_mapping [--seconds N] [--only mapping|markers] [--busy-only | --idle-only]
//                        [--only-rate HZ] [--only-ppm PPM] [--no-header]
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "../stream/bench_support.h"

using Clock = std::chrono::steady_clock;

namespace {

double load_average() {
  double l[1] = {0};
  return getloadavg(l, 1) == 1 ? l[0] : -1;
}

double seconds_of(Clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// Processes that spin on a core until stopped, to load the machine.
struct BusyLoops {
  std::vector<pid_t> pids;
  explicit BusyLoops(int n) {
    for (int i = 0; i < n; ++i) {
      const pid_t pid = fork();
      if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive the benchmark
        for (volatile unsigned long x = 0;; x = x + 1) {
        }
      }
      if (pid > 0) pids.push_back(pid);
    }
  }
  ~BusyLoops() {
    for (pid_t pid : pids) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};

int open_streaming(double rate, double ppm) {
  vt::reset();
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(4);
  c.rate_hz = rate;
  c.clock_ppm = ppm;
  const int id = vt::attach(c);
  if (id < 0 || zelSaccadrixInit() != 4 || zelSaccadrixStartTracking() != 0) {
    std::fprintf(stderr, "cannot open and start the simulated tracker\n");
    std::exit(1);
  }
  return id;
}

void print_us(const char* what, const std::vector<double>& v) {
  std::printf(" %s %6.1f / %6.1f / %7.1f |", what, bench::percentile(v, 0.5) * 1e6,
              bench::percentile(v, 0.99) * 1e6, bench::percentile(v, 1.0) * 1e6);
}

void mapping_run(const char* load_name, double rate, double ppm, double seconds) {
  const int id = open_streaming(rate, ppm);
  vt::keep_readable_times(id, static_cast<size_t>(rate * (seconds + 5)));
  struct Live {
    uint64_t timestamp;
    double mapped;
  };
  std::vector<Live> live;
  live.reserve(static_cast<size_t>(seconds * 2000 + 100));
  std::atomic<bool> stop{false};
  std::thread client([&] {
    T_RESULTS_STRUCT r;
    uint64_t last = ~0ull;
    while (!stop.load(std::memory_order_relaxed)) {
      double host = 0, mapped = 0;
      if (zelSaccadrixGetLastResultWithTime(&r, &host) == 0 && r.timestamp != last &&
          zelSaccadrixTimestampToHostClock(r.timestamp, &mapped) == 0) {
        last = r.timestamp;
        live.push_back({r.timestamp, mapped});
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  const double load0 = load_average();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  client.join();
  zelSaccadrixStopTracking();
  const double load1 = load_average();

  // The simulator's schedule: the tracker makes a report every 1 / (rate x (1 + ppm / 1e6))
  // seconds of host time. A report its thread made readable late (a stall, then a burst)
  // keeps its scheduled timestamp, so the schedule is the line under the true readable times
  // with that slope. After a stall of over 0.2 s the simulator restarts its schedule (its
  // clock stands still meanwhile): a new line from there on. A report's lateness is how far
  // above its line it lies.
  const double period = 1.0 / (rate * (1 + ppm / 1e6));
  std::unordered_map<uint64_t, double> truth;
  std::vector<std::pair<uint64_t, double>> lines;  // first timestamp, line at timestamp 0
  {
    uint64_t previous_timestamp = 0;
    double previous_when = 0;
    for (const vt::Readable& e : vt::readable_times(id)) {
      const double when = seconds_of(e.when);
      truth[e.timestamp] = when;
      const double at_zero = when - static_cast<double>(e.timestamp) * period;
      if (lines.empty() || e.timestamp < previous_timestamp ||
          when - previous_when -
                  static_cast<double>(e.timestamp - previous_timestamp) * period >
              0.15) {
        lines.emplace_back(e.timestamp, at_zero);
      }
      lines.back().second = std::min(lines.back().second, at_zero);
      previous_timestamp = e.timestamp;
      previous_when = when;
    }
  }
  auto scheduled = [&](uint64_t timestamp) {
    auto it = std::upper_bound(
        lines.begin(), lines.end(), timestamp,
        [](uint64_t t, const std::pair<uint64_t, double>& l) { return t < l.first; });
    if (it != lines.begin()) --it;
    return it->second + static_cast<double>(timestamp) * period;
  };
  std::vector<double> live_error, after_error, read_delay, live_schedule, after_schedule;
  size_t late = 0;
  for (const Live& l : live) {
    const auto it = truth.find(l.timestamp);
    if (it == truth.end() || lines.empty()) continue;
    live_error.push_back(std::fabs(l.mapped - it->second));
    live_schedule.push_back(std::fabs(l.mapped - scheduled(l.timestamp)));
  }
  std::vector<T_RESULTS_STRUCT> block(4096);
  std::vector<double> host(4096), sample(4096);
  zelSaccadrixSetBufferPosition(0);
  for (int n; (n = zelSaccadrixGetBufferedResults(block.data(), host.data(), sample.data(), 4096,
                                                  1)) > 0;) {
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
      const auto it = truth.find(+block[i].timestamp);
      if (it == truth.end() || lines.empty() || std::isnan(sample[i])) continue;
      after_error.push_back(std::fabs(sample[i] - it->second));
      after_schedule.push_back(std::fabs(sample[i] - scheduled(block[i].timestamp)));
      read_delay.push_back(host[i] - it->second);
      if (it->second - scheduled(block[i].timestamp) > 250e-6) ++late;
      if (std::getenv("SACCADRIX_BENCH_DUMP") != nullptr) {
        std::fprintf(stderr, "%llu %.6f %.6f %.6f %.6f\n",
                     static_cast<unsigned long long>(block[i].timestamp), host[i], sample[i],
                     it->second, scheduled(block[i].timestamp));
      }
    }
  }
  zelSaccadrixClose();
  std::printf("| %s | %.1f–%.1f | %4.0f Hz | %+4.0f ppm | %7zu |", load_name, load0, load1, rate,
              ppm, after_error.size());
  print_us("", live_error);
  print_us("", after_error);
  print_us("", read_delay);
  std::printf(" %zu | %.2f %% |", lines.size() - 1,
              100.0 * static_cast<double>(late) /
                  static_cast<double>(std::max<size_t>(1, after_error.size())));
  print_us("", live_schedule);
  print_us("", after_schedule);
  std::printf("\n");
  std::fflush(stdout);
}

void markers_run(double markers_per_second, double seconds) {
  const int id = open_streaming(8000, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const uint64_t drops_before = vt::dropped(id);
  std::atomic<bool> stop{false};
  std::vector<double> cost;
  cost.reserve(static_cast<size_t>(markers_per_second * seconds + 100));
  std::thread marker;
  if (markers_per_second > 0) {
    marker = std::thread([&] {
      const auto period = std::chrono::duration<double>(1.0 / markers_per_second);
      auto next = Clock::now();
      char text[32];
      for (unsigned n = 0; !stop.load(std::memory_order_relaxed); ++n) {
        std::snprintf(text, sizeof text, "trial %u", n);
        const auto t0 = Clock::now();
        zelSaccadrixAddMarker(text);
        cost.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        if (cost.back() > 1e-3 && std::getenv("SACCADRIX_BENCH_DUMP") != nullptr) {
          std::fprintf(stderr, "marker %u took %.0f us\n", n, cost.back() * 1e6);
        }
        next += std::chrono::duration_cast<Clock::duration>(period);
        std::this_thread::sleep_until(next);
      }
    });
  }
  const double load0 = load_average();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  if (marker.joinable()) marker.join();
  vt::pause_stream(id, true);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  zelSaccadrixStopTracking();
  const double load1 = load_average();
  uint64_t stored = 0, lost = 0, previous = 0;
  zelSaccadrixSetBufferPosition(0);
  T_RESULTS_STRUCT r;
  while (zelSaccadrixGetBufferedResult(&r, 0) == 0) {
    if (stored++ > 0 && r.timestamp > previous) lost += r.timestamp - previous - 1;
    previous = r.timestamp;
  }
  std::printf("| %5.0f /s | %.1f–%.1f | %8llu | %6d | %4llu | %4llu |", markers_per_second, load0,
              load1, static_cast<unsigned long long>(stored), zelSaccadrixGetMarkerCount(),
              static_cast<unsigned long long>(lost),
              static_cast<unsigned long long>(vt::dropped(id) - drops_before));
  if (cost.empty()) std::printf(" – | – | – |\n");
  else std::printf(" %.2f | %.2f | %.1f |\n", bench::percentile(cost, 0.5) * 1e6,
                   bench::percentile(cost, 0.99) * 1e6, bench::percentile(cost, 1.0) * 1e6);
  std::fflush(stdout);
  zelSaccadrixClose();
  zelSaccadrixClearDataBuffer();
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 20;
  std::string only;
  bool busy_only = false, idle_only = false, header = true;
  double only_rate = 0, only_ppm = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--busy-only") == 0) busy_only = true;
    if (std::strcmp(argv[i], "--no-header") == 0) header = false;
    if (std::strcmp(argv[i], "--idle-only") == 0) idle_only = true;
    if (i + 1 >= argc) continue;
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
    if (std::strcmp(argv[i], "--only-rate") == 0) only_rate = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--only-ppm") == 0) only_ppm = std::atof(argv[i + 1]);
  }
  setenv("SACCADRIX_INIT_SETTLE_MS", "0", 0);
  if (only.empty() || only == "mapping") {
    if (header) {
      std::printf("|load|load avg|rate|drift|records| live p50 / p99 / max us "
                  "| after p50 / p99 / max us | read delay p50 / p99 / max us "
                  "| schedule restarts | reports late | live vs schedule | after vs schedule |\n");
    }
    if (header) std::printf("|---|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (int busy : {0, 2}) {
      if ((busy == 0 && busy_only) || (busy != 0 && idle_only)) continue;
      BusyLoops loops(busy);
      for (double rate : {1000.0, 8000.0}) {
        for (double ppm : {100.0, -100.0}) {
          if ((only_rate != 0 && rate != only_rate) || (only_ppm != 0 && ppm != only_ppm)) continue;
          mapping_run(busy ? "2 busy loops" : "as it is", rate, ppm, seconds);
        }
      }
    }
  }
  if (only.empty() || only == "markers") {
    std::printf("\n| markers | load avg | stored | markers | lost | queue drops "
                "| cost p50 us | p99 us | max us |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (double per_second : {0.0, 1000.0, 10000.0}) markers_run(per_second, seconds);
  }
  return 0;
}
