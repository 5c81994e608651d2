#include "env_config.h"

#include "subject.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>


namespace vt::detail {
namespace {

constexpr double kDefaultEnvRate = 1000.0;

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(sep, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  const size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

// Integer in decimal or 0x-hexadecimal within [lo, hi].
bool parse_int(const std::string& s, long long lo, long long hi, long long& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 0);
  if (errno != 0 || end == s.c_str() || *end != '\0' || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool parse_uint64(const std::string& s, uint64_t& out) {
  if (s.empty() || s[0] == '-') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (errno != 0 || end == s.c_str() || *end != '\0') return false;
  out = v;
  return true;
}

bool parse_double(const std::string& s, double& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (errno != 0 || end == s.c_str() || *end != '\0' || !std::isfinite(v)) return false;
  out = v;
  return true;
}

std::wstring widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// The subject's settings that take one number, by their key in a device list.
double* subject_field(const std::string& key, SubjectConfig& s) {
  static const struct {
    const char* key;
    double SubjectConfig::*field;
  } kFields[] = {
      {"noise", &SubjectConfig::noise_deg},
      {"tremor", &SubjectConfig::tremor_deg},
      {"drift", &SubjectConfig::drift_deg_s},
      {"microsaccades", &SubjectConfig::microsaccades_per_s},
      {"saccade_ms_per_deg", &SubjectConfig::saccade_ms_per_deg},
      {"saccade_base_ms", &SubjectConfig::saccade_base_ms},
      {"pso", &SubjectConfig::pso_fraction},
      {"blinks", &SubjectConfig::blinks_per_min},
      {"pursuit", &SubjectConfig::pursuit_share},
      {"reaction", &SubjectConfig::reaction_s},
      {"gain", &SubjectConfig::gain},
  };
  for (const auto& f : kFields) {
    if (key == f.key) return &(s.*f.field);
  }
  return nullptr;
}

bool apply_field(const std::string& key, const std::string& value, EnvDevice& d, bool& rate_given,
                 std::string& error) {
  DeviceConfig& c = d.config;
  long long n = 0;
  auto bad = [&](const char* what) {
    error = "bad value \"" + value + "\" for " + key + " (" + what + ")";
    return false;
  };
  if (key == "model") {
    if (!parse_int(value, 1, 4, n)) return bad("model code 1..4");
    c.vendor_id = kTrackerVendorId;
    c.product_id = product_id_for_model(static_cast<int>(n));
  } else if (key == "vid" || key == "pid") {
    if (!parse_int(value, 0, 0xFFFF, n)) return bad("0..0xFFFF");
    (key == "vid" ? c.vendor_id : c.product_id) = static_cast<uint16_t>(n);
  } else if (key == "fw") {
    if (!parse_int(value, 0, 0xFFFF, n)) return bad("0..65535");
    c.firmware_version = static_cast<uint16_t>(n);
  } else if (key == "date") {
    c.build_date = value;
  } else if (key == "date_terminated") {
    if (!parse_int(value, 0, 1, n)) return bad("0 or 1");
    c.build_date_terminated = n == 1;
  } else if (key == "rate") {
    double r = 0;
    if (!parse_double(value, r) || !(r == 0 || (r >= 1 && r <= 8000))) return bad("0 or 1..8000 Hz");
    c.rate_hz = r;
    rate_given = true;
  } else if (key == "results") {
    if (!parse_int(value, 0, 1, n)) return bad("0 raw or 1 calibrated");
    c.results_type = static_cast<int>(n);
  } else if (key == "distance") {
    if (!parse_int(value, INT32_MIN, INT32_MAX, n)) return bad("32-bit integer");
    c.viewing_distance = static_cast<int32_t>(n);
  } else if (key == "pins") {
    c.pin_functions.clear();
    for (const std::string& p : split(value, ':')) {
      if (!parse_int(p, 0, 255, n)) return bad("function codes 0..255 separated by ':'");
      c.pin_functions.push_back(static_cast<uint8_t>(n));
    }
  } else if (key == "pin_count") {
    if (!parse_int(value, 0, 255, n)) return bad("0..255");
    c.pin_count = static_cast<int>(n);
  } else if (key == "serial") {
    c.serial = widen(value);
  } else if (key == "product") {
    c.product = widen(value);
  } else if (key == "manufacturer") {
    c.manufacturer = widen(value);
  } else if (key == "path") {
    c.path = value;
  } else if (key == "start_ts" || key == "arm_ts" || key == "seed") {
    uint64_t v = 0;
    if (!parse_uint64(value, v)) return bad("unsigned 64-bit integer");
    (key == "start_ts" ? c.start_timestamp : key == "arm_ts" ? c.arm_timestamp : c.seed) = v;
  } else if (key == "pupil" || key == "mode") {
    if (!parse_int(value, INT32_MIN, INT32_MAX, n)) return bad("32-bit integer");
    (key == "pupil" ? c.pupil_scale : c.tracking_mode) = static_cast<int32_t>(n);
  } else if (const auto field = subject_field(key, c.subject)) {
    double v = 0;
    if (!parse_double(value, v)) return bad("a number");
    *field = v;
  } else if (key == "offset") {
    const std::vector<std::string> xy = split(value, ':');
    if (xy.size() != 2 || !parse_double(xy[0], c.subject.offset_x_deg) ||
        !parse_double(xy[1], c.subject.offset_y_deg)) {
      return bad("x:y in degrees");
    }
  } else if (key == "clock_ppm") {
    if (!parse_double(value, c.clock_ppm)) return bad("parts per million");
  } else if (key == "eye") {
    const std::vector<std::string> xy = split(value, ':');
    if (xy.size() != 2 || !parse_double(xy[0], d.eye_x) || !parse_double(xy[1], d.eye_y)) {
      return bad("x:y eye position");
    }
    d.hold_eye = true;
  } else {
    error = "unknown key \"" + key + "\"";
    return false;
  }
  return true;
}

bool preloaded() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "SaccadrixVirtualTracker") != nullptr;
}

}  // namespace

bool valid_config(const DeviceConfig& c, const char** problem) {
  const char* why = nullptr;
  if (!std::isfinite(c.rate_hz) || !(c.rate_hz == 0 || (c.rate_hz >= 1 && c.rate_hz <= 8000))) {
    why = "rate_hz must be 0 or within 1..8000";
  } else if (c.results_type != 0 && c.results_type != 1) {
    why = "results_type must be 0 or 1";
  } else if (c.pin_functions.size() > 61) {
    why = "at most 61 pin function bytes fit the pin table reply";
  } else if (c.pin_count < -1 || c.pin_count > 255) {
    why = "pin_count must be -1 or within 0..255";
  } else if (c.build_date_terminated && c.build_date.size() > 59) {
    why = "a terminated build date holds at most 59 characters";
  } else if (c.mac_address.size() > 19 || c.ethernet_info.size() > 41) {
    why = "Ethernet texts hold at most 19 and 41 characters";
  } else if (!std::isfinite(c.clock_ppm) || std::fabs(c.clock_ppm) > kMaxClockPpm) {
    why = "clock_ppm must be within -1000..1000";
  } else {
    valid_subject(c.subject, &why);
  }
  if (problem != nullptr) *problem = why;
  return why == nullptr;
}

bool parse_device_list(const std::string& text, double default_rate, std::vector<EnvDevice>& out,
                       std::string& error) {
  out.clear();
  int index = 0;
  for (const std::string& raw : split(text, ';')) {
    const std::string entry = trim(raw);
    if (entry.empty()) continue;
    ++index;
    EnvDevice d;
    // Whole-process use wants a current tracker that streams.
    d.config.product_id = product_id_for_model(4);
    d.config.serial = L"VT000" + std::to_wstring(index);
    bool rate_given = false;
    for (const std::string& field_raw : split(entry, ',')) {
      const std::string field = trim(field_raw);
      if (field.empty()) continue;
      const size_t eq = field.find('=');
      if (eq == std::string::npos) {
        error = "device " + std::to_string(index) + ": \"" + field + "\" is not key=value";
        return false;
      }
      if (!apply_field(trim(field.substr(0, eq)), trim(field.substr(eq + 1)), d, rate_given, error)) {
        error = "device " + std::to_string(index) + ": " + error;
        return false;
      }
    }
    if (!rate_given) d.config.rate_hz = default_rate;
    const char* problem = nullptr;
    if (!valid_config(d.config, &problem)) {
      error = "device " + std::to_string(index) + ": " + problem;
      return false;
    }
    out.push_back(std::move(d));
  }
  return true;
}

std::vector<EnvDevice> devices_from_environment() {
  const char* list = std::getenv("SACCADRIX_VT_DEVICES");
  const char* rate_text = std::getenv("SACCADRIX_VT_RATE");
  double rate = kDefaultEnvRate;
  if (rate_text != nullptr && *rate_text != '\0') {
    double r = 0;
    if (!parse_double(rate_text, r) || !(r == 0 || (r >= 1 && r <= 8000))) {
      std::fprintf(stderr, "saccadrix virtual tracker: SACCADRIX_VT_RATE=\"%s\" is not 0 or 1..8000; "
                   "using %g Hz\n", rate_text, kDefaultEnvRate);
    } else {
      rate = r;
    }
  }
  std::vector<EnvDevice> devices;
  std::string error;
  if (list != nullptr) {
    if (!parse_device_list(list, rate, devices, error)) {
      std::fprintf(stderr, "saccadrix virtual tracker: SACCADRIX_VT_DEVICES: %s; no device attached\n",
                   error.c_str());
      devices.clear();
    }
  } else if (preloaded()) {
    parse_device_list("model=4", rate, devices, error);
  }
  return devices;
}

}  // namespace vt::detail
