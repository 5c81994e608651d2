// Element choices, constants and diagnostics of the Windows build.
#if defined(_WIN32)

#include <cstdarg>

#include "platform.h"
#include "video_state.h"

namespace saccadrix::gs {

GstRef<GstElement> MakeVisibleSink(bool useGlImageSink) {
  GstRef<GstElement> sink =
      MakeElement(useGlImageSink ? "glimagesink" : "d3dvideosink", "sink");
  if (sink) {
    g_object_set(sink.get(), "sync", FALSE, nullptr);
  }
  return sink;
}

const char* RecordingMuxerFactory() { return "avimux"; }

// Long enough for the muxer to write its index after the last frame.
GstClockTime EndOfStreamWait() { return 5 * kSecond; }

int32_t LibGSVersion() { return 45; }

void PrintError(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  gchar* text = g_strdup_vprintf(format, arguments);
  va_end(arguments);
  g_printerr("%s", text);
  g_free(text);
}

}  // namespace saccadrix::gs

#endif  // _WIN32
