// A GStreamer plug-in that lists simulated cameras of the tracker, for whole processes run
// without hardware (the CLI's tests, the demo, the examples). Put its folder on
// GST_PLUGIN_PATH; the video library's camera selection then finds the cameras through the
// device monitor exactly as it finds real ones. Each camera's element is a live test
// pattern, 320x240 at 30 frames per second.
//
// SACCADRIX_TEST_CAMERAS chooses the cameras: display names separated by ';'. Unset, one
// camera named "Saccadrix R2 (simulated)" is listed; set but empty, none. Every camera
// reports the tracker's USB vendor id 0861 unless its name ends in "@other", which makes
// it report another vendor (a camera the library must not pick).
#include <gst/gst.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kDefaultCamera = "Saccadrix R2 (simulated)";
constexpr const char* kOtherVendorSuffix = "@other";
constexpr const char* kLiveSource =
    "videotestsrc is-live=true pattern=ball ! "
    "capsfilter caps=\"video/x-raw,width=320,height=240,framerate=30/1\"";

struct CameraEntry {
  std::string name;
  bool trackerVendor = true;
};

std::vector<CameraEntry> CamerasFromEnvironment() {
  const char* text = std::getenv("SACCADRIX_TEST_CAMERAS");
  if (text == nullptr) {
    return {CameraEntry{kDefaultCamera, true}};
  }
  std::vector<CameraEntry> cameras;
  std::string list(text);
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) {
      end = list.size();
    }
    std::string name = list.substr(start, end - start);
    const size_t first = name.find_first_not_of(' ');
    const size_t last = name.find_last_not_of(' ');
    name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    if (!name.empty()) {
      CameraEntry entry{name, true};
      const std::string suffix(kOtherVendorSuffix);
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        entry.name = name.substr(0, name.size() - suffix.size());
        entry.trackerVendor = false;
      }
      cameras.push_back(entry);
    }
    start = end + 1;
  }
  return cameras;
}

}  // namespace

// ---- One listed camera; its element is built from a pipeline description.

struct SaccadrixSimCamera {
  GstDevice parent;
};
struct SaccadrixSimCameraClass {
  GstDeviceClass parent_class;
};

G_DEFINE_TYPE(SaccadrixSimCamera, saccadrix_sim_camera, GST_TYPE_DEVICE)

static GstElement* saccadrix_sim_camera_create_element(GstDevice*, const gchar* name) {
  GError* error = nullptr;
  GstElement* element = gst_parse_bin_from_description(kLiveSource, TRUE, &error);
  if (error != nullptr) {
    g_printerr("simulated camera: %s\n", error->message);
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

static void saccadrix_sim_camera_class_init(SaccadrixSimCameraClass* klass) {
  GST_DEVICE_CLASS(klass)->create_element = saccadrix_sim_camera_create_element;
}

static void saccadrix_sim_camera_init(SaccadrixSimCamera*) {}

// ---- The provider: lists the cameras named in the environment.

struct SaccadrixSimProvider {
  GstDeviceProvider parent;
};
struct SaccadrixSimProviderClass {
  GstDeviceProviderClass parent_class;
};

G_DEFINE_TYPE(SaccadrixSimProvider, saccadrix_sim_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* saccadrix_sim_provider_probe(GstDeviceProvider*) {
  GList* devices = nullptr;
  for (const CameraEntry& camera : CamerasFromEnvironment()) {
    GstStructure* properties = gst_structure_new(
        "saccadrix-simulated-camera", "device.vendor.id", G_TYPE_STRING,
        camera.trackerVendor ? "0861" : "046d", nullptr);
    GstCaps* caps = gst_caps_from_string("video/x-raw");
    GstDevice* device = GST_DEVICE(g_object_new(
        saccadrix_sim_camera_get_type(), "display-name", camera.name.c_str(), "device-class",
        "Video/Source", "caps", caps, "properties", properties, nullptr));
    gst_caps_unref(caps);
    gst_structure_free(properties);
    devices = g_list_append(devices, gst_object_ref_sink(device));
  }
  return devices;
}

static void saccadrix_sim_provider_class_init(SaccadrixSimProviderClass* klass) {
  GstDeviceProviderClass* provider_class = GST_DEVICE_PROVIDER_CLASS(klass);
  provider_class->probe = saccadrix_sim_provider_probe;
  // The device monitor picks providers whose class holds both words of its filter.
  gst_device_provider_class_set_static_metadata(provider_class, "Saccadrix simulated cameras",
                                                "Source/Video",
                                                "Simulated tracker cameras for use without "
                                                "hardware",
                                                "Saccadrix developers");
}

static void saccadrix_sim_provider_init(SaccadrixSimProvider*) {}

static gboolean saccadrix_sim_plugin_init(GstPlugin* plugin) {
  return gst_device_provider_register(plugin, "saccadrixsimcameras", GST_RANK_PRIMARY,
                                      saccadrix_sim_provider_get_type());
}

// GST_PLUGIN_DEFINE names the source package of the plug-in through PACKAGE.
#define PACKAGE "saccadrix"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, saccadrixsimcam,
                  "Simulated Saccadrix tracker cameras", saccadrix_sim_plugin_init, "1.0",
                  "LGPL", "saccadrix", "https://saccadrix.invalid/")
