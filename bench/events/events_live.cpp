// Live events as a client sees them: the simulated subject views freely in front of a tracker
// that holds its exact calibration, the library decodes the calibrated stream with live
// detection on (zelSaccadrixSetEventDetection), and this program polls zelSaccadrixGetEvent
// the whole time, stamping each event with the host clock when it is taken. Compared with
// the subject's ground truth:
//  - onset delay: from a true saccade's first sample (the host time its report became
//    readable) to its START being taken from the queue, for saccades above 1 degree; and
//    to the moment the record that started it was read (the START queued: what a client
//    polling without pause would see);
//  - missed: saccades above 1 degree with no START (not rejected by its END);
//  - false: saccade STARTs (not rejected) whose event overlaps no true saccade or
//    microsaccade, per minute;
//  - loss: reports the input queue dropped and gaps in the stored timestamps;
//  - kappa: the offline detection on the same recording (sample times, eye 0) against the
//    true class of each sample, Cohen's kappa per class and over all.
//
//   events_live [--seconds S] [--poll-us U]
//
// Eye 0 is evaluated; both eyes are detected, as a client following both would.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <vector>

#include "agreement.h"
#include "saccadrix/saccadrix.h"
#include "saccadrix/saccadrix_events.h"
#include "virtual_tracker.h"

namespace {

constexpr double kDistance = 600, kEyeScale = 100;
constexpr double kWarmUp = 1.0;  // s: the live thresholds are learnt first

void fail(const char* what, int status) {
  std::fprintf(stderr, "events_live: %s (status %d)\n", what, status);
  std::exit(1);
}

struct Taken {
  T_EVENT_STRUCT event;
  double takenAt;  // host clock when zelSaccadrixGetEvent returned it
};

void run(int id, double rate, double noise, double seconds, int pollMicroseconds) {
  vt::SubjectConfig s;
  s.noise_deg = noise;
  if (!vt::set_subject(id, s)) fail("subject settings refused", -3);
  vt::set_rate(id, rate);
  const std::array<double, 16> m = vt::subject_calibration(id, kEyeScale, kDistance);
  for (int e = 0; e < 2; ++e) {
    const int status = zelSaccadrixSetCalibration(e, m.data(), kEyeScale, kDistance, 0, 0);
    if (status != 0) fail("cannot store the calibration", status);
  }
  int status = zelSaccadrixSetResultsType(1);
  if (status != 0) fail("cannot choose calibrated results", status);
  status = zelSaccadrixStartTracking();
  if (status != 0) fail("cannot start the recording", status);
  vt::keep_truth(id, 0);  // forget the samples before the timestamp restarted
  vt::keep_truth(id, static_cast<size_t>(rate * (seconds + 10)));
  status = zelSaccadrixSetEventDetection(-1, 1, nullptr);
  if (status != 0) fail("cannot turn detection on", status);
  T_EVENT_STRUCT e;
  while (zelSaccadrixGetEvent(&e) == 1) {
  }
  const uint64_t droppedBefore = vt::dropped(id);
  double start = 0;
  zelSaccadrixGetHostClock(&start);

  std::vector<Taken> taken;
  uint64_t queueDrops = 0;
  for (double now = start; now < start + seconds;) {
    while (zelSaccadrixGetEvent(&e) == 1) {
      zelSaccadrixGetHostClock(&now);
      taken.push_back({e, now});
      queueDrops += e.dropped;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(pollMicroseconds));
    zelSaccadrixGetHostClock(&now);
  }
  zelSaccadrixSetEventDetection(-1, 0, nullptr);
  zelSaccadrixStopTracking();
  const uint64_t reportDrops = vt::dropped(id) - droppedBefore;

  // Saccade STARTs of eye 0 with the END that follows them.
  struct Saccade {
    double start, end, detected, taken;
  };
  std::vector<Saccade> saccades;
  for (size_t i = 0; i < taken.size(); ++i) {
    const T_EVENT_STRUCT& a = taken[i].event;
    if (a.eye != 0 || a.type != SACCADRIX_EVENT_SACCADE || a.phase != SACCADRIX_EVENT_START) {
      continue;
    }
    for (size_t j = i + 1; j < taken.size(); ++j) {
      const T_EVENT_STRUCT& b = taken[j].event;
      if (b.eye != 0 || b.type != SACCADRIX_EVENT_SACCADE || b.phase != SACCADRIX_EVENT_END) {
        continue;
      }
      if (!(b.flags & SACCADRIX_EVENT_FLAG_REJECTED)) {
        saccades.push_back({a.startTime, b.endTime, a.detectedTime, taken[i].takenAt});
      }
      break;
    }
  }
  const std::vector<vt::TruthSaccade> truth = vt::truth_saccades(id);
  const double from = start + kWarmUp, to = start + seconds - 0.5;
  std::vector<double> delays, available;
  size_t counted = 0, missed = 0, falseOnes = 0;
  for (const vt::TruthSaccade& t : truth) {
    if (t.micro || !t.complete || t.amplitude_deg <= 1 || t.onset_host_time < from ||
        t.offset_host_time > to) {
      continue;
    }
    ++counted;
    const Saccade* match = nullptr;
    for (const Saccade& d : saccades) {
      if (d.start <= t.offset_host_time && d.end >= t.onset_host_time) {
        match = &d;
        break;
      }
    }
    if (match == nullptr) {
      ++missed;
    } else {
      delays.push_back(match->taken - t.onset_host_time);
      available.push_back(match->detected - t.onset_host_time);
    }
  }
  for (const Saccade& d : saccades) {
    if (d.start < from || d.start > to) continue;
    bool real = false;
    for (const vt::TruthSaccade& t : truth) {
      const double offset = t.complete ? t.offset_host_time : t.onset_host_time + 0.2;
      real = real || (d.start <= offset + 0.03 && d.end >= t.onset_host_time - 0.01);
    }
    falseOnes += !real;
  }
  std::sort(delays.begin(), delays.end());
  std::sort(available.begin(), available.end());
  auto at = [](const std::vector<double>& v, double q) {
    return v.empty() ? NAN
                     : v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(
                                                                       v.size())))] * 1e3;
  };

  // The recording, offline, against the truth of each sample.
  std::vector<T_RESULTS_STRUCT> records(static_cast<size_t>(zelSaccadrixGetResultsCount()));
  std::vector<double> readAt(records.size()), sampledAt(records.size());
  zelSaccadrixSetBufferPosition(0);
  const int n = zelSaccadrixGetBufferedResults(records.data(), readAt.data(), sampledAt.data(),
                                               static_cast<int>(records.size()), 1);
  if (n < 0) fail("cannot read the recording", n);
  std::unordered_map<uint64_t, uint8_t> kindAt;
  for (const vt::TruthSample& t : vt::truth_samples(id)) kindAt[t.timestamp] = t.eye[0].kind;
  std::vector<double> time, x, y;
  std::vector<int8_t> truthLabels;
  size_t gaps = 0;
  for (int i = 0; i < n; ++i) {
    const T_RESULTS_STRUCT& r = records[static_cast<size_t>(i)];
    const uint64_t ts = r.timestamp;
    if (i > 0 && ts != records[static_cast<size_t>(i) - 1].timestamp + 1) ++gaps;
    const auto k = kindAt.find(ts);
    if (k == kindAt.end() || sampledAt[static_cast<size_t>(i)] < start) continue;
    double xd = NAN, yd = NAN;
    if (r.eye[0].tracked) {
      zelSaccadrixGazeDirection(r.eye[0].values[8], r.eye[0].values[9], r.eye[0].values[10],
                                &xd, &yd);
    }
    if (!time.empty() && !(sampledAt[static_cast<size_t>(i)] > time.back())) continue;
    time.push_back(sampledAt[static_cast<size_t>(i)]);
    x.push_back(xd);
    y.push_back(yd);
    truthLabels.push_back(static_cast<int8_t>(k->second));
  }
  std::vector<int8_t> labels(time.size());
  status = zelSaccadrixDetectEvents(time.data(), x.data(), y.data(),
                                    static_cast<int>(time.size()), labels.data(), nullptr,
                                    nullptr, 0, nullptr);
  if (status != 0) fail("the offline detection refused the recording", status);

  std::printf("| %.0f Hz | %.2f | %zu | %.1f ms | %.1f ms | %.1f ms | %.1f / %.1f ms | "
              "%zu (%.2f %%) | %.2f | %llu, %zu, %llu |",
              rate, noise, counted, at(delays, 0.5), at(delays, 0.95), at(delays, 1.0),
              at(available, 0.5), at(available, 0.95), missed,
              counted ? 100.0 * static_cast<double>(missed) / static_cast<double>(counted) : 0.0,
              static_cast<double>(falseOnes) / ((to - from) / 60),
              static_cast<unsigned long long>(reportDrops), gaps,
              static_cast<unsigned long long>(queueDrops));
  for (int c = 1; c <= 5; ++c) {
    const bool present = std::find(truthLabels.begin(), truthLabels.end(), c) != truthLabels.end();
    if (present) {
      std::printf(" %.3f |", bench::kappa(truthLabels, labels, c));
    } else {
      std::printf(" – |");  // the class never truly occurred
    }
  }
  std::printf(" %.3f |\n", bench::kappa_all(truthLabels, labels));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 60;
  int pollMicroseconds = 200;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--poll-us") == 0) pollMicroseconds = std::atoi(argv[i + 1]);
  }
  if (!(seconds >= 5) || pollMicroseconds < 0) {
    std::fprintf(stderr, "usage: events_live [--seconds S >= 5] [--poll-us U]\n");
    return 2;
  }
  setenv("SACCADRIX_INIT_SETTLE_MS", "0", 0);  // a simulated tracker needs no settling
  vt::DeviceConfig config;
  config.product_id = vt::product_id_for_model(4);
  config.rate_hz = 1000;
  const int id = vt::attach(config);
  if (zelSaccadrixInit() != 4) fail("Init failed", -1);
  std::printf("%.0f s per case, events polled every %d us; eye 0; delay = taken from the queue "
              "- true onset (host clock)\n",
              seconds, pollMicroseconds);
  std::printf("| rate | noise | saccades > 1 deg | median delay | p95 | max | "
              "queued: median / p95 | missed | "
              "false per min | reports dropped, gaps, events dropped | kappa fixation | "
              "saccade | PSO | pursuit | blink | all |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|---:|\n");
  for (double rate : {1000.0, 8000.0}) {
    for (double noise : {0.02, 0.05}) run(id, rate, noise, seconds, pollMicroseconds);
  }
  zelSaccadrixClose();
  return 0;
}
