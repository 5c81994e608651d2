// Process-wide connection state of the device library (one tracker per process). Hidden
// from clients by the library's export list; shared by the units of the library.
#pragma once

#include <atomic>
#include <cstdint>

struct hid_device_;
typedef struct hid_device_ hid_device;

namespace saccadrix {

constexpr uint16_t kVendorId = 0x0861;
constexpr int kMaxPins = 32;

struct ConnectionState {
  // Null means no connection: every exchange then returns -100. Atomic because client
  // threads test it before taking the HID lock.
  std::atomic<hid_device*> device{nullptr};
  // Model code 1..4; -100 or -1 after a failed Init, 0 after Close.
  std::atomic<int> model{0};
  uint16_t firmwareVersion = 0;
  char firmwareDateTime[32] = "Build date not supported";
  // Read by the calibration code and written by Init/calibration without the HID lock.
  std::atomic<double> viewingDistance{570.0};
  // Valid entries of pinFunctions; 0 on model codes below 4. Read under the HID lock.
  int pinConfigurationSupported = 0;
  uint8_t pinFunctions[kMaxPins] = {};
  // Set by Close (without the lock) to make the poll thread end.
  std::atomic<bool> hidThreadTerminated{false};
};

extern ConnectionState conn;

inline hid_device* open_device() { return conn.device.load(std::memory_order_acquire); }

}  // namespace saccadrix
