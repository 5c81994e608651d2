// Video library benchmark: how long a recording takes to start and to stop, and how many of
// the camera's frames reach the file over a long recording.
//
// The camera is a test camera (a live test pattern, 640x480 at 30 frames per second) listed
// by a device provider registered from this program; the library finds it through its
// ordinary camera selection. Recording runs without preview, as from MATLAB.
//
//   bench_video [--seconds N] [--starts N] [--dir PATH]
//     --seconds  length of the long recording (default 60)
//     --starts   number of short recordings for the start and stop times (default 20)
//     --dir      where the files go (default: a fresh temporary directory, removed after)
#include <gst/gst.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "avi_file.h"
#include "saccadrix/saccadrix_gs.h"
#include "test_camera.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kFramesPerSecond = 30.0;
constexpr const char* kCamera =
    "videotestsrc is-live=true ! "
    "capsfilter caps=\"video/x-raw,width=640,height=480,framerate=30/1\"";

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool WaitForFrames(uint64_t count, std::chrono::milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  while (testcam::FramesProduced() < count) {
    if (Clock::now() >= end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

struct Stats {
  double median;
  double p90;
  double max;
};

Stats Summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  if (values.empty()) {
    return {0, 0, 0};
  }
  const auto at = [&](double q) {
    return values[std::min(values.size() - 1, static_cast<size_t>(q * static_cast<double>(values.size())))];
  };
  return {at(0.5), at(0.9), values.back()};
}

struct Options {
  int seconds = 60;
  int starts = 20;
  std::string dir;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--seconds" && hasValue) {
      options.seconds = std::atoi(argv[++i]);
    } else if (arg == "--starts" && hasValue) {
      options.starts = std::atoi(argv[++i]);
    } else if (arg == "--dir" && hasValue) {
      options.dir = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--seconds N] [--starts N] [--dir PATH]\n", argv[0]);
      return false;
    }
  }
  return options.seconds > 0 && options.starts > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    return 2;
  }
  bool removeDir = false;
  if (options.dir.empty()) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "saccadrix-bench-video-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      return 1;
    }
    options.dir = pattern;
    removeDir = true;
  }

  gst_init(&argc, &argv);
  testcam::Install();
  testcam::SetCameras({{"Saccadrix R1", "0861", kCamera}});
  zelSaccadrixVideoInit(0, false);

  // Short recordings: StartRecord returns once the pipeline plays; StopRecord returns once
  // the end of the stream has reached the file sink and the file is closed.
  std::vector<double> startMs;
  std::vector<double> firstFrameMs;
  std::vector<double> stopMs;
  int incomplete = 0;
  const std::string shortPath = options.dir + "/short.avi";
  for (int i = 0; i < options.starts; ++i) {
    const auto t0 = Clock::now();
    if (zelSaccadrixVideoStartRecord(shortPath.c_str()) != 0) {
      std::fprintf(stderr, "StartRecord failed\n");
      return 1;
    }
    const auto t1 = Clock::now();
    WaitForFrames(1, std::chrono::seconds(5));
    const auto t2 = Clock::now();
    WaitForFrames(15, std::chrono::seconds(5));
    const auto t3 = Clock::now();
    zelSaccadrixVideoStopRecord();
    const auto t4 = Clock::now();
    startMs.push_back(Milliseconds(t1 - t0));
    firstFrameMs.push_back(Milliseconds(t2 - t0));
    stopMs.push_back(Milliseconds(t4 - t3));
    const videotest::AviFile avi = videotest::ReadAvi(shortPath);
    if (!avi.valid || !avi.hasIndex || avi.indexEntries != avi.frameChunks ||
        avi.frameChunks != testcam::FramesProduced()) {
      ++incomplete;
    }
  }

  // One long recording.
  const std::string longPath = options.dir + "/long.avi";
  const double cpuBefore = CpuSeconds();
  const auto began = Clock::now();
  if (zelSaccadrixVideoStartRecord(longPath.c_str()) != 0) {
    std::fprintf(stderr, "StartRecord failed\n");
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
  zelSaccadrixVideoStopRecord();
  const double elapsed = std::chrono::duration<double>(Clock::now() - began).count();
  const double cpu = CpuSeconds() - cpuBefore;
  const uint64_t produced = testcam::FramesProduced();
  const videotest::AviFile avi = videotest::ReadAvi(longPath);
  std::error_code ignored;
  const auto bytes = std::filesystem::file_size(longPath, ignored);

  const Stats start = Summarise(startMs);
  const Stats first = Summarise(firstFrameMs);
  const Stats stop = Summarise(stopMs);
  std::printf("camera: test pattern 640x480, 30 frames/s, live; recording without preview\n");
  std::printf("short recordings: %d of 15+ frames each\n", options.starts);
  std::printf("  StartRecord to PLAYING        median %7.1f ms  p90 %7.1f ms  max %7.1f ms\n",
              start.median, start.p90, start.max);
  std::printf("  StartRecord to first frame    median %7.1f ms  p90 %7.1f ms  max %7.1f ms\n",
              first.median, first.p90, first.max);
  std::printf("  StopRecord to closed file     median %7.1f ms  p90 %7.1f ms  max %7.1f ms\n",
              stop.median, stop.p90, stop.max);
  std::printf("  files incomplete or missing frames: %d\n", incomplete);
  std::printf("long recording: %.1f s\n", elapsed);
  std::printf("  frames produced by the camera   %llu (%.2f per second)\n",
              static_cast<unsigned long long>(produced),
              static_cast<double>(produced) / elapsed);
  std::printf("  frames in the file              %zu (index entries %zu, header %u)\n",
              avi.frameChunks, avi.indexEntries, avi.totalFrames);
  std::printf("  whole JPEG frames               %zu\n", avi.jpegFrames);
  std::printf("  recorded / produced             %.4f\n",
              produced > 0 ? static_cast<double>(avi.frameChunks) / static_cast<double>(produced)
                           : 0.0);
  std::printf("  produced / expected at 30 fps   %.4f\n",
              static_cast<double>(produced) / (kFramesPerSecond * elapsed));
  std::printf("  file size                       %.1f MB (%.1f kB per frame)\n",
              static_cast<double>(bytes) / 1e6,
              avi.frameChunks > 0 ? static_cast<double>(bytes) / 1e3 / static_cast<double>(avi.frameChunks) : 0.0);
  std::printf("  process CPU while recording     %.1f %% of one core\n", 100.0 * cpu / elapsed);

  zelSaccadrixVideoStop();
  if (removeDir) {
    std::filesystem::remove_all(options.dir, ignored);
  }
  const bool ok = incomplete == 0 && avi.valid && avi.frameChunks == produced;
  return ok ? 0 : 1;
}
