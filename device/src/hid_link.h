// The device link: the HID lock, the reply wait, and the one implementation of the
// exchange patterns every command uses. Command functions only fill and parse bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "bytes.h"
#include "connection_state.h"

namespace saccadrix {

constexpr int kStatusOk = 0;
constexpr int kStatusIo = -1;
constexpr int kStatusTimeout = -2;
constexpr int kStatusArg = -3;
constexpr int kStatusUnsupported = -4;
constexpr int kStatusThread = -10;
constexpr int kStatusNoRecord = -15;
constexpr int kStatusVerify = -16;
constexpr int kStatusNoDevice = -100;

constexpr int kAnyArg = -1;
constexpr int kQueryTries = 100;
constexpr int kNetworkQueryTries = 2000;
constexpr int kPauseAfterSetMs = 50;
constexpr int kPauseAfterQueryMs = 50;
constexpr int kNoPause = 0;

void LockHidMutex();
void UnLockHidMutex();

// Holds the HID lock for its lifetime.
class HidLock {
 public:
  HidLock() { LockHidMutex(); }
  ~HidLock() { UnLockHidMutex(); }
  HidLock(const HidLock&) = delete;
  HidLock& operator=(const HidLock&) = delete;
};

// Reads input reports into packet until one of the given type arrives (and, when arg is 0
// or more, whose argument word equals arg). Every other report is handed to the result
// decoder, so results arriving while a command waits are kept. Returns 0 with the match in
// packet, -100 without a device, -1 on a failed or short read, -2 when tries run out (only
// empty reads use tries up). The caller holds the HID lock.
int GetHIDPacketOfType(uint8_t (&packet)[kInReportSize], uint16_t type, int arg, int tries);

// Keeps reading and decoding input reports for ms milliseconds. Set-commands pause with the
// HID lock held; draining the device's queue meanwhile means no result is lost to a command
// (the operating system's queue holds only 64 reports, 64 ms at 1 kHz). The caller holds
// the HID lock.
void PauseDraining(int ms);

// hid_write of the whole report followed by a draining pause of delay_ms; returns the
// result of hid_write. The caller holds the HID lock.
int hid_write_delay(hid_device* device, const uint8_t* data, size_t length, int delay_ms);

// What a query waits for.
struct Reply {
  uint16_t type;
  int arg;    // kAnyArg, or the argument word the reply must echo
  int tries;  // kQueryTries or kNetworkQueryTries
};

// An exchange in progress: holds the HID lock from construction to destruction.
class Exchange {
 public:
  Exchange() = default;
  // False when no device is open (tested again under the lock).
  bool device_open() const { return device_ != nullptr; }
  // Writes the report; true when all 65 bytes went out.
  bool write(const OutReport& report);
  // Waits for the reply; on 0, reply holds it.
  int wait(const Reply& reply, uint8_t (&packet)[kInReportSize]);
  // Draining pause with the lock held.
  void pause(int ms) { PauseDraining(ms); }

 private:
  HidLock lock_;
  hid_device* device_ = open_device();
};

namespace link {

// The query pattern: -100 without a device; lock; write (not all 65 bytes: -1, no wait);
// wait for the reply; on success on_reply decodes it under the lock; release; pause
// (unlocked) for pause_ms; return the status. When the wait fails, on_wait_failed (if given)
// runs under the lock with the wait's status and returns the status to report.
int query(const OutReport& request, const Reply& reply,
          const std::function<void(const InReport&)>& on_reply, int pause_ms,
          const std::function<int(int)>& on_wait_failed = nullptr);

// The set pattern: -100 without a device; lock; write; draining pause of pause_ms with the
// lock held; before_release (if given) under the lock; release. Returns what hid_write
// returned (65 when the whole report went out).
int set(const OutReport& request, int pause_ms = kPauseAfterSetMs,
        const std::function<void()>& before_release = nullptr);

}  // namespace link
}  // namespace saccadrix
