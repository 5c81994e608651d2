// The platform room of the device library: the HID lock, the poll thread, sleeps, the
// millisecond clock and the few places where opening and reading the device differ between
// systems. platform_posix.cpp (Linux, macOS) and platform_win32.cpp implement it.
#pragma once

#include <cstddef>
#include <cstdint>

struct hid_device_;
typedef struct hid_device_ hid_device;

namespace saccadrix::platform {

#if defined(_WIN32)
constexpr int kLibVersion = 44;
constexpr int kRingCapacity = 1000;
#else
constexpr int kLibVersion = 46;
constexpr int kRingCapacity = 5000;
#endif

// Host clock in milliseconds, for elapsed-time arithmetic only.
int64_t milliseconds_now();
void sleep_ms(int64_t ms);

// The HID lock. hid_lock_ready() makes sure the lock exists (creating it where the platform
// creates it per connection) and prints the platform's message when it cannot.
bool hid_lock_ready();
void hid_lock();
void hid_unlock();
// Called by Close once the poll thread has ended.
void hid_lock_retire();

// The poll thread. start prints the platform's message on failure and returns false.
bool start_poll_thread(void (*body)());
bool poll_thread_exists();
// Waits for the poll thread to end and forgets it; 0, or -10 (message printed) when the
// wait failed. No-op returning 0 when there is no thread.
int join_poll_thread();

// Opens the tracker chosen by enumeration.
hid_device* open_tracker(uint16_t vendor_id, uint16_t product_id);
// One non-blocking read of an input report: its length, 0 when none waits, -1 on error.
int read_report(hid_device* device, uint8_t* buffer, size_t length);

}  // namespace saccadrix::platform
