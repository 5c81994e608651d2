// The test cameras as a loadable GStreamer plug-in, for whole processes run without a
// tracker (Octave with the video gateway, the command-line tool, the demo, the examples):
// put its folder on GST_PLUGIN_PATH and choose the cameras with SACCADRIX_TEST_CAMERAS (see
// test_camera.h). The video library's camera selection then finds them through the device
// monitor exactly as it finds real cameras.
#include <gst/gst.h>

#include "test_camera.h"

static gboolean saccadrix_sim_plugin_init(GstPlugin* plugin) {
  testcam::SetCameras(testcam::CamerasFromEnvironment());
  return testcam::RegisterProvider(plugin);
}

// GST_PLUGIN_DEFINE names the source package of the plug-in through PACKAGE.
#define PACKAGE "saccadrix"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, saccadrixsimcam,
                  "Simulated Saccadrix tracker cameras", saccadrix_sim_plugin_init, "1.0",
                  "LGPL", "saccadrix", "https://saccadrix.invalid/")
