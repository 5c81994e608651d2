// Feeds arbitrary 64-byte reports through the result decoder and the result buffers, with
// the model code, firmware version and pin table taken from the input too.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "result_buffers.h"
#include "result_decoding.h"

using namespace saccadrix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t report[64] = {};
  std::memcpy(report, data, size < 64 ? size : 64);
  const uint8_t* extra = size > 64 ? data + 64 : nullptr;
  const size_t extra_size = size > 64 ? size - 64 : 0;
  static FrameTiming timing;
  DecodeContext context;
  context.model = extra_size > 0 ? extra[0] % 6 : 4;
  context.firmwareVersion = extra_size > 2 ? static_cast<uint16_t>(extra[1] | extra[2] << 8) : 0;
  // Pin counts beyond the table are decoded as the table's length.
  context.pinCount = extra_size > 3 ? extra[3] % 40 : 0;
  if (extra_size > 4) {
    const size_t n = extra_size - 4 < sizeof context.pinFunctions ? extra_size - 4 : sizeof context.pinFunctions;
    std::memcpy(context.pinFunctions, extra + 4, n);
  }
  context.calibrated[0] = report[61] & 1;
  context.timing = &timing;
  tracking.storeResults = report[63] & 1;
  tracking.waitForStart = report[63] & 2;
  tracking.waitForStartTimestamp = report[62];

  T_RESULTS_STRUCT record;
  const int decoded = processBuffer(report, context, &record);
  if (record.size != sizeof(T_RESULTS_STRUCT)) __builtin_trap();
  if (processResult(report, context, 1.0) != decoded) __builtin_trap();
  if (results_storage.count > 1000) ClearStoredResults();
  return 0;
}
