// The tracker's firmware as the host sees it: the state its commands change, the replies it
// gives, and the result reports it streams. Not thread-safe; Device guards it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "bytes.h"
#include "protocol.h"
#include "subject.h"
#include "virtual_tracker.h"

namespace vt::detail {

class Tracker {
 public:
  Tracker(const DeviceConfig& config, int model, uint64_t seed);

  int model() const { return model_; }

  // Carries out one output report. Returns the reply when the command has one for this
  // model; commands the model does not know, and malformed arguments, get none.
  std::optional<InputReport> command(const OutputReport& out);

  // The next result report of the stream; advances the timestamp and the subject.
  // `readable_at` is when the report becomes readable on the host, for the ground truth.
  InputReport next_result(Clock::time_point readable_at = Clock::now());
  // Device timestamp the next streamed sample will carry.
  uint64_t next_timestamp() const { return timestamp_; }

  // Reports per second of host time: the set rate as the tracker's clock, with its rate
  // error, makes it. The stream's schedule runs on this.
  double rate_hz() const { return rate_hz_ * (1 + clock_ppm_ * 1e-6); }
  double nominal_rate_hz() const { return rate_hz_; }
  void set_rate_hz(double rate) { rate_hz_ = rate; }
  void set_clock_ppm(double ppm) { clock_ppm_ = ppm; }
  int results_type() const { return results_type_; }

  // Ground truth of the samples streamed from now on (see vt::keep_truth).
  void keep_truth(size_t capacity);
  std::vector<TruthSample> truth_samples() const { return {truth_.begin(), truth_.end()}; }
  std::vector<TruthSaccade> truth_saccades() const;

  void set_firmware(uint16_t version, const std::string& date, bool terminated);
  Subject& subject() { return subject_; }
  void fill_state(DeviceState& s) const;

 private:
  InputReport firmware_reply() const;
  // Keeps the truth of one sample that a report carries as block `pair` (model code 3) or
  // as both eyes.
  void note_truth(const SubjectSample& sample, uint64_t timestamp, uint8_t pair, double host_time,
                  bool one_eye);

  DeviceConfig config_;  // firmware identity and the settings' current values
  int model_;
  Subject subject_;
  double rate_hz_;
  int results_type_;
  uint64_t timestamp_;
  double clock_ppm_;
  size_t truth_capacity_ = 0;
  std::deque<TruthSample> truth_;
  std::deque<TruthSaccade> saccades_;
  uint64_t open_saccade_ = 0;  // number of the subject's saccade whose offset is pending
  TruthSample last_truth_;     // the sample before, whose place ends a saccade
  uint64_t arm_count_ = 0;
  uint64_t images_saved_ = 0;
  std::map<uint16_t, int32_t> params_;
  std::array<std::array<uint8_t, 60>, 6> calibration_{};
  std::array<std::array<uint8_t, kPinRecordSize>, kPinCount> pin_records_{};
  std::array<std::array<uint8_t, kAnalogueRecordSize>, kAnalogueCount> analogue_records_{};
};

}  // namespace vt::detail
