// Linux and macOS: clocks, sleeps, the poll thread's real-time priority, open and read.
#include "platform.h"

#include <hidapi.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#if defined(__APPLE__)
#include <mach/mach_time.h>
#endif

namespace saccadrix::platform {
namespace {

// The real-time priority the poll thread asks for: above ordinary threads, well below the
// kernel's own real-time work. A user whose RLIMIT_RTPRIO is lower gets that limit instead.
constexpr int kPollRealtimePriority = 20;

int set_fifo(int priority) {
  sched_param param{};
  param.sched_priority = priority;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace

int64_t milliseconds_now() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

double host_seconds() {
#if defined(__APPLE__)
  static const mach_timebase_info_data_t timebase = [] {
    mach_timebase_info_data_t t{};
    mach_timebase_info(&t);
    return t;
  }();
  const long double ticks = static_cast<long double>(mach_absolute_time());
  return static_cast<double>(ticks * timebase.numer / timebase.denom / 1e9L);
#else
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
#endif
}

void sleep_ms(int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

PollPriority raise_current_thread_priority() {
  PollPriority result;
  int wanted = kPollRealtimePriority;
  const int max = sched_get_priority_max(SCHED_FIFO);
  if (max > 0 && wanted > max) wanted = max;
  int error = set_fifo(wanted);
  if (error == EPERM) {
    // Without the privilege, a user may still have a real-time limit of their own
    // (limits.conf "rtprio"): take as much of it as it grants.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur >= 1 &&
        limit.rlim_cur < static_cast<rlim_t>(wanted)) {
      wanted = static_cast<int>(limit.rlim_cur);
      error = set_fifo(wanted);
    }
  }
  if (error != 0) {
    std::printf("WARNING: pthread_setschedparam failed error: %d\n", error);
    std::fflush(stdout);
    result.error = error;
    return result;
  }
  result.raised = 1;
  result.priority = wanted;
  return result;
}

hid_device* open_tracker(uint16_t vendor_id, uint16_t product_id) {
  return hid_open(vendor_id, product_id, nullptr);
}

int read_report(hid_device* device, uint8_t* buffer, size_t length, int timeout_ms) {
  return hid_read_timeout(device, buffer, length, timeout_ms);
}

}  // namespace saccadrix::platform
