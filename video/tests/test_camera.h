// Test cameras: a GStreamer device provider, registered from the test program itself, that
// lists the cameras a test asks for. The library's camera selection finds them through the
// device monitor as it finds real ones; their element is a live test-pattern source.
#ifndef SACCADRIX_GS_TESTS_TEST_CAMERA_H
#define SACCADRIX_GS_TESTS_TEST_CAMERA_H

#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testcam {

// 320x240 at 30 frames per second, live: frames come at the camera's pace.
inline constexpr const char* kLiveSource =
    "videotestsrc is-live=true ! capsfilter caps=\"video/x-raw,width=320,height=240,framerate=30/1\"";

struct Camera {
  std::string name;      // the device's display name
  std::string vendorId;  // reported as "device.vendor.id"; empty: not reported
  std::string launch = kLiveSource;  // pipeline description of the camera's element
  std::string caps = "video/x-raw";  // what the device says it can deliver
};

// Registers the test provider and takes every other device provider out of the device
// monitor's reach, so that only the cameras set below exist. Call once, after gst_init.
void Install();

// Registers the test provider with a plug-in: the loadable form of the test cameras
// (test_camera_plugin.cpp) calls this from its init function.
gboolean RegisterProvider(GstPlugin* plugin);

// The cameras named by SACCADRIX_TEST_CAMERAS: display names separated by ';'. Unset: one
// camera named "Saccadrix R2 (simulated)"; set but empty: none. Each reports the tracker's
// USB vendor id 0861 unless its name ends in "@other", which makes it report another
// vendor's (a camera the library must not pick). Their element is a live test pattern.
std::vector<Camera> CamerasFromEnvironment();

// The cameras listed from now on, in this order.
void SetCameras(std::vector<Camera> cameras);

// The element the library made from a test camera most recently, with a new reference
// (release with gst_object_unref), or null when the library has released it.
GstElement* LastSource();

// Display name of the camera that element was made from.
std::string LastSourceCamera();

// Frames that have left the most recently made element.
uint64_t FramesProduced();

// Test helpers for the pipeline the last source lives in: the top-level bin holding it (new
// reference, or null), the direct child of a bin with a name (new reference, or null), and
// the factory name of an element ("" for bins made without a factory).
GstElement* LastSourcePipeline();
GstElement* ChildNamed(GstElement* bin, const char* name);
std::string FactoryName(GstElement* element);

}  // namespace testcam

#endif  // SACCADRIX_GS_TESTS_TEST_CAMERA_H
