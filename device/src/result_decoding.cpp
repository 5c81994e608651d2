// Result reports (types 200..203) into records, the frame-rate estimate of model codes 1..3,
// the paired-sample split of model code 3, and the hand-over to the result buffers.
#include "result_decoding.h"

#include <cmath>
#include <cstring>

#include "bytes.h"
#include "live_events.h"
#include "connection_state.h"
#include "platform.h"
#include "protocol.h"
#include "result_buffers.h"

namespace saccadrix {

using namespace protocol;

namespace {

constexpr float kScale13 = 0.0001220703125f;     // 2^-13
constexpr float kScale14 = 0.00006103515625f;    // 2^-14
constexpr float kScale201 = 0.03125f;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr uint32_t kPairedTimestampFirmware = 26121;
constexpr int kPinTriggerEye0 = 5;
constexpr int kPinTriggerEye1 = 6;
constexpr int kPinEventA = 7;
constexpr int kPinEventB = 8;

enum Slot { kReflX = 0, kReflY, kPupilX, kPupilY, kList0, kList1, kDiffX, kDiffY,
            kGazeX, kGazeY, kGazeZ, kAngle11, kAngle12, kAngle13, kAngle14 };

void set_status(T_EYE_RESULTS& eye, unsigned status) {
  eye.statusBit0 = status & 1u;
  eye.tracked = (status & 2u) && (status & 12u) ? 1 : 0;
}

// Reflection centre on one axis: the mean of both reflections when the second one was
// found on that axis, else the first.
float reflection_centre(float first, float second, float one, float both) {
  return second != 0 ? (first + second) * both : first * one;
}

void decode_200(const ByteView& r, T_EYE_RESULTS& eye, size_t base) {
  set_status(eye, r.u16(base));
  const float m = static_cast<float>(r.u16(base + 6));
  auto at = [&](size_t off) { return static_cast<float>(r.u16(base + off)); };
  eye.values[kList0] = at(8) / m;
  eye.values[kList1] = at(10) / m;
  eye.values[kPupilX] = at(12) / m;
  eye.values[kPupilY] = at(14) / m;
  const uint32_t fx = r.u16(base + 16), fy = r.u16(base + 18);
  const uint32_t sx = r.u16(base + 20), sy = r.u16(base + 22);
  eye.values[kReflX] = sx != 0 ? static_cast<float>(fx + sx) / (2 * m) : static_cast<float>(fx) / m;
  eye.values[kReflY] = sy != 0 ? static_cast<float>(fy + sy) / (2 * m) : static_cast<float>(fy) / m;
  eye.values[kDiffX] = eye.values[kPupilX] - eye.values[kReflX];
  eye.values[kDiffY] = eye.values[kPupilY] - eye.values[kReflY];
}

void decode_201(const ByteView& r, T_EYE_RESULTS& eye, size_t base) {
  set_status(eye, r.u16(base));
  static constexpr Slot kSlots[9] = {kList0, kList1, kGazeX, kGazeY, kGazeZ,
                                     kAngle11, kAngle12, kAngle13, kAngle14};
  for (size_t k = 0; k < 9; ++k) {
    eye.values[kSlots[k]] = static_cast<float>(r.i16(base + 6 + 2 * k)) * kScale201;
  }
}

void decode_202(const ByteView& r, T_EYE_RESULTS& eye, size_t base) {
  set_status(eye, r.u8(base));
  auto at = [&](size_t off) { return static_cast<float>(r.u24(base + off)); };
  eye.values[kList0] = at(1) * kScale13;
  eye.values[kList1] = at(4) * kScale13;
  eye.values[kPupilX] = at(7) * kScale13;
  eye.values[kPupilY] = at(10) * kScale13;
  eye.values[kReflX] = reflection_centre(at(13), at(19), kScale13, kScale14);
  eye.values[kReflY] = reflection_centre(at(16), at(22), kScale13, kScale14);
  eye.values[kDiffX] = eye.values[kPupilX] - eye.values[kReflX];
  eye.values[kDiffY] = eye.values[kPupilY] - eye.values[kReflY];
}

void decode_203(const ByteView& r, T_EYE_RESULTS& eye, size_t base) {
  set_status(eye, r.u8(base));
  static constexpr Slot kSlots[5] = {kList0, kList1, kGazeX, kGazeY, kGazeZ};
  for (size_t k = 0; k < 5; ++k) {
    eye.values[kSlots[k]] = static_cast<float>(r.i32(base + 1 + 4 * k)) * kScale13;
  }
  const float x = eye.values[kGazeX], y = eye.values[kGazeY], z = eye.values[kGazeZ];
  const double rr = std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y +
                              static_cast<double>(z) * z);
  if (eye.tracked != 1 || rr == 0) return;
  eye.values[kAngle11] = static_cast<float>(std::asin(x / rr) * kDegreesPerRadian);
  eye.values[kAngle12] = static_cast<float>(std::atan(static_cast<double>(y / z)) * kDegreesPerRadian);
  eye.values[kAngle13] = static_cast<float>(std::atan(static_cast<double>(x / z)) * kDegreesPerRadian);
  eye.values[kAngle14] = static_cast<float>(std::asin(y / rr) * kDegreesPerRadian);
}

// Trigger pins of function 5 (first eye) and 6 (second eye) set bits of the eye's trigger
// mask, numbered across both walks; the first active pin of function 7 or 8 is the event.
void decode_pins(const DecodeContext& context, T_RESULTS_STRUCT* record) {
  const int pins = context.pinCount < kMaxPins ? context.pinCount : kMaxPins;
  const uint32_t inputs = record->digitalInputs;
  int k = 0;
  for (int eye = 0; eye < 2; ++eye) {
    const int function = eye == 0 ? kPinTriggerEye0 : kPinTriggerEye1;
    T_EYE_RESULTS& block = record->eye[eye];
    for (int i = 0; i < pins; ++i) {
      if (context.pinFunctions[i] != function) continue;
      if (inputs & (1u << i)) {
        if (k < 32) block.triggerMask |= 1u << k;
        if (block.firstTriggerPin == 0) block.firstTriggerPin = static_cast<uint8_t>(i);
      }
      ++k;
    }
  }
  for (int i = 0; i < pins; ++i) {
    const int function = context.pinFunctions[i];
    if ((function == kPinEventA || function == kPinEventB) && (inputs & (1u << i))) {
      record->eventPin = static_cast<uint8_t>(i);
      break;
    }
  }
}

void update_frame_rate(FrameTiming& t, uint16_t marker) {
  t.timingFrames += marker == 1 ? 2 : 1;
  if (t.timingFrames < 6) return;
  const int64_t now = platform::milliseconds_now();
  if (t.timingStart != 0) {
    const int64_t elapsed = now - t.timingStart;
    t.timingRate = elapsed > 0
                       ? (static_cast<double>(t.timingFrames) * 1000.0 / static_cast<double>(elapsed) +
                          t.timingRate) * 0.5
                       : 0.0;
  }
  t.timingFrames = 0;
  t.timingStart = now;
}

// Appends records to the stored list once the tracker's timestamp has restarted: records
// above the threshold still belong to the time before the arm command.
void store_records(const T_RESULTS_STRUCT* records, int n, double hostTime) {
  if (!tracking.storeResults.load(std::memory_order_relaxed)) return;
  if (tracking.waitForStart) {
    if (records[0].timestamp > tracking.waitForStartTimestamp) return;
    tracking.waitForStart = false;
  }
  const auto epoch = static_cast<uint32_t>(clock_mapping.current_epoch());
  for (int i = 0; i < n; ++i) StoreResult(records[i], hostTime, epoch);
}

}  // namespace

int processBuffer(const uint8_t* report, const DecodeContext& context, T_RESULTS_STRUCT* record) {
  std::memset(record, 0, sizeof *record);
  record->size = sizeof(T_RESULTS_STRUCT);
  const ByteView r(report, kInReportSize);
  const uint16_t type = r.u16(0);
  switch (type) {
    case kRawResultsOld:
    case kCalibratedResultsOld:
      record->digitalInputs = r.u32(kOldDigitalInputs);
      record->timestamp = r.u64(kOldTimestamp);
      record->resultsType = type == kRawResultsOld ? 0 : 1;
      for (size_t e = 0; e < 2; ++e) {
        const size_t base = kOldEyeBase + kOldEyeStride * e;
        if (type == kRawResultsOld) decode_200(r, record->eye[e], base);
        else decode_201(r, record->eye[e], base);
      }
      break;
    case kRawResults:
    case kCalibratedResults:
      record->digitalInputs = r.u32(kDigitalInputs);
      record->timestamp = r.u64(kTimestamp);
      record->resultsType = type == kRawResults ? 0 : 1;
      for (size_t e = 0; e < 2; ++e) {
        if (type == kRawResults) decode_202(r, record->eye[e], kRawEyeBase + kRawEyeStride * e);
        else decode_203(r, record->eye[e], kCalibratedEyeBase + kCalibratedEyeStride * e);
      }
      break;
    default:
      return 0;
  }
  for (int e = 0; e < 2; ++e) record->eye[e].calibrated = context.calibrated[e];
  decode_pins(context, record);
  return 1;
}

int processResult(const uint8_t* report, const DecodeContext& context, double hostTime) {
  T_RESULTS_STRUCT records[2];
  if (!processBuffer(report, context, &records[0])) return 0;
  const int model = context.model;
  int n = 1;
  if (model >= 1 && model <= 3) {
    const uint16_t marker = ByteView(report, kInReportSize).u16(kPairMarker);
    if (context.timing != nullptr) update_frame_rate(*context.timing, marker);
    if (marker == 1 && model == 3) {
      // Two consecutive samples of one eye: the second eye block is the second sample.
      records[1] = records[0];
      records[1].eye[0] = records[0].eye[1];
      std::memset(&records[0].eye[1], 0, sizeof(T_EYE_RESULTS));
      std::memset(&records[1].eye[1], 0, sizeof(T_EYE_RESULTS));
      if (context.firmwareVersion > kPairedTimestampFirmware) records[1].timestamp += 1;
      n = 2;
    }
  }
  // The report's pair for the clock mapping: its first sample's timestamp, its read time.
  clock_mapping.add(records[0].timestamp, hostTime);
  for (int i = 0; i < n; ++i) ringBuf_push(&results_buffer, records[i], hostTime);
  store_records(records, n, hostTime);
  if (events::wanted()) {
    // The detectors run on sample times: the mapping as it stands (NaN before there is one).
    ClockMapping::Mapping mapping;
    const bool mapped = clock_mapping.mapping(clock_mapping.current_epoch(), &mapping);
    for (int i = 0; i < n; ++i) {
      events::feed(records[i], hostTime,
                   mapped ? mapping.to_host(records[i].timestamp) : std::nan(""));
    }
  }
  return 1;
}

DecodeContext connection_context() {
  DecodeContext context;
  context.model = conn.model.load(std::memory_order_relaxed);
  context.firmwareVersion = conn.firmwareVersion;
  context.pinCount = conn.pinConfigurationSupported;
  std::memcpy(context.pinFunctions, conn.pinFunctions, sizeof context.pinFunctions);
  context.calibrated[0] = tracking.calibratedDevice[0];
  context.calibrated[1] = tracking.calibratedDevice[1];
  context.timing = &conn.timing;
  return context;
}

int DecodeIncoming(const uint8_t* report, double hostTime) {
  ResultsLock lock;
  return processResult(report, connection_context(), hostTime);
}

}  // namespace saccadrix
