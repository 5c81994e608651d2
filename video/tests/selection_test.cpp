// Which camera the library takes: by the tracker's USB vendor id first, then by the
// tracker's camera names in their order, never a camera of another vendor. Each case lists
// test cameras, starts a recording without preview, and looks at the camera the library
// made its source from.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "saccadrix/saccadrix_gs.h"
#include "test_camera.h"
#include "test_support.h"

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testcam::Camera;

namespace {

class SelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    videotest::StartCountingGstObjects();
    ASSERT_EQ(zelSaccadrixVideoInit(0, false), 0);
  }
  void TearDown() override {
    zelSaccadrixVideoStop();
    EXPECT_THAT(videotest::GstObjectsLeftAlive(), IsEmpty()) << "GStreamer objects left alive";
  }

  // The display name of the camera chosen among these, or the failure status.
  std::string Chosen(std::vector<Camera> cameras) {
    testcam::SetCameras(std::move(cameras));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int32_t status = zelSaccadrixVideoStartRecord(dir_.File("clip.avi").c_str());
    stdout_ = testing::internal::GetCapturedStdout();
    stderr_ = testing::internal::GetCapturedStderr();
    std::string chosen = status == 0 ? testcam::LastSourceCamera() : "status " + std::to_string(status);
    zelSaccadrixVideoStop();
    return chosen;
  }

  videotest::ScratchDir dir_;
  std::string stdout_;
  std::string stderr_;
};

TEST_F(SelectionTest, NoCameraFailsWithMessageAndLeavesNothingRunning) {
  EXPECT_EQ(Chosen({}), "status -15");
  EXPECT_EQ(stderr_, "No Saccadrix device found.\n");
  EXPECT_EQ(zelSaccadrixVideoStopped(), 1);
  EXPECT_EQ(testcam::LastSource(), nullptr);
}

TEST_F(SelectionTest, CameraOfAnotherVendorIsNeverTaken) {
  EXPECT_EQ(Chosen({{"Saccadrix R1", "046d"}, {"HD Webcam", "046d"}}), "status -15");
  EXPECT_EQ(stderr_, "No Saccadrix device found.\n");
  // A camera known only by name stands in when the other vendor's camera has the name.
  EXPECT_EQ(Chosen({{"Saccadrix R1", "046d"}, {"Saccadrix R2", ""}}), "Saccadrix R2");
}

TEST_F(SelectionTest, UnnamedCameraWithoutVendorIsNotTaken) {
  EXPECT_EQ(Chosen({{"HD Webcam", ""}}), "status -15");
}

TEST_F(SelectionTest, TrackerVendorIdComesBeforeAnyName) {
  for (const char* vendor : {"0861", "0x0861", "0X0861"}) {
    SCOPED_TRACE(vendor);
    EXPECT_EQ(Chosen({{"Saccadrix R1", ""}, {"USB2.0 Camera", vendor}}), "USB2.0 Camera");
    EXPECT_EQ(Chosen({{"USB2.0 Camera", vendor}, {"Saccadrix R1", ""}}), "USB2.0 Camera");
  }
  // Among the tracker's own cameras, the names decide.
  EXPECT_EQ(Chosen({{"Aux stream", "0861"}, {"Saccadrix R3", "0861"}}), "Saccadrix R3");
  EXPECT_EQ(Chosen({{"Saccadrix Mirel", "0861"}, {"Saccadrix R2", "0861"}}), "Saccadrix R2");
}

TEST_F(SelectionTest, NamesAreTriedInTheirOrderWhateverTheListOrder) {
  const std::vector<std::vector<Camera>> lists = {
      {{"Saccadrix Mirel", ""}, {"Saccadrix R3", ""}, {"Saccadrix-R2", ""}},
      {{"Saccadrix-R2", ""}, {"Saccadrix R3", ""}, {"Saccadrix Mirel", ""}},
      {{"Saccadrix R3", ""}, {"Saccadrix-R2", ""}, {"Saccadrix Mirel", ""}},
  };
  for (const auto& list : lists) {
    EXPECT_EQ(Chosen(list), "Saccadrix-R2");
  }
  EXPECT_EQ(Chosen({{"Saccadrix Mirel", ""}, {"Saccadrix R1", ""}}), "Saccadrix R1");
  EXPECT_EQ(Chosen({{"Saccadrix Mirel", ""}, {"Saccadrix-R3", ""}}), "Saccadrix-R3");
}

TEST_F(SelectionTest, NamesMatchAsSubstringsInBlankOrHyphenForm) {
  EXPECT_EQ(Chosen({{"UVC: Saccadrix Mirel (usb-0000:00:14.0-2)", ""}}),
            "UVC: Saccadrix Mirel (usb-0000:00:14.0-2)");
  EXPECT_EQ(Chosen({{"Saccadrix-Mirel HD", ""}}), "Saccadrix-Mirel HD");
  EXPECT_EQ(Chosen({{"Saccadrix R1: Saccadrix R1", ""}}), "Saccadrix R1: Saccadrix R1");
  // Near misses: no separator, other case, a name cut short.
  EXPECT_EQ(Chosen({{"SaccadrixR1", ""}, {"saccadrix r2", ""}, {"Saccadrix Mire", ""}}),
            "status -15");
}

TEST_F(SelectionTest, ChosenCameraIsAnnouncedOnStandardOutput) {
  EXPECT_EQ(Chosen({{"Saccadrix R2", "0861"}}), "Saccadrix R2");
  EXPECT_EQ(stdout_, "Saccadrix Device: Saccadrix R2\n");
  EXPECT_EQ(stderr_, "");
}

}  // namespace
