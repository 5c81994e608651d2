#include "validation_run.h"

#include <chrono>
#include <cmath>
#include <string>

#include "session.h"
#include "status.h"

namespace saccadrix::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kEyeXSlot = 6, kEyeYSlot = 7;  // values[] of raw results: pupil minus reflection
constexpr int kChunk = 4096;                  // records read back at a time

Clock::time_point After(double seconds) {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void Wait(double seconds) {
  if (!SleepUntil(After(seconds))) throw Failure(Exit::kInternal, "interrupted");
}

double HostClock() {
  double now = 0;
  CheckStatus(Source::kDevice, zelSaccadrixGetHostClock(&now), "cannot read the host clock");
  return now;
}

// "  0.12" or "     -" for a figure that could not be computed.
std::string Figure(double v, int width, int decimals) {
  char text[32];
  if (std::isfinite(v)) {
    std::snprintf(text, sizeof text, "%*.*f", width, decimals, v);
  } else {
    std::snprintf(text, sizeof text, "%*s", width, "-");
  }
  return text;
}

std::string EyeColumns(const T_VALIDATION_RESULT& r) {
  return Figure(r.accuracy, 6, 2) + Figure(r.precisionRms, 7, 3) + Figure(r.precisionSd, 7, 3) +
         Figure(r.dataLoss, 7, 1);
}

}  // namespace

std::vector<PlaneTarget> TargetGrid(int columns, int rows, double width, double height) {
  std::vector<PlaneTarget> targets;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      PlaneTarget t;
      t.x = columns > 1 ? -width / 2 + width * c / (columns - 1) : 0;
      t.y = rows > 1 ? height / 2 - height * r / (rows - 1) : 0;
      targets.push_back(t);
    }
  }
  return targets;
}

CalibrationPoints MeasureCalibrationTargets(const std::vector<PlaneTarget>& targets,
                                            double settleSeconds, double measureSeconds,
                                            const ShowTarget& show) {
  CheckStatus(Source::kDevice, zelSaccadrixSetResultsType(0), "cannot choose raw results");
  CalibrationPoints points;
  for (size_t k = 0; k < targets.size(); ++k) {
    show(k, targets[k]);
    Wait(settleSeconds);
    zelSaccadrixFlushResults();
    double sum_x[2] = {0, 0}, sum_y[2] = {0, 0};
    int n[2] = {0, 0};
    const Clock::time_point end = After(measureSeconds);
    while (Clock::now() < end && !Interrupted()) {
      T_RESULTS_STRUCT r;
      if (zelSaccadrixGetResult(&r) < 0) {
        SleepUntil(Clock::now() + std::chrono::milliseconds(1));
        continue;
      }
      for (int e = 0; e < 2; ++e) {
        const T_EYE_RESULTS eye = r.eye[e];
        if (r.resultsType != 0 || eye.tracked == 0) continue;
        sum_x[e] += eye.values[kEyeXSlot];
        sum_y[e] += eye.values[kEyeYSlot];
        ++n[e];
      }
    }
    if (Interrupted()) throw Failure(Exit::kInternal, "interrupted");
    if (n[0] == 0) {
      throw Failure(Exit::kNoResults, "the tracker sent no tracked result while target " +
                                          std::to_string(k + 1) + " was shown");
    }
    for (int e = 0; e < 2; ++e) {
      // Trackers of model code 3 report one eye: the other has no points.
      if (n[e] == 0) continue;
      points.eye[e].push_back({targets[k].x, targets[k].y, sum_x[e] / n[e], sum_y[e] / n[e]});
    }
  }
  return points;
}

ValidationOutcome RunValidation(const ValidationPlan& plan, const ShowTarget& show) {
  T_GAZE_CALIBRATION calibration[2] = {};
  if (plan.raw) {
    for (int e = 0; e < 2; ++e) {
      double distance = 0, aux1 = 0, aux2 = 0;
      CheckStatus(Source::kDevice,
                  zelSaccadrixGetCalibration(e, calibration[e].coefficients,
                                             &calibration[e].eyeScale, &distance, &aux1, &aux2),
                  "cannot read the calibration of eye " + std::to_string(e));
    }
  }
  CheckStatus(Source::kDevice, zelSaccadrixSetResultsType(plan.raw ? 0 : 1),
              plan.raw ? "cannot choose raw results" : "cannot choose calibrated results");
  CheckStatus(Source::kDevice, zelSaccadrixStartTracking(), "cannot start the recording");
  std::vector<T_VALIDATION_TARGET> windows;
  for (size_t k = 0; k < plan.targets.size(); ++k) {
    const double shown = HostClock();
    if (k > 0) windows.back().end = shown;
    windows.push_back({plan.targets[k].x, plan.targets[k].y, shown, shown});
    show(k, plan.targets[k]);
    if (!SleepUntil(After(plan.secondsPerTarget))) break;
  }
  if (!windows.empty()) windows.back().end = HostClock();
  zelSaccadrixStopTracking();
  if (Interrupted()) throw Failure(Exit::kInternal, "interrupted");

  std::vector<T_RESULTS_STRUCT> records;
  std::vector<double> host, sample;
  if (zelSaccadrixSetBufferPosition(0) != SACCADRIX_OK) {
    throw Failure(Exit::kNoResults, "the validation recorded no results");
  }
  for (;;) {
    const size_t at = records.size();
    records.resize(at + kChunk);
    host.resize(at + kChunk);
    sample.resize(at + kChunk);
    const int n = zelSaccadrixGetBufferedResults(&records[at], &host[at], &sample[at], kChunk, 1);
    CheckStatus(Source::kDevice, n, "cannot read the recording back");
    records.resize(at + static_cast<size_t>(n));
    if (n == 0) break;
  }
  if (records.empty()) throw Failure(Exit::kNoResults, "the validation recorded no results");
  // Sample times place records where the tracker made them; host times stand in where the
  // clock mapping has none.
  std::vector<double> time(records.size());
  for (size_t i = 0; i < records.size(); ++i) time[i] = std::isfinite(sample[i]) ? sample[i] : host[i];

  T_VALIDATION_PARAMS params{};
  params.viewingDistance = plan.viewingDistance;
  params.skipSeconds = plan.skipSeconds;
  ValidationOutcome outcome;
  outcome.records = records.size();
  outcome.perTarget.resize(2 * windows.size());
  CheckStatus(Source::kDevice,
              zelSaccadrixValidateRecords(records.data(), time.data(), static_cast<int>(records.size()),
                                          plan.raw ? calibration : nullptr, windows.data(),
                                          static_cast<int>(windows.size()), &params,
                                          outcome.perTarget.data(), outcome.overall),
              "cannot validate the recording");
  return outcome;
}

void PrintValidationTable(std::FILE* out, const ValidationPlan& plan,
                          const ValidationOutcome& outcome) {
  std::fprintf(out,
               "Validation: %zu targets at %g mm, %.1f s each (first %.1f s left out), %s "
               "results, %zu records\n",
               plan.targets.size(), plan.viewingDistance, plan.secondsPerTarget, plan.skipSeconds,
               plan.raw ? "raw" : "calibrated", outcome.records);
  std::fprintf(out, "accuracy and precision in degrees, data loss in percent\n");
  std::fprintf(out, "%-7s%8s%8s | %-27s | %s\n", "", "", "", "eye 0", "eye 1");
  std::fprintf(out, "%-7s%8s%8s | %6s%7s%7s%7s | %6s%7s%7s%7s\n", "target", "x mm", "y mm",
               "acc", "rms", "sd", "loss", "acc", "rms", "sd", "loss");
  const size_t n = outcome.perTarget.size() / 2;
  for (size_t k = 0; k < n && k < plan.targets.size(); ++k) {
    std::fprintf(out, "%-7zu%8.0f%8.0f | %s | %s\n", k + 1, plan.targets[k].x, plan.targets[k].y,
                 EyeColumns(outcome.perTarget[2 * k]).c_str(),
                 EyeColumns(outcome.perTarget[2 * k + 1]).c_str());
  }
  std::fprintf(out, "%-7s%8s%8s | %s | %s\n", "all", "", "", EyeColumns(outcome.overall[0]).c_str(),
               EyeColumns(outcome.overall[1]).c_str());
}

}  // namespace saccadrix::cli
