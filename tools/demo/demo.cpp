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
#include "saccadrix/saccadrix.h"
#include "saccadrix/saccadrix_gs.h"
#include "session.h"
#include "status.h"
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

// The simulated subject fixates an eye position; the eye position measured for a target is
// the mean over the next results, as a calibration routine would take it.
struct Measured {
  double eyeX[2] = {0, 0};
  double eyeY[2] = {0, 0};
};

Measured MeasureFixation(int device, double eyeX, double eyeY, bool calibrated) {
  vt::set_eye_position(device, eyeX, eyeY);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // results of the old position
  zelSaccadrixFlushResults();
  Measured m;
  int n = 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
  while (n < 20 && Clock::now() < deadline) {
    T_RESULTS_STRUCT r;
    if (zelSaccadrixGetResult(&r) < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    for (int e = 0; e < 2; ++e) {
      if (calibrated) {
        // Gaze direction to the point it meets the target plane.
        const double z = r.eye[e].values[10];
        m.eyeX[e] += z != 0 ? r.eye[e].values[8] / z * kViewingDistance : 0;
        m.eyeY[e] += z != 0 ? r.eye[e].values[9] / z * kViewingDistance : 0;
      } else {
        m.eyeX[e] += r.eye[e].values[6];  // pupil minus reflection centre
        m.eyeY[e] += r.eye[e].values[7];
      }
    }
    ++n;
  }
  if (n == 0) {
    throw Failure(Exit::kNoResults, "the tracker sent no results while a target was shown");
  }
  for (int e = 0; e < 2; ++e) {
    m.eyeX[e] /= n;
    m.eyeY[e] /= n;
  }
  return m;
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
  // The simulated subject looks at each target in turn; its eye position moves with the
  // target (a quarter of the target's offset, in the tracker's units, plus a small offset).
  std::vector<targ_struct> targets[2];
  for (int gy = -1; gy <= 1; ++gy) {
    for (int gx = -1; gx <= 1; ++gx) {
      const double tx = 150.0 * gx, ty = 100.0 * gy;
      const Measured m = MeasureFixation(device, tx * 0.25 + 3, ty * 0.25 - 2, false);
      for (int e = 0; e < 2; ++e) targets[e].push_back({tx, ty, m.eyeX[e], m.eyeY[e]});
      std::printf("target (%5.0f, %5.0f) mm: eye 0 at (%6.2f, %6.2f)\n", tx, ty, m.eyeX[0],
                  m.eyeY[0]);
    }
  }
  int residual[2] = {0, 0};
  for (int e = 0; e < 2; ++e) {
    CheckStatus(Source::kDevice,
                zelSaccadrixCalibrateDevice(e, static_cast<uint32_t>(targets[e].size()),
                                            targets[e].data(), kEyeScale, kViewingDistance, 0, 0,
                                            &residual[e]),
                "cannot store the calibration of eye " + std::to_string(e));
    std::printf("eye %d: fitted and stored, residual %d mm over %zu targets\n", e, residual[e],
                targets[e].size());
  }

  Step("Checking calibrated gaze against the targets");
  CheckStatus(Source::kDevice, zelSaccadrixSetResultsType(1), "cannot choose calibrated results");
  double worst = 0, sum = 0;
  for (const targ_struct& t : targets[0]) {
    const Measured gaze = MeasureFixation(device, t.eyeX, t.eyeY, true);
    const double error = std::hypot(gaze.eyeX[0] - t.targetX, gaze.eyeY[0] - t.targetY);
    worst = std::max(worst, error);
    sum += error;
  }
  const double meanError = sum / static_cast<double>(targets[0].size());
  std::printf("gaze meets the target plane %.1f mm from the target on average (worst %.1f mm)\n",
              meanError, worst);
  vt::release_eye_position(device);

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
  std::printf("  calibrated gaze   %.1f mm mean error, %.1f mm worst\n", meanError, worst);
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
