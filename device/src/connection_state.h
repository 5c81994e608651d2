// Process-wide state of the device library, grouped by lifetime: the connection (set up by
// zelSaccadrixInit, ended by zelSaccadrixClose; one tracker per process) and the state that
// lives as long as the library (the viewing distance here; the result buffers, the stored
// recording and the fit workspace in their own units). Hidden from clients by the export list.
#pragma once

#include <atomic>
#include <cstdint>

#include "protocol.h"

struct hid_device_;
typedef struct hid_device_ hid_device;

namespace saccadrix {

using protocol::kMaxPins;

// Running estimate of the camera's frame rate (model codes 1..3), kept by the decoder and
// read by the capture-configuration query. Guarded by the results lock.
struct FrameTiming {
  uint32_t timingFrames = 0;
  int64_t timingStart = 0;  // milliseconds; 0 = not started
  double timingRate = 0;    // frames per second
};

// How the poll thread's scheduling priority was set.
struct PollPriority {
  int raised = 0;    // 1 when the thread runs above the normal priority
  int priority = 0;  // real-time priority (Linux, macOS) or thread priority level (Windows)
  int error = 0;     // the error number of a refused raise, 0 when none
};

struct Connection {
  // Null means no connection: every exchange then returns -100. Atomic because client
  // threads test it before taking the HID lock.
  std::atomic<hid_device*> device{nullptr};
  // Model code 1..4; -100 or -1 after a failed Init, 0 after Close.
  std::atomic<int> model{0};
  uint16_t firmwareVersion = 0;
  char firmwareDateTime[32] = "Build date not supported";
  // Valid entries of pinFunctions; 0 on model codes below 4. Written by Init before the
  // poll thread starts, read by the decoder.
  int pinConfigurationSupported = 0;
  uint8_t pinFunctions[kMaxPins] = {};
  FrameTiming timing;
  PollPriority priority;
  // Set by Close to make the poll thread end.
  std::atomic<bool> hidThreadTerminated{false};
};

extern Connection conn;

struct LibraryState {
  // Read by the calibration code and written by Init and the calibration functions without
  // any lock; outlives connections (a fit may use it before any tracker is opened).
  std::atomic<double> viewingDistance{570.0};
};

extern LibraryState library;

inline hid_device* open_device() { return conn.device.load(std::memory_order_acquire); }

}  // namespace saccadrix
