#include "test_camera.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace testcam {

namespace {

constexpr const char* kProviderName = "saccadrixtestcameras";

std::mutex gMutex;
std::vector<Camera> gCameras;   // guarded by gMutex
GstElement* gLastSource = nullptr;  // weak pointer, guarded by gMutex
std::string gLastCamera;        // guarded by gMutex
std::atomic<uint64_t> gFrames{0};

GstPadProbeReturn CountFrame(GstPad*, GstPadProbeInfo*, gpointer) {
  gFrames.fetch_add(1, std::memory_order_relaxed);
  return GST_PAD_PROBE_OK;
}

}  // namespace

}  // namespace testcam

// ---- The device type: one listed camera; its element is built from a pipeline description.

struct SaccadrixTestDevice {
  GstDevice parent;
  gchar* launch;
};
struct SaccadrixTestDeviceClass {
  GstDeviceClass parent_class;
};

G_DEFINE_TYPE(SaccadrixTestDevice, saccadrix_test_device, GST_TYPE_DEVICE)

static GstElement* saccadrix_test_device_create_element(GstDevice* device, const gchar* name) {
  auto* self = reinterpret_cast<SaccadrixTestDevice*>(device);
  GError* error = nullptr;
  GstElement* element = gst_parse_bin_from_description(self->launch, TRUE, &error);
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
  GstPad* pad = gst_element_get_static_pad(element, "src");
  if (pad != nullptr) {
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, testcam::CountFrame, nullptr, nullptr);
    gst_object_unref(pad);
  }
  gchar* cameraName = gst_device_get_display_name(device);
  {
    std::lock_guard<std::mutex> lock(testcam::gMutex);
    if (testcam::gLastSource != nullptr) {
      g_object_remove_weak_pointer(G_OBJECT(testcam::gLastSource),
                                   reinterpret_cast<gpointer*>(&testcam::gLastSource));
    }
    testcam::gLastSource = element;
    g_object_add_weak_pointer(G_OBJECT(element),
                              reinterpret_cast<gpointer*>(&testcam::gLastSource));
    testcam::gLastCamera = cameraName != nullptr ? cameraName : "";
    testcam::gFrames = 0;
  }
  g_free(cameraName);
  return element;
}

static void saccadrix_test_device_finalize(GObject* object) {
  g_free(reinterpret_cast<SaccadrixTestDevice*>(object)->launch);
  G_OBJECT_CLASS(saccadrix_test_device_parent_class)->finalize(object);
}

static void saccadrix_test_device_class_init(SaccadrixTestDeviceClass* klass) {
  GST_DEVICE_CLASS(klass)->create_element = saccadrix_test_device_create_element;
  G_OBJECT_CLASS(klass)->finalize = saccadrix_test_device_finalize;
}

static void saccadrix_test_device_init(SaccadrixTestDevice* self) { self->launch = nullptr; }

// ---- The provider: lists the cameras of the current test.

struct SaccadrixTestProvider {
  GstDeviceProvider parent;
};
struct SaccadrixTestProviderClass {
  GstDeviceProviderClass parent_class;
};

G_DEFINE_TYPE(SaccadrixTestProvider, saccadrix_test_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* saccadrix_test_provider_probe(GstDeviceProvider*) {
  std::lock_guard<std::mutex> lock(testcam::gMutex);
  GList* devices = nullptr;
  for (const testcam::Camera& camera : testcam::gCameras) {
    GstStructure* properties = gst_structure_new_empty("saccadrix-test-camera");
    if (!camera.vendorId.empty()) {
      gst_structure_set(properties, "device.vendor.id", G_TYPE_STRING, camera.vendorId.c_str(),
                        nullptr);
    }
    GstCaps* caps = gst_caps_from_string(camera.caps.c_str());
    auto* device = static_cast<SaccadrixTestDevice*>(g_object_new(
        saccadrix_test_device_get_type(), "display-name", camera.name.c_str(), "device-class",
        "Video/Source", "caps", caps, "properties", properties, nullptr));
    device->launch = g_strdup(camera.launch.c_str());
    gst_caps_unref(caps);
    gst_structure_free(properties);
    devices = g_list_append(devices, gst_object_ref_sink(device));
  }
  return devices;
}

static void saccadrix_test_provider_class_init(SaccadrixTestProviderClass* klass) {
  GstDeviceProviderClass* provider_class = GST_DEVICE_PROVIDER_CLASS(klass);
  provider_class->probe = saccadrix_test_provider_probe;
  // The device monitor picks providers whose class holds both words of its filter.
  gst_device_provider_class_set_static_metadata(provider_class, "Saccadrix test cameras",
                                                "Source/Video", "Cameras for the video tests",
                                                "Saccadrix developers");
}

static void saccadrix_test_provider_init(SaccadrixTestProvider*) {}

static gboolean saccadrix_test_plugin_init(GstPlugin* plugin) {
  return testcam::RegisterProvider(plugin);
}

namespace testcam {

gboolean RegisterProvider(GstPlugin* plugin) {
  return gst_device_provider_register(plugin, kProviderName, GST_RANK_PRIMARY,
                                      saccadrix_test_provider_get_type());
}

std::vector<Camera> CamerasFromEnvironment() {
  constexpr const char* kDefaultCamera = "Saccadrix R2 (simulated)";
  constexpr const char* kOtherVendorSuffix = "@other";
  constexpr const char* kBallPattern =
      "videotestsrc is-live=true pattern=ball ! "
      "capsfilter caps=\"video/x-raw,width=320,height=240,framerate=30/1\"";
  const char* text = std::getenv("SACCADRIX_TEST_CAMERAS");
  std::vector<Camera> cameras;
  const std::string list = text != nullptr ? text : kDefaultCamera;
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string name = list.substr(start, end - start);
    start = end + 1;
    const size_t first = name.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    name = name.substr(first, name.find_last_not_of(' ') - first + 1);
    const std::string suffix(kOtherVendorSuffix);
    const bool other = name.size() > suffix.size() &&
                       name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    if (other) name.resize(name.size() - suffix.size());
    cameras.push_back(Camera{name, other ? "046d" : "0861", kBallPattern});
  }
  return cameras;
}

void Install() {
  gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "saccadrixtestcam",
                             "Test cameras for the Saccadrix video tests",
                             saccadrix_test_plugin_init, "1.0", "LGPL", "saccadrix-tests",
                             "saccadrix", "https://saccadrix.invalid/");
  // Real cameras of the machine running the tests must not take part.
  GList* factories = gst_device_provider_factory_list_get_device_providers(GST_RANK_NONE);
  for (GList* item = factories; item != nullptr; item = item->next) {
    GstPluginFeature* feature = GST_PLUGIN_FEATURE(item->data);
    if (g_strcmp0(gst_plugin_feature_get_name(feature), kProviderName) != 0) {
      gst_plugin_feature_set_rank(feature, GST_RANK_NONE);
    }
  }
  gst_plugin_feature_list_free(factories);
  // The provider is made once per process, with its bus, on first use; make it now so that
  // it is not counted as an object some test left alive.
  GstDeviceProvider* provider = gst_device_provider_factory_get_by_name(kProviderName);
  if (provider != nullptr) {
    gst_object_unref(provider);
  }
}

void SetCameras(std::vector<Camera> cameras) {
  std::lock_guard<std::mutex> lock(gMutex);
  gCameras = std::move(cameras);
}

GstElement* LastSource() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gLastSource != nullptr ? GST_ELEMENT(gst_object_ref(gLastSource)) : nullptr;
}

std::string LastSourceCamera() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gLastCamera;
}

uint64_t FramesProduced() { return gFrames.load(); }

GstElement* LastSourcePipeline() {
  GstObject* object = GST_OBJECT(LastSource());
  while (object != nullptr) {
    GstObject* parent = gst_object_get_parent(object);
    if (parent == nullptr) {
      break;
    }
    gst_object_unref(object);
    object = parent;
  }
  return object != nullptr ? GST_ELEMENT(object) : nullptr;
}

GstElement* ChildNamed(GstElement* bin, const char* name) {
  GstElement* found = nullptr;
  GST_OBJECT_LOCK(bin);
  for (GList* item = GST_BIN_CHILDREN(bin); item != nullptr; item = item->next) {
    if (g_strcmp0(GST_OBJECT_NAME(item->data), name) == 0) {
      found = GST_ELEMENT(gst_object_ref(item->data));
      break;
    }
  }
  GST_OBJECT_UNLOCK(bin);
  return found;
}

std::string FactoryName(GstElement* element) {
  GstElementFactory* factory = gst_element_get_factory(element);
  return factory != nullptr ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
}

}  // namespace testcam
