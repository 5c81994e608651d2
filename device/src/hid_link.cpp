#include "hid_link.h"

#include <hidapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform.h"
#include "result_decoding.h"

namespace saccadrix {

Connection conn;
LibraryState library;

namespace {

using Clock = std::chrono::steady_clock;

// The reply a command waits for. The reader delivers into it under link_mutex.
struct Waiter {
  uint16_t type;
  int arg;
  uint8_t* packet;
  bool done = false;
};

std::mutex link_mutex;               // guards waiter and reader_active
std::condition_variable reply_ready;  // a reply was delivered, or the reader stopped
Waiter* waiter = nullptr;            // the command waiting for a reply; at most one (HID lock)
bool reader_active = false;          // the poll thread reads; commands do not
std::atomic<int> park_requests{0};   // direct calls that want the reader out of hidapi
bool reader_parked = false;          // the reader waits in ReaderCheckpoint
std::condition_variable park_changed;
// Reads the reader has completed (with a report, empty or failed): tells a stalled reader
// (descheduled on a loaded machine) from a device that does not answer.
std::atomic<uint64_t> reads_completed{0};
// How many budgets a wait may add while the reader makes no progress at all.
constexpr int kStalledReaderExtensions = 10;

bool matches(const Waiter& w, const InReport& report) {
  return report.type() == w.type && (w.arg < 0 || static_cast<int>(report.arg()) == w.arg);
}

// Hands a report to the command waiting for it; false when it is not the awaited reply.
bool deliver_reply(const uint8_t (&report)[kInReportSize]) {
  std::lock_guard<std::mutex> lock(link_mutex);
  if (waiter == nullptr || waiter->done || !matches(*waiter, InReport(report))) return false;
  std::memcpy(waiter->packet, report, kInReportSize);
  waiter->done = true;
  reply_ready.notify_all();
  return true;
}

int remaining_ms(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// A wait opened before the write and closed when the exchange is over.
class WaitScope {
 public:
  WaitScope(uint16_t type, int arg, uint8_t* packet) : w_{type, arg, packet} {
    std::lock_guard<std::mutex> lock(link_mutex);
    waiter = &w_;
  }
  ~WaitScope() {
    std::lock_guard<std::mutex> lock(link_mutex);
    waiter = nullptr;
  }
  WaitScope(const WaitScope&) = delete;
  WaitScope& operator=(const WaitScope&) = delete;

  // Waits for the reply within budget_ms: 0, -1 (read error), -2 (budget spent).
  int wait(hid_device* device, int budget_ms) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(budget_ms);
    std::unique_lock<std::mutex> lock(link_mutex);
    for (;;) {
      if (w_.done) return kStatusOk;
      if (reader_active) {
        // The poll thread reads; it wakes this wait with the reply or when it stops at a
        // read error (the device is gone). The budget is the device's to answer in: while
        // the reader itself has not been scheduled, it is not spent.
        Clock::time_point until = deadline;
        uint64_t reads = reads_completed.load();
        for (int extended = 0;; ++extended) {
          if (reply_ready.wait_until(lock, until, [&] { return w_.done || !reader_active; })) break;
          const uint64_t now_reads = reads_completed.load();
          if (now_reads != reads || extended == kStalledReaderExtensions) return kStatusTimeout;
          reads = now_reads;
          until += std::chrono::milliseconds(budget_ms);
        }
        if (w_.done) return kStatusOk;
        return kStatusIo;
      }
      // No reader: read here, through the same primitive.
      const int left = remaining_ms(deadline);
      if (left == 0) return kStatusTimeout;
      lock.unlock();
      const int n = ReadAndDispatch(device, left);
      lock.lock();
      if (n != 0 && n != static_cast<int>(kInReportSize)) return kStatusIo;
    }
  }

 private:
  Waiter w_;
};

bool reader_is_active() {
  std::lock_guard<std::mutex> lock(link_mutex);
  return reader_active;
}

}  // namespace

void LockHidMutex() { platform::hid_lock(); }
void UnLockHidMutex() { platform::hid_unlock(); }

int ReadAndDispatch(hid_device* device, int timeout_ms) {
  uint8_t report[kInReportSize];
  const int n = platform::read_report(device, report, kInReportSize, timeout_ms);
  reads_completed.fetch_add(1, std::memory_order_relaxed);
  if (n != static_cast<int>(kInReportSize)) return n;
  // One clock read per report, as close to the read as it can be.
  const double host_time = platform::host_seconds();
  if (is_result_type(InReport(report).type()) || !deliver_reply(report)) {
    DecodeIncoming(report, host_time);
  }
  return n;
}

void ReaderStarted() {
  std::lock_guard<std::mutex> lock(link_mutex);
  reader_active = true;
}

void ReaderStopped() {
  std::lock_guard<std::mutex> lock(link_mutex);
  reader_active = false;
  reply_ready.notify_all();
  park_changed.notify_all();
}

void ReaderCheckpoint() {
  if (park_requests.load() == 0) return;  // the usual case: no lock taken
  std::unique_lock<std::mutex> lock(link_mutex);
  reader_parked = true;
  park_changed.notify_all();
  park_changed.wait(lock, [] { return park_requests.load() == 0; });
  reader_parked = false;
}

int GetHIDPacketOfType(uint8_t (&packet)[kInReportSize], uint16_t type, int arg, int budget_ms) {
  hid_device* device = open_device();
  if (device == nullptr) return kStatusNoDevice;
  WaitScope scope(type, arg, packet);
  return scope.wait(device, budget_ms);
}

void PauseDraining(int ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  hid_device* device = open_device();
  if (device != nullptr && !reader_is_active()) {
    for (int left = remaining_ms(deadline); left > 0; left = remaining_ms(deadline)) {
      if (ReadAndDispatch(device, left) < 0) break;  // the device is gone: nothing to drain
    }
  }
  // With a reader running (or after a read error) the pause is a plain sleep.
  std::this_thread::sleep_until(deadline);
}

Exchange::Exchange() {
  LockHidMutex();
  device_ = open_device();
}

Exchange::~Exchange() { UnLockHidMutex(); }

int Exchange::send(const OutReport& request, const Reply* reply,
                   uint8_t (*packet)[kInReportSize]) {
  written_ = -1;
  if (device_ == nullptr) return kStatusNoDevice;
  if (reply == nullptr || packet == nullptr) {
    written_ = hid_write(device_, request.data(), kOutReportSize);
    return written_ == static_cast<int>(kOutReportSize) ? kStatusOk : kStatusIo;
  }
  // The wait opens before the write: a reply that comes at once is not taken for a stray.
  WaitScope scope(reply->type, reply->arg, *packet);
  written_ = hid_write(device_, request.data(), kOutReportSize);
  if (written_ != static_cast<int>(kOutReportSize)) return kStatusIo;
  return scope.wait(device_, reply->budget_ms);
}

namespace link {

int query(const OutReport& request, const Reply& reply,
          const std::function<void(const InReport&)>& on_reply, int pause_ms,
          const std::function<int(int)>& on_wait_failed) {
  if (open_device() == nullptr) return kStatusNoDevice;
  int status;
  {
    Exchange exchange;
    if (!exchange.device_open()) return kStatusNoDevice;
    uint8_t packet[kInReportSize];
    status = exchange.send(request, &reply, &packet);
    if (status == kStatusOk) {
      on_reply(InReport(packet));
    } else if (exchange.written() == static_cast<int>(kOutReportSize) && on_wait_failed) {
      status = on_wait_failed(status);
    }
  }
  platform::sleep_ms(pause_ms);
  return status;
}

int set(const OutReport& request, int pause_ms, const std::function<void()>& before_release) {
  if (open_device() == nullptr) return kStatusNoDevice;
  Exchange exchange;
  if (!exchange.device_open()) return kStatusNoDevice;
  exchange.send(request);
  exchange.pause(pause_ms);
  if (before_release) before_release();
  return exchange.written();
}

int with_device(const std::function<int(hid_device*)>& use) {
  if (open_device() == nullptr) return kStatusNoDevice;
  HidLock lock;
  hid_device* device = open_device();
  if (device == nullptr) return kStatusNoDevice;
  std::unique_lock<std::mutex> park(link_mutex);
  ++park_requests;
  park_changed.wait(park, [] { return reader_parked || !reader_active; });
  park.unlock();
  const int result = use(device);
  park.lock();
  --park_requests;
  park_changed.notify_all();
  return result;
}

}  // namespace link
}  // namespace saccadrix
