// Windows: a Win32 mutex created per connection and taken with a 10-second limit,
// _beginthread with the highest thread priority, open by path, zero-timeout reads and the
// performance counter.
#if defined(_WIN32)

#include "platform.h"

#include <hidapi.h>
#include <process.h>
#include <windows.h>

#include <cstdio>

namespace saccadrix::platform {
namespace {

HANDLE hHidMutex = nullptr;
HANDLE hHidThread = nullptr;
HANDLE threadEnded = nullptr;  // signalled by the poll thread as it returns
void (*threadBody)() = nullptr;

constexpr DWORD kLockLimitMs = 10000;
constexpr DWORD kJoinLimitMs = 10000;

void __cdecl thread_entry(void*) {
  threadBody();
  SetEvent(threadEnded);
  _endthread();
}

}  // namespace

int64_t milliseconds_now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    if (!QueryPerformanceFrequency(&f)) f.QuadPart = 0;
    return f;
  }();
  if (frequency.QuadPart == 0) return static_cast<int64_t>(GetTickCount());
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart * 1000 / frequency.QuadPart;
}

void sleep_ms(int64_t ms) {
  if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

bool hid_lock_ready() {
  if (hHidMutex != nullptr) return true;
  hHidMutex = CreateMutexA(nullptr, FALSE, nullptr);
  if (hHidMutex == nullptr) {
    std::printf("CreateMutex error: %d\n", static_cast<int>(GetLastError()));
    return false;
  }
  return true;
}

// Every take waits at most 10 s. The device is never touched without the lock, so a take
// whose limit expires reports it and waits again rather than going on unlocked.
void hid_lock() {
  if (hHidMutex == nullptr && !hid_lock_ready()) return;
  while (WaitForSingleObject(hHidMutex, kLockLimitMs) == WAIT_TIMEOUT) {
    std::printf("WARNING: HID lock not obtained within %lu ms, still waiting\n",
                static_cast<unsigned long>(kLockLimitMs));
  }
}

void hid_unlock() {
  if (hHidMutex != nullptr) ReleaseMutex(hHidMutex);
}

void hid_lock_retire() {
  if (hHidMutex != nullptr) {
    CloseHandle(hHidMutex);
    hHidMutex = nullptr;
  }
}

bool start_poll_thread(void (*body)()) {
  threadBody = body;
  threadEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const uintptr_t handle = _beginthread(thread_entry, 0, nullptr);
  if (handle == static_cast<uintptr_t>(-1L)) {
    std::printf("CreateThread error: %d\n", static_cast<int>(GetLastError()));
    CloseHandle(threadEnded);
    threadEnded = nullptr;
    return false;
  }
  hHidThread = reinterpret_cast<HANDLE>(handle);
  if (!SetThreadPriority(hHidThread, THREAD_PRIORITY_HIGHEST)) {
    std::printf("WARNING: SetThreadPriority failed error: %d\n", static_cast<int>(GetLastError()));
  }
  return true;
}

bool poll_thread_exists() { return hHidThread != nullptr; }

// Waits at most 10 s for the thread; Close reports success in every case on Windows.
int join_poll_thread() {
  if (hHidThread == nullptr) return 0;
  WaitForSingleObject(threadEnded, kJoinLimitMs);
  CloseHandle(threadEnded);
  threadEnded = nullptr;
  hHidThread = nullptr;  // _endthread closes the thread's own handle
  return 0;
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

int read_report(hid_device* device, uint8_t* buffer, size_t length) {
  return hid_read_timeout(device, buffer, length, 0);
}

}  // namespace saccadrix::platform

#endif  // _WIN32
