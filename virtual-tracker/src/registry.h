// Process-wide state of the simulator: the attached devices, the open hidapi handles, and
// whether the environment's device list has been applied.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#pragma GCC visibility push(default)
#include <hidapi.h>
#pragma GCC visibility pop

#include "device.h"
#include "env_config.h"

// The object behind a hidapi handle.
struct hid_device_ {
  std::shared_ptr<vt::detail::Device> device;
  std::atomic<bool> nonblocking{false};
  std::atomic<bool> closed{false};
  std::atomic<const wchar_t*> error{nullptr};  // always a static text
  hid_device_info* info = nullptr;             // for hid_get_device_info; owned
  ~hid_device_();
};

namespace vt::detail {

struct Registry {
  std::mutex m;  // taken before any device's mutex, never after
  std::vector<std::shared_ptr<Device>> devices;  // in attach order, detached ones included
  int next_id = 1;
  std::unordered_map<const hid_device_*, std::shared_ptr<hid_device_>> handles;
  // The environment's device list is applied at the first hidapi call, unless the control
  // API was used first: a program that attaches its own devices gets no others.
  bool environment_settled = false;
};

// Never destroyed: stream threads, and hidapi calls made from other libraries' exit
// handlers, may still reach it while the process exits.
Registry& registry();

// Applies the environment's device list if nothing has decided the devices yet. Caller holds
// registry().m.
void settle_environment_locked(Registry& r);

// Attaches a device (configuration already validated). Caller holds registry().m.
int attach_locked(Registry& r, const DeviceConfig& config);

std::shared_ptr<Device> find_device(int id);

}  // namespace vt::detail
