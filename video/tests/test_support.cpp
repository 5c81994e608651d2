#include "test_support.h"

#include <gst/pbutils/pbutils.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "saccadrix/saccadrix_gs.h"
#include "test_camera.h"

namespace videotest {

namespace {

// The types a pipeline is made of. Global caches (caps, plug-ins, factories) are left out:
// they live as long as GStreamer and are no leak.
constexpr const char* kTracers =
    "leaks(name=saccadrix-leaks,filters=\"GstElement,GstPad,GstBus,GstDevice,GstDeviceMonitor,"
    "GstMessage,GstBuffer,GstBufferPool\")";

GstTracer* LeaksTracer() {
  GstTracer* found = nullptr;
  GList* tracers = gst_tracing_get_active_tracers();
  for (GList* item = tracers; item != nullptr; item = item->next) {
    if (g_strcmp0(GST_OBJECT_NAME(item->data), "saccadrix-leaks") == 0) {
      found = GST_TRACER(gst_object_ref(item->data));
    }
  }
  g_list_free_full(tracers, gst_object_unref);
  return found;
}

// Adds one activity checkpoint (objects created and destroyed since the last one) to a
// per-object balance. The checkpoints name objects by type and address only, so reading them
// never touches an object. (The tracer's list of live objects, by contrast, hands out
// references it does not own in this GStreamer version.)
void AbsorbCheckpoint(GstTracer* tracer, std::map<std::string, int>& balance) {
  GstStructure* checkpoint = nullptr;
  g_signal_emit_by_name(tracer, "activity-get-checkpoint", &checkpoint);
  if (checkpoint == nullptr) {
    return;
  }
  const struct {
    const char* field;
    int change;
  } lists[] = {{"objects-created-list", 1}, {"objects-removed-list", -1}};
  for (const auto& list : lists) {
    const GValue* entries = gst_structure_get_value(checkpoint, list.field);
    const guint count = entries != nullptr ? gst_value_list_get_size(entries) : 0;
    for (guint i = 0; i < count; ++i) {
      const GstStructure* entry = gst_value_get_structure(gst_value_list_get_value(entries, i));
      const char* type = gst_structure_get_string(entry, "type-name");
      const char* address = gst_structure_get_string(entry, "address");
      balance[std::string(type != nullptr ? type : "?") + " at " +
              (address != nullptr ? address : "?")] += list.change;
    }
  }
  gst_structure_free(checkpoint);
}

}  // namespace

int RunAllTests(int argc, char** argv) {
  g_setenv("GST_TRACERS", kTracers, TRUE);
  gst_init(&argc, &argv);
  if (GstTracer* tracer = LeaksTracer()) {
    g_signal_emit_by_name(tracer, "activity-start-tracking");
    gst_object_unref(tracer);
  }
  testcam::Install();
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  return result;
}

void StartCountingGstObjects() {
  GstTracer* tracer = LeaksTracer();
  if (tracer != nullptr) {
    std::map<std::string, int> ignored;
    AbsorbCheckpoint(tracer, ignored);
    gst_object_unref(tracer);
  }
}

std::vector<std::string> GstObjectsLeftAlive() {
  GstTracer* tracer = LeaksTracer();
  if (tracer == nullptr) {
    return {"the leaks tracer is not running"};
  }
  std::map<std::string, int> balance;
  std::vector<std::string> alive;
  WaitFor(
      [&] {
        AbsorbCheckpoint(tracer, balance);
        alive.clear();
        for (const auto& [object, count] : balance) {
          if (count > 0) {
            alive.push_back(object);
          }
        }
        return alive.empty();
      },
      std::chrono::milliseconds(1000));
  gst_object_unref(tracer);
  return alive;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "saccadrix-video-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) {
    path_ = buffer.data();
  }
}

ScratchDir::~ScratchDir() {
  if (!path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) {
      return condition();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool WaitForFrames(uint64_t count) {
  return WaitFor([&] { return testcam::FramesProduced() >= count; }, std::chrono::seconds(5));
}

void CameraTest::SetUp() {
  StartCountingGstObjects();
  testcam::SetCameras({{"Saccadrix R1", "0861"}});
  ASSERT_EQ(zelSaccadrixVideoInit(0, false), 0);
}

void CameraTest::TearDown() {
  zelSaccadrixVideoStop();
  EXPECT_THAT(GstObjectsLeftAlive(), ::testing::IsEmpty()) << "GStreamer objects left alive";
}

Discovery Discover(const std::string& path) {
  Discovery result;
  GError* error = nullptr;
  GstDiscoverer* discoverer = gst_discoverer_new(5 * GST_SECOND, &error);
  if (discoverer == nullptr) {
    result.error = error != nullptr ? error->message : "no discoverer";
    g_clear_error(&error);
    return result;
  }
  gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
  GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &error);
  g_free(uri);
  if (info != nullptr &&
      gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
    result.ok = true;
    result.seconds = static_cast<double>(gst_discoverer_info_get_duration(info)) / GST_SECOND;
    GstDiscovererStreamInfo* top = gst_discoverer_info_get_stream_info(info);
    if (top != nullptr) {
      GstCaps* caps = gst_discoverer_stream_info_get_caps(top);
      if (caps != nullptr) {
        result.containerCaps = gst_structure_get_name(gst_caps_get_structure(caps, 0));
        gst_caps_unref(caps);
      }
      gst_discoverer_stream_info_unref(top);
    }
    GList* videos = gst_discoverer_info_get_video_streams(info);
    if (videos != nullptr) {
      auto* video = static_cast<GstDiscovererVideoInfo*>(videos->data);
      GstCaps* caps = gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(video));
      if (caps != nullptr) {
        result.videoCaps = gst_structure_get_name(gst_caps_get_structure(caps, 0));
        gst_caps_unref(caps);
      }
      result.width = static_cast<int>(gst_discoverer_video_info_get_width(video));
      result.height = static_cast<int>(gst_discoverer_video_info_get_height(video));
    }
    gst_discoverer_stream_info_list_free(videos);
  } else {
    result.error = error != nullptr ? error->message : "discovery failed";
  }
  g_clear_error(&error);
  if (info != nullptr) {
    gst_discoverer_info_unref(info);
  }
  gst_object_unref(discoverer);
  return result;
}

int RunCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    return -1;
  }
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    output += buffer;
  }
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace videotest
