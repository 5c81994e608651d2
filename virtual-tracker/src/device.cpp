#include "device.h"

#include <algorithm>
#include <cmath>

#include "protocol.h"

namespace vt::detail {
namespace {

constexpr size_t kWrittenLogCapacity = 65536;
// A stream that falls this far behind its schedule (a stopped process, an overloaded machine)
// restarts the schedule instead of sending the missed reports in one burst.
constexpr auto kMaxStreamLag = std::chrono::milliseconds(200);
// Behind an emulated node (a sink) a stream that fell behind catches up at most this fast:
// a tracker's reports reach the kernel one per USB interval, never hundreds at once. The
// stand-in sends the missed reports in one burst.
constexpr auto kCatchUpSpacing = std::chrono::microseconds(100);

uint64_t result_timestamp(const InputReport& r) {
  const ReportReader<64> in(r);
  const uint16_t type = in.u16(0);
  return type == kRawOld || type == kCalibratedOld ? in.u64(8) : in.u64(6);
}

}  // namespace

Device::Device(int id, const DeviceConfig& config, int model)
    : id_(id), config_(config), model_(model) {
  if (model_ != 0) {
    const uint64_t seed = config.seed != 0 ? config.seed : 0x5eed0000u + static_cast<uint64_t>(id);
    tracker_ = std::make_unique<Tracker>(config, model_, seed);
    std::lock_guard<std::mutex> lock(m_);
    ensure_stream_thread_locked();
  }
}

Device::~Device() {
  std::thread t;
  {
    std::lock_guard<std::mutex> lock(m_);
    stream_stop_ = true;
    stream_cv_.notify_all();
    t = std::move(stream_thread_);
  }
  if (t.joinable()) t.join();
}

// ---- Host side ---------------------------------------------------------------------------

int Device::write(const uint8_t* data, size_t length, const wchar_t** error) {
  if (data == nullptr || length == 0) {
    *error = L"No data to write";
    return -1;
  }
  if (length > std::tuple_size<OutputReport>::value) {
    *error = L"Report longer than the device's output report (65 bytes with the report id)";
    return -1;
  }
  if (data[0] != 0) {
    *error = L"The device has no numbered reports: byte 0 must be 0";
    return -1;
  }
  std::lock_guard<std::mutex> lock(m_);
  if (!attached_) {
    *error = L"No such device";  // hidraw fails a write to an unplugged device with ENODEV
    return -1;
  }
  OutputReport out{};
  std::copy_n(data, length, out.begin());
  const Clock::time_point now = Clock::now();

  bool accepted = true;
  int result = static_cast<int>(length);
  if (faults_.short_writes > 0) {
    --faults_.short_writes;
    accepted = false;
    result = static_cast<int>(std::min<size_t>(10, length - 1));
  }
  Written w;
  w.bytes.assign(out.begin(), out.end());
  w.when = now;
  w.accepted = accepted;
  if (written_.size() >= kWrittenLogCapacity) written_.pop_front();
  written_.push_back(std::move(w));

  if (accepted && tracker_present()) {
    if (const std::optional<InputReport> reply = tracker_->command(out)) answer_locked(*reply, now);
    // A rate or results-type change takes effect from the next report; the schedule stays.
  }
  return result;
}

int Device::read(uint8_t* data, size_t length, int timeout_ms, const std::atomic<bool>& closed,
                 const wchar_t** error) {
  if (data == nullptr || length == 0) {
    *error = L"No buffer to read into";
    return -1;
  }
  std::unique_lock<std::mutex> lock(m_);
  const Clock::time_point deadline =
      timeout_ms > 0 ? Clock::now() + std::chrono::milliseconds(timeout_ms) : Clock::time_point::max();
  for (;;) {
    if (closed.load()) {
      *error = L"Device handle closed";
      return -1;
    }
    if (!attached_ && (timeout_ms >= 0 || queue_.empty())) {
      // As hidapi over hidraw: a timed read polls first, and poll reports the unplug at
      // once; a blocking read gets the reports that were waiting, then EIO.
      *error = timeout_ms >= 0 ? L"hid_read_timeout: unexpected poll error (device disconnected)"
                               : L"Input/output error";
      return -1;
    }
    if (faults_.read_error) {
      *error = L"Input/output error";
      return -1;
    }
    const Clock::time_point now = Clock::now();
    promote_due_locked(now);
    if (!queue_.empty()) {
      // Like hidraw: a buffer shorter than the report receives its first bytes only.
      const size_t n = std::min(length, queue_.front().size());
      std::copy_n(queue_.front().begin(), n, data);
      queue_.pop_front();
      return static_cast<int>(n);
    }
    if (timeout_ms == 0 || (timeout_ms > 0 && now >= deadline)) return 0;
    Clock::time_point wake = deadline;
    if (!pending_.empty()) wake = std::min(wake, pending_.front().due);
    if (wake == Clock::time_point::max()) {
      data_cv_.wait(lock);
    } else {
      data_cv_.wait_until(lock, wake);
    }
  }
}

bool Device::attached() {
  std::lock_guard<std::mutex> lock(m_);
  return attached_;
}

void Device::handle_opened() {
  std::lock_guard<std::mutex> lock(m_);
  ++open_handles_;
}

void Device::handle_closed() {
  std::lock_guard<std::mutex> lock(m_);
  if (open_handles_ > 0) --open_handles_;
  data_cv_.notify_all();
}

void Device::wake_readers() {
  std::lock_guard<std::mutex> lock(m_);
  data_cv_.notify_all();
}

void Device::set_sink(std::shared_ptr<InputSink> sink) {
  std::lock_guard<std::mutex> lock(m_);
  sink_ = std::move(sink);
  ensure_stream_thread_locked();
  stream_cv_.notify_all();
}

// ---- Queue ---------------------------------------------------------------------------------

void Device::enqueue_locked(const InputReport& report, Clock::time_point when, bool result) {
  InputSink::Offer offer = InputSink::Offer::dropped;
  if (sink_ != nullptr) {
    offer = sink_->offer(report);
  } else if (queue_.size() < kInputQueueCapacity) {
    queue_.push_back(report);
    offer = InputSink::Offer::queued;
  }
  if (offer == InputSink::Offer::unheard) return;
  if (offer == InputSink::Offer::dropped) {
    ++dropped_;  // the kernel keeps the reports it has and drops the arriving one
    return;
  }
  if (result && readable_capacity_ > 0) {
    if (readable_.size() >= readable_capacity_) readable_.pop_front();
    readable_.push_back(Readable{result_timestamp(report), when});
  }
  data_cv_.notify_all();
}

void Device::deliver_locked(const InputReport& report, Clock::time_point due, bool result) {
  const Clock::time_point now = Clock::now();
  promote_due_locked(now);
  if (due <= now && pending_.empty()) {
    enqueue_locked(report, now, result);
    return;
  }
  // Keep pending reports ordered by due time; equal times keep their order.
  auto at = std::upper_bound(pending_.begin(), pending_.end(), due,
                             [](Clock::time_point t, const Pending& p) { return t < p.due; });
  pending_.insert(at, Pending{report, due, result});
  data_cv_.notify_all();    // a blocked reader recomputes when to wake
  stream_cv_.notify_all();  // so does the stream thread that delivers to a sink
}

void Device::promote_due_locked(Clock::time_point now) {
  while (!pending_.empty() && pending_.front().due <= now) {
    enqueue_locked(pending_.front().report, pending_.front().due, pending_.front().result);
    pending_.pop_front();
  }
}

void Device::answer_locked(const InputReport& reply, Clock::time_point now) {
  if (faults_.silent) return;
  if (faults_.missing_replies > 0) {
    --faults_.missing_replies;
    return;
  }
  const Clock::time_point due = now + std::chrono::milliseconds(faults_.reply_delay_ms);
  for (int i = 0; i < faults_.results_before_reply; ++i) {
    deliver_locked(next_result_locked(), due, true);
  }
  const uint16_t type = ReportReader<64>(reply).u16(0);
  if (faults_.stray_replies > 0) {
    --faults_.stray_replies;
    InputReport stray{};
    ReportWriter<64> w(stray);
    w.u16(0, type == kGetTrackingMode ? kGetViewingDistance : kGetTrackingMode);
    w.i32(4, 1);
    deliver_locked(stray, due, false);
  }
  if (faults_.wrong_arg_replies > 0 && (type == kCalibrationBlockReply || type == kGetParam)) {
    --faults_.wrong_arg_replies;
    InputReport wrong = reply;
    ReportWriter<64>(wrong).u16(2, static_cast<uint16_t>(ReportReader<64>(reply).u16(2) + 1));
    deliver_locked(wrong, due, false);
  }
  if (type == kCalibrationBlockReply && faults_.corrupt_calibration_reads > 0) {
    --faults_.corrupt_calibration_reads;
    // Change the block's first stored value: coefficient 0, coefficient 14 or the eye scale.
    InputReport bad = reply;
    const uint16_t block = ReportReader<64>(reply).u16(2);
    const size_t off = block % 3 == 1 ? 8 : block % 3 == 2 ? 4 : 16;
    const float v = ReportReader<64>(bad).f32(off);
    ReportWriter<64>(bad).f32(off, std::isfinite(v) ? v + 1.0f : 1.0f);
    deliver_locked(bad, due, false);
    return;
  }
  deliver_locked(reply, due, false);
}

InputReport Device::next_result_locked() {
  ++generated_;
  return tracker_->next_result();
}

// ---- Stream --------------------------------------------------------------------------------

void Device::ensure_stream_thread_locked() {
  if (stream_thread_.joinable() || stream_stop_ || !tracker_present()) return;
  if (!(tracker_->rate_hz() > 0) && sink_ == nullptr) return;
  stream_thread_ = std::thread(&Device::stream_main, this);
}

void Device::stream_main() {
  std::unique_lock<std::mutex> lock(m_);
  uint64_t schedule_seen = ~schedule_gen_;
  Clock::time_point epoch;
  Clock::time_point last_sent;
  uint64_t n = 0;
  while (!stream_stop_) {
    // With a sink nobody reads the queue, so delayed replies are delivered here when due.
    Clock::time_point next_pending = Clock::time_point::max();
    if (sink_ != nullptr) {
      promote_due_locked(Clock::now());
      if (!pending_.empty()) next_pending = pending_.front().due;
    }
    const double rate = tracker_->rate_hz();
    if (paused_ || !(rate > 0) || !attached_) {
      if (next_pending == Clock::time_point::max()) {
        stream_cv_.wait(lock);
      } else {
        stream_cv_.wait_until(lock, next_pending);
      }
      continue;
    }
    if (schedule_seen != schedule_gen_) {
      schedule_seen = schedule_gen_;
      epoch = Clock::now();
      n = 0;
    }
    // Absolute deadlines: the n-th report is due at epoch + n / rate, so late wake-ups do
    // not accumulate and the average rate is exact.
    Clock::time_point due =
        epoch + std::chrono::nanoseconds(static_cast<int64_t>(std::llround(static_cast<double>(n) * 1e9 / rate)));
    if (sink_ != nullptr && n > 0) due = std::max(due, last_sent + kCatchUpSpacing);
    Clock::time_point now = Clock::now();
    if (now < due) {
      stream_cv_.wait_until(lock, std::min(due, next_pending));
      continue;
    }
    if (now - due > kMaxStreamLag) {
      epoch = now;
      n = 0;
    }
    last_sent = now;
    promote_due_locked(now);
    // The device counts frames whether or not the host listens; the OS queues reports only
    // while the device is open.
    const InputReport report = tracker_->next_result(now);
    if (sink_ != nullptr ? sink_->listening() : open_handles_ > 0) {
      ++generated_;
      enqueue_locked(report, now, true);
    }
    ++n;
  }
}

// ---- Control side --------------------------------------------------------------------------

void Device::detach() {
  std::thread t;
  {
    std::lock_guard<std::mutex> lock(m_);
    attached_ = false;
    stream_stop_ = true;
    pending_.clear();  // the reports already queued stay readable, as in hidraw's ring
    data_cv_.notify_all();
    stream_cv_.notify_all();
    t = std::move(stream_thread_);
  }
  if (t.joinable()) t.join();
}

void Device::abandon_stream() {
  std::thread t;
  {
    std::lock_guard<std::mutex> lock(m_);
    stream_stop_ = true;
    stream_cv_.notify_all();
    t = std::move(stream_thread_);
  }
  if (t.joinable()) t.detach();
}

void Device::push(const InputReport& report) {
  std::lock_guard<std::mutex> lock(m_);
  if (!attached_) return;
  deliver_locked(report, Clock::now(), is_result_type(ReportReader<64>(report).u16(0)));
}

size_t Device::queued() {
  std::lock_guard<std::mutex> lock(m_);
  promote_due_locked(Clock::now());
  return queue_.size();
}

uint64_t Device::dropped() {
  std::lock_guard<std::mutex> lock(m_);
  return dropped_;
}

std::vector<Written> Device::written() {
  std::lock_guard<std::mutex> lock(m_);
  return {written_.begin(), written_.end()};
}

void Device::clear_written() {
  std::lock_guard<std::mutex> lock(m_);
  written_.clear();
}

void Device::set_faults(const Faults& faults) {
  std::lock_guard<std::mutex> lock(m_);
  faults_ = faults;
  data_cv_.notify_all();
}

bool Device::string_read_error() {
  std::lock_guard<std::mutex> lock(m_);
  return faults_.string_read_error;
}

void Device::set_rate(double rate_hz) {
  std::lock_guard<std::mutex> lock(m_);
  if (!tracker_present()) return;
  tracker_->set_rate_hz(rate_hz);
  ++schedule_gen_;
  ensure_stream_thread_locked();
  stream_cv_.notify_all();
}

void Device::pause(bool paused) {
  std::lock_guard<std::mutex> lock(m_);
  paused_ = paused;
  ++schedule_gen_;
  stream_cv_.notify_all();
}

uint64_t Device::generated() {
  std::lock_guard<std::mutex> lock(m_);
  return generated_;
}

void Device::hold_eye(bool hold, double x, double y) {
  std::lock_guard<std::mutex> lock(m_);
  if (!tracker_present()) return;
  if (hold) {
    tracker_->subject().hold_eye(x, y);
  } else {
    tracker_->subject().release_eye();
  }
}

void Device::hold_digital(bool hold, uint32_t bits) {
  std::lock_guard<std::mutex> lock(m_);
  if (!tracker_present()) return;
  if (hold) {
    tracker_->subject().hold_digital(bits);
  } else {
    tracker_->subject().release_digital();
  }
}

void Device::set_firmware(uint16_t version, const std::string& date, bool terminated) {
  std::lock_guard<std::mutex> lock(m_);
  if (tracker_present()) tracker_->set_firmware(version, date, terminated);
}

void Device::keep_readable_times(size_t capacity) {
  std::lock_guard<std::mutex> lock(m_);
  readable_capacity_ = capacity;
  while (readable_.size() > capacity) readable_.pop_front();
}

std::vector<Readable> Device::readable_times() {
  std::lock_guard<std::mutex> lock(m_);
  return {readable_.begin(), readable_.end()};
}

DeviceState Device::state() {
  std::lock_guard<std::mutex> lock(m_);
  DeviceState s;
  s.attached = attached_;
  s.paused = paused_;
  if (tracker_present()) tracker_->fill_state(s);
  return s;
}

}  // namespace vt::detail
