// Device settings: numbered parameters, the tracking flags and mode, the capture
// configuration, pin and analogue channel functions, the network configuration, the
// serial number, the firmware identity as read at open, and the request to save images.
#include <hidapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "bytes.h"
#include "connection_state.h"
#include "hid_link.h"
#include "platform.h"
#include "result_buffers.h"
#include "saccadrix/saccadrix.h"

namespace saccadrix {
namespace {


constexpr uint16_t kTrackingParam = 0;  // parameter 0 holds the two tracking flags
constexpr uint32_t kFirstTrackingFlag = 1u << 0;
constexpr uint32_t kSecondTrackingFlag = 1u << 1;
constexpr char kNotSupported[] = "Not supported.";

// Models 1..3 have no capture configuration; the rate is estimated from the results.
constexpr int kRateSettleMs = 500;
// The estimate is refreshed every 6 results; at 20 results per second (the slowest rate
// that maps to a capture rate) that is every 300 ms. An estimate older than this belongs to
// results that have stopped.
constexpr int64_t kRateEstimateStaleMs = 1000;

// Pin and analogue channel records travel the same way: a number and an opaque record.
struct RecordKind {
  uint16_t get_command;
  uint16_t set_command;
  uint8_t count;  // valid numbers are 1..count
  size_t size;
};
constexpr RecordKind kPinRecord{kCmdGetPinFunction, kCmdSetPinFunction, kMaxPins,
                                sizeof(PinFunctionRecord)};
constexpr RecordKind kAnalogueRecord{kCmdGetAnalogueFunction, kCmdSetAnalogueFunction, 8,
                                     sizeof(AnalogueFunctionRecord)};
static_assert(kReplyRecord + sizeof(PinFunctionRecord) <= kInReportSize, "pin record fits");
static_assert(kOutRecord + sizeof(PinFunctionRecord) <= kOutReportSize, "pin record fits");

bool model_1_to_3(int model) { return model >= 1 && model <= 3; }

// Set-commands report only a missing connection; the tracker does not acknowledge them.
int set_status(int written) { return written == kStatusNoDevice ? kStatusNoDevice : kStatusOk; }

// Capture rate in frames per second from the estimated result rate.
int capture_rate_for(double results_per_second) {
  if (!(results_per_second >= 20)) return 0;
  if (results_per_second < 40) return 30;
  if (results_per_second < 53) return 50;
  return 60;
}

int estimated_capture_rate() {
  platform::sleep_ms(kRateSettleMs);
  double rate;
  int64_t updated;
  {
    ResultsLock lock;
    rate = conn.timing.timingRate;
    updated = conn.timing.timingStart;
  }
  if (updated == 0 || platform::milliseconds_now() - updated > kRateEstimateStaleMs) return 0;
  return capture_rate_for(rate);
}

int check_record_call(const RecordKind& kind, uint8_t number, const void* record) {
  if (record == nullptr) return kStatusArg;
  if (conn.model.load() < 4) return kStatusUnsupported;
  if (open_device() == nullptr) return kStatusNoDevice;
  if (number < 1 || number > kind.count) return kStatusArg;
  return kStatusOk;
}

int get_record(const RecordKind& kind, uint8_t number, uint8_t* record) {
  const int status = check_record_call(kind, number, record);
  if (status != kStatusOk) return status;
  return link::query(OutReport(kind.get_command, number),
                     Reply{kind.get_command, kAnyArg, kReplyBudgetMs},
                     [&](const InReport& r) {
                       std::memcpy(record, r.data() + kReplyRecord, kind.size);
                     },
                     kNoPause);
}

int set_record(const RecordKind& kind, uint8_t number, const uint8_t* record) {
  const int status = check_record_call(kind, number, record);
  if (status != kStatusOk) return status;
  OutReport request(kind.set_command);
  request.put_u8(kOutNumber, number).put_bytes(kOutRecord, record, kind.size);
  return set_status(link::set(request));
}

// Copies a text into a caller's buffer, cut to fit and always ending with a zero byte when
// the buffer has room for one; false when the text was cut.
bool copy_text_bounded(std::string_view text, char* out, size_t size) {
  copy_text_truncated(text, out, size);
  return text.size() < size;
}

}  // namespace
}  // namespace saccadrix

using namespace saccadrix;

extern "C" int zelSaccadrixSetParam(int id, int value) {
  OutReport request(kCmdSetParam, static_cast<uint16_t>(id));  // ids travel as 16 bits
  request.put_i32(kOutValue, value);
  return set_status(link::set(request));
}

extern "C" int zelSaccadrixGetParam(int id, int* value) {
  if (value == nullptr) return kStatusArg;
  // The reply echoes the 16-bit id that was sent, so that is what it is matched against;
  // matching the caller's full int would wait out the budget for ids beyond 16 bits.
  const uint16_t sent = static_cast<uint16_t>(id);
  return link::query(OutReport(kCmdGetParam, sent), Reply{kCmdGetParam, sent, kReplyBudgetMs},
                     [&](const InReport& r) { *value = r.u8(kReplyParamByte); },
                     kPauseAfterQueryMs);
}

extern "C" int zelSaccadrixSetTracking(bool first, bool second) {
  // Model code 3 trackers need the second flag set whatever the caller asks.
  uint32_t word = first ? kFirstTrackingFlag : 0u;
  if (second || conn.model.load() == 3) word |= kSecondTrackingFlag;
  OutReport request(kCmdSetParam, kTrackingParam);
  request.put_u32(kOutValue, word);
  return set_status(link::set(request));
}

extern "C" int zelSaccadrixGetTracking(uint8_t* first, uint8_t* second) {
  if (first == nullptr || second == nullptr) return kStatusArg;
  const int status = link::query(
      OutReport(kCmdGetParam, kTrackingParam), Reply{kCmdGetParam, kTrackingParam, kReplyBudgetMs},
      [&](const InReport& r) {
        const uint8_t word = r.u8(kReplyParamByte);
        *first = (word & kFirstTrackingFlag) ? 1 : 0;
        *second = (word & kSecondTrackingFlag) ? 1 : 0;
      },
      kPauseAfterQueryMs);
  // On model code 3 the second flag is an internal setting, never reported as set.
  if (conn.model.load() == 3) *second = 0;
  return status;
}

extern "C" int zelSaccadrixGetTrackingMode(int* mode) {
  if (mode == nullptr) return kStatusArg;
  *mode = 1;
  if (open_device() == nullptr) return kStatusNoDevice;
  switch (conn.model.load()) {
    case 1:
    case 2:
      *mode = 1;
      return kStatusOk;
    case 3:
      *mode = 0;
      return kStatusOk;
    default:
      break;
  }
  return link::query(OutReport(kCmdGetTrackingMode),
                     Reply{kCmdGetTrackingMode, kAnyArg, kReplyBudgetMs},
                     [&](const InReport& r) { *mode = r.i32(kReplyValue); }, kPauseAfterQueryMs);
}

#if !defined(_WIN32)
extern "C" int zelSaccadrixSetTrackingMode(int mode) {
  (void)mode;  // the tracking mode cannot be changed from the host
  return kStatusUnsupported;
}
#endif

extern "C" int zelSaccadrixGetCaptureConfig(int* value1, int* value2, int* captureRate,
                                            int* value4, int* value5) {
  int* const outputs[5] = {value1, value2, captureRate, value4, value5};
  for (int* out : outputs) {
    if (out == nullptr) return kStatusArg;
  }
  for (int* out : outputs) *out = 0;
  if (open_device() == nullptr) return kStatusNoDevice;
  if (model_1_to_3(conn.model.load())) {
    *captureRate = estimated_capture_rate();
    return kStatusOk;
  }
  return link::query(OutReport(kCmdGetCaptureConfig),
                     Reply{kCmdGetCaptureConfig, kAnyArg, kReplyBudgetMs},
                     [&](const InReport& r) {
                       for (size_t i = 0; i < 5; ++i) *outputs[i] = r.i32(kCaptureConfigOffsets[i]);
                     },
                     kNoPause);
}

extern "C" int zelSaccadrixGetPinFunction(uint8_t pin, PinFunctionRecord* record) {
  return get_record(kPinRecord, pin, record ? record->bytes : nullptr);
}

extern "C" int zelSaccadrixSetPinFunction(uint8_t pin, const PinFunctionRecord* record) {
  return set_record(kPinRecord, pin, record ? record->bytes : nullptr);
}

extern "C" int zelSaccadrixGetAnalogueFunction(uint8_t channel, AnalogueFunctionRecord* record) {
  return get_record(kAnalogueRecord, channel, record ? record->bytes : nullptr);
}

extern "C" int zelSaccadrixSetAnalogueFunction(uint8_t channel,
                                               const AnalogueFunctionRecord* record) {
  return set_record(kAnalogueRecord, channel, record ? record->bytes : nullptr);
}

extern "C" int zelSaccadrixSetIPV4Config(uint8_t flag, int value1, int value2, int value3,
                                         int value4, int value5) {
  const int values[kIpv4Values] = {value1, value2, value3, value4, value5};
  OutReport request(kCmdSetIpv4);
  request.put_u8(kOutIpv4, flag);
  for (size_t i = 0; i < kIpv4Values; ++i) request.put_i32(kOutIpv4 + 1 + 4 * i, values[i]);
  return set_status(link::set(request));
}

extern "C" int zelSaccadrixGetIPV4Config(uint8_t* flag, int* value1, int* value2, int* value3,
                                         int* value4, int* value5) {
  int* const values[kIpv4Values] = {value1, value2, value3, value4, value5};
  if (flag == nullptr) return kStatusArg;
  for (int* v : values) {
    if (v == nullptr) return kStatusArg;
  }
  *flag = 0;
  for (int* v : values) *v = 0;
  if (open_device() == nullptr) return kStatusNoDevice;
  if (model_1_to_3(conn.model.load())) return kStatusUnsupported;
  return link::query(OutReport(kCmdGetIpv4), Reply{kCmdGetIpv4, kAnyArg, kNetworkReplyBudgetMs},
                     [&](const InReport& r) {
                       *flag = r.u8(kReplyIpv4);
                       for (size_t i = 0; i < kIpv4Values; ++i) {
                         *values[i] = r.i32(kReplyIpv4 + 1 + 4 * i);
                       }
                     },
                     kNoPause);
}

extern "C" int zelSaccadrixGetEthMacAddress(char* macAddress, char* ethernetInfo, size_t size) {
  if (size > 0 && (macAddress == nullptr || ethernetInfo == nullptr)) return kStatusArg;
  if (open_device() == nullptr) return kStatusNoDevice;
  if (model_1_to_3(conn.model.load())) {
    copy_text_truncated(kNotSupported, macAddress, size);
    copy_text_truncated(kNotSupported, ethernetInfo, size);
    return kStatusUnsupported;
  }
  bool whole = true;
  const int status = link::query(
      OutReport(kCmdGetEthernet), Reply{kCmdGetEthernet, kAnyArg, kNetworkReplyBudgetMs},
      [&](const InReport& r) {
        // Each text ends at its zero byte or at the end of the report.
        const bool first = copy_text_bounded(r.text(kReplyFirstText), macAddress, size);
        const bool second = copy_text_bounded(r.text(kReplySecondText), ethernetInfo, size);
        whole = first && second;
      },
      kNoPause);
  if (status == kStatusOk && !whole) return kStatusArg;
  return status;
}

extern "C" int zelSaccadrixSaveCapturedImages(void) {
  if (conn.model.load() != 4) return kStatusUnsupported;
  return set_status(link::set(OutReport(kCmdSaveCapturedImages)));
}

extern "C" int zelSaccadrixGetSerialNumber(char* text, size_t size) {
  if (text == nullptr && size > 0) return kStatusArg;
  if (open_device() == nullptr) return kStatusNoDevice;
  // A USB string descriptor holds at most 126 characters, so a fixed scratch buffer holds
  // any serial number whatever size the caller states.
  wchar_t scratch[256] = {};
  const size_t room = std::clamp<size_t>(size, 1, std::size(scratch));
  const int result = link::with_device([&](hid_device* device) {
    return hid_get_serial_number_string(device, scratch, room);
  });
  if (result == kStatusNoDevice) return kStatusNoDevice;
  // The low byte of each character, the rest of the buffer zero.
  const size_t copied = std::min(size, std::size(scratch));
  for (size_t i = 0; i < copied; ++i) {
    text[i] = static_cast<char>(static_cast<unsigned char>(static_cast<uint32_t>(scratch[i]) & 0xFFu));
  }
  if (size > copied) std::memset(text + copied, 0, size - copied);
  // Some hidapi versions leave a serial number that fills the buffer unterminated.
  if (size > 0) text[size - 1] = '\0';
  return result;
}

extern "C" int zelSaccadrixGetFirmwareVersion(uint16_t* version) {
  if (version == nullptr) return kStatusArg;
  *version = conn.firmwareVersion;
  return kStatusOk;
}

extern "C" int zelSaccadrixGetFirmwareBuildDateTime(char* text, size_t size) {
  if (text == nullptr && size > 0) return kStatusArg;
  const char* date = conn.firmwareDateTime;
  copy_text_truncated({date, strnlen(date, sizeof conn.firmwareDateTime)}, text, size);
  return kStatusOk;
}
