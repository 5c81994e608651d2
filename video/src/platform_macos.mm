// Element choices, constants and diagnostics of the macOS build.
#if defined(__APPLE__)

#import <Foundation/Foundation.h>

#include "platform.h"
#include "video_state.h"

namespace saccadrix::gs {

int32_t CheckGStreamerRuntime() { return kOk; }

const char* VisibleSinkFactory(bool /*useGlImageSink*/) { return "glimagesink"; }

const char* RecordingMuxerFactory() { return "qtmux"; }

int32_t LibGSVersion() { return 43; }

void SystemLog(const char* text) { NSLog(@"%s", text); }

}  // namespace saccadrix::gs

#endif  // __APPLE__
