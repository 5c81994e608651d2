// Element choices, constants and diagnostics of the Linux build.
#include "platform.h"
#include "video_state.h"

namespace saccadrix::gs {

int32_t CheckGStreamerRuntime() { return kOk; }

// The alternative to OpenGL is the X video extension: it takes the I420 frames of the tee as
// they are and draws into an X11 window id through the video overlay interface.
const char* VisibleSinkFactory(bool useGlImageSink) {
  return useGlImageSink ? "glimagesink" : "xvimagesink";
}

// AVI: a file cut short by a crash stays readable up to its last frame, and it is the
// container MATLAB's own video reader and writer use for Motion-JPEG.
const char* RecordingMuxerFactory() { return "avimux"; }

int32_t LibGSVersion() { return 43; }

void SystemLog(const char*) {}

}  // namespace saccadrix::gs
