// Linux and macOS: std::mutex / std::thread (POSIX threads underneath) and steady_clock.
#include "platform.h"

#include <hidapi.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

namespace saccadrix::platform {
namespace {

// The HID lock exists for the life of the process, so the exchanges that Init makes before
// the poll thread starts can take it like every other exchange.
std::mutex hHidMutex;

// A client that ends without zelSaccadrixClose must not be killed at exit by a joinable
// std::thread's destructor: the poll thread is let go instead. It only touches state with
// static storage that stays valid until the process is gone.
struct PollThread {
  std::thread thread;
  ~PollThread() {
    if (thread.joinable()) thread.detach();
  }
};
PollThread poll;
std::thread& hHidThread = poll.thread;

}  // namespace

int64_t milliseconds_now() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void sleep_ms(int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool hid_lock_ready() { return true; }
void hid_lock() { hHidMutex.lock(); }
void hid_unlock() { hHidMutex.unlock(); }
void hid_lock_retire() {}

bool start_poll_thread(void (*body)()) {
  try {
    hHidThread = std::thread(body);
    return true;
  } catch (const std::system_error& e) {
    std::printf("ERROR: return code from pthread_create() is %d\n", e.code().value());
    std::fflush(stdout);
    return false;
  }
}

bool poll_thread_exists() { return hHidThread.joinable(); }

int join_poll_thread() {
  if (!hHidThread.joinable()) return 0;
  try {
    hHidThread.join();
    return 0;
  } catch (const std::system_error& e) {
    std::printf("ERROR; return code from pthread_join() is %d\n", e.code().value());
    std::fflush(stdout);
    // Forget the thread so that a later Close does not join it again.
    try {
      hHidThread.detach();
    } catch (const std::system_error&) {
    }
    return -10;
  }
}

hid_device* open_tracker(uint16_t vendor_id, uint16_t product_id) {
  return hid_open(vendor_id, product_id, nullptr);
}

int read_report(hid_device* device, uint8_t* buffer, size_t length) {
  return hid_read(device, buffer, length);
}

}  // namespace saccadrix::platform
