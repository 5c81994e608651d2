// Camera selection on macOS: AVFoundation lists the video devices; the tracker's camera is
// the first whose model identifier carries the tracker's USB vendor id and whose name holds
// one of the tracker's camera names. "avfvideosrc" is told the camera's position.
#if defined(__APPLE__)

#import <AVFoundation/AVFoundation.h>

#include <cstdio>
#include <cstring>

#include "platform.h"
#include "video_state.h"

namespace saccadrix::gs {

namespace {

// The tracker's USB vendor id 0x0861 as it appears, in decimal, in a camera's model id.
NSString* const kTrackerVendorInModelId = @"2145";

constexpr const char* kCameraNames[] = {"Saccadrix-R1", "Saccadrix-R2", "Saccadrix-R3",
                                        "Saccadrix Mirel"};

bool HoldsCameraName(const char* localizedName) {
  if (localizedName == nullptr) {
    return false;
  }
  for (const char* name : kCameraNames) {
    if (std::strstr(localizedName, name) != nullptr) {
      return true;
    }
  }
  return false;
}

}  // namespace

int32_t SelectCamera(CameraChoice& choice) {
  @autoreleasepool {
    NSArray<AVCaptureDevice*>* devices = [AVCaptureDevice devicesWithMediaType:AVMediaTypeVideo];
    NSLog(@"devices = %li", static_cast<long>(devices.count));
    for (AVCaptureDevice* device in devices) {
      NSLog(@"device model ID = %@", device.modelID);
      NSLog(@"device name = %@", device.localizedName);
    }

    // "device-index" counts the cameras ahead of the chosen one that are not the tracker's.
    int index = 0;
    AVCaptureDevice* chosen = nil;
    for (AVCaptureDevice* device in devices) {
      if ([device.modelID rangeOfString:kTrackerVendorInModelId].location == NSNotFound) {
        ++index;
        continue;
      }
      NSLog(@"Selected device model ID = %@", device.modelID);
      NSLog(@"Selected device name = %@", device.localizedName);
      if (HoldsCameraName(device.localizedName.UTF8String)) {
        chosen = device;
        break;
      }
    }

    if (chosen == nil) {
      PrintError("No Saccadrix device found.\n");
      return kNoCamera;
    }
    std::printf("Saccadrix Device: %s\n", chosen.localizedName.UTF8String);
    std::fflush(stdout);
    choice.source = MakeElement("avfvideosrc", "source");
    if (choice.source) {
      g_object_set(choice.source.get(), "device-index", index, nullptr);
    }
    return kOk;
  }
}

}  // namespace saccadrix::gs

#endif  // __APPLE__
