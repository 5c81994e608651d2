// Helpers for tests that run against emulated hidraw nodes: the testbed, made once per
// process, and trackers to plug in.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "emulated_hidraw.h"
#include "saccadrix/saccadrix.h"

namespace hidraw_test {

using std::chrono::milliseconds;

// Fails every test, naming the reason, when the process does not run under umockdev's
// preload library and the node shim (ctest runs it so).
class TestbedEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string problem;
    ASSERT_TRUE(vt::hidraw::start(&problem)) << problem;
  }
};

inline vt::DeviceConfig tracker(int model, double rate = 0, const wchar_t* serial = L"VT0001") {
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(model);
  c.rate_hz = rate;
  c.serial = serial;
  return c;
}

// Waits for a condition with a generous deadline instead of sleeping a fixed time.
template <typename Condition>
bool eventually(Condition condition, milliseconds within = milliseconds(10000)) {
  const auto until = std::chrono::steady_clock::now() + within;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

inline void unplug_everything() {
  zelSaccadrixClose();
  vt::hidraw::unplug_all();
}

}  // namespace hidraw_test
