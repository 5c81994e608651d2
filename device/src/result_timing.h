// Running estimate of the camera's frame rate (model codes 1..3), kept by the decoder and
// read by the capture-configuration query. Guarded by the HID lock.
#pragma once

#include <cstdint>

namespace saccadrix {

struct FrameTiming {
  uint32_t timingFrames = 0;
  int64_t timingStart = 0;  // milliseconds; 0 = not started
  double timingRate = 0;    // frames per second
};

extern FrameTiming frame_timing;

}  // namespace saccadrix
