// A GStreamer plug-in for the video gateway's tests: a device provider that lists one camera
// the video library takes for the tracker's (USB vendor id 0861, named "Saccadrix R1"),
// whose element is a live test pattern. Octave loads GStreamer only through the video
// library, so the provider comes as a plug-in found on GST_PLUGIN_PATH; the library's
// camera selection finds it through the device monitor as it finds a real camera.
#include <gst/gst.h>

namespace {

constexpr const char* kCameraName = "Saccadrix R1 (test pattern)";
constexpr const char* kCameraLaunch =
    "videotestsrc is-live=true pattern=ball ! "
    "capsfilter caps=\"video/x-raw,width=320,height=240,framerate=30/1\"";

}  // namespace

struct SaccadrixMexTestCamera {
  GstDevice parent;
};
struct SaccadrixMexTestCameraClass {
  GstDeviceClass parent_class;
};

G_DEFINE_TYPE(SaccadrixMexTestCamera, saccadrix_mex_test_camera, GST_TYPE_DEVICE)

static GstElement* saccadrix_mex_test_camera_create_element(GstDevice*, const gchar* name) {
  GError* error = nullptr;
  GstElement* element = gst_parse_bin_from_description(kCameraLaunch, TRUE, &error);
  if (error != nullptr) {
    g_printerr("test camera: %s\n", error->message);
    g_clear_error(&error);
    if (element != nullptr) {
      gst_object_unref(gst_object_ref_sink(element));
    }
    return nullptr;
  }
  if (name != nullptr) {
    gst_object_set_name(GST_OBJECT(element), name);
  }
  return element;
}

static void saccadrix_mex_test_camera_class_init(SaccadrixMexTestCameraClass* klass) {
  GST_DEVICE_CLASS(klass)->create_element = saccadrix_mex_test_camera_create_element;
}

static void saccadrix_mex_test_camera_init(SaccadrixMexTestCamera*) {}

struct SaccadrixMexTestProvider {
  GstDeviceProvider parent;
};
struct SaccadrixMexTestProviderClass {
  GstDeviceProviderClass parent_class;
};

G_DEFINE_TYPE(SaccadrixMexTestProvider, saccadrix_mex_test_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* saccadrix_mex_test_provider_probe(GstDeviceProvider*) {
  GstStructure* properties = gst_structure_new("saccadrix-test-camera", "device.vendor.id",
                                               G_TYPE_STRING, "0861", nullptr);
  GstCaps* caps = gst_caps_from_string("video/x-raw");
  gpointer device = g_object_new(saccadrix_mex_test_camera_get_type(), "display-name",
                                 kCameraName, "device-class", "Video/Source", "caps", caps,
                                 "properties", properties, nullptr);
  gst_caps_unref(caps);
  gst_structure_free(properties);
  return g_list_append(nullptr, gst_object_ref_sink(device));
}

static void saccadrix_mex_test_provider_class_init(SaccadrixMexTestProviderClass* klass) {
  GstDeviceProviderClass* provider_class = GST_DEVICE_PROVIDER_CLASS(klass);
  provider_class->probe = saccadrix_mex_test_provider_probe;
  // The device monitor picks providers whose class holds both words of its filter.
  gst_device_provider_class_set_static_metadata(provider_class, "Saccadrix gateway test camera",
                                                "Source/Video", "A camera for the gateway tests",
                                                "Saccadrix developers");
}

static void saccadrix_mex_test_provider_init(SaccadrixMexTestProvider*) {}

static gboolean saccadrix_mex_test_plugin_init(GstPlugin* plugin) {
  return gst_device_provider_register(plugin, "saccadrixmextestcamera", GST_RANK_PRIMARY,
                                      saccadrix_mex_test_provider_get_type());
}

#define PACKAGE "saccadrix-tests"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, saccadrixmextestcam,
                  "Test camera for the Saccadrix gateway tests", saccadrix_mex_test_plugin_init,
                  "1.0", "LGPL", "saccadrix-tests", "https://saccadrix.invalid/")
