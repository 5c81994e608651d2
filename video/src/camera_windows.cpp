// Camera selection on Windows: the GStreamer version check, then "ksvideosrc" opened under
// each of the tracker's camera names in turn.
#if defined(_WIN32)

#include <cstdio>
#include <iterator>

#include "platform.h"
#include "video_state.h"

namespace saccadrix::gs {

namespace {

// The names under which the tracker's cameras register, in order of preference.
constexpr const char* kCameraNames[] = {"Saccadrix R1", "Saccadrix R2", "Saccadrix R3",
                                        "Saccadrix Mirel"};
// The camera under the last name delivers Motion-JPEG.
constexpr int kJpegCameraIndex = 3;

// Oldest GStreamer 1.x release whose Windows camera source works with the tracker: 1.12.4.
constexpr unsigned kOldestMinorMicro = 1204;

}  // namespace

int32_t CheckGStreamerRuntime() {
  guint major = 0;
  guint minor = 0;
  guint micro = 0;
  guint nano = 0;
  gst_version(&major, &minor, &micro, &nano);
  if (major != 1 || minor * 100 + micro < kOldestMinorMicro) {
    PrintError("GStreamer version %u.%u.%u.%u is not supported.\n", major, minor, micro, nano);
    return kStartFailed;
  }
  return kOk;
}

int32_t SelectCamera(CameraChoice& choice) {
  GstRef<GstElement> source = MakeElement("ksvideosrc", "source");
  if (!source) {
    return kOk;  // the build reports the missing element
  }
  for (int index = 0; index < static_cast<int>(std::size(kCameraNames)); ++index) {
    gst_element_set_state(source.get(), GST_STATE_NULL);
    g_object_set(source.get(), "device-name", kCameraNames[index], nullptr);
    // The source opens the named camera on its way to READY; it stays READY when it did.
    if (gst_element_set_state(source.get(), GST_STATE_READY) == GST_STATE_CHANGE_SUCCESS) {
      std::printf("Saccadrix Device: %s\n", kCameraNames[index]);
      std::fflush(stdout);
      choice.jpegFrames = index == kJpegCameraIndex;
      choice.source = std::move(source);
      return kOk;
    }
  }
  gst_element_set_state(source.get(), GST_STATE_NULL);
  return kStartFailed;
}

}  // namespace saccadrix::gs

#endif  // _WIN32
