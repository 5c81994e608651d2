// Device lists from the environment, for processes that get the simulator through
// LD_PRELOAD (syntax in README.md).
#pragma once

#include <string>
#include <vector>

#include "virtual_tracker.h"

namespace vt::detail {

// Validates a device configuration; on failure returns false and names the problem.
bool valid_config(const DeviceConfig& config, const char** problem);

struct EnvDevice {
  DeviceConfig config;
  bool hold_eye = false;
  double eye_x = 0, eye_y = 0;
};

// Parses a device list such as "model=4,fw=26122,rate=1000;model=2". default_rate applies to
// trackers that name no rate. On error returns false and sets `error`; `out` is then
// unspecified.
bool parse_device_list(const std::string& text, double default_rate, std::vector<EnvDevice>& out,
                       std::string& error);

// Reads SACCADRIX_VT_DEVICES / SACCADRIX_VT_RATE and decides what to attach: the listed
// devices; with no list, one model code 4 tracker when the library was preloaded, else none.
// Problems are printed on standard error and nothing is attached.
std::vector<EnvDevice> devices_from_environment();

}  // namespace vt::detail
