// The control API of virtual_tracker.h and the process-wide registry behind it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "env_config.h"
#include "registry.h"

namespace vt {
namespace detail {

Registry& registry() {
  static Registry* const r = new Registry;  // intentionally never destroyed, see registry.h
  return *r;
}

std::shared_ptr<Device> find_device(int id) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.m);
  r.environment_settled = true;
  for (const auto& d : r.devices) {
    if (d->id() == id) return d;
  }
  return nullptr;
}

int attach_locked(Registry& r, const DeviceConfig& config) {
  DeviceConfig c = config;
  const int id = r.next_id++;
  if (c.path.empty()) c.path = "vt:" + std::to_string(id);
  r.devices.push_back(std::make_shared<Device>(id, c, model_for_ids(c.vendor_id, c.product_id)));
  return id;
}

void settle_environment_locked(Registry& r) {
  if (r.environment_settled) return;
  r.environment_settled = true;
  const bool verbose = std::getenv("SACCADRIX_VT_VERBOSE") != nullptr;
  for (const EnvDevice& d : devices_from_environment()) {
    const int id = attach_locked(r, d.config);
    if (d.hold_eye) r.devices.back()->hold_eye(true, d.eye_x, d.eye_y);
    if (verbose) {
      std::fprintf(stderr, "saccadrix virtual tracker: device %d %04x:%04x at %g Hz\n", id,
                   d.config.vendor_id, d.config.product_id, d.config.rate_hz);
    }
  }
}

namespace {

// At process exit the stream threads are told to stop but not joined: a join from an exit
// handler can wait on a thread that is blocked behind the exiting thread, and the devices
// the threads use are never destroyed, so leaving them to finish is safe.
struct StopStreamsAtExit {
  ~StopStreamsAtExit() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.m);
    for (const auto& d : r.devices) d->abandon_stream();
  }
} stop_streams_at_exit;

}  // namespace
}  // namespace detail

using detail::find_device;
using detail::registry;

uint16_t product_id_for_model(int model) {
  switch (model) {
    case 1: return 0x3410;
    case 2: return 0x3411;
    case 3: return 0x3412;
    case 4: return 0x3433;
    default: return 0;
  }
}

int model_for_ids(uint16_t vendor_id, uint16_t product_id) {
  if (vendor_id != kTrackerVendorId) return 0;
  if (product_id >= 0x3410 && product_id <= 0x3412) return product_id - 0x3410 + 1;
  if (product_id >= 0x3433 && product_id <= 0x3440) return 4;
  return 0;
}

int attach(const DeviceConfig& config) {
  if (!detail::valid_config(config, nullptr)) return -1;
  detail::Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.m);
  r.environment_settled = true;
  return detail::attach_locked(r, config);
}

void detach(int id) {
  if (const auto d = find_device(id)) d->detach();
}

void reset() {
  detail::Registry& r = registry();
  std::vector<std::shared_ptr<detail::Device>> devices;
  std::unordered_map<const hid_device_*, std::shared_ptr<hid_device_>> handles;
  {
    std::lock_guard<std::mutex> lock(r.m);
    r.environment_settled = true;
    devices.swap(r.devices);
    handles.swap(r.handles);
    r.next_id = 1;
  }
  // Forgotten handles fail from now on; a thread blocked in hid_read on one wakes up.
  for (const auto& h : handles) {
    h.second->closed = true;
    h.second->device->handle_closed();
  }
  for (const auto& d : devices) d->detach();
}

std::vector<Written> written(int id) {
  const auto d = find_device(id);
  return d ? d->written() : std::vector<Written>{};
}

void clear_written(int id) {
  if (const auto d = find_device(id)) d->clear_written();
}

void push_report(int id, const uint8_t (&report)[64]) {
  if (const auto d = find_device(id)) {
    detail::InputReport r;
    std::copy(std::begin(report), std::end(report), r.begin());
    d->push(r);
  }
}

size_t queued(int id) {
  const auto d = find_device(id);
  return d ? d->queued() : 0;
}

uint64_t dropped(int id) {
  const auto d = find_device(id);
  return d ? d->dropped() : 0;
}

void set_faults(int id, const Faults& faults) {
  if (const auto d = find_device(id)) d->set_faults(faults);
}

void set_rate(int id, double rate_hz) {
  if (!std::isfinite(rate_hz) || !(rate_hz == 0 || (rate_hz >= 1 && rate_hz <= 8000))) return;
  if (const auto d = find_device(id)) d->set_rate(rate_hz);
}

void pause_stream(int id, bool paused) {
  if (const auto d = find_device(id)) d->pause(paused);
}

uint64_t reports_generated(int id) {
  const auto d = find_device(id);
  return d ? d->generated() : 0;
}

int open_handles() {
  detail::Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.m);
  return static_cast<int>(r.handles.size());
}

void set_eye_position(int id, double eye_x, double eye_y) {
  if (!std::isfinite(eye_x) || !std::isfinite(eye_y)) return;
  if (const auto d = find_device(id)) d->hold_eye(true, eye_x, eye_y);
}

void release_eye_position(int id) {
  if (const auto d = find_device(id)) d->hold_eye(false, 0, 0);
}

void set_digital_inputs(int id, uint32_t bits) {
  if (const auto d = find_device(id)) d->hold_digital(true, bits);
}

void release_digital_inputs(int id) {
  if (const auto d = find_device(id)) d->hold_digital(false, 0);
}

bool set_subject(int id, const SubjectConfig& config) {
  if (!detail::valid_subject(config, nullptr)) return false;
  const auto d = find_device(id);
  bool done = false;
  if (d) {
    d->with_tracker([&](detail::Tracker& t) {
      t.subject().set_config(config);
      done = true;
    });
  }
  return done;
}

SubjectConfig subject(int id) {
  SubjectConfig c;
  if (const auto d = find_device(id)) {
    d->with_tracker([&](detail::Tracker& t) { c = t.subject().config(); });
  }
  return c;
}

void look_at(int id, double x_deg, double y_deg) {
  run_targets(id, {TargetStep{x_deg, y_deg, std::numeric_limits<double>::infinity(), 0, 0}});
}

void run_targets(int id, const std::vector<TargetStep>& steps) {
  for (const TargetStep& s : steps) {
    if (!std::isfinite(s.x_deg) || !std::isfinite(s.y_deg) || !std::isfinite(s.vx_deg_s) ||
        !std::isfinite(s.vy_deg_s) || !(s.seconds > 0) || std::fabs(s.x_deg) >= 89 ||
        std::fabs(s.y_deg) >= 89) {
      return;
    }
  }
  if (const auto d = find_device(id)) {
    d->with_tracker([&](detail::Tracker& t) { t.subject().run_targets(steps); });
  }
}

void release_target(int id) {
  if (const auto d = find_device(id)) {
    d->with_tracker([&](detail::Tracker& t) { t.subject().release_target(); });
  }
}

std::array<double, 16> subject_calibration(int id, double eye_scale, double viewing_distance) {
  // gaze = (a u, a v, D) for u = x / scale: its direction has tan = x / gain.
  const double gain = subject(id).gain;
  const double a = viewing_distance * eye_scale / gain;
  return {a, 0, 0, 0, 0, a, 0, 0, 0, 0, 0, viewing_distance, 0, 0, 0, 1};
}

void set_clock_ppm(int id, double ppm) {
  if (!std::isfinite(ppm) || std::fabs(ppm) > kMaxClockPpm) return;
  const auto d = find_device(id);
  if (!d) return;
  double rate = 0;
  d->with_tracker([&](detail::Tracker& t) {
    t.set_clock_ppm(ppm);
    rate = t.nominal_rate_hz();
  });
  d->set_rate(rate);  // restarts the schedule at the new rate
}

void keep_truth(int id, size_t capacity) {
  if (const auto d = find_device(id)) {
    d->with_tracker([&](detail::Tracker& t) { t.keep_truth(capacity); });
  }
}

std::vector<TruthSample> truth_samples(int id) {
  std::vector<TruthSample> out;
  if (const auto d = find_device(id)) {
    d->with_tracker([&](detail::Tracker& t) { out = t.truth_samples(); });
  }
  return out;
}

std::vector<TruthSaccade> truth_saccades(int id) {
  std::vector<TruthSaccade> out;
  if (const auto d = find_device(id)) {
    d->with_tracker([&](detail::Tracker& t) { out = t.truth_saccades(); });
  }
  return out;
}

void set_firmware(int id, uint16_t version, const std::string& build_date,
                  bool build_date_terminated) {
  const std::string date =
      build_date_terminated && build_date.size() > 59 ? build_date.substr(0, 59) : build_date;
  if (const auto d = find_device(id)) d->set_firmware(version, date, build_date_terminated);
}

void keep_readable_times(int id, size_t capacity) {
  if (const auto d = find_device(id)) d->keep_readable_times(capacity);
}

std::vector<Readable> readable_times(int id) {
  const auto d = find_device(id);
  return d ? d->readable_times() : std::vector<Readable>{};
}

DeviceState state(int id) {
  const auto d = find_device(id);
  return d ? d->state() : DeviceState{};
}

}  // namespace vt

// For programs that get the simulator through LD_PRELOAD and do not link its control API
// (the command-line tool's validation): every attached tracker's subject looks at the
// direction (x_deg, y_deg), as vt::look_at. Found with dlsym; returns the number of trackers.
extern "C" VT_API int saccadrix_vt_look_at(double x_deg, double y_deg) {
  std::vector<int> ids;
  {
    vt::detail::Registry& r = vt::detail::registry();
    std::lock_guard<std::mutex> lock(r.m);
    vt::detail::settle_environment_locked(r);
    for (const auto& d : r.devices) {
      if (d->model() != 0) ids.push_back(d->id());
    }
  }
  for (int id : ids) vt::look_at(id, x_deg, y_deg);
  return static_cast<int>(ids.size());
}
