// Decoding of result reports (types 200..203) into T_RESULTS_STRUCT records.
#pragma once

#include <cstdint>

#include "connection_state.h"
#include "saccadrix/saccadrix.h"

namespace saccadrix {

// Everything decoding depends on besides the report's bytes.
struct DecodeContext {
  int model = 0;                   // model code of the tracker that sent the report
  uint16_t firmwareVersion = 0;    // decides the second timestamp of a paired report
  int pinCount = 0;                // valid entries of pinFunctions (0 on model codes below 4)
  uint8_t pinFunctions[kMaxPins] = {};
  uint8_t calibrated[2] = {0, 0};  // per eye: the tracker held a gaze calibration at StartTracking
  FrameTiming* timing = nullptr;   // frame-rate estimate to update (model codes 1..3), or none
};

// Pure decoder: clears the record, sets size 155, decodes result report types 200..203 and
// returns 1; returns 0 for any other type. Reads 64 bytes.
int processBuffer(const uint8_t* report, const DecodeContext& context, T_RESULTS_STRUCT* record);

// Decodes one input report read at hostTime (seconds on the host clock) and hands the
// record(s) to the result buffers. Returns 1 for a result report, 0 for anything else (stray
// replies are dropped here). The caller holds the results lock.
int processResult(const uint8_t* report, const DecodeContext& context, double hostTime);

// The decoding context of the open connection. The caller holds the results lock.
DecodeContext connection_context();

// Decodes a report read from the open connection, under the results lock.
int DecodeIncoming(const uint8_t* report, double hostTime);

}  // namespace saccadrix
