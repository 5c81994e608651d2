// The tracker's report protocol in one table: command codes, reply and result report types,
// reply budgets, pauses and the byte offsets of the fields the library reads and writes.
// Command functions name their rows from here; nothing else spells a code or an offset.
#pragma once

#include <cstddef>
#include <cstdint>

namespace saccadrix::protocol {

constexpr uint16_t kVendorId = 0x0861;
constexpr int kMaxPins = 32;
constexpr int kAnalogueChannels = 8;

// ---- Command codes (output reports) --------------------------------------------------
constexpr uint16_t kCmdArmTimestamp = 103;
constexpr uint16_t kCmdResultsTypeRawOld = 104;         // model codes 1..3
constexpr uint16_t kCmdResultsTypeCalibratedOld = 105;  // model codes 1..3
constexpr uint16_t kCmdResultsTypeRaw = 106;            // model code 4
constexpr uint16_t kCmdResultsTypeCalibrated = 107;     // model code 4
constexpr uint16_t kCmdCalibrationBlock = 301;          // also the type of the block reply
constexpr uint16_t kCmdSetParam = 303;
constexpr uint16_t kCmdSetPupilScale = 304;
constexpr uint16_t kCmdSetViewingDistance = 305;
constexpr uint16_t kCmdSetPinFunction = 306;
constexpr uint16_t kCmdSetAnalogueFunction = 307;
constexpr uint16_t kCmdFirmwareVersion = 400;
constexpr uint16_t kCmdReadCalibrationBlock = 401;  // answered by kCmdCalibrationBlock
constexpr uint16_t kCmdGetParam = 402;
constexpr uint16_t kCmdGetPupilScale = 403;
constexpr uint16_t kCmdGetTrackingMode = 404;
constexpr uint16_t kCmdGetCaptureConfig = 405;
constexpr uint16_t kCmdGetViewingDistance = 406;
constexpr uint16_t kCmdGetPinFunction = 407;
constexpr uint16_t kCmdGetAnalogueFunction = 408;
constexpr uint16_t kCmdGetPinFunctions = 409;
constexpr uint16_t kCmdSetIpv4 = 500;
constexpr uint16_t kCmdGetIpv4 = 501;
constexpr uint16_t kCmdGetEthernet = 502;
constexpr uint16_t kCmdSaveCapturedImages = 503;

// ---- Result report types (input reports) ---------------------------------------------
constexpr uint16_t kRawResultsOld = 200;         // model codes 1..3, results type 0
constexpr uint16_t kCalibratedResultsOld = 201;  // model codes 1..3, results type 1
constexpr uint16_t kRawResults = 202;            // model code 4, results type 0
constexpr uint16_t kCalibratedResults = 203;     // model code 4, results type 1

constexpr bool is_result_type(uint16_t type) { return type >= kRawResultsOld && type <= kCalibratedResults; }

// ---- Reply waits and pauses ----------------------------------------------------------
// A reply wait's budget, in milliseconds: 100 for every query, 2 s for the network queries
// (the tracker asks its network interface before it answers).
constexpr int kReplyBudgetMs = 100;
constexpr int kNetworkReplyBudgetMs = 2000;
constexpr int kPauseAfterSetMs = 50;      // set-commands, with the HID lock held
constexpr int kPauseAfterQueryMs = 50;    // queries that pause, after the lock is released
constexpr int kPauseAfterBlocksMs = 100;  // after the three blocks of a calibration store
constexpr int kNoPause = 0;

// ---- Field offsets -------------------------------------------------------------------
// Output report: [0] report id, [1..2] command, [3..4] argument word, [5..] payload.
constexpr size_t kOutNumber = 3;   // uint8 pin/channel number or flag, where a command has one
constexpr size_t kOutRecord = 4;   // pin/analogue record, after the number
constexpr size_t kOutPayload = 5;  // calibration floats
constexpr size_t kOutValue = 5;    // int32 value of a set-command
constexpr size_t kOutIpv4 = 3;     // flag byte, then five int32

// Input report: [0..1] type, [2..3] argument word, [4..] payload.
constexpr size_t kReplyValue = 4;       // int32 value of a reply (403, 404, 406)
constexpr size_t kReplyParamByte = 4;   // value byte of a parameter reply (402)
constexpr size_t kReplyPayload = 4;     // calibration block floats (301)
constexpr size_t kReplyFirmwareVersion = 2;
constexpr size_t kReplyFirmwareDate = 4;
constexpr size_t kReplyRecord = 3;      // pin/analogue record (407, 408)
constexpr size_t kReplyPinCount = 2;    // 409: the pin count, then one function byte a pin
constexpr size_t kReplyPinTable = 3;
constexpr size_t kReplyIpv4 = 2;        // 501: flag byte, then five int32
constexpr size_t kIpv4Values = 5;
constexpr size_t kReplyFirstText = 2;   // 502: MAC address text
constexpr size_t kReplySecondText = 22; // 502: Ethernet information text
// 405: the int32 at each of these offsets goes to the output of the same index (the capture
// rate, output 2, comes first in the reply).
constexpr size_t kCaptureConfigOffsets[5] = {6, 10, 2, 14, 18};

// Calibration blocks: block 3 carries the eye scale and the two auxiliary values in these
// float slots of the payload.
constexpr int kBlock3ScaleSlot = 3;
constexpr int kBlock3Aux1Slot = 6;
constexpr int kBlock3Aux2Slot = 7;

// Result reports: where the shared fields sit.
constexpr size_t kOldDigitalInputs = 4, kOldTimestamp = 8, kOldEyeBase = 16, kOldEyeStride = 24;
constexpr size_t kDigitalInputs = 2, kTimestamp = 6, kRawEyeBase = 14, kRawEyeStride = 25;
constexpr size_t kCalibratedEyeBase = 22, kCalibratedEyeStride = 21;
constexpr size_t kPairMarker = 2;  // types 200/201: 1 = two samples of one eye

}  // namespace saccadrix::protocol
