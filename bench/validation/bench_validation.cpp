// How well a validation measures what it claims: the simulated subject is given a known
// offset and measurement noise, the tracker holds the subject's exact calibration, and the
// subject looks at nine targets. The estimated accuracy, offsets and precision are compared
// with the offset and noise that were set.
//
//   bench_validation [--repeats N] [--seconds S]
//
// Each case is repeated N times (the subject's random draws go on from one to the next); the
// table gives the mean of the estimates and the largest error among the repeats. The subject steps through the targets
// in its own time and the windows come from its ground truth, so a loaded machine changes
// nothing but the wall-clock time the benchmark takes.
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "saccadrix/saccadrix.h"
#include "saccadrix/saccadrix_validation.h"
#include "virtual_tracker.h"

namespace {

constexpr double kDistance = 600, kEyeScale = 100;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kSkip = 0.5;

struct Case {
  const char* name;
  double rate;
  double noise;
  double offset_x, offset_y;
  bool still;  // no drift, tremor, microsaccades or blinks: the noise and offset alone
  bool raw;    // raw results with the calibration applied on the host
};

struct Estimate {
  double accuracy = 0, offset_x = 0, offset_y = 0, rms = 0, sd = 0, loss = 0;
};

void fail(const char* what, int status) {
  std::fprintf(stderr, "bench_validation: %s (status %d)\n", what, status);
  std::exit(1);
}

std::vector<vt::TargetStep> nine_targets(double seconds) {
  std::vector<vt::TargetStep> steps;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      const double x = -150 + 150 * c, y = 100 - 100 * r;  // mm on the target plane
      vt::TargetStep s;
      s.x_deg = std::atan(x / kDistance) * kDegreesPerRadian;
      s.y_deg = std::atan(y / kDistance) * kDegreesPerRadian;
      s.seconds = seconds;
      steps.push_back(s);
    }
  }
  return steps;
}

// One validation of eye 0 against the subject as configured.
Estimate run(int id, const Case& c, double seconds) {
  vt::SubjectConfig s;
  s.noise_deg = c.noise;
  s.offset_x_deg = c.offset_x;
  s.offset_y_deg = c.offset_y;
  if (c.still) {
    s.tremor_deg = s.drift_deg_s = s.microsaccades_per_s = s.blinks_per_min = 0;
  }
  if (!vt::set_subject(id, s)) fail("subject settings refused", -3);
  vt::set_rate(id, c.rate);
  const std::array<double, 16> m = vt::subject_calibration(id, kEyeScale, kDistance);
  for (int e = 0; e < 2; ++e) {
    const int status = zelSaccadrixSetCalibration(e, m.data(), kEyeScale, kDistance, 0, 0);
    if (status != 0) fail("cannot store the calibration", status);
  }
  int status = zelSaccadrixSetResultsType(c.raw ? 0 : 1);
  if (status != 0) fail("cannot choose the results type", status);
  status = zelSaccadrixStartTracking();
  if (status != 0) fail("cannot start the recording", status);
  vt::keep_truth(id, 0);  // forget the samples before the timestamp restarted
  vt::keep_truth(id, static_cast<size_t>(c.rate * (9 * seconds + 10)));
  const std::vector<vt::TargetStep> steps = nine_targets(seconds);
  vt::run_targets(id, steps);
  // Wait, in the subject's time, for the last target's window to pass.
  const size_t needed = static_cast<size_t>(c.rate * 9 * seconds);
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    size_t shown = 0;
    for (const vt::TruthSample& t : vt::truth_samples(id)) shown += t.target >= 0;
    if (shown >= needed) break;
  }
  vt::release_target(id);
  zelSaccadrixStopTracking();

  // The records, and the target each was taken under (from the subject's truth).
  std::map<uint64_t, int> target_of;
  for (const vt::TruthSample& t : vt::truth_samples(id)) target_of[t.timestamp] = t.target;
  std::vector<T_RESULTS_STRUCT> records(static_cast<size_t>(zelSaccadrixGetResultsCount()));
  zelSaccadrixSetBufferPosition(0);
  const int n = zelSaccadrixGetBufferedResults(records.data(), nullptr, nullptr,
                                               static_cast<int>(records.size()), 1);
  if (n < 0) fail("cannot read the recording", n);
  records.resize(static_cast<size_t>(n));
  std::vector<double> time(records.size());
  std::vector<T_VALIDATION_TARGET> windows(steps.size());
  for (size_t k = 0; k < steps.size(); ++k) {
    windows[k] = {steps[k].x_deg, steps[k].y_deg, 0, 0};
  }
  std::vector<bool> seen(steps.size(), false);
  for (size_t i = 0; i < records.size(); ++i) {
    time[i] = static_cast<double>(records[i].timestamp) / c.rate;  // the tracker's own time
    const auto it = target_of.find(+records[i].timestamp);
    if (it == target_of.end() || it->second < 0) continue;
    const size_t k = static_cast<size_t>(it->second);
    if (!seen[k]) windows[k].start = static_cast<double>(i);
    seen[k] = true;
    windows[k].end = static_cast<double>(i + 1);
  }
  T_VALIDATION_PARAMS p{};
  p.viewingDistance = 0;  // targets as angles
  p.skipSeconds = kSkip;
  p.windowsInSamples = 1;
  T_GAZE_CALIBRATION cal[2];
  for (T_GAZE_CALIBRATION& g : cal) {
    std::memcpy(g.coefficients, m.data(), sizeof g.coefficients);
    g.eyeScale = kEyeScale;
  }
  T_VALIDATION_RESULT overall[2];
  status = zelSaccadrixValidateRecords(records.data(), time.data(), n, c.raw ? cal : nullptr,
                                       windows.data(), static_cast<int>(windows.size()), &p,
                                       nullptr, overall);
  if (status != 0) fail("validation failed", status);
  const T_VALIDATION_RESULT& r = overall[0];
  return {r.accuracy, r.offsetX, r.offsetY, r.precisionRms, r.precisionSd, r.dataLoss};
}

}  // namespace

int main(int argc, char** argv) {
  int repeats = 3;
  double seconds = 1.5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--repeats") == 0) repeats = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
  }
  if (repeats < 1 || !(seconds > kSkip)) {
    std::fprintf(stderr, "usage: bench_validation [--repeats N] [--seconds S > %g]\n", kSkip);
    return 2;
  }
  setenv("SACCADRIX_INIT_SETTLE_MS", "0", 0);  // a simulated tracker needs no settling

  const Case cases[] = {
      {"still eyes", 1000, 0.02, 0.5, -0.3, true, false},
      {"still eyes", 1000, 0.05, 0.5, -0.3, true, false},
      {"full subject", 1000, 0.02, 0.0, 0.0, false, false},
      {"full subject", 1000, 0.02, 0.5, -0.3, false, false},
      {"full subject", 1000, 0.05, 0.5, -0.3, false, false},
      {"full subject", 250, 0.02, 0.5, -0.3, false, false},
      {"full subject, raw", 1000, 0.02, 0.5, -0.3, false, true},
  };
  vt::DeviceConfig config;
  config.product_id = vt::product_id_for_model(4);
  config.rate_hz = 1000;
  const int id = vt::attach(config);
  if (zelSaccadrixInit() != 4) fail("Init failed", -1);

  std::printf("%d repeats, 9 targets of %.1f s, first %.1f s left out; eye 0\n", repeats, seconds,
              kSkip);
  std::printf("| case | rate | noise | offset | accuracy | error | offset x, y | error | RMS s2s "
              "| error | SD | loss |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Case& c : cases) {
    Estimate mean;
    double acc_err = 0, off_err = 0, rms_err = 0;
    const double size = std::hypot(c.offset_x, c.offset_y);
    for (int r = 0; r < repeats; ++r) {
      const Estimate e = run(id, c, seconds);
      mean.accuracy += e.accuracy / repeats;
      mean.offset_x += e.offset_x / repeats;
      mean.offset_y += e.offset_y / repeats;
      mean.rms += e.rms / repeats;
      mean.sd += e.sd / repeats;
      mean.loss += e.loss / repeats;
      acc_err = std::fmax(acc_err, std::fabs(e.accuracy - size));
      off_err = std::fmax(off_err, std::hypot(e.offset_x - c.offset_x, e.offset_y - c.offset_y));
      rms_err = std::fmax(rms_err, std::fabs(e.rms - c.noise));
    }
    std::printf("| %s | %.0f Hz | %.2f | (%.1f, %.1f) | %.3f | %.3f | (%.3f, %.3f) | %.3f | %.4f | "
                "%.4f | %.3f | %.1f %% |\n",
                c.name, c.rate, c.noise, c.offset_x, c.offset_y, mean.accuracy, acc_err,
                mean.offset_x, mean.offset_y, off_err, mean.rms, rms_err, mean.sd, mean.loss);
    std::fflush(stdout);
  }
  zelSaccadrixClose();
  return 0;
}
