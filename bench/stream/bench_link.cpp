// The link layer's latency and cost, against the virtual tracker:
//  - latency from a report becoming readable in the input queue to its record being visible
//    to zelSaccadrixGetLastResult, seen by a client that spins (no sleep between polls), at
//    1, 2 and 8 kHz, with records sent, delivered, lost and duplicated while recording;
//  - time for a command (a query) to reach the device while the tracker streams at 8 kHz;
//  - CPU used by the idle poll thread (tracker attached, not streaming).
// Optionally with busy-looping processes beside it (--busy N), to see what a loaded machine
// loses. The poll thread's priority is printed when the library can tell it.
// usage: bench_link [--seconds N] [--busy N] [--only-rate HZ]
#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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



double load_average() {
  double l[1] = {0};
  return getloadavg(l, 1) == 1 ? l[0] : -1;
}


// The poll thread's priority, where the library reports it.
const char* priority_text() {
  using Fn = int (*)(int*, int*);
  static char text[64];
  const auto fn = reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, "zelSaccadrixGetPollThreadPriority"));
  int raised = 0, priority = 0;
  if (fn == nullptr) return "not reported";
  if (fn(&raised, &priority) != 0) return "no thread";
  std::snprintf(text, sizeof text, raised ? "real-time %d" : "normal", priority);
  return text;
}

void stream_at(double rate, int seconds) {
  const int id = open_tracker(rate);
  const char* priority = priority_text();
  zelSaccadrixStartTracking();
  std::this_thread::sleep_for(milliseconds(100));  // timestamps restart at the arm command
  vt::keep_readable_times(id, static_cast<size_t>(rate * (seconds + 5)));
  const uint64_t drops_before = vt::dropped(id);
  std::atomic<bool> stop{false};
  std::vector<bench::Seen> seen;
  seen.reserve(static_cast<size_t>(rate * (seconds + 5)));
  std::thread client = bench::spinning_client(stop, seen);
  const double load0 = load_average();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double load1 = load_average();
  zelSaccadrixStopTracking();
  stop = true;
  client.join();
  vt::pause_stream(id, true);
  std::this_thread::sleep_for(milliseconds(50));

  const bench::StoredCount stored = bench::count_stored();
  const uint64_t delivered = stored.delivered, lost = stored.lost, dup = stored.duplicated;
  const std::vector<double> latency_us = bench::latencies_us(id, seen);
  std::printf("| %5.0f Hz | %3d s | %.1f–%.1f | %s | %8llu | %4llu | %4llu | %5llu | %6.0f | %6.0f | %7.0f |\n",
              rate, seconds, load0, load1, priority, static_cast<unsigned long long>(delivered),
              static_cast<unsigned long long>(lost), static_cast<unsigned long long>(dup),
              static_cast<unsigned long long>(vt::dropped(id) - drops_before),
              percentile(latency_us, 0.5), percentile(latency_us, 0.99),
              latency_us.empty() ? 0 : *std::max_element(latency_us.begin(), latency_us.end()));
  std::fflush(stdout);
  zelSaccadrixClose();
  zelSaccadrixClearDataBuffer();
}

// From the call of a query to its report reaching the device, while results stream at 8 kHz.
void command_access(int queries) {
  const int id = open_tracker(8000);
  std::this_thread::sleep_for(milliseconds(200));
  std::vector<double> us;
  for (int i = 0; i < queries; ++i) {
    vt::clear_written(id);
    const auto t0 = Clock::now();
    int distance = 0;
    (void)distance;
    uint8_t table[32];
    int count = 0;
    zelSaccadrixGetPinFunctions(table, sizeof table, &count);
    const auto w = vt::written(id);
    if (!w.empty()) us.push_back(duration<double, std::micro>(w.front().when - t0).count());
    std::this_thread::sleep_for(milliseconds(2));
  }
  std::printf("| command reaches the device, 8 kHz stream | %d queries | p50 %.0f us | p99 %.0f us | max %.0f us |\n",
              queries, percentile(us, 0.5), percentile(us, 0.99),
              us.empty() ? 0 : *std::max_element(us.begin(), us.end()));
  zelSaccadrixClose();
}

void idle_poll_thread(int seconds) {
  open_tracker(0);
  const double cpu0 = process_cpu_seconds();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = process_cpu_seconds() - cpu0;
  const double wall = duration<double>(Clock::now() - t0).count();
  std::printf("| idle poll thread | %d s | CPU %.4f s | %.3f %% of one core |\n", seconds, cpu,
              100.0 * cpu / wall);
  zelSaccadrixClose();
}

std::vector<pid_t> start_busy(int n) {
  std::vector<pid_t> pids;
  for (int i = 0; i < n; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      volatile uint64_t x = 0;
      for (;;) x = x + 1;
    }
    pids.push_back(pid);
  }
  return pids;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 20, busy = 0;
  double only = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--busy") == 0) busy = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--only-rate") == 0) only = std::atof(argv[i + 1]);
  }
  const std::vector<pid_t> busy_pids = start_busy(busy);
  std::printf("| rate | time | load avg | poll thread | delivered | lost | dup | queue drops | p50 us | p99 us | max us |\n");
  std::printf("|---|---|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
  for (double rate : {1000.0, 2000.0, 8000.0}) {
    if (only == 0 || only == rate) stream_at(rate, seconds);
  }
  if (only == 0) {
    std::printf("\n");
    command_access(500);
    idle_poll_thread(10);
  }
  for (pid_t pid : busy_pids) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  return 0;
}
