// Windows: the performance counter, the highest thread priority for the poll thread, open by
// path and reads with a time-out.
#if defined(_WIN32)

#include "platform.h"

#include <hidapi.h>
#include <windows.h>

#include <cstdio>

namespace saccadrix::platform {
namespace {

int64_t counter_frequency() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    return QueryPerformanceFrequency(&f) ? static_cast<int64_t>(f.QuadPart) : int64_t{0};
  }();
  return frequency;
}

}  // namespace

int64_t milliseconds_now() {
  const int64_t frequency = counter_frequency();
  if (frequency == 0) return static_cast<int64_t>(GetTickCount64());
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart * 1000 / frequency;
}

double host_seconds() {
  const int64_t frequency = counter_frequency();
  if (frequency == 0) return static_cast<double>(GetTickCount64()) / 1000.0;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Whole seconds and the remainder apart, so that a long uptime loses no precision.
  const int64_t seconds = now.QuadPart / frequency;
  const int64_t rest = now.QuadPart % frequency;
  return static_cast<double>(seconds) + static_cast<double>(rest) / static_cast<double>(frequency);
}

void sleep_ms(int64_t ms) {
  if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

PollPriority raise_current_thread_priority() {
  PollPriority result;
  if (!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST)) {
    result.error = static_cast<int>(GetLastError());
    std::printf("WARNING: SetThreadPriority failed error: %d\n", result.error);
    std::fflush(stdout);
    return result;
  }
  result.raised = 1;
  result.priority = THREAD_PRIORITY_HIGHEST;
  return result;
}

hid_device* open_tracker(uint16_t vendor_id, uint16_t product_id) {
  hid_device* device = nullptr;
  hid_device_info* list = hid_enumerate(vendor_id, product_id);
  for (hid_device_info* d = list; d != nullptr; d = d->next) {
    if (d->vendor_id == vendor_id && d->product_id == product_id && d->path != nullptr) {
      device = hid_open_path(d->path);
      break;
    }
  }
  hid_free_enumeration(list);
  return device;
}

int read_report(hid_device* device, uint8_t* buffer, size_t length, int timeout_ms) {
  return hid_read_timeout(device, buffer, length, timeout_ms);
}

}  // namespace saccadrix::platform

#endif  // _WIN32
