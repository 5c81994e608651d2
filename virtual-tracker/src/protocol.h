// Command and report codes of the tracker's HID protocol, and the product id table.
#pragma once

#include <cstdint>

namespace vt::detail {

enum Command : uint16_t {
  kArm = 103,
  kResultsRawOld = 104,         // results type 0, model codes 1..3
  kResultsCalibratedOld = 105,  // results type 1, model codes 1..3
  kResultsRaw = 106,            // results type 0, model code 4
  kResultsCalibrated = 107,     // results type 1, model code 4
  kSetCalibrationBlock = 301,
  kSetParam = 303,
  kSetPupilScale = 304,
  kSetViewingDistance = 305,
  kSetPinRecord = 306,
  kSetAnalogueRecord = 307,
  kGetFirmware = 400,
  kGetCalibrationBlock = 401,
  kGetParam = 402,
  kGetPupilScale = 403,
  kGetTrackingMode = 404,
  kGetCaptureConfig = 405,
  kGetViewingDistance = 406,
  kGetPinRecord = 407,
  kGetAnalogueRecord = 408,
  kGetPinTable = 409,
  kSetIpv4 = 500,
  kGetIpv4 = 501,
  kGetEthernet = 502,
  kSaveImages = 503,
};

enum ReportType : uint16_t {
  kCalibrationBlockReply = 301,  // the answer to kGetCalibrationBlock
  kRawOld = 200,
  kCalibratedOld = 201,
  kRaw = 202,
  kCalibrated = 203,
};

constexpr int kPinRecordSize = 46;
constexpr int kAnalogueRecordSize = 26;
constexpr int kPinCount = 32;
constexpr int kAnalogueCount = 8;
constexpr int kCalibrationBlocks = 6;
constexpr int kBlockPayload = 60;  // output bytes 5..64, input bytes 4..63

inline bool is_result_type(uint16_t type) { return type >= kRawOld && type <= kCalibrated; }

}  // namespace vt::detail
