// macOS: the preview window is drawn and receives events only while the application's run
// loop runs; a client without its own run loop (MATLAB's engine, a command-line program)
// gives it time through zelSaccadrixVideoProcessEvents.
#if defined(__APPLE__)

#include <CoreFoundation/CoreFoundation.h>

#include "saccadrix/saccadrix_gs.h"

extern "C" ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoProcessEvents(uint32_t seconds) {
  return static_cast<int32_t>(
      CFRunLoopRunInMode(kCFRunLoopDefaultMode, static_cast<CFTimeInterval>(seconds), false));
}

#endif  // __APPLE__
