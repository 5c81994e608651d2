// saccadrix calibration save|load|show: calibration files and what the tracker holds.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "saccadrix/saccadrix.h"
#include "session.h"
#include "status.h"

namespace saccadrix::cli {

namespace {

void RunSave(const std::string& path) {
  TrackerSession session;
  CheckStatus(Source::kDevice, zelSaccadrixSaveCalibration(path.c_str()),
              "cannot save the calibration to '" + path + "'");
  std::printf("Saved the tracker's calibration to %s\n", path.c_str());
}

void RunLoad(const std::string& path) {
  // A file that is not a calibration file is refused before the tracker is touched, so the
  // 2-second open is only spent on a file that has a chance.
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    CheckStatus(Source::kDevice, SACCADRIX_E_FILE_OPEN, "cannot load '" + path + "'");
  }
  std::fclose(file);
  TrackerSession session;
  CheckStatus(Source::kDevice, zelSaccadrixLoadCalibration(path.c_str()),
              "cannot load the calibration from '" + path + "'");
  std::printf("Loaded %s onto the tracker\n", path.c_str());
}

void RunShow() {
  TrackerSession session;
  for (int eye = 0; eye < 2; ++eye) {
    double c[16] = {};
    double scale = 0, distance = 0, aux1 = 0, aux2 = 0;
    CheckStatus(Source::kDevice,
                zelSaccadrixGetCalibration(eye, c, &scale, &distance, &aux1, &aux2),
                "cannot read the calibration of eye " + std::to_string(eye));
    bool any = false;
    for (double v : c) any = any || v != 0;
    std::printf("eye %d: %s\n", eye, any ? "calibrated" : "not calibrated");
    for (int row = 0; row < 4; ++row) {
      std::printf("  %12.6g %12.6g %12.6g %12.6g\n", c[row * 4], c[row * 4 + 1],
                  c[row * 4 + 2], c[row * 4 + 3]);
    }
    std::printf("  eye scale %g, aux %g %g\n", scale, aux1, aux2);
  }
  // The second read reports the tracker's own viewing distance on model code 4.
  double c[16] = {}, scale = 0, distance = 0, aux1 = 0, aux2 = 0;
  CheckStatus(Source::kDevice, zelSaccadrixGetCalibration(0, c, &scale, &distance, &aux1, &aux2),
              "cannot read the viewing distance");
  std::printf("viewing distance %g\n", distance);
  double pupil = 0;
  CheckStatus(Source::kDevice, zelSaccadrixGetPupilCalibration(&pupil),
              "cannot read the pupil calibration");
  std::printf("pupil scale %g%s\n", pupil, pupil > 0 ? "" : " (not calibrated)");
}

}  // namespace

void AddCalibrationCommand(CLI::App& app, Action& action) {
  CLI::App* calibration = app.add_subcommand(
      "calibration", "Save the tracker's calibration to a file, load one onto it, or show it");
  calibration->require_subcommand(1);

  auto savePath = std::make_shared<std::string>();
  CLI::App* save = calibration->add_subcommand(
      "save", "Save both eyes' gaze calibrations and the pupil calibration to FILE");
  save->add_option("FILE", *savePath, "Calibration file to write (339 bytes)")->required();
  save->callback([&action, savePath] { action = [savePath] { RunSave(*savePath); }; });

  auto loadPath = std::make_shared<std::string>();
  CLI::App* load = calibration->add_subcommand(
      "load", "Store the calibrations of FILE on the tracker (each is read back to verify)");
  load->add_option("FILE", *loadPath, "Calibration file to read")->required();
  load->callback([&action, loadPath] { action = [loadPath] { RunLoad(*loadPath); }; });

  CLI::App* show = calibration->add_subcommand(
      "show", "Print the gaze calibration matrices, the viewing distance and the pupil scale");
  show->callback([&action] { action = RunShow; });
}

}  // namespace saccadrix::cli
