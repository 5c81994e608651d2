// saccadrix calibration save|load|show|validate: calibration files, what the tracker holds,
// and how well its calibration serves, in degrees.
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "saccadrix/saccadrix.h"
#include "session.h"
#include "status.h"
#include "validation_run.h"

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

struct ValidateOptions {
  std::string load;
  bool calibrate = false;
  bool raw = false;
  int columns = 3, rows = 3;
  double width = 300, height = 200, distance = 0;
  double seconds = 1.5, skip = 0.5;
};

constexpr double kEyeScale = 100;  // the divisor of eye positions in the fitted calibration
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kCalibrationSettleSeconds = 0.5, kCalibrationMeasureSeconds = 0.5;

// Where the targets appear: announced on standard error for whoever presents them and, when
// the process runs on the simulated tracker (preloaded), shown to its simulated subject.
ShowTarget Presenter(double distance, size_t count) {
  using LookAt = int (*)(double, double);
  const auto look_at = reinterpret_cast<LookAt>(dlsym(RTLD_DEFAULT, "saccadrix_vt_look_at"));
  return [look_at, distance, count](size_t k, const PlaneTarget& t) {
    std::fprintf(stderr, "target %zu of %zu at (%g, %g) mm\n", k + 1, count, t.x, t.y);
    if (look_at != nullptr) {
      look_at(std::atan(t.x / distance) * kDegreesPerRadian,
              std::atan(t.y / distance) * kDegreesPerRadian);
    }
  };
}

void Calibrate(const std::vector<PlaneTarget>& targets, double distance, const ShowTarget& show) {
  const CalibrationPoints points = MeasureCalibrationTargets(
      targets, kCalibrationSettleSeconds, kCalibrationMeasureSeconds, show);
  for (int e = 0; e < 2; ++e) {
    if (points.eye[e].empty()) continue;  // model code 3: eye 0's calibration serves both
    int residual = 0;
    CheckStatus(Source::kDevice,
                zelSaccadrixCalibrateDevice(e, static_cast<uint32_t>(points.eye[e].size()),
                                            points.eye[e].data(), kEyeScale, distance, 0, 0,
                                            &residual),
                "cannot store the calibration of eye " + std::to_string(e));
    std::printf("eye %d: calibration fitted and stored, residual %d mm over %zu targets\n", e,
                residual, points.eye[e].size());
  }
}

void RunValidate(const ValidateOptions& o) {
  TrackerSession session;
  if (!o.load.empty()) {
    CheckStatus(Source::kDevice, zelSaccadrixLoadCalibration(o.load.c_str()),
                "cannot load the calibration from '" + o.load + "'");
  }
  double distance = o.distance;
  if (!(distance > 0)) {
    // The viewing distance the tracker works with (model code 4 stores its own).
    double c[16] = {}, scale = 0, aux1 = 0, aux2 = 0;
    distance = 600;
    if (zelSaccadrixGetCalibration(0, c, &scale, &distance, &aux1, &aux2) != SACCADRIX_OK ||
        !(distance > 0)) {
      distance = 600;
    }
  }
  ValidationPlan plan;
  plan.targets = TargetGrid(o.columns, o.rows, o.width, o.height);
  plan.viewingDistance = distance;
  plan.secondsPerTarget = o.seconds;
  plan.skipSeconds = o.skip;
  plan.raw = o.raw;
  const ShowTarget show = Presenter(distance, plan.targets.size());
  if (o.calibrate) Calibrate(plan.targets, distance, show);
  uint8_t calibrated[2] = {0, 0};
  for (int e = 0; e < 2; ++e) {
    CheckStatus(Source::kDevice, zelSaccadrixGetCalibrated(e, &calibrated[e]),
                "cannot read whether eye " + std::to_string(e) + " is calibrated");
  }
  if (calibrated[0] == 0 && calibrated[1] == 0) {
    throw Failure(Exit::kUsage,
                  "the tracker holds no gaze calibration to validate: calibrate with "
                  "--calibrate, or load one with --load FILE");
  }
  const ValidationOutcome outcome = RunValidation(plan, show);
  PrintValidationTable(stdout, plan, outcome);
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

  auto v = std::make_shared<ValidateOptions>();
  CLI::App* validate = calibration->add_subcommand(
      "validate",
      "Show a grid of targets, record while each is shown, and print the accuracy, precision "
      "and data loss of each eye in degrees");
  validate->add_flag("--calibrate", v->calibrate,
                     "Calibrate first: measure the eye positions at the targets, fit and store "
                     "a gaze calibration for each eye");
  validate->add_option("--load", v->load, "Store this calibration file on the tracker first");
  validate->add_flag("--raw", v->raw,
                     "Validate raw results, with the tracker's calibration applied on the host");
  validate->add_option("--columns", v->columns, "Targets per row (default 3)")
      ->check(CLI::Range(1, 9));
  validate->add_option("--rows", v->rows, "Rows of targets (default 3)")->check(CLI::Range(1, 9));
  validate->add_option("--width", v->width, "Span of the grid across, in mm (default 300)")
      ->check(CLI::Range(0.0, 10000.0));
  validate->add_option("--height", v->height, "Span of the grid up and down, in mm (default 200)")
      ->check(CLI::Range(0.0, 10000.0));
  validate->add_option("--distance", v->distance,
                       "Viewing distance in mm (default: the tracker's, else 600)")
      ->check(CLI::Range(1.0, 100000.0));
  validate->add_option("-s,--seconds", v->seconds, "Seconds each target is shown (default 1.5)")
      ->check(CLI::Range(0.1, 60.0));
  validate->add_option("--skip", v->skip,
                       "Seconds left out at the start of each target, while the eyes land "
                       "(default 0.5)")
      ->check(CLI::Range(0.0, 60.0));
  validate->callback([&action, v] {
    if (v->skip >= v->seconds) {
      throw CLI::ValidationError("--skip", "must be shorter than --seconds");
    }
    action = [v] { RunValidate(*v); };
  });

  CLI::App* show = calibration->add_subcommand(
      "show", "Print the gaze calibration matrices, the viewing distance and the pupil scale");
  show->callback([&action] { action = RunShow; });
}

}  // namespace saccadrix::cli
