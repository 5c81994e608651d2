// Streaming through the real hidapi and an emulated hidraw node, beside the same stream
// through the hidapi stand-in: one source, built twice (FRONT_END_HIDRAW: libSaccadrix with
// libhidapi-hidraw over a umockdev node; without: the stand-in in hidapi's place). For each
// rate: reports sent by the device, records delivered to the recording, lost and duplicated
// records, reports the input queue dropped, and the latency from a report entering the
// queue (written to the node) to its record being visible to zelSaccadrixGetLastResult, as
// seen by a client that spins.
// usage: bench_hidraw[_standin] [--seconds N] [--only-rate HZ]   (compare.sh runs both)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "bench_support.h"
#include "saccadrix/saccadrix.h"
#include "virtual_tracker.h"
#if defined(FRONT_END_HIDRAW)
#include "emulated_hidraw.h"
#endif

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

namespace {

#if defined(FRONT_END_HIDRAW)
constexpr char kFrontEnd[] = "real hidapi, emulated node";
int plug(const vt::DeviceConfig& c) {
  vt::hidraw::unplug_all();
  return vt::hidraw::plug(c);
}
void unplug_all() { vt::hidraw::unplug_all(); }
#else
constexpr char kFrontEnd[] = "hidapi stand-in";
int plug(const vt::DeviceConfig& c) {
  vt::reset();
  return vt::attach(c);
}
void unplug_all() { vt::reset(); }
#endif

double load_average() {
  double l[1] = {0};
  return getloadavg(l, 1) == 1 ? l[0] : -1;
}

void stream_at(double rate, int seconds) {
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(4);
  c.rate_hz = rate;
  const int id = plug(c);
  if (id < 0 || zelSaccadrixInit() != 4) {
    std::fprintf(stderr, "Init failed\n");
    std::exit(1);
  }
  zelSaccadrixStartTracking();
  std::this_thread::sleep_for(milliseconds(100));  // timestamps restart at the arm command
  vt::keep_readable_times(id, static_cast<size_t>(rate * (seconds + 5)));
  const uint64_t drops_before = vt::dropped(id);
  const uint64_t sent_before = vt::reports_generated(id);
  zelSaccadrixClearDataBuffer();
  std::atomic<bool> stop{false};
  std::vector<bench::Seen> seen;
  seen.reserve(static_cast<size_t>(rate * (seconds + 5)));
  std::thread client = bench::spinning_client(stop, seen);
  const double load0 = load_average();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  vt::pause_stream(id, true);
  std::this_thread::sleep_for(milliseconds(100));  // what was sent reaches the recording
  const double load1 = load_average();
  zelSaccadrixStopTracking();
  stop = true;
  client.join();
  const uint64_t sent = vt::reports_generated(id) - sent_before;

  const bench::StoredCount stored = bench::count_stored();
  const uint64_t delivered = stored.delivered, lost = stored.lost, dup = stored.duplicated;
  const std::vector<double> latency_us = bench::latencies_us(id, seen);
  std::printf("| %s | %5.0f Hz | %3d s | %.1f–%.1f | %8llu | %8llu | %4llu | %4llu | %5llu | %6.0f | %6.0f |\n",
              kFrontEnd, rate, seconds, load0, load1, static_cast<unsigned long long>(sent),
              static_cast<unsigned long long>(delivered), static_cast<unsigned long long>(lost),
              static_cast<unsigned long long>(dup),
              static_cast<unsigned long long>(vt::dropped(id) - drops_before),
              bench::percentile(latency_us, 0.5), bench::percentile(latency_us, 0.99));
  std::fflush(stdout);
  zelSaccadrixClose();
  zelSaccadrixClearDataBuffer();
  unplug_all();
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 20;
  double only = 0;
  bool header = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-header") == 0) header = false;
    if (i + 1 >= argc) continue;
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--only-rate") == 0) only = std::atof(argv[i + 1]);
  }
#if defined(FRONT_END_HIDRAW)
  std::string problem;
  if (!vt::hidraw::start(&problem)) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
#endif
  if (header) {
    std::printf("| front end | rate | time | load avg | sent | delivered | lost | dup | queue drops | p50 us | p99 us |\n");
    std::printf("|---|---|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
  }
  for (double rate : {1000.0, 2000.0, 8000.0}) {
    if (only == 0 || only == rate) stream_at(rate, seconds);
  }
  return 0;
}
