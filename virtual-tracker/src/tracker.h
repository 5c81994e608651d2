// The tracker's firmware as the host sees it: the state its commands change, the replies it
// gives, and the result reports it streams. Not thread-safe; Device guards it.
#pragma once

#include <array>
#include <cstdint>
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
  InputReport next_result();
  // Device timestamp the next streamed sample will carry.
  uint64_t next_timestamp() const { return timestamp_; }

  double rate_hz() const { return rate_hz_; }
  void set_rate_hz(double rate) { rate_hz_ = rate; }
  int results_type() const { return results_type_; }

  void set_firmware(uint16_t version, const std::string& date, bool terminated);
  Subject& subject() { return subject_; }
  void fill_state(DeviceState& s) const;

 private:
  InputReport firmware_reply() const;

  DeviceConfig config_;  // firmware identity and the settings' current values
  int model_;
  Subject subject_;
  double rate_hz_;
  int results_type_;
  uint64_t timestamp_;
  uint64_t arm_count_ = 0;
  uint64_t images_saved_ = 0;
  std::map<uint16_t, int32_t> params_;
  std::array<std::array<uint8_t, 60>, 6> calibration_{};
  std::array<std::array<uint8_t, kPinRecordSize>, kPinCount> pin_records_{};
  std::array<std::array<uint8_t, kAnalogueRecordSize>, kAnalogueCount> analogue_records_{};
};

}  // namespace vt::detail
