// The HID lock and the poll thread on every platform: std::timed_mutex and std::thread
// (POSIX threads underneath on Linux and macOS, and with MinGW-w64's posix model on Windows).
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform.h"
#include "status.h"

namespace saccadrix::platform {
namespace {

// The HID lock exists for the life of the process, so the exchanges that Init makes before
// the poll thread starts can take it like every other exchange.
std::timed_mutex hHidMutex;

// The thread, and a signal that its body has returned (for a join with a time limit).
struct PollThread {
  std::thread thread;
  std::mutex m;
  std::condition_variable cv;
  bool ended = false;
  bool priority_set = false;
  // A client that ends without zelSaccadrixClose must not be killed at exit by a joinable
  // std::thread's destructor: the poll thread is let go instead. It only touches state with
  // static storage that stays valid until the process is gone.
  ~PollThread() {
    if (thread.joinable()) thread.detach();
  }
};
PollThread poll;
std::thread& hHidThread = poll.thread;

void thread_main(void (*body)()) {
  const PollPriority priority = raise_current_thread_priority();
  {
    std::lock_guard<std::mutex> lock(poll.m);
    conn.priority = priority;
    poll.priority_set = true;
  }
  poll.cv.notify_all();
  body();
  {
    std::lock_guard<std::mutex> lock(poll.m);
    poll.ended = true;
  }
  poll.cv.notify_all();
}

}  // namespace

void hid_lock() {
  if (kLockLimitMs <= 0) {
    hHidMutex.lock();
    return;
  }
  while (!hHidMutex.try_lock_for(std::chrono::milliseconds(kLockLimitMs))) {
    std::printf("WARNING: HID lock not obtained within %lld ms, still waiting\n",
                static_cast<long long>(kLockLimitMs));
    std::fflush(stdout);
  }
}

void hid_unlock() { hHidMutex.unlock(); }

bool start_poll_thread(void (*body)()) {
  {
    std::lock_guard<std::mutex> lock(poll.m);
    poll.ended = false;
    poll.priority_set = false;
  }
  try {
    hHidThread = std::thread(thread_main, body);
  } catch (const std::system_error& e) {
    std::printf(kThreadStartMessage, e.code().value());
    std::fflush(stdout);
    return false;
  }
  // Init returns once the thread's priority is known, so that it can be asked at once.
  std::unique_lock<std::mutex> lock(poll.m);
  poll.cv.wait(lock, [] { return poll.priority_set; });
  return true;
}

bool poll_thread_exists() { return hHidThread.joinable(); }

int join_poll_thread(bool* ended) {
  *ended = true;
  if (!hHidThread.joinable()) return 0;
  if (kJoinLimitMs > 0) {
    std::unique_lock<std::mutex> lock(poll.m);
    if (!poll.cv.wait_for(lock, std::chrono::milliseconds(kJoinLimitMs), [] { return poll.ended; })) {
      // The thread still runs: let it go rather than wait for ever. Its device stays open
      // under it (Close does not close a device a live thread may read).
      lock.unlock();
      hHidThread.detach();
      *ended = false;
      return 0;
    }
  }
  try {
    hHidThread.join();
    return 0;
  } catch (const std::system_error& e) {
    std::printf("ERROR; return code from pthread_join() is %d\n", e.code().value());
    std::fflush(stdout);
    // Forget the thread so that a later Close does not join it again. A thread that could
    // not be joined may still run: its device is not closed under it.
    try {
      hHidThread.detach();
    } catch (const std::system_error&) {
    }
    std::lock_guard<std::mutex> lock(poll.m);
    *ended = poll.ended;
    return kStatusThread;
  }
}

}  // namespace saccadrix::platform
