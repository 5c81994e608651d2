// The results and tracking functions: the live ring, the newest record, the stored
// recording and its cursor, starting and stopping a recording, and the results type.
#include <cstring>

#include "gaze_calibration.h"
#include "hid_link.h"
#include "result_buffers.h"
#include "saccadrix/saccadrix.h"

using namespace saccadrix;

extern "C" int zelSaccadrixGetResult(T_RESULTS_STRUCT* destination) {
  if (open_device() == nullptr) return kStatusNoDevice;
  ResultsLock lock;
  if (destination == nullptr) return ringBuf_length(&results_buffer);
  if (ringBuf_pop(&results_buffer, destination) != 0) return kStatusIo;
  return ringBuf_length(&results_buffer);
}

extern "C" int zelSaccadrixGetLastResult(T_RESULTS_STRUCT* destination) {
  if (open_device() == nullptr) return kStatusNoDevice;
  ResultsLock lock;
  if (destination == nullptr) return kStatusNoRecord;
  *destination = last_result;
  return kStatusOk;
}

extern "C" int zelSaccadrixFlushResults(void) {
  ResultsLock lock;
  ringBuf_flush(&results_buffer);
  return kStatusOk;
}

extern "C" int zelSaccadrixGetBufferedResult(T_RESULTS_STRUCT* destination, uint8_t remove) {
  ResultsLock lock;
  return ReadStoredResult(destination, remove != 0);
}

extern "C" int zelSaccadrixSetBufferPosition(int position) {
  ResultsLock lock;
  return MoveStoredCursor(position);
}

extern "C" int zelSaccadrixGetBufferPosition(void) {
  ResultsLock lock;
  return results_storage.position;
}

extern "C" int zelSaccadrixGetResultsCount(void) {
  ResultsLock lock;
  return results_storage.count;
}

extern "C" int zelSaccadrixClearDataBuffer(void) {
  ResultsLock lock;
  ClearStoredResults();
  return kStatusOk;
}

extern "C" int zelSaccadrixStartTracking(void) {
  if (open_device() == nullptr) return kStatusNoDevice;
  for (int eye = 0; eye < 2; ++eye) {
    uint8_t calibrated = 0;
    const int status = zelSaccadrixGetCalibrated(eye, &calibrated);
    {
      ResultsLock lock;
      tracking.calibratedDevice[eye] = calibrated;
    }
    if (status != kStatusOk) return status;
  }
  stop_storing_results();
  zelSaccadrixClearDataBuffer();
  {
    ResultsLock lock;
    tracking.waitForStartTimestamp = last_result.timestamp;
    tracking.waitForStart = true;
    tracking.storeResults.store(true);
  }
  return zelSaccadrixArmTimestamp(1);
}

extern "C" int zelSaccadrixStopTracking(void) {
  stop_storing_results();
  return kStatusOk;
}

extern "C" uint8_t zelSaccadrixGetTrackingStarted(void) {
  return tracking.storeResults.load() ? 1 : 0;
}

extern "C" int zelSaccadrixSetResultsType(int type) {
  if (open_device() == nullptr) return kStatusNoDevice;
  if (type != 0 && type != 1) return kStatusArg;
  const bool old_models = conn.model.load() < 4;
  const uint16_t command = type == 0 ? (old_models ? kCmdResultsTypeRawOld : kCmdResultsTypeRaw)
                                     : (old_models ? kCmdResultsTypeCalibratedOld
                                                   : kCmdResultsTypeCalibrated);
  Exchange exchange;
  if (!exchange.device_open()) return kStatusNoDevice;
  uint64_t pushed_before;
  {
    ResultsLock lock;
    pushed_before = ring_pushes;
  }
  const int status = exchange.send(OutReport(command));
  exchange.pause(kPauseAfterSetMs);
  // Records of the old type are discarded. Reports read during the pause that already have
  // the new type stay, as they would have had they waited in the device's queue.
  ResultsLock lock;
  ringBuf_flush_keeping(&results_buffer, ring_pushes - pushed_before,
                        static_cast<uint16_t>(type));
  return status == kStatusOk ? kStatusOk : kStatusIo;
}
