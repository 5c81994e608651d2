// The kit's demo: everything a first session with a tracker does, run against a simulated
// tracker and a simulated camera, ending with a short summary of what was measured.
//
//   saccadrix-demo [OUTPUT_FOLDER]
//
// The simulated tracker is attached through the virtual tracker's control API, which also
// lets the demo play the subject who looks at calibration targets. The simulated camera is
// the GStreamer plug-in built next to this program.
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "export_files.h"
#include "live_format.h"
#include "saccadrix/saccadrix.h"
#include "saccadrix/saccadrix_events.h"
#include "saccadrix/saccadrix_gs.h"
#include "session.h"
#include "status.h"
#include "validation_run.h"
#include "virtual_tracker.h"

namespace {

using saccadrix::cli::CheckStatus;
using saccadrix::cli::Exit;
using saccadrix::cli::Failure;
using saccadrix::cli::Source;
using Clock = std::chrono::steady_clock;

constexpr double kTrialSeconds = 3.0;
constexpr double kVideoSeconds = 3.0;
constexpr double kViewingDistance = 600;  // mm from the eye to the target plane
constexpr double kEyeScale = 100;
constexpr double kDegreesPerRadian = 57.29577951308232;
// Calibration: wait for the eyes to land, then average the eye position. Validation: show
// each target this long and leave out its first part.
constexpr double kSettleSeconds = 0.5, kMeasureSeconds = 0.5;
constexpr double kValidationSeconds = 1.2, kValidationSkipSeconds = 0.4;
// Live events: the subject looks at a few targets in turn, each for this long.
constexpr double kEventTargetSeconds = 0.7;
constexpr double kEventTargets[][2] = {{0, 0}, {10, 5}, {-8, 6}, {-10, -6}, {6, -7}, {0, 0}};
constexpr size_t kEventLinesShown = 6;

void Step(const char* text) {
  std::printf("\n== %s\n", text);
  std::fflush(stdout);
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long long FileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

// The simulated subject looks at each target the demo shows, as a participant would look at
// a target drawn on the screen: with its reaction time, a saccade, and the imperfections of
// real eyes (noise, drift, microsaccades, blinks).
saccadrix::cli::ShowTarget SubjectLooksAt(int device) {
  return [device](size_t, const saccadrix::cli::PlaneTarget& t) {
    vt::look_at(device, std::atan(t.x / kViewingDistance) * kDegreesPerRadian,
                std::atan(t.y / kViewingDistance) * kDegreesPerRadian);
  };
}

// Takes the queued live events: counts them, keeps the first whole saccades to show.
void TakeEvents(double origin, saccadrix::cli::EventCounts& counts,
                std::vector<std::string>& shown) {
  T_EVENT_STRUCT event;
  while (zelSaccadrixGetEvent(&event) == 1) {
    counts.Add(event);
    if (event.type == SACCADRIX_EVENT_SACCADE && event.phase == SACCADRIX_EVENT_END &&
        !(event.flags & SACCADRIX_EVENT_FLAG_REJECTED) && shown.size() < kEventLinesShown) {
      shown.push_back(saccadrix::cli::EventLine(event, origin));
    }
  }
}

int RunDemo(const std::string& folder) {
  mkdir(folder.c_str(), 0777);
  const std::string csvPath = folder + "/trial.csv";
  const std::string matPath = folder + "/trial.mat";
  const std::string calibrationPath = folder + "/demo.cal";
  const std::string videoPath = folder + "/camera.avi";

  vt::DeviceConfig config;
  config.product_id = vt::product_id_for_model(4);
  config.serial = L"VT-DEMO-0001";
  config.rate_hz = 500;
  config.pin_functions = {5, 6, 7, 0};
  config.viewing_distance = static_cast<int32_t>(kViewingDistance);
  const int device = vt::attach(config);

  Step("Opening the tracker (takes about 2 seconds)");
  saccadrix::cli::TrackerSession session;
  char serial[64] = {};
  zelSaccadrixGetSerialNumber(serial, sizeof serial);
  uint16_t firmware = 0;
  zelSaccadrixGetFirmwareVersion(&firmware);
  char buildDate[64] = {};
  zelSaccadrixGetFirmwareBuildDateTime(buildDate, sizeof buildDate);
  std::printf("model code %d, serial number %s, firmware %u built %s\n", session.model(), serial,
              firmware, buildDate);
  std::printf("device library %d, video library %d\n", zelSaccadrixGetLibVersion(),
              zelSaccadrixGetLibGSVersion());

  Step("Recording a trial of 3 seconds (raw pupil and reflection positions)");
  CheckStatus(Source::kDevice, zelSaccadrixSetResultsType(0), "cannot choose raw results");
  saccadrix::cli::PendingFile csvFile(csvPath), matFile(matPath);
  CheckStatus(Source::kDevice, zelSaccadrixStartTracking(), "cannot start the recording");
  const Clock::time_point trialStart = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(kTrialSeconds));
  zelSaccadrixStopTracking();
  const double trialSeconds = Seconds(trialStart);
  const std::vector<T_RESULTS_STRUCT> trial = saccadrix::cli::TakeRecording();
  if (trial.empty()) {
    throw Failure(Exit::kNoResults, "the trial recorded no results");
  }
  size_t tracked = 0;
  for (const T_RESULTS_STRUCT& r : trial) tracked += r.eye[0].tracked;
  saccadrix::cli::RecordingInfo info{session.model(), firmware, serial, ""};
  saccadrix::cli::WriteCsv(csvFile.temporary(), trial);
  csvFile.Commit();
  saccadrix::cli::WriteMat(matFile.temporary(), trial, info);
  matFile.Commit();
  const double trialRate = static_cast<double>(trial.size()) / trialSeconds;
  const double trackedPercent =
      100.0 * static_cast<double>(tracked) / static_cast<double>(trial.size());
  std::printf("%zu results (%.0f per second), eye 0 tracked in %.0f%% of them\n", trial.size(),
              trialRate, trackedPercent);
  std::printf("wrote %s and %s\n", csvPath.c_str(), matPath.c_str());

  Step("Calibrating from nine targets");
  // A 3 x 3 grid across 300 x 200 mm of the target plane, 600 mm away.
  const std::vector<saccadrix::cli::PlaneTarget> grid = saccadrix::cli::TargetGrid(3, 3, 300, 200);
  const saccadrix::cli::CalibrationPoints points = saccadrix::cli::MeasureCalibrationTargets(
      grid, kSettleSeconds, kMeasureSeconds, SubjectLooksAt(device));
  for (const targ_struct& t : points.eye[0]) {
    std::printf("target (%5.0f, %5.0f) mm: eye 0 at (%6.2f, %6.2f)\n", t.targetX, t.targetY,
                t.eyeX, t.eyeY);
  }
  int residual[2] = {0, 0};
  for (int e = 0; e < 2; ++e) {
    CheckStatus(Source::kDevice,
                zelSaccadrixCalibrateDevice(e, static_cast<uint32_t>(points.eye[e].size()),
                                            points.eye[e].data(), kEyeScale, kViewingDistance, 0,
                                            0, &residual[e]),
                "cannot store the calibration of eye " + std::to_string(e));
    std::printf("eye %d: fitted and stored, residual %d mm over %zu targets\n", e, residual[e],
                points.eye[e].size());
  }

  Step("Validating the calibration: calibrated gaze against the nine targets, in degrees");
  saccadrix::cli::ValidationPlan plan;
  plan.targets = grid;
  plan.viewingDistance = kViewingDistance;
  plan.secondsPerTarget = kValidationSeconds;
  plan.skipSeconds = kValidationSkipSeconds;
  const saccadrix::cli::ValidationOutcome validation =
      saccadrix::cli::RunValidation(plan, SubjectLooksAt(device));
  saccadrix::cli::PrintValidationTable(stdout, plan, validation);
  vt::release_target(device);

  Step("Eye-movement events, live: the subject looks at a few targets");
  CheckStatus(Source::kDevice, zelSaccadrixSetResultsType(1), "cannot choose calibrated results");
  CheckStatus(Source::kDevice, zelSaccadrixSetEventDetection(-1, 1, nullptr),
              "cannot turn on event detection");
  saccadrix::cli::EventCounts events;
  double origin = 0;  // event times from here
  zelSaccadrixGetHostClock(&origin);
  std::vector<std::string> shownEvents;
  for (const auto& target : kEventTargets) {
    vt::look_at(device, target[0], target[1]);
    const Clock::time_point shownAt = Clock::now();
    while (Seconds(shownAt) < kEventTargetSeconds) {
      TakeEvents(origin, events, shownEvents);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  vt::release_target(device);
  zelSaccadrixSetEventDetection(-1, 0, nullptr);
  TakeEvents(origin, events, shownEvents);
  std::printf("both eyes: %s; the first saccades (s since the first target):\n",
              events.Summary().c_str());
  for (const std::string& line : shownEvents) std::printf("  %s\n", line.c_str());
  if (events.byType[SACCADRIX_EVENT_SACCADE] == 0) {
    throw Failure(Exit::kNoResults, "the live detection found no saccade");
  }

  Step("Saving the calibration file");
  CheckStatus(Source::kDevice, zelSaccadrixSaveCalibration(calibrationPath.c_str()),
              "cannot save the calibration");
  std::printf("wrote %s (%lld bytes)\n", calibrationPath.c_str(), FileSize(calibrationPath));

  Step("Recording 3 seconds of camera video");
  zelSaccadrixVideoInit(0, false);
  CheckStatus(Source::kVideo, zelSaccadrixVideoStartRecord(videoPath.c_str()),
              "cannot record video");
  const Clock::time_point videoStart = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(kVideoSeconds));
  const bool videoRan = zelSaccadrixVideoStopped() == 0;
  zelSaccadrixVideoStopRecord();
  zelSaccadrixVideoStop();
  const double videoSeconds = Seconds(videoStart);
  const long long videoBytes = FileSize(videoPath);
  if (!videoRan || videoBytes <= 0) {
    throw Failure(Exit::kVideo, "the video recording did not run to its end");
  }
  std::printf("wrote %s (%lld bytes)\n", videoPath.c_str(), videoBytes);

  Step("Summary");
  std::printf("  tracker           model code %d, serial %s, firmware %u\n", session.model(),
              serial, firmware);
  std::printf("  trial             %zu results in %.1f s (%.0f/s), eye 0 tracked %.0f%%\n",
              trial.size(), trialSeconds, trialRate, trackedPercent);
  std::printf("  calibration       9 targets, residual %d mm (eye 0) and %d mm (eye 1)\n",
              residual[0], residual[1]);
  std::printf("  validation        accuracy %.2f deg (eye 0) and %.2f deg (eye 1), precision "
              "%.3f deg RMS, data loss %.1f%%\n",
              validation.overall[0].accuracy, validation.overall[1].accuracy,
              validation.overall[0].precisionRms, validation.overall[0].dataLoss);
  std::printf("  live events       %s (both eyes, %zu targets)\n", events.Summary().c_str(),
              sizeof kEventTargets / sizeof kEventTargets[0]);
  std::printf("  calibration file  %s\n", calibrationPath.c_str());
  std::printf("  video             %s, %.1f s, %lld kB\n", videoPath.c_str(), videoSeconds,
              videoBytes / 1024);
  std::printf("  trial data        %s, %s\n", csvPath.c_str(), matPath.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "saccadrix-demo";
  // The simulated camera: the plug-in built with the demo, found through a registry file of
  // the demo's own so that the user's GStreamer registry is left alone.
  setenv("GST_PLUGIN_PATH", SACCADRIX_DEMO_PLUGIN_DIR, 0);
  setenv("GST_REGISTRY", SACCADRIX_DEMO_REGISTRY, 0);
  try {
    return RunDemo(folder);
  } catch (const Failure& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "demo failed: %s\n", failure.what());
    return static_cast<int>(failure.exit());
  }
}
