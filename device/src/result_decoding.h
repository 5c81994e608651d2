// Decoding of result reports (types 200..203) into T_RESULTS_STRUCT records.
#pragma once

#include <cstdint>

#include "saccadrix/saccadrix.h"

namespace saccadrix {

// Pure decoder: clears the record, sets size 155, decodes result report types 200..203 and
// returns 1; returns 0 for any other type. Reads 64 bytes.
int processBuffer(const uint8_t* report, T_RESULTS_STRUCT* record);

// Decodes one input report and hands the record(s) to the result buffers. Returns 1 for a
// result report, 0 for anything else (stray replies are dropped here). The caller holds the
// HID lock.
int processResult(const uint8_t* report);

}  // namespace saccadrix
