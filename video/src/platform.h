// What differs between the Linux, macOS and Windows builds: camera selection, a few element
// choices, the version number, the recording path and where diagnostics go. Each platform
// implements this interface in its own file (camera_linux.cpp, camera_macos.mm,
// camera_windows.cpp).
#ifndef SACCADRIX_GS_PLATFORM_H
#define SACCADRIX_GS_PLATFORM_H

#include <cstdint>
#include <string>

#include "gst_ref.h"

namespace saccadrix::gs {

struct CameraChoice {
  // The camera's source element, named "source"; null when its plug-in is missing.
  GstRef<GstElement> source;
  // The camera delivers Motion-JPEG rather than raw frames, so the converter must decode.
  bool jpegFrames = false;
};

// Checks before GStreamer is initialised (Windows: the installed version).
// Returns 0 or a failure status.
int32_t CheckGStreamerRuntime();

// Finds the tracker's camera and creates its source element.
// Returns 0, kNoCamera or kStartFailed (as the platform defines "no camera").
int32_t SelectCamera(CameraChoice& choice);


// Factory name of the visible sink, for the OpenGL sink or the platform's alternative.
const char* VisibleSinkFactory(bool useGlImageSink);

// Factory name of the recording's container muxer.
const char* RecordingMuxerFactory();

int32_t LibGSVersion();

// The file location for the recording's file sink. Returns false (with a message printed)
// when the path cannot be used.
bool RecordLocation(const char* path, std::string& location);

// Prints a diagnostic through GLib's error printer and hands it to SystemLog.
void PrintError(const char* format, ...) G_GNUC_PRINTF(1, 2);

// Writes a printed diagnostic to the system log where the platform has one (macOS).
void SystemLog(const char* text);

}  // namespace saccadrix::gs

#endif  // SACCADRIX_GS_PLATFORM_H
