// Arming the timestamp, the viewing distance and the digital pin function table.
#include "device_queries.h"

#include <algorithm>
#include <cstring>

#include "hid_link.h"
#include "saccadrix/saccadrix.h"

namespace saccadrix {
namespace {

constexpr size_t kPinCountOffset = kReplyPinCount;
constexpr size_t kPinTableOffset = kReplyPinTable;

}  // namespace

int zelSaccadrixGetViewingDistance(int* distance) {
  if (conn.model.load() < 4) return kStatusUnsupported;
  if (distance == nullptr) return kStatusArg;
  return link::query(OutReport(kCmdGetViewingDistance),
                     Reply{kCmdGetViewingDistance, kAnyArg, kReplyBudgetMs},
                     [&](const InReport& r) { *distance = r.i32(kReplyValue); }, kNoPause);
}

}  // namespace saccadrix

using namespace saccadrix;

extern "C" int zelSaccadrixArmTimestamp(int value) {
  // Fire-and-forget: the tracker does not acknowledge, and a failed write is not reported.
  const int written = link::set(OutReport(kCmdArmTimestamp, static_cast<uint16_t>(value)));
  return written == kStatusNoDevice ? kStatusNoDevice : kStatusOk;
}

extern "C" int zelSaccadrixGetPinFunctions(uint8_t* table, size_t length, int* count) {
  if (count == nullptr) return kStatusArg;
  *count = 0;
  if (conn.model.load() < 4) return kStatusUnsupported;
  if (table == nullptr && length > 0) return kStatusArg;
  return link::query(OutReport(kCmdGetPinFunctions),
                     Reply{kCmdGetPinFunctions, kAnyArg, kReplyBudgetMs},
                     [&](const InReport& r) {
                       if (length > 0) std::memset(table, 0, length);
                       const int pins = r.u8(kPinCountOffset);
                       *count = pins;
                       // Never more bytes than the caller's table holds nor than the reply
                       // carries after the count, whatever pin count the device states.
                       const size_t n = std::min({static_cast<size_t>(pins), length,
                                                  kInReportSize - kPinTableOffset});
                       if (n > 0) std::memcpy(table, r.data() + kPinTableOffset, n);
                     },
                     kNoPause);
}
