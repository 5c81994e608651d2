// Element choices, constants and diagnostics of the Windows build.
#if defined(_WIN32)

#include "platform.h"
#include "video_state.h"

namespace saccadrix::gs {

const char* VisibleSinkFactory(bool useGlImageSink) {
  return useGlImageSink ? "glimagesink" : "d3dvideosink";
}

const char* RecordingMuxerFactory() { return "avimux"; }

int32_t LibGSVersion() { return 45; }

void SystemLog(const char*) {}

}  // namespace saccadrix::gs

#endif  // _WIN32
