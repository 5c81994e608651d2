// Camera selection on Linux: the system's video capture devices as GStreamer's device
// monitor lists them (V4L2 and any other device provider), the tracker's camera chosen by
// USB vendor id or by name, and its source element made by the device itself.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

#include "platform.h"
#include "video_state.h"

namespace saccadrix::gs {

namespace {

constexpr unsigned long kTrackerVendorId = 0x0861;

// The tracker's camera names in order of preference. Drivers and systems spell them with a
// blank or a hyphen between the words.
struct CameraName {
  const char* blank;
  const char* hyphen;
};
constexpr CameraName kCameraNames[] = {
    {"Saccadrix R1", "Saccadrix-R1"},
    {"Saccadrix R2", "Saccadrix-R2"},
    {"Saccadrix R3", "Saccadrix-R3"},
    {"Saccadrix Mirel", "Saccadrix-Mirel"},
};
constexpr int kNoCameraName = static_cast<int>(std::size(kCameraNames));

enum class Vendor { kTracker, kOther, kUnknown };

// The USB vendor id a device provider reports ("0861", or "0x0861"), if any.
Vendor VendorOf(GstDevice* device) {
  GstStructure* properties = gst_device_get_properties(device);
  if (properties == nullptr) {
    return Vendor::kUnknown;
  }
  Vendor vendor = Vendor::kUnknown;
  const char* text = gst_structure_get_string(properties, "device.vendor.id");
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    const unsigned long id = std::strtoul(text, &end, 16);
    vendor = (end != text && *end == '\0' && id == kTrackerVendorId) ? Vendor::kTracker
                                                                      : Vendor::kOther;
  }
  gst_structure_free(properties);
  return vendor;
}

// Index of the first camera name (in table order) that the display name contains.
int CameraNameIndex(const char* displayName) {
  if (displayName == nullptr) {
    return kNoCameraName;
  }
  for (int i = 0; i < kNoCameraName; ++i) {
    if (std::strstr(displayName, kCameraNames[i].blank) != nullptr ||
        std::strstr(displayName, kCameraNames[i].hyphen) != nullptr) {
      return i;
    }
  }
  return kNoCameraName;
}

// Lower is better; negative: never. A camera with the tracker's vendor id beats any camera
// known only by its name; within each group the table's name order decides, then the
// system's list order. A camera of another vendor is not the tracker's, whatever its name.
int Preference(GstDevice* device) {
  const Vendor vendor = VendorOf(device);
  if (vendor == Vendor::kOther) {
    return -1;
  }
  gchar* name = gst_device_get_display_name(device);
  const int nameIndex = CameraNameIndex(name);
  g_free(name);
  if (vendor == Vendor::kTracker) {
    return nameIndex;
  }
  return nameIndex == kNoCameraName ? -1 : kNoCameraName + 1 + nameIndex;
}

// Cameras that offer Motion-JPEG and no raw format need a decoder in the converter.
bool OffersOnlyJpeg(GstDevice* device) {
  GstCaps* caps = gst_device_get_caps(device);
  if (caps == nullptr) {
    return false;
  }
  bool raw = false;
  bool jpeg = false;
  const guint count = gst_caps_get_size(caps);
  for (guint i = 0; i < count; ++i) {
    const GstStructure* structure = gst_caps_get_structure(caps, i);
    raw = raw || gst_structure_has_name(structure, "video/x-raw") != FALSE;
    jpeg = jpeg || gst_structure_has_name(structure, "image/jpeg") != FALSE;
  }
  gst_caps_unref(caps);
  return jpeg && !raw;
}

}  // namespace

int32_t SelectCamera(CameraChoice& choice) {
  GstRef<GstDeviceMonitor> monitor(gst_device_monitor_new());
  gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
  GList* devices = gst_device_monitor_get_devices(monitor.get());

  GstDevice* best = nullptr;
  int bestPreference = std::numeric_limits<int>::max();
  for (GList* item = devices; item != nullptr; item = item->next) {
    GstDevice* device = static_cast<GstDevice*>(item->data);
    const int preference = Preference(device);
    if (preference >= 0 && preference < bestPreference) {
      best = device;
      bestPreference = preference;
    }
  }

  int32_t status = kOk;
  if (best == nullptr) {
    PrintError("No Saccadrix device found.\n");
    status = kNoCamera;
  } else {
    gchar* name = gst_device_get_display_name(best);
    std::printf("Saccadrix Device: %s\n", name != nullptr ? name : "");
    std::fflush(stdout);
    g_free(name);
    choice.source = AdoptElement(gst_device_create_element(best, "source"));
    choice.jpegFrames = OffersOnlyJpeg(best);
  }
  g_list_free_full(devices, gst_object_unref);
  return status;
}

}  // namespace saccadrix::gs
