// The results and tracking functions: the live ring, the newest record, the stored
// recording and its cursor, starting and stopping a recording, and the results type.
#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "gaze_calibration.h"
#include "hid_link.h"
#include "platform.h"
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

// ---- Host clock, sample times and markers --------------------------------------------

namespace {

constexpr size_t kMaxMarkerText = 255;

// The clock epoch a recording's timestamps belong to: its first record's, or the given one
// when it holds none.
ClockMapping::EpochId recording_epoch(ClockMapping::EpochId otherwise) {
  return results_storage.count > 0 ? results_storage.records.epoch(0) : otherwise;
}

}  // namespace

extern "C" int zelSaccadrixGetHostClock(double* seconds) {
  if (seconds == nullptr) return kStatusArg;
  *seconds = platform::host_seconds();
  return kStatusOk;
}

extern "C" int zelSaccadrixTimestampToHostClock(uint64_t timestamp, double* seconds) {
  if (seconds == nullptr) return kStatusArg;
  ResultsLock lock;
  ClockMapping::Mapping m;
  if (!clock_mapping.mapping(clock_mapping.current_epoch(), &m)) return kStatusNoMapping;
  *seconds = m.to_host(timestamp);
  return kStatusOk;
}

extern "C" int zelSaccadrixGetBufferedResults(T_RESULTS_STRUCT* records, double* hostTimes,
                                              double* sampleTimes, int count, uint8_t remove) {
  if (count < 0) return kStatusArg;
  if (records == nullptr) return kStatusNoRecord;
  ResultsLock lock;
  // One mapping per epoch met, drawn once for the whole call.
  ClockMapping::EpochId epoch = 0;
  ClockMapping::Mapping mapping;
  bool mapped = false;
  int n = 0;
  for (; n < count; ++n) {
    StoredList& list = results_storage;
    if (list.position < 0 || list.position >= list.count) break;
    const size_t at = static_cast<size_t>(list.position);
    if (sampleTimes != nullptr) {
      const ClockMapping::EpochId e = list.records.epoch(at);
      if (e != epoch) {
        epoch = e;
        mapped = clock_mapping.mapping(e, &mapping);
      }
      sampleTimes[n] = mapped ? mapping.to_host(list.records.record(at).timestamp)
                              : std::numeric_limits<double>::quiet_NaN();
    }
    double host_time = 0;
    ReadStoredResult(&records[n], remove != 0, &host_time);
    if (hostTimes != nullptr) hostTimes[n] = host_time;
  }
  return n;
}

extern "C" int zelSaccadrixGetLastResultWithTime(T_RESULTS_STRUCT* destination, double* hostTime) {
  if (open_device() == nullptr) return kStatusNoDevice;
  if (destination == nullptr) return kStatusNoRecord;
  ResultsLock lock;
  *destination = last_result;
  if (hostTime != nullptr) *hostTime = last_result_host_time;
  return kStatusOk;
}

extern "C" int zelSaccadrixGetResultWithTime(T_RESULTS_STRUCT* destination, double* hostTime) {
  if (open_device() == nullptr) return kStatusNoDevice;
  ResultsLock lock;
  if (destination == nullptr) return ringBuf_length(&results_buffer);
  if (ringBuf_pop(&results_buffer, destination, hostTime) != 0) return kStatusIo;
  return ringBuf_length(&results_buffer);
}

extern "C" int zelSaccadrixAddMarker(const char* text) {
  const double now = platform::host_seconds();
  if (text == nullptr) return kStatusArg;
  const size_t length = strnlen(text, kMaxMarkerText + 1);
  if (length > kMaxMarkerText) return kStatusArg;
  try {
    std::string copy(text, length);
    ResultsLock lock;
    results_storage.markers.push_back(Marker{now, clock_mapping.current_epoch(), std::move(copy)});
  } catch (const std::bad_alloc&) {
    return kStatusArg;
  }
  return kStatusOk;
}

extern "C" int zelSaccadrixGetMarkerCount(void) {
  ResultsLock lock;
  const size_t n = results_storage.markers.size();
  return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

extern "C" int zelSaccadrixGetMarker(int index, double* hostTime, uint64_t* timestamp, char* text,
                                     size_t size) {
  if (text == nullptr && size > 0) return kStatusArg;
  ResultsLock lock;
  const std::deque<Marker>& markers = results_storage.markers;
  if (index < 0 || static_cast<size_t>(index) >= markers.size()) return kStatusNoRecord;
  const Marker& m = markers[static_cast<size_t>(index)];
  if (hostTime != nullptr) *hostTime = m.host_time;
  if (timestamp != nullptr) {
    ClockMapping::Mapping mapping;
    *timestamp = clock_mapping.mapping(recording_epoch(m.epoch), &mapping)
                     ? mapping.to_timestamp(m.host_time) : 0;
  }
  if (size > 0) {
    const size_t n = std::min(size - 1, m.text.size());
    std::memcpy(text, m.text.data(), n);
    text[n] = '\0';
  }
  return kStatusOk;
}
