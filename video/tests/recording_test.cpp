// Recording without a preview window, as the MATLAB gateway does it: Init with no window,
// StartRecord, StopRecord. Frames come from a live test camera at 30 frames per second.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

#include "saccadrix/saccadrix_gs.h"
#include "test_camera.h"
#include "test_support.h"

using ::testing::HasSubstr;
using videotest::AviFile;
using videotest::ReadAvi;
using videotest::WaitFor;
using videotest::WaitForFrames;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFrameDeadline = std::chrono::seconds(5);
constexpr double kFramesPerSecond = 30.0;

// Holds the pipeline the library is running (through the last test camera's element) for
// inspection; null members when nothing runs.
struct RunningPipeline {
  GstElement* pipeline = testcam::LastSourcePipeline();
  ~RunningPipeline() {
    if (pipeline != nullptr) {
      gst_object_unref(pipeline);
    }
  }
  GstElement* Child(GstElement* bin, const char* name) const {
    return bin != nullptr ? testcam::ChildNamed(bin, name) : nullptr;
  }
};

std::string FactoryOf(GstElement* bin, const char* name) {
  GstElement* element = bin != nullptr ? testcam::ChildNamed(bin, name) : nullptr;
  if (element == nullptr) {
    return "(missing)";
  }
  std::string factory = testcam::FactoryName(element);
  gst_object_unref(element);
  return factory;
}

using RecordingTest = videotest::CameraTest;

TEST_F(RecordingTest, RecordsEveryFrameAsMotionJpegInAnIndexedAvi) {
  const std::string path = dir_.File("clip.avi");
  const auto starting = Clock::now();
  ASSERT_EQ(zelSaccadrixVideoStartRecord(path.c_str()), 0);
  const auto playing = Clock::now();
  EXPECT_EQ(zelSaccadrixVideoStopped(), 0);
  ASSERT_TRUE(WaitForFrames(45));
  const auto stopping = Clock::now();
  ASSERT_EQ(zelSaccadrixVideoStopRecord(), 0);
  const auto stopped = Clock::now();
  const uint64_t produced = testcam::FramesProduced();

  const AviFile avi = ReadAvi(path);
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.streamType, "vids");
  EXPECT_EQ(avi.handler, "MJPG");
  EXPECT_EQ(avi.compression, "MJPG");
  EXPECT_EQ(avi.width, 320u);
  EXPECT_EQ(avi.height, 240u);
  EXPECT_EQ(avi.microsPerFrame, 33333u);
  // Every frame the camera sent reached the file, whole, and is in the index.
  EXPECT_EQ(avi.frameChunks, produced);
  EXPECT_EQ(avi.jpegFrames, avi.frameChunks);
  EXPECT_TRUE(avi.hasIndex);
  EXPECT_EQ(avi.indexEntries, avi.frameChunks);
  EXPECT_EQ(avi.totalFrames, avi.frameChunks);
  EXPECT_EQ(avi.streamLength, avi.frameChunks);
  // About the camera's rate: at least for the time the recording surely played, at most
  // for the time it may have run.
  const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
  EXPECT_GE(static_cast<double>(avi.frameChunks),
            0.8 * kFramesPerSecond * seconds(stopping - playing));
  EXPECT_LE(static_cast<double>(avi.frameChunks),
            kFramesPerSecond * seconds(stopped - starting) + 2);

  const videotest::Discovery found = videotest::Discover(path);
  ASSERT_TRUE(found.ok) << found.error;
  EXPECT_EQ(found.containerCaps, "video/x-msvideo");
  EXPECT_EQ(found.videoCaps, "image/jpeg");
  EXPECT_EQ(found.width, 320);
  EXPECT_EQ(found.height, 240);
  EXPECT_NEAR(found.seconds, static_cast<double>(avi.frameChunks) / kFramesPerSecond, 0.1);

  const std::string tool = GST_DISCOVERER_TOOL;
  if (!tool.empty() && tool.find("NOTFOUND") == std::string::npos) {
    // Verbose output names the caps; the plain output only describes them ("JPEG").
    std::string output;
    EXPECT_EQ(videotest::RunCommand(tool + " -v '" + path + "'", output), 0) << output;
    EXPECT_THAT(output, HasSubstr("video/x-msvideo"));
    EXPECT_THAT(output, HasSubstr("image/jpeg"));
  }
}

TEST_F(RecordingTest, WithoutPreviewTheRecordingPipelineEndsInAHiddenSink) {
  const std::string path = dir_.File("hidden.avi");
  ASSERT_EQ(zelSaccadrixVideoStartRecord(path.c_str()), 0);
  {
    RunningPipeline running;
    ASSERT_NE(running.pipeline, nullptr);
    GstElement* pipeline = running.pipeline;
    EXPECT_STREQ(GST_OBJECT_NAME(pipeline), "main-pipeline");
    EXPECT_EQ(FactoryOf(pipeline, "sink"), "fakesink");
    EXPECT_EQ(FactoryOf(pipeline, "queue1"), "queue");
    EXPECT_EQ(FactoryOf(pipeline, "convert"), "videoconvert");
    EXPECT_EQ(FactoryOf(pipeline, "videotee"), "tee");
    EXPECT_EQ(FactoryOf(pipeline, "queue2"), "queue");

    // The tee hands raw frames of one fixed format to both branches.
    GstElement* tee = running.Child(pipeline, "videotee");
    ASSERT_NE(tee, nullptr);
    GstPad* teeSink = gst_element_get_static_pad(tee, "sink");
    GstCaps* caps = gst_pad_get_current_caps(teeSink);
    ASSERT_NE(caps, nullptr);
    EXPECT_STREQ(gst_structure_get_string(gst_caps_get_structure(caps, 0), "format"), "I420");
    gst_caps_unref(caps);
    gst_object_unref(teeSink);

    // The recording bin hangs on the tee's pad "src_2" through its ghost pad "videosink".
    GstPad* branchPad = gst_element_get_static_pad(tee, "src_2");
    ASSERT_NE(branchPad, nullptr);
    GstPad* ghost = gst_pad_get_peer(branchPad);
    ASSERT_NE(ghost, nullptr);
    EXPECT_STREQ(GST_OBJECT_NAME(ghost), "videosink");
    GstElement* bin = GST_ELEMENT(gst_object_get_parent(GST_OBJECT(ghost)));
    ASSERT_NE(bin, nullptr);
    EXPECT_EQ(FactoryOf(bin, "queuerec"), "queue");
    EXPECT_EQ(FactoryOf(bin, "encoder"), "jpegenc");
    EXPECT_EQ(FactoryOf(bin, "muxer"), "avimux");
    EXPECT_EQ(FactoryOf(bin, "sink"), "filesink");
    GstElement* encoder = running.Child(bin, "encoder");
    GstElement* fileSink = running.Child(bin, "sink");
    ASSERT_NE(encoder, nullptr);
    ASSERT_NE(fileSink, nullptr);
    gint quality = 0;
    g_object_get(encoder, "quality", &quality, nullptr);
    EXPECT_EQ(quality, 75);
    gchar* location = nullptr;
    gboolean sync = TRUE;
    g_object_get(fileSink, "location", &location, "sync", &sync, nullptr);
    EXPECT_STREQ(location, path.c_str());
    EXPECT_FALSE(sync);
    g_free(location);
    gst_object_unref(fileSink);
    gst_object_unref(encoder);
    gst_object_unref(bin);
    gst_object_unref(ghost);
    gst_object_unref(branchPad);
    gst_object_unref(tee);
  }

  ASSERT_EQ(zelSaccadrixVideoStopRecord(), 0);
  // No preview was on display, so none comes back: nothing runs any more.
  EXPECT_EQ(zelSaccadrixVideoStopped(), 1);
  EXPECT_EQ(testcam::LastSource(), nullptr);
}

TEST_F(RecordingTest, SecondStartRecordFinishesTheFirstFile) {
  const std::string first = dir_.File("first.avi");
  const std::string second = dir_.File("second.mov");  // the extension does not matter
  ASSERT_EQ(zelSaccadrixVideoStartRecord(first.c_str()), 0);
  ASSERT_TRUE(WaitForFrames(20));
  ASSERT_EQ(zelSaccadrixVideoStartRecord(second.c_str()), 0);
  ASSERT_TRUE(WaitForFrames(20));
  ASSERT_EQ(zelSaccadrixVideoStopRecord(), 0);
  const uint64_t producedForSecond = testcam::FramesProduced();

  const AviFile a = ReadAvi(first);
  const AviFile b = ReadAvi(second);
  ASSERT_TRUE(a.valid) << a.error;
  ASSERT_TRUE(b.valid) << b.error;
  EXPECT_GE(a.frameChunks, 20u);
  EXPECT_TRUE(a.hasIndex);
  EXPECT_EQ(a.indexEntries, a.frameChunks);
  EXPECT_EQ(b.frameChunks, producedForSecond);
  EXPECT_TRUE(b.hasIndex);
  EXPECT_EQ(b.indexEntries, b.frameChunks);
}

TEST_F(RecordingTest, StopAloneAlsoFinishesTheFileAndStopRecordAfterItIsHarmless) {
  const std::string path = dir_.File("stopped.avi");
  ASSERT_EQ(zelSaccadrixVideoStartRecord(path.c_str()), 0);
  ASSERT_TRUE(WaitForFrames(15));
  ASSERT_EQ(zelSaccadrixVideoStop(), 0);
  const uint64_t produced = testcam::FramesProduced();
  EXPECT_EQ(zelSaccadrixVideoStopped(), 1);
  EXPECT_EQ(zelSaccadrixVideoStopRecord(), 0);
  EXPECT_EQ(zelSaccadrixVideoStopRecord(), 0);

  const AviFile avi = ReadAvi(path);
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.frameChunks, produced);
  EXPECT_EQ(avi.indexEntries, avi.frameChunks);
}

TEST_F(RecordingTest, StopRecordWithoutRecordingStartsNothing) {
  EXPECT_EQ(zelSaccadrixVideoStopRecord(), 0);
  EXPECT_EQ(zelSaccadrixVideoStopped(), 1);
  EXPECT_EQ(testcam::LastSource(), nullptr);
  EXPECT_EQ(zelSaccadrixVideoStop(), 0);
  EXPECT_EQ(zelSaccadrixVideoStopped(), 1);
}

TEST_F(RecordingTest, StreamEndingByItselfIsSeenAsStoppedAndLeavesACompleteFile) {
  testcam::SetCameras({{"Saccadrix R1", "0861",
                        std::string(testcam::kLiveSource) + " ! identity eos-after=12"}});
  const std::string path = dir_.File("short.avi");
  ASSERT_EQ(zelSaccadrixVideoStartRecord(path.c_str()), 0);
  EXPECT_TRUE(WaitFor([] { return zelSaccadrixVideoStopped() == 1; }, kFrameDeadline));
  EXPECT_EQ(zelSaccadrixVideoStopped(), 1);  // and stays so

  // Nothing is left to wait for: the stop does not sit out the end-of-stream wait.
  const auto before = Clock::now();
  EXPECT_EQ(zelSaccadrixVideoStopRecord(), 0);
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(2));

  const AviFile avi = ReadAvi(path);
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_GE(avi.frameChunks, 10u);
  EXPECT_EQ(avi.frameChunks, testcam::FramesProduced());
  EXPECT_EQ(avi.indexEntries, avi.frameChunks);
}

TEST_F(RecordingTest, PipelineErrorIsSeenAsStoppedAndReported) {
  ASSERT_EQ(zelSaccadrixVideoStartRecord(dir_.File("error.avi").c_str()), 0);
  ASSERT_TRUE(WaitForFrames(3));
  EXPECT_EQ(zelSaccadrixVideoStopped(), 0);
  {
    // What a camera does when it is unplugged.
    GstElement* source = testcam::LastSource();
    ASSERT_NE(source, nullptr);
    GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                                        "camera unplugged");
    gst_element_post_message(source, gst_message_new_error(GST_OBJECT(source), error, nullptr));
    g_error_free(error);
    gst_object_unref(source);
  }
  testing::internal::CaptureStderr();
  const int stopped = zelSaccadrixVideoStopped();
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(stopped, 1);
  EXPECT_THAT(printed, HasSubstr("camera unplugged"));
  EXPECT_EQ(zelSaccadrixVideoStopped(), 1);
  EXPECT_EQ(zelSaccadrixVideoStopRecord(), 0);
}

TEST_F(RecordingTest, FileThatCannotBeCreatedFailsTheStartAndTheNextRecordingWorks) {
  testing::internal::CaptureStderr();
  const int32_t status =
      zelSaccadrixVideoStartRecord(dir_.File("no-such-directory/clip.avi").c_str());
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, SACCADRIX_GS_E_START);
  EXPECT_THAT(printed, HasSubstr("Video pipeline error"));
  EXPECT_EQ(zelSaccadrixVideoStopped(), 1);

  testing::internal::CaptureStderr();
  EXPECT_EQ(zelSaccadrixVideoStartRecord(nullptr), SACCADRIX_GS_E_START);
  EXPECT_EQ(zelSaccadrixVideoStartRecord(""), SACCADRIX_GS_E_START);
  testing::internal::GetCapturedStderr();

  const std::string path = dir_.File("after.avi");
  ASSERT_EQ(zelSaccadrixVideoStartRecord(path.c_str()), 0);
  ASSERT_TRUE(WaitForFrames(5));
  ASSERT_EQ(zelSaccadrixVideoStopRecord(), 0);
  EXPECT_TRUE(ReadAvi(path).hasIndex);
}

TEST_F(RecordingTest, CameraThatCannotDeliverFailsTheStartPromptly) {
  // A camera that fails on its first frame, after the pipeline was asked to play: without
  // a frame the pipeline would wait to reach the playing state forever.
  testcam::SetCameras(
      {{"Saccadrix R1", "0861", std::string(testcam::kLiveSource) + " ! identity error-after=1"}});
  testing::internal::CaptureStderr();
  const auto before = Clock::now();
  const int32_t status = zelSaccadrixVideoStartRecord(dir_.File("never.avi").c_str());
  const auto took = Clock::now() - before;
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, SACCADRIX_GS_E_START);
  EXPECT_LT(took, std::chrono::seconds(3));
  EXPECT_EQ(zelSaccadrixVideoStopped(), 1);
}

TEST_F(RecordingTest, MotionJpegCameraIsDecodedAndRecorded) {
  // Cameras that only send JPEG (here 4:2:2, as many do) get a decoder in front of the
  // converter.
  testcam::SetCameras({{"Saccadrix Mirel", "0861",
                        "videotestsrc is-live=true ! "
                        "video/x-raw,format=Y42B,width=320,height=240,framerate=30/1 ! jpegenc",
                        "image/jpeg"}});
  const std::string path = dir_.File("mjpeg.avi");
  ASSERT_EQ(zelSaccadrixVideoStartRecord(path.c_str()), 0);
  ASSERT_TRUE(WaitForFrames(10));
  ASSERT_EQ(zelSaccadrixVideoStopRecord(), 0);
  const uint64_t produced = testcam::FramesProduced();
  const AviFile avi = ReadAvi(path);
  ASSERT_TRUE(avi.valid) << avi.error;
  EXPECT_EQ(avi.frameChunks, produced);
  EXPECT_EQ(avi.jpegFrames, avi.frameChunks);
}

}  // namespace
