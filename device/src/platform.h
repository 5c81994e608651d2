// The platform room of the device library: clocks, sleeps, the HID lock's take, the poll
// thread's priority, its messages, and the few places where opening and reading the device
// differ between systems. The lock and the thread are the standard library's everywhere
// (poll_thread.cpp); platform_posix.cpp (Linux, macOS) and platform_win32.cpp implement the rest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "connection_state.h"

struct hid_device_;
typedef struct hid_device_ hid_device;

namespace saccadrix::platform {

#if defined(_WIN32)
constexpr int kLibVersion = 44;
constexpr int kRingCapacity = 1000;
// Every take of the HID lock and the wait for the poll thread at Close are limited to 10 s.
constexpr int64_t kLockLimitMs = 10000;
constexpr int64_t kJoinLimitMs = 10000;
constexpr char kThreadStartMessage[] = "CreateThread error: %d\n";
#else
constexpr int kLibVersion = 46;
constexpr int kRingCapacity = 5000;
constexpr int64_t kLockLimitMs = 0;  // no limit
constexpr int64_t kJoinLimitMs = 0;  // no limit
constexpr char kThreadStartMessage[] = "ERROR: return code from pthread_create() is %d\n";
#endif

// Host clock in milliseconds, for elapsed-time arithmetic only.
int64_t milliseconds_now();
// The host's monotonic clock in seconds, the one experiment software uses: CLOCK_MONOTONIC on
// Linux, mach_absolute_time on macOS, QueryPerformanceCounter on Windows.
double host_seconds();
void sleep_ms(int64_t ms);

// The HID lock (exists for the life of the process). A take waits without limit, or, where
// the platform limits it, reports each expired limit and waits again: the device is never
// touched without the lock.
void hid_lock();
void hid_unlock();

// The poll thread. start prints the platform's message on failure and returns false; the
// thread's priority has been raised (or the refusal reported) when it returns true.
bool start_poll_thread(void (*body)());
bool poll_thread_exists();
// Waits for the poll thread to end (within the platform's limit) and forgets it. Returns 0,
// or -10 with the platform's message when the wait failed; *ended tells whether the thread
// has ended (false only when a limited wait ran out: the thread still runs).
int join_poll_thread(bool* ended);

// Raises the calling thread's scheduling priority where the system allows it, and reports
// a refusal on standard output as the platform does.
PollPriority raise_current_thread_priority();

// Opens the tracker chosen by enumeration.
hid_device* open_tracker(uint16_t vendor_id, uint16_t product_id);
// One read of an input report, waiting up to timeout_ms (0: only what is waiting): its
// length, 0 when none came, -1 on error.
int read_report(hid_device* device, uint8_t* buffer, size_t length, int timeout_ms);

}  // namespace saccadrix::platform
