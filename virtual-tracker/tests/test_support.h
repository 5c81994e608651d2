// Helpers shared by the simulator's tests: a device handle that closes itself, a fixture that
// attaches and opens one device, and command exchanges written the way a host writes them.
#pragma once

#include <gtest/gtest.h>
#include <hidapi.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>

#include "virtual_tracker.h"

namespace vt_test {

using Report = std::array<uint8_t, 64>;

class Handle {
 public:
  explicit Handle(hid_device* dev) : dev_(dev) {}
  ~Handle() {
    if (dev_ != nullptr) hid_close(dev_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  hid_device* get() const { return dev_; }
  explicit operator bool() const { return dev_ != nullptr; }

 private:
  hid_device* dev_;
};

inline hid_device* open_device(int id) {
  const std::string path = "vt:" + std::to_string(id);
  hid_device* dev = hid_open_path(path.c_str());
  if (dev != nullptr) hid_set_nonblocking(dev, 1);
  return dev;
}

// Writes a command report: code, argument word, payload from byte 5.
inline int send(hid_device* dev, uint16_t code, uint16_t arg = 0,
                const std::array<uint8_t, 60>& payload = {}) {
  uint8_t out[65] = {};
  out[1] = static_cast<uint8_t>(code);
  out[2] = static_cast<uint8_t>(code >> 8);
  out[3] = static_cast<uint8_t>(arg);
  out[4] = static_cast<uint8_t>(arg >> 8);
  for (size_t i = 0; i < payload.size(); ++i) out[5 + i] = payload[i];
  return hid_write(dev, out, sizeof out);
}

inline uint16_t u16(const Report& r, size_t off) {
  return static_cast<uint16_t>(r[off] | r[off + 1] << 8);
}
inline uint32_t u32(const Report& r, size_t off) {
  return static_cast<uint32_t>(r[off]) | static_cast<uint32_t>(r[off + 1]) << 8 |
         static_cast<uint32_t>(r[off + 2]) << 16 | static_cast<uint32_t>(r[off + 3]) << 24;
}
inline int32_t i32(const Report& r, size_t off) { return static_cast<int32_t>(u32(r, off)); }
inline uint64_t u64(const Report& r, size_t off) {
  return static_cast<uint64_t>(u32(r, off)) | static_cast<uint64_t>(u32(r, off + 4)) << 32;
}

// Reads reports until one of `type` arrives (others are skipped) or the deadline passes.
inline std::optional<Report> read_type(hid_device* dev, uint16_t type,
                                       std::chrono::milliseconds within = std::chrono::milliseconds(500)) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  Report r{};
  while (std::chrono::steady_clock::now() < deadline) {
    const int n = hid_read_timeout(dev, r.data(), r.size(), 10);
    if (n < 0) return std::nullopt;
    if (n == 64 && u16(r, 0) == type) return r;
  }
  return std::nullopt;
}

// Reads whatever is queued now; returns the reports in order.
inline std::vector<Report> drain(hid_device* dev) {
  std::vector<Report> out;
  Report r{};
  while (hid_read_timeout(dev, r.data(), r.size(), 0) == 64) out.push_back(r);
  return out;
}

// Waits for a condition with a deadline instead of sleeping a fixed time.
template <typename Pred>
bool eventually(Pred pred, std::chrono::milliseconds within = std::chrono::milliseconds(2000)) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline vt::DeviceConfig tracker(int model, double rate = 0) {
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(model);
  c.rate_hz = rate;
  return c;
}

// A fresh simulator for each case, with one device attached and opened by start().
class OneDevice : public ::testing::Test {
 protected:
  void SetUp() override { vt::reset(); }
  void TearDown() override {
    if (dev_ != nullptr) hid_close(dev_);
    vt::reset();
  }
  int start(const vt::DeviceConfig& c) {
    const int id = vt::attach(c);
    EXPECT_GT(id, 0);
    dev_ = open_device(id);
    EXPECT_NE(dev_, nullptr);
    return id;
  }
  hid_device* dev_ = nullptr;
};

}  // namespace vt_test
