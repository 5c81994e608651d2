// Records a trial and reads it back: opens the first tracker, records for a few seconds,
// then walks the recording to count blinks and writes each eye's pupil position to a CSV
// file.
//
//   record_trial [SECONDS [OUTPUT.csv]]      (defaults: 3, trial.csv)
//
// Exits with 0 when a recording was made and written, 1 otherwise.
#include <saccadrix/saccadrix.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Closes the tracker however the program leaves this scope.
struct Tracker {
  int model = zelSaccadrixInit();
  ~Tracker() { zelSaccadrixClose(); }
};

// A blink shows as a run of results in which an eye is not tracked.
int CountUntrackedRuns(const std::vector<T_RESULTS_STRUCT>& records, int eye) {
  int runs = 0;
  bool tracked = true;
  for (const T_RESULTS_STRUCT& r : records) {
    const bool now = r.eye[eye].tracked != 0;
    if (tracked && !now) ++runs;
    tracked = now;
  }
  return runs;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const std::string output = argc > 2 ? argv[2] : "trial.csv";

  Tracker tracker;
  if (tracker.model < 0) {
    std::fprintf(stderr, "cannot open the tracker (status %d)\n", tracker.model);
    return 1;
  }
  if (zelSaccadrixSetResultsType(0) != 0 || zelSaccadrixStartTracking() != 0) {
    std::fprintf(stderr, "cannot start the recording\n");
    return 1;
  }
  std::printf("recording for %.1f s\n", seconds);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  zelSaccadrixStopTracking();

  // Read the recording back from its start. It stays in the library (also after Close)
  // until the next recording or zelSaccadrixClearDataBuffer.
  std::vector<T_RESULTS_STRUCT> records;
  records.reserve(static_cast<size_t>(zelSaccadrixGetResultsCount()));
  if (zelSaccadrixSetBufferPosition(0) == 0) {
    T_RESULTS_STRUCT r;
    while (zelSaccadrixGetBufferedResult(&r, 0) == 0) records.push_back(r);
  }
  if (records.empty()) {
    std::fprintf(stderr, "the recording is empty\n");
    return 1;
  }

  std::ofstream csv(output);
  csv << "timestamp,eye0_pupil_x,eye0_pupil_y,eye0_tracked,eye1_pupil_x,eye1_pupil_y,"
         "eye1_tracked\n";
  for (const T_RESULTS_STRUCT& r : records) {
    csv << r.timestamp;
    for (const T_EYE_RESULTS& eye : r.eye) {
      csv << ',' << eye.values[2] << ',' << eye.values[3] << ',' << int{eye.tracked};
    }
    csv << '\n';
  }
  csv.close();
  if (!csv) {
    std::fprintf(stderr, "cannot write %s\n", output.c_str());
    return 1;
  }

  const uint64_t first = records.front().timestamp;
  const uint64_t last = records.back().timestamp;
  std::printf("%zu results, timestamps %llu to %llu\n", records.size(),
              static_cast<unsigned long long>(first), static_cast<unsigned long long>(last));
  std::printf("blinks: eye 0 %d, eye 1 %d\n", CountUntrackedRuns(records, 0),
              CountUntrackedRuns(records, 1));
  std::printf("wrote %s\n", output.c_str());
  return 0;
}
