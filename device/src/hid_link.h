// The device link: the HID lock, the one reader of input reports, and the one exchange
// primitive every command uses. Command functions only fill and parse bytes.
//
// Once the poll thread runs it is the only reader: it waits for the next report without any
// lock, hands a reply to the command waiting for it and every other report to the result
// decoder. A command holds the HID lock from before its write until its reply has been
// delivered (set-commands and multi-report stores through their pauses too), so no other
// command reaches the device meanwhile. Where no reader runs (Init's exchanges before the
// thread starts, or after it stopped at a read error) the command reads for itself, through
// the same read primitive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "bytes.h"
#include "connection_state.h"
#include "protocol.h"
#include "status.h"

namespace saccadrix {

using namespace protocol;

constexpr int kAnyArg = -1;

void LockHidMutex();
void UnLockHidMutex();

// Holds the HID lock for its lifetime. Only the link and Close take it.
class HidLock {
 public:
  HidLock() { LockHidMutex(); }
  ~HidLock() { UnLockHidMutex(); }
  HidLock(const HidLock&) = delete;
  HidLock& operator=(const HidLock&) = delete;
};

// What a command waits for: a reply of this type (and, when arg is 0 or more, whose argument
// word equals arg) within budget_ms.
struct Reply {
  uint16_t type;
  int arg;
  int budget_ms;
};

// ---- The reader ----------------------------------------------------------------------

// The one read primitive: waits up to timeout_ms for an input report, notes the host clock
// when one arrives, and dispatches it (to the command waiting for it, or to the result
// decoder). Returns what the read returned: 64, 0 when none came, -1 on a read error.
int ReadAndDispatch(hid_device* device, int timeout_ms);

// The poll thread becomes the reader (called by Init before the thread starts), and stops
// being it (called by the thread as it leaves its loop). Stopping wakes a command waiting
// for a reply with -1: the device is gone.
void ReaderStarted();
void ReaderStopped();
// Called by the reader between reads: while a direct call (link::with_device) needs the
// device to itself, the reader waits here, outside hidapi.
void ReaderCheckpoint();

// Waits for a reply of the given type and argument (kAnyArg for any) for at most budget_ms.
// Returns 0 with the reply in packet; -100 without a device; -1 when a read fails or the
// reader stopped at a read error; -2 when the budget runs out. Reports met meanwhile reach
// the decoder (results are kept, stray replies dropped). The caller holds the HID lock;
// a reply counts only once the wait has begun, so the exchange primitive opens the wait
// before it writes.
int GetHIDPacketOfType(uint8_t (&packet)[kInReportSize], uint16_t type, int arg, int budget_ms);

// A pause with the HID lock held: no other command reaches the device, and the device's
// queue keeps being drained (by the reader, or here when no reader runs), so no result is
// lost to a command. The caller holds the HID lock.
void PauseDraining(int ms);

// ---- The exchange primitive ----------------------------------------------------------

// One command, or a run of them (a multi-report store): holds the HID lock from
// construction to destruction.
class Exchange {
 public:
  Exchange();
  ~Exchange();
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  // False when no device is open (tested again under the lock).
  bool device_open() const { return device_ != nullptr; }
  // Writes the report; with a reply, waits for it into packet. Returns 0 (the reply, or a
  // whole write without one), -1 when the report did not go out whole (no wait), or the
  // wait's status.
  int send(const OutReport& request, const Reply* reply = nullptr,
           uint8_t (*packet)[kInReportSize] = nullptr);
  // hid_write's own result for the last send (65 when the whole report went out).
  int written() const { return written_; }
  // Pause with the lock held.
  void pause(int ms) { PauseDraining(ms); }

 private:
  hid_device* device_;
  int written_ = -1;
};

namespace link {

// The query pattern: -100 without a device; lock; write (not whole: -1, no wait); wait for
// the reply; on success on_reply decodes it under the lock; release; pause (unlocked) for
// pause_ms; return the status. When the wait fails, on_wait_failed (if given) runs under the
// lock with the wait's status and returns the status to report.
int query(const OutReport& request, const Reply& reply,
          const std::function<void(const InReport&)>& on_reply, int pause_ms,
          const std::function<int(int)>& on_wait_failed = nullptr);

// The set pattern: -100 without a device; lock; write; draining pause of pause_ms with the
// lock held; before_release (if given) under the lock; release. Returns what hid_write
// returned (65 when the whole report went out).
int set(const OutReport& request, int pause_ms = kPauseAfterSetMs,
        const std::function<void()>& before_release = nullptr);

// Runs use with the open device under the HID lock and with the reader parked between two
// reads (string reads and other direct calls that must not meet an exchange, nor a read:
// hidapi keeps one error text per device, which every call frees and replaces, so a call
// that fails must not run beside a read). The reader parks within one read's wait (at
// most 20 ms, one report interval while results stream). -100 without a device.
int with_device(const std::function<int(hid_device*)>& use);

}  // namespace link
}  // namespace saccadrix
