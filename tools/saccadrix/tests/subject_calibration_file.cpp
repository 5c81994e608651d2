// Writes a calibration file that maps the virtual tracker's simulated subject exactly (both
// eyes), for scenarios that need calibrated gaze from a fresh simulated tracker:
//   subject_calibration_file FILE
#include <cstdio>
#include <cstdlib>

#include "saccadrix/saccadrix.h"
#include "virtual_tracker.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: subject_calibration_file FILE\n");
    return 2;
  }
  constexpr double kEyeScale = 100, kDistance = 600;
  setenv("SACCADRIX_INIT_SETTLE_MS", "0", 0);
  vt::DeviceConfig config;
  config.product_id = vt::product_id_for_model(4);
  config.rate_hz = 0;
  const int id = vt::attach(config);
  int status = zelSaccadrixInit();
  if (status < 0) {
    std::fprintf(stderr, "Init failed (status %d)\n", status);
    return 1;
  }
  const auto m = vt::subject_calibration(id, kEyeScale, kDistance);
  for (int e = 0; e < 2 && status >= 0; ++e) {
    status = zelSaccadrixSetCalibration(e, m.data(), kEyeScale, kDistance, 0, 0);
  }
  if (status >= 0) status = zelSaccadrixSaveCalibration(argv[1]);
  zelSaccadrixClose();
  if (status < 0) {
    std::fprintf(stderr, "cannot write %s (status %d)\n", argv[1], status);
    return 1;
  }
  return 0;
}
