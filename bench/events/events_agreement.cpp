// Sample-level agreement of the offline detection with a ground truth: Cohen's kappa of each
// class against all others, and over all classes.
//   events_agreement FILE.csv      columns time_s, x_deg, y_deg and truth (the true label,
//                                  0..5 as the detection's), e.g. a simulated subject's
//                                  ground truth
//   events_agreement --synthetic   the synthetic signals of the unit tests, 250 Hz to 8 kHz
//   events_agreement --live        the live detector on synthetic signals: delay from each
//                                  true saccade onset to its START (in sample time: the
//                                  detection's own delay, without the transfer to the host),
//                                  saccades above 1 degree missed, false saccades per minute
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <algorithm>

#include "agreement.h"
#include "live_detector.h"
#include "saccadrix/saccadrix_events.h"
#include "synthetic_eye.h"

namespace {

struct Labelled {
  std::vector<double> t, x, y;
  std::vector<int8_t> truth;
};

void report(const char* name, const Labelled& d) {
  std::vector<int8_t> labels(d.t.size());
  if (zelSaccadrixDetectEvents(d.t.data(), d.x.data(), d.y.data(), static_cast<int>(d.t.size()),
                               labels.data(), nullptr, nullptr, 0, nullptr) != SACCADRIX_OK) {
    std::fprintf(stderr, "%s: the detection refused the samples\n", name);
    std::exit(1);
  }
  std::printf("| %s | %zu |", name, d.t.size());
  for (int c = 1; c <= 5; ++c) {
    bool present = false;
    for (int8_t l : d.truth) present = present || l == c;
    if (present) {
      std::printf(" %.3f |", bench::kappa(d.truth, labels, c));
    } else {
      std::printf(" – |");
    }
  }
  std::printf(" %.3f |\n", bench::kappa_all(d.truth, labels));
}

Labelled read_csv(const char* path) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", path);
    std::exit(2);
  }
  std::string line;
  std::getline(in, line);
  std::vector<std::string> names;
  std::stringstream header(line);
  for (std::string f; std::getline(header, f, ',');) names.push_back(f);
  size_t ct = names.size(), cx = ct, cy = ct, cl = ct;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == "time_s") ct = i;
    if (names[i] == "x_deg") cx = i;
    if (names[i] == "y_deg") cy = i;
    if (names[i] == "truth") cl = i;
  }
  if (ct == names.size() || cx == names.size() || cy == names.size() || cl == names.size()) {
    std::fprintf(stderr, "%s: need the columns time_s, x_deg, y_deg and truth\n", path);
    std::exit(2);
  }
  Labelled d;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream row(line);
    for (std::string v; std::getline(row, v, ',');) f.push_back(v);
    f.resize(names.size());
    auto number = [&](size_t c) { return f[c].empty() ? NAN : std::strtod(f[c].c_str(), nullptr); };
    d.t.push_back(number(ct));
    d.x.push_back(number(cx));
    d.y.push_back(number(cy));
    d.truth.push_back(static_cast<int8_t>(std::atoi(f[cl].c_str())));
  }
  return d;
}

// The live detector, sample by sample, against the truth of a synthetic signal.
void live_report(double rate, double rmsNoise, double seconds) {
  synthetic::Scenario scenario;
  scenario.rate = rate;
  scenario.noise = rmsNoise / std::sqrt(2.0);  // per sample, from sample-to-sample RMS
  scenario.seconds = seconds;
  scenario.pso = true;
  scenario.blinkEvery = 4;
  scenario.minAmplitude = 1;
  scenario.maxAmplitude = 15;
  const synthetic::Signal s = synthetic::generate(scenario);
  T_EVENT_PARAMS p;
  zelSaccadrixGetDefaultEventParams(&p);
  saccadrix::events::LiveDetector detector(p, 0);
  std::vector<T_EVENT_STRUCT> events;
  T_EVENT_STRUCT out[saccadrix::events::LiveDetector::kMaxEventsPerPush];
  for (size_t i = 0; i < s.t.size(); ++i) {
    saccadrix::events::LiveSample sample;
    sample.time = sample.hostTime = s.t[i];
    sample.timestamp = i;
    sample.valid = !std::isnan(s.x[i]);
    sample.x = s.x[i];
    sample.y = s.y[i];
    const size_t n = detector.push(sample, out);
    events.insert(events.end(), out, out + n);
  }
  // Saccade STARTs whose END does not reject them.
  std::vector<const T_EVENT_STRUCT*> starts;
  for (size_t i = 0; i + 1 < events.size(); ++i) {
    if (events[i].type == SACCADRIX_EVENT_SACCADE && events[i].phase == SACCADRIX_EVENT_START &&
        !(events[i + 1].flags & SACCADRIX_EVENT_FLAG_REJECTED)) {
      starts.push_back(&events[i]);
    }
  }
  std::vector<double> delays;
  size_t missed = 0, counted = 0;
  const double warmUp = s.t.front() + 1;  // the thresholds are learnt in the first second
  for (const auto& truth : s.saccades) {
    if (truth.onset < warmUp) continue;
    ++counted;
    const T_EVENT_STRUCT* match = nullptr;
    for (const auto* e : starts) {
      if (e->startTime <= truth.offset && e->detectedTime >= truth.onset - 0.01) {
        match = e;
        break;
      }
    }
    if (match == nullptr) {
      ++missed;
    } else {
      delays.push_back(match->detectedTime - truth.onset);
    }
  }
  size_t falseOnes = 0;
  for (const auto* e : starts) {
    if (e->startTime < warmUp) continue;
    bool real = false;
    for (const auto& truth : s.saccades) {
      real = real || (e->startTime <= truth.offset + 0.03 && e->detectedTime >= truth.onset);
    }
    falseOnes += !real;
  }
  std::sort(delays.begin(), delays.end());
  auto at = [&](double q) {
    return delays.empty() ? NAN : delays[std::min(delays.size() - 1, static_cast<size_t>(q * static_cast<double>(delays.size())))];
  };
  std::printf("| %.0f Hz | %.2f deg | %zu | %.1f ms | %.1f ms | %.1f ms | %zu (%.2f %%) | %.2f |\n",
              rate, rmsNoise, counted, at(0.5) * 1e3, at(0.95) * 1e3, delays.empty() ? NAN : delays.back() * 1e3,
              missed, 100.0 * static_cast<double>(missed) / static_cast<double>(counted),
              static_cast<double>(falseOnes) / ((seconds - 1) / 60));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: events_agreement FILE.csv | --synthetic | --live\n");
    return 2;
  }
  if (std::strcmp(argv[1], "--live") == 0) {
    std::printf("| rate | noise (RMS s-to-s) | saccades | median delay | p95 | max | missed | "
                "false per minute |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|\n");
    for (double rate : {1000.0, 8000.0}) {
      for (double noise : {0.02, 0.05}) live_report(rate, noise, rate > 2000 ? 120 : 600);
    }
    return 0;
  }
  std::printf("| data | samples | fixation | saccade | PSO | pursuit | blink | all |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
  if (std::strcmp(argv[1], "--synthetic") != 0) {
    report(argv[1], read_csv(argv[1]));
    return 0;
  }
  const struct {
    const char* name;
    double rate, noise;
  } rows[] = {{"250 Hz, noise 0.014 deg", 250, 0.014},
              {"500 Hz, noise 0.014 deg", 500, 0.014},
              {"500 Hz, noise 0.035 deg", 500, 0.035},
              {"1000 Hz, noise 0.014 deg", 1000, 0.014},
              {"8000 Hz, noise 0.014 deg", 8000, 0.014}};
  for (const auto& r : rows) {
    synthetic::Scenario scenario;
    scenario.rate = r.rate;
    scenario.noise = r.noise;
    scenario.seconds = 120;
    scenario.pso = true;
    scenario.blinkEvery = 4;
    scenario.pursuitEvery = 5;
    const synthetic::Signal s = synthetic::generate(scenario);
    report(r.name, Labelled{s.t, s.x, s.y, s.label});
  }
  return 0;
}
