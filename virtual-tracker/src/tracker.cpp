#include "tracker.h"

#include <algorithm>
#include <cmath>

#include "protocol.h"
#include "result_reports.h"

namespace vt::detail {
namespace {

// Firmware newer than this stamps the second sample of a pair with its own timestamp, so its
// count advances by one per sample; older firmware counts reports.
constexpr uint16_t kLastFirmwareWithSharedPairTimestamp = 26121;

bool model4_only(uint16_t code) {
  switch (code) {
    case kResultsRaw: case kResultsCalibrated:
    case kSetViewingDistance: case kSetPinRecord: case kSetAnalogueRecord:
    case kGetTrackingMode: case kGetCaptureConfig: case kGetViewingDistance:
    case kGetPinRecord: case kGetAnalogueRecord: case kGetPinTable:
    case kSetIpv4: case kGetIpv4: case kGetEthernet: case kSaveImages:
      return true;
    default:
      return false;
  }
}

InputReport reply_of(uint16_t type) {
  InputReport r{};
  ReportWriter<64>(r).u16(0, type);
  return r;
}

// Pin and analogue records: numbered from 1, written from byte 4 of a set command and
// answered from byte 3 after the number. A number out of range stores nothing and gets no
// reply.
template <size_t Size, size_t Count>
void store_record(std::array<std::array<uint8_t, Size>, Count>& records, unsigned number,
                  const uint8_t* from) {
  if (number >= 1 && number <= Count) std::copy_n(from, Size, records[number - 1u].begin());
}

template <size_t Size, size_t Count>
std::optional<InputReport> record_reply(uint16_t type, unsigned number,
                                        const std::array<std::array<uint8_t, Size>, Count>& records) {
  if (number < 1 || number > Count) return std::nullopt;
  InputReport r = reply_of(type);
  ReportWriter<64> w(r);
  w.u8(2, static_cast<uint8_t>(number));
  w.bytes(3, records[number - 1u].data(), Size);
  return r;
}

// Copies a text and its terminating zero from offset off, bounded by the report's end.
void put_text(InputReport& r, size_t off, const std::string& text) {
  const size_t room = r.size() - off - 1;
  const size_t n = std::min(text.size(), room);
  std::copy_n(text.begin(), n, r.begin() + static_cast<std::ptrdiff_t>(off));
  r[off + n] = 0;
}

}  // namespace

Tracker::Tracker(const DeviceConfig& config, int model, uint64_t seed)
    : config_(config),
      model_(model),
      subject_(seed, config.subject),
      rate_hz_(config.rate_hz),
      results_type_(config.results_type),
      timestamp_(config.start_timestamp),
      clock_ppm_(config.clock_ppm) {
  params_[0] = config.tracking_word;
}

void Tracker::set_firmware(uint16_t version, const std::string& date, bool terminated) {
  config_.firmware_version = version;
  config_.build_date = date;
  config_.build_date_terminated = terminated;
}

InputReport Tracker::firmware_reply() const {
  InputReport r = reply_of(kGetFirmware);
  ReportWriter<64>(r).u16(2, config_.firmware_version);
  const std::string& date = config_.build_date;
  if (config_.build_date_terminated) {
    put_text(r, 4, date);
  } else {
    // No terminator: the text is repeated (or cut) to fill the report to its last byte.
    for (size_t i = 4; i < r.size(); ++i) {
      r[i] = date.empty() ? static_cast<uint8_t>(' ') : static_cast<uint8_t>(date[(i - 4) % date.size()]);
    }
  }
  return r;
}

std::optional<InputReport> Tracker::command(const OutputReport& out) {
  const ReportReader<65> in(out);
  const uint16_t code = in.u16(1);
  const uint16_t arg = in.u16(3);
  if (model4_only(code) && model_ != 4) return std::nullopt;
  if ((code == kResultsRawOld || code == kResultsCalibratedOld) && model_ == 4) return std::nullopt;

  switch (code) {
    case kArm:
      timestamp_ = config_.arm_timestamp;
      ++arm_count_;
      return std::nullopt;
    case kResultsRawOld:
    case kResultsRaw:
      results_type_ = 0;
      return std::nullopt;
    case kResultsCalibratedOld:
    case kResultsCalibrated:
      results_type_ = 1;
      return std::nullopt;
    case kSetCalibrationBlock:
      if (arg >= 1 && arg <= kCalibrationBlocks) {
        std::copy_n(out.begin() + 5, kBlockPayload, calibration_[arg - 1u].begin());
      }
      return std::nullopt;
    case kSetParam:
      params_[arg] = in.i32(5);
      return std::nullopt;
    case kSetPupilScale:
      config_.pupil_scale = in.i32(5);
      return std::nullopt;
    case kSetViewingDistance:
      config_.viewing_distance = in.i32(5);
      return std::nullopt;
    case kSetPinRecord:
      store_record(pin_records_, in.u8(3), out.data() + 4);
      return std::nullopt;
    case kSetAnalogueRecord:
      store_record(analogue_records_, in.u8(3), out.data() + 4);
      return std::nullopt;
    case kSetIpv4:
      config_.ipv4_flag = in.u8(3);
      for (size_t i = 0; i < 5; ++i) config_.ipv4_values[i] = in.i32(4 + 4 * i);
      return std::nullopt;
    case kSaveImages:
      ++images_saved_;
      return std::nullopt;

    case kGetFirmware:
      return firmware_reply();
    case kGetCalibrationBlock: {
      if (arg < 1 || arg > kCalibrationBlocks) return std::nullopt;
      InputReport r = reply_of(kCalibrationBlockReply);
      ReportWriter<64> w(r);
      w.u16(2, arg);
      w.bytes(4, calibration_[arg - 1u].data(), kBlockPayload);
      return r;
    }
    case kGetParam: {
      InputReport r = reply_of(kGetParam);
      ReportWriter<64> w(r);
      w.u16(2, arg);
      const auto it = params_.find(arg);
      w.u8(4, static_cast<uint8_t>(it == params_.end() ? 0 : it->second));  // low byte only
      return r;
    }
    case kGetPupilScale: {
      InputReport r = reply_of(kGetPupilScale);
      ReportWriter<64>(r).i32(4, config_.pupil_scale);
      return r;
    }
    case kGetTrackingMode: {
      InputReport r = reply_of(kGetTrackingMode);
      ReportWriter<64>(r).i32(4, config_.tracking_mode);
      return r;
    }
    case kGetCaptureConfig: {
      InputReport r = reply_of(kGetCaptureConfig);
      ReportWriter<64> w(r);
      w.i32(2, static_cast<int32_t>(std::lround(rate_hz_)));  // the rate the device streams at
      for (size_t i = 0; i < 4; ++i) w.i32(6 + 4 * i, config_.capture_config[i]);
      return r;
    }
    case kGetViewingDistance: {
      InputReport r = reply_of(kGetViewingDistance);
      ReportWriter<64>(r).i32(4, config_.viewing_distance);
      return r;
    }
    case kGetPinRecord:
      return record_reply(kGetPinRecord, arg, pin_records_);
    case kGetAnalogueRecord:
      return record_reply(kGetAnalogueRecord, arg, analogue_records_);
    case kGetPinTable: {
      InputReport r = reply_of(kGetPinTable);
      ReportWriter<64> w(r);
      const size_t count = config_.pin_count >= 0 ? static_cast<size_t>(config_.pin_count)
                                                  : config_.pin_functions.size();
      w.u8(2, static_cast<uint8_t>(count));
      w.bytes(3, config_.pin_functions.data(), config_.pin_functions.size());
      return r;
    }
    case kGetIpv4: {
      InputReport r = reply_of(kGetIpv4);
      ReportWriter<64> w(r);
      w.u8(2, config_.ipv4_flag);
      for (size_t i = 0; i < 5; ++i) w.i32(3 + 4 * i, config_.ipv4_values[i]);
      return r;
    }
    case kGetEthernet: {
      InputReport r = reply_of(kGetEthernet);
      put_text(r, 2, config_.mac_address.substr(0, 19));
      put_text(r, 22, config_.ethernet_info);
      return r;
    }
    default:
      return std::nullopt;  // unknown command: the firmware ignores it
  }
}

void Tracker::keep_truth(size_t capacity) {
  truth_capacity_ = capacity;
  while (truth_.size() > capacity) truth_.pop_front();
  while (saccades_.size() > capacity) saccades_.pop_front();
  if (capacity == 0) open_saccade_ = 0;
}

std::vector<TruthSaccade> Tracker::truth_saccades() const {
  return {saccades_.begin(), saccades_.end()};
}

void Tracker::note_truth(const SubjectSample& sample, uint64_t timestamp, uint8_t pair,
                         double host_time, bool one_eye) {
  if (truth_capacity_ == 0) return;
  const SampleTruth& t = sample.truth;
  TruthSample ts;
  ts.timestamp = timestamp;
  ts.pair = pair;
  ts.host_time = host_time;
  ts.target = t.target;
  for (int e = 0; e < 2; ++e) {
    ts.eye[e].kind = t.kind;
    ts.eye[e].tracked = sample.eye[e].tracked;
    ts.eye[e].x_deg = t.x_deg;
    ts.eye[e].y_deg = t.y_deg;
  }
  if (one_eye) ts.eye[1] = TruthEye{};

  // A saccade ends with the last sample inside it: when the subject's saccade number
  // changes, the sample before was that last one.
  if (open_saccade_ != 0 && t.saccade != open_saccade_) {
    TruthSaccade& s = saccades_.back();
    s.offset_timestamp = last_truth_.timestamp;
    s.offset_pair = last_truth_.pair;
    s.offset_host_time = last_truth_.host_time;
    s.complete = true;
    open_saccade_ = 0;
  }
  if (t.saccade != 0 && t.saccade != open_saccade_) {
    TruthSaccade s;
    s.onset_timestamp = timestamp;
    s.onset_pair = pair;
    s.onset_host_time = host_time;
    s.from_x_deg = t.from_x;
    s.from_y_deg = t.from_y;
    s.to_x_deg = t.to_x;
    s.to_y_deg = t.to_y;
    s.amplitude_deg = std::hypot(t.to_x - t.from_x, t.to_y - t.from_y);
    s.peak_velocity_deg_s = t.peak_velocity;
    s.micro = t.micro;
    if (saccades_.size() >= truth_capacity_) saccades_.pop_front();
    saccades_.push_back(s);
    open_saccade_ = t.saccade;
  }
  if (truth_.size() >= truth_capacity_) truth_.pop_front();
  truth_.push_back(ts);
  last_truth_ = ts;
}

InputReport Tracker::next_result(Clock::time_point readable_at) {
  const bool calibrated = results_type_ == 1;
  uint16_t type = 0;
  if (model_ == 4) {
    type = calibrated ? kCalibrated : kRaw;
  } else {
    type = calibrated ? kCalibratedOld : kRawOld;
  }
  const bool paired = model_ == 3;
  const double samples_per_s = (rate_hz_ > 0 ? rate_hz_ : 1000.0) * (paired ? 2 : 1);
  const double dt = 1.0 / samples_per_s;

  const EyeCalibration cal[2] = {
      calibration_from_blocks(calibration_[0], calibration_[1], calibration_[2]),
      calibration_from_blocks(calibration_[3], calibration_[4], calibration_[5])};

  const double host_time = std::chrono::duration<double>(readable_at.time_since_epoch()).count();
  ResultFrame f;
  f.timestamp = timestamp_;
  const SubjectSample first = subject_.next(dt);
  f.digital = first.digital;
  note_truth(first, timestamp_, 0, host_time, paired);
  if (paired) {
    // Two consecutive samples of the first eye, one per eye block.
    const SubjectSample second = subject_.next(dt);
    const bool own_timestamp = config_.firmware_version > kLastFirmwareWithSharedPairTimestamp;
    note_truth(second, own_timestamp ? timestamp_ + 1 : timestamp_, 1, host_time, true);
    f.marker = 1;
    f.block[0] = first.eye[0];
    f.block[1] = second.eye[0];
    f.cal[0] = f.cal[1] = cal[0];
    timestamp_ += own_timestamp ? 2 : 1;
  } else {
    f.block[0] = first.eye[0];
    f.block[1] = first.eye[1];
    f.cal[0] = cal[0];
    f.cal[1] = cal[1];
    timestamp_ += 1;
  }
  return encode_result(type, f, config_.raw_scale);
}

void Tracker::fill_state(DeviceState& s) const {
  s.model = model_;
  s.results_type = results_type_;
  s.rate_hz = rate_hz_;
  s.next_timestamp = timestamp_;
  s.arm_count = arm_count_;
  s.images_saved = images_saved_;
  s.viewing_distance = config_.viewing_distance;
  s.pupil_scale = config_.pupil_scale;
  s.tracking_mode = config_.tracking_mode;
  s.params = params_;
  s.calibration = calibration_;
  s.pin_records = pin_records_;
  s.analogue_records = analogue_records_;
  s.ipv4_flag = config_.ipv4_flag;
  s.ipv4_values = config_.ipv4_values;
}

}  // namespace vt::detail
