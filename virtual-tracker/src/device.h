// One attached device: its OS input queue, the log of written reports, injected faults and,
// for a tracker, the firmware (Tracker) and the thread that streams its result reports.
// Every member is guarded by the device's mutex; the stream thread, readers and writers may
// run at the same time. The same device runs behind two front ends: the hidapi stand-in reads
// its input queue through read(); the emulated hidraw node takes each report through an
// InputSink the moment it becomes readable.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "bytes.h"
#include "tracker.h"
#include "virtual_tracker.h"

namespace vt::detail {

// Where input reports go when a front end keeps the operating system's queue itself (the
// emulated hidraw node). Both functions run with the device's mutex held.
class InputSink {
 public:
  enum class Offer {
    queued,
    dropped,  // the queue is full: the report is lost and counted like any other
    unheard,  // no host has the device open: the report goes nowhere, uncounted
  };
  virtual ~InputSink() = default;
  virtual Offer offer(const InputReport& report) = 0;
  // Whether a host has the device open (result reports are sent only then).
  virtual bool listening() = 0;
};

class Device {
 public:
  Device(int id, const DeviceConfig& config, int model);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  int id() const { return id_; }
  int model() const { return model_; }
  const DeviceConfig& config() const { return config_; }  // identity; never changes

  // Host side (hidapi). Status conventions as hidapi's: bytes transferred, 0 for nothing
  // waiting, -1 for failure with *error set to a static message.
  int write(const uint8_t* data, size_t length, const wchar_t** error);
  // timeout_ms < 0 waits without limit. `closed` is the handle's flag: a read blocked on a
  // handle that another thread closes returns -1.
  int read(uint8_t* data, size_t length, int timeout_ms, const std::atomic<bool>& closed,
           const wchar_t** error);
  bool attached();
  void handle_opened();
  void handle_closed();
  void wake_readers();
  // Hands every input report to `sink` from now on instead of the device's own queue; the
  // stream thread then also delivers delayed replies when they fall due, since no reader
  // comes to fetch them.
  void set_sink(std::shared_ptr<InputSink> sink);

  // Control side.
  void detach();               // stops the stream thread (joins it: never call with locks held)
  void abandon_stream();       // at process exit: asks the stream thread to end, does not join
  void push(const InputReport& report);
  size_t queued();
  uint64_t dropped();
  std::vector<Written> written();
  void clear_written();
  void set_faults(const Faults& faults);
  bool string_read_error();
  void set_rate(double rate_hz);
  void pause(bool paused);
  uint64_t generated();
  void hold_eye(bool hold, double x, double y);
  void hold_digital(bool hold, uint32_t bits);
  void set_firmware(uint16_t version, const std::string& date, bool terminated);
  void keep_readable_times(size_t capacity);
  std::vector<Readable> readable_times();
  DeviceState state();
  // Runs f(Tracker&) under the device's lock; nothing for a device that is not a tracker.
  template <typename F>
  void with_tracker(F&& f) {
    std::lock_guard<std::mutex> lock(m_);
    if (tracker_ != nullptr) f(*tracker_);
  }

 private:
  struct Pending {
    InputReport report;
    Clock::time_point due;
    bool result;
  };

  bool tracker_present() const { return tracker_ != nullptr; }
  // Puts a report into the input queue and wakes readers. Like hidraw's ring of 64 slots the
  // queue holds at most 63 reports, and a report that finds it full is dropped and counted.
  void enqueue_locked(const InputReport& report, Clock::time_point now, bool result);
  // Queues a report now, or keeps it until `due` when that lies in the future.
  void deliver_locked(const InputReport& report, Clock::time_point due, bool result);
  void promote_due_locked(Clock::time_point now);
  void answer_locked(const InputReport& reply, Clock::time_point now);
  InputReport next_result_locked();
  void ensure_stream_thread_locked();
  void stream_main();

  const int id_;
  const DeviceConfig config_;
  const int model_;

  std::mutex m_;
  std::condition_variable data_cv_;     // signalled when a report becomes readable
  std::condition_variable stream_cv_;
  std::unique_ptr<Tracker> tracker_;  // null for a device that is not a tracker
  std::shared_ptr<InputSink> sink_;   // null: reports go to queue_
  bool attached_ = true;
  int open_handles_ = 0;
  std::deque<InputReport> queue_;
  std::deque<Pending> pending_;  // replies (and results) delayed by a fault
  uint64_t dropped_ = 0;
  std::deque<Written> written_;
  Faults faults_;
  uint64_t generated_ = 0;
  size_t readable_capacity_ = 0;
  std::deque<Readable> readable_;

  // Stream thread.
  std::thread stream_thread_;
  bool stream_stop_ = false;
  bool paused_ = false;
  uint64_t schedule_gen_ = 0;  // bumped whenever the schedule must restart (rate, pause)
};

}  // namespace vt::detail
