// saccadrix video record: record the tracker's camera to a Motion-JPEG file.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "saccadrix/saccadrix_gs.h"
#include "session.h"
#include "status.h"

namespace saccadrix::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct VideoOptions {
  std::string path;
  double seconds = 0;  // 0: until Ctrl-C
};

void RunVideoRecord(const VideoOptions& options) {
  CatchInterrupt();
  zelSaccadrixVideoInit(0, false);
  CheckStatus(Source::kVideo, zelSaccadrixVideoStartRecord(options.path.c_str()),
              "cannot record video to '" + options.path + "'");
  const Clock::time_point start = Clock::now();
  if (options.seconds > 0) {
    std::fprintf(stderr, "recording video to %s for %g s\n", options.path.c_str(),
                 options.seconds);
  } else {
    std::fprintf(stderr, "recording video to %s (Ctrl-C stops)\n", options.path.c_str());
  }
  const Clock::time_point end = DeadlineAfter(options.seconds);
  bool endedEarly = false;
  while (SleepUntil(std::min(end, Clock::now() + std::chrono::milliseconds(100)))) {
    if (zelSaccadrixVideoStopped() != 0) {
      endedEarly = true;
      break;
    }
    if (Clock::now() >= end) break;
  }
  zelSaccadrixVideoStopRecord();
  zelSaccadrixVideoStop();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (endedEarly) {
    char when[32];
    std::snprintf(when, sizeof when, "%.1f", seconds);
    throw Failure(Exit::kVideo, std::string("the video pipeline stopped after ") + when +
                                    " s (was the camera unplugged?); '" + options.path +
                                    "' holds what was recorded until then");
  }
  struct stat info {};
  if (stat(options.path.c_str(), &info) != 0 || info.st_size == 0) {
    throw Failure(Exit::kOutputFile, "no video was written to '" + options.path + "'");
  }
  std::printf("Wrote %s (%.1f s, %lld bytes)\n", options.path.c_str(), seconds,
              static_cast<long long>(info.st_size));
}

}  // namespace

void AddVideoCommand(CLI::App& app, Action& action) {
  CLI::App* video = app.add_subcommand("video", "Record the tracker's camera");
  video->require_subcommand(1);
  auto options = std::make_shared<VideoOptions>();
  CLI::App* record = video->add_subcommand(
      "record", "Record the camera to FILE as Motion-JPEG in an AVI container");
  record->add_option("FILE", options->path, "Video file to write (created or replaced)")
      ->required();
  record->add_option("-s,--seconds", options->seconds,
                     "Length of the recording in seconds (default: until Ctrl-C)")
      ->check(CLI::Range(0.001, kMaxSeconds));
  record->callback([&action, options] { action = [options] { RunVideoRecord(*options); }; });
}

}  // namespace saccadrix::cli
