// Element choices, constants and diagnostics of the macOS build.
#if defined(__APPLE__)

#import <Foundation/Foundation.h>

#include <cstdarg>

#include "platform.h"
#include "video_state.h"

namespace saccadrix::gs {

int32_t CheckGStreamerRuntime() { return kOk; }

GstRef<GstElement> MakeVisibleSink(bool /*useGlImageSink*/) {
  GstRef<GstElement> sink = MakeElement("glimagesink", "sink");
  if (sink) {
    g_object_set(sink.get(), "sync", FALSE, "force-aspect-ratio", TRUE, nullptr);
  }
  return sink;
}

const char* RecordingMuxerFactory() { return "qtmux"; }

// A QuickTime file is unreadable until the muxer has written its index after the last
// frame; a few milliseconds are not enough for that, so the stop waits as long as on the
// other platforms.
GstClockTime EndOfStreamWait() { return 5 * kSecond; }

int32_t LibGSVersion() { return 43; }

void PrintError(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  gchar* text = g_strdup_vprintf(format, arguments);
  va_end(arguments);
  g_printerr("%s", text);
  NSLog(@"%s", text);
  g_free(text);
}

}  // namespace saccadrix::gs

#endif  // __APPLE__
