// Element choices, constants and diagnostics of the Linux build.
#include <cstdarg>

#include "platform.h"
#include "video_state.h"

namespace saccadrix::gs {

int32_t CheckGStreamerRuntime() { return kOk; }

GstRef<GstElement> MakeVisibleSink(bool useGlImageSink) {
  // The alternative to OpenGL is the X video extension: it takes the I420 frames of the tee
  // as they are and draws into an X11 window id through the video overlay interface.
  GstRef<GstElement> sink = MakeElement(useGlImageSink ? "glimagesink" : "xvimagesink", "sink");
  if (sink) {
    g_object_set(sink.get(), "sync", FALSE, nullptr);
  }
  return sink;
}

// AVI: a file cut short by a crash stays readable up to its last frame, and it is the
// container MATLAB's own video reader and writer use for Motion-JPEG.
const char* RecordingMuxerFactory() { return "avimux"; }

// Long enough for the muxer to write its index after the last frame, even for long files on
// slow disks; a stop normally returns within a frame's time.
GstClockTime EndOfStreamWait() { return 5 * kSecond; }

int32_t LibGSVersion() { return 43; }

void PrintError(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  gchar* text = g_strdup_vprintf(format, arguments);
  va_end(arguments);
  g_printerr("%s", text);
  g_free(text);
}

}  // namespace saccadrix::gs
