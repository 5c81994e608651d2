// Shared pieces of the video tests: the test program's start (GStreamer with the leaks
// tracer and the test cameras), the live-object check, scratch files, and readers that look
// into a recorded file.
#ifndef SACCADRIX_GS_TESTS_TEST_SUPPORT_H
#define SACCADRIX_GS_TESTS_TEST_SUPPORT_H

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "avi_file.h"

namespace videotest {

// Starts GStreamer with the leaks tracer watching the object types a pipeline is made of,
// installs the test cameras, and runs the GoogleTest cases.
int RunAllTests(int argc, char** argv);

// Counts GStreamer objects of the watched types from now on (call at the start of a test).
void StartCountingGstObjects();

// Objects of the watched types made since StartCountingGstObjects that are still alive, by
// type and address. Waits up to a second for objects that streaming threads still release.
std::vector<std::string> GstObjectsLeftAlive();

// A fresh directory for a test's files, removed with everything in it when destroyed.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Waits until condition holds or the deadline passes; returns the condition's last answer.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline);

// Waits up to 5 seconds until the test camera has produced count frames in all.
bool WaitForFrames(uint64_t count);

// A case with one test camera of the tracker installed and the library initialised without
// a window; on teardown the library stops and no GStreamer object it made may stay alive.
class CameraTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  ScratchDir dir_;
};

// What GStreamer's discoverer makes of a file.
struct Discovery {
  bool ok = false;
  std::string error;
  std::string containerCaps;  // media type of the container
  std::string videoCaps;      // media type of the (first) video stream
  int width = 0;
  int height = 0;
  double seconds = 0;
};
Discovery Discover(const std::string& path);

// Runs a command; returns its exit status and fills output with what it printed.
int RunCommand(const std::string& command, std::string& output);

}  // namespace videotest

#endif  // SACCADRIX_GS_TESTS_TEST_SUPPORT_H
