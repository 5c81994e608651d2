// saccadrix info: who the tracker is and what it holds.
#include <cstdio>
#include <string>

#include "commands.h"
#include "saccadrix/saccadrix.h"
#if defined(SACCADRIX_CLI_HAS_VIDEO)
#include "saccadrix/saccadrix_gs.h"
#endif
#include "session.h"
#include "status.h"

namespace saccadrix::cli {

namespace {

void Line(const char* key, const std::string& value) {
  std::printf("%-20s %s\n", (std::string(key) + ":").c_str(), value.c_str());
}

// What a failed query prints in place of its value; remembers that something failed.
std::string Unavailable(int status, bool& failed) {
  failed = true;
  return std::string("unavailable (") + DescribeStatus(Source::kDevice, status).message +
         ", status " + std::to_string(status) + ")";
}

std::string PinFunctionName(uint8_t code) {
  switch (code) {
    case 5: return "trigger eye 0";
    case 6: return "trigger eye 1";
    case 7:
    case 8: return "event";
    default: return "function " + std::to_string(code);
  }
}

std::string Pins(int model, bool& failed) {
  uint8_t table[32] = {};
  int count = 0;
  const int status = zelSaccadrixGetPinFunctions(table, sizeof table, &count);
  if (status == SACCADRIX_E_UNSUPPORTED) {
    return "none (model code " + std::to_string(model) + " has no pin functions)";
  }
  if (status < 0) {
    return Unavailable(status, failed);
  }
  if (count == 0) {
    return "none reported";
  }
  std::string text = std::to_string(count);
  const int listed = count < 32 ? count : 32;
  for (int i = 0; i < listed; ++i) {
    text += (i == 0 ? ": " : ", ");
    text += std::to_string(i) + " " + PinFunctionName(table[i]);
  }
  return text;
}

// Whether the thread that reads the tracker runs at real-time priority, and what to do if not.
std::string PollThreadPriority() {
  int raised = 0, priority = 0;
  if (zelSaccadrixGetPollThreadPriority(&raised, &priority) != SACCADRIX_OK) return "not running";
  if (raised) return "real-time priority " + std::to_string(priority);
  return "normal priority (real-time refused: see the README on rtprio in limits.conf)";
}

std::string GazeCalibration(bool& failed) {
  std::string text;
  for (int eye = 0; eye < 2; ++eye) {
    uint8_t calibrated = 0;
    const int status = zelSaccadrixGetCalibrated(eye, &calibrated);
    text += (eye == 0 ? "eye 0 " : ", eye 1 ");
    text += status < 0 ? Unavailable(status, failed)
                       : (calibrated != 0 ? "calibrated" : "not calibrated");
  }
  return text;
}

std::string PupilCalibration(bool& failed) {
  double scale = 0;
  const int status = zelSaccadrixGetPupilCalibration(&scale);
  if (status < 0) {
    return Unavailable(status, failed);
  }
  if (scale <= 0) {
    return "not calibrated";
  }
  char text[64];
  std::snprintf(text, sizeof text, "calibrated, scale %.6g", scale);
  return text;
}

void RunInfo() {
  TrackerSession session;
  bool failed = false;

  Line("model code", std::to_string(session.model()));
  char serial[64] = {};
  const int serialStatus = zelSaccadrixGetSerialNumber(serial, sizeof serial);
  Line("serial number", serialStatus < 0 ? Unavailable(serialStatus, failed) : serial);
  uint16_t firmware = 0;
  zelSaccadrixGetFirmwareVersion(&firmware);
  Line("firmware version", firmware != 0 ? std::to_string(firmware) : "unknown");
  char buildDate[64] = {};
  zelSaccadrixGetFirmwareBuildDateTime(buildDate, sizeof buildDate);
  Line("firmware build date", buildDate);

  int mode = 0;
  const int modeStatus = zelSaccadrixGetTrackingMode(&mode);
  Line("tracking mode", modeStatus < 0 ? Unavailable(modeStatus, failed) : std::to_string(mode));
  int v1 = 0, v2 = 0, rate = 0, v4 = 0, v5 = 0;
  const int captureStatus = zelSaccadrixGetCaptureConfig(&v1, &v2, &rate, &v4, &v5);
  Line("capture rate",
       captureStatus < 0 ? Unavailable(captureStatus, failed) : std::to_string(rate) + " Hz");
  Line("pins", Pins(session.model(), failed));
  Line("poll thread", PollThreadPriority());
  Line("gaze calibration", GazeCalibration(failed));
  Line("pupil calibration", PupilCalibration(failed));
  Line("device library", std::to_string(zelSaccadrixGetLibVersion()) + " (ABI " +
                             std::to_string(zelSaccadrixGetAbiVersion()) + ")");
#if defined(SACCADRIX_CLI_HAS_VIDEO)
  Line("video library", std::to_string(zelSaccadrixGetLibGSVersion()));
#endif
  std::fflush(stdout);
  if (failed) {
    throw Failure(Exit::kDevice, "some of the tracker's answers are missing (see above)");
  }
}

}  // namespace

void AddInfoCommand(CLI::App& app, Action& action) {
  CLI::App* info = app.add_subcommand(
      "info", "Show the tracker's model, serial number, firmware, pins and calibration state");
  info->callback([&action] { action = RunInfo; });
}

}  // namespace saccadrix::cli
