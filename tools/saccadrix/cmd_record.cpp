// saccadrix record: record a trial and write it as CSV and as a MATLAB MAT file.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "export_files.h"
#include "saccadrix/saccadrix.h"
#include "session.h"
#include "status.h"

namespace saccadrix::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct RecordOptions {
  std::string output;  // base name: <output>.csv and <output>.mat
  std::string csv;
  std::string mat;
  double seconds = 0;  // 0: until Ctrl-C
  bool calibrated = false;
};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A base name may be given with either extension: "trial.csv" and "trial" both mean
// trial.csv and trial.mat.
std::string BaseName(std::string name) {
  for (const char* extension : {".csv", ".mat"}) {
    if (EndsWith(name, extension)) {
      return name.substr(0, name.size() - 4);
    }
  }
  return name;
}

std::string LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  return text;
}

RecordingInfo DescribeTracker(int model) {
  RecordingInfo info;
  info.model = model;
  zelSaccadrixGetFirmwareVersion(&info.firmware);
  char serial[64] = {};
  if (zelSaccadrixGetSerialNumber(serial, sizeof serial) == 0) {
    info.serial = serial;
  }
  info.started = LocalTimeNow();
  return info;
}

// A progress line: rewritten in place on a terminal, a line per second otherwise (logs).
class Progress {
 public:
  explicit Progress(double seconds)
      : seconds_(seconds), terminal_(isatty(fileno(stderr)) != 0), start_(Clock::now()) {}

  void Update(bool final) {
    const Clock::time_point now = Clock::now();
    const auto step = terminal_ ? std::chrono::milliseconds(250) : std::chrono::seconds(1);
    if (!final && now - last_ < step) {
      return;
    }
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    char text[160];
    if (seconds_ > 0) {
      std::snprintf(text, sizeof text, "recording %6.1f s of %.1f s, %d results", elapsed,
                    seconds_, zelSaccadrixGetResultsCount());
    } else {
      std::snprintf(text, sizeof text, "recording %6.1f s, %d results (Ctrl-C stops)", elapsed,
                    zelSaccadrixGetResultsCount());
    }
    if (terminal_) {
      std::fprintf(stderr, "\r%s\033[K%s", text, final ? "\n" : "");
    } else {
      std::fprintf(stderr, "%s\n", text);
    }
    std::fflush(stderr);
  }

  double Elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

 private:
  double seconds_;
  bool terminal_;
  Clock::time_point start_;
  Clock::time_point last_{};
};

double TrackedPercent(const std::vector<T_RESULTS_STRUCT>& records, int eye) {
  size_t tracked = 0;
  for (const T_RESULTS_STRUCT& r : records) {
    tracked += r.eye[eye].tracked != 0 ? 1 : 0;
  }
  return records.empty() ? 0.0 : 100.0 * static_cast<double>(tracked) /
                                     static_cast<double>(records.size());
}

void RunRecord(const RecordOptions& options) {
  CatchInterrupt();
  const std::string base = options.output.empty() ? std::string() : BaseName(options.output);
  const std::string csvPath = !options.csv.empty() ? options.csv
                              : base.empty()       ? std::string()
                                                   : base + ".csv";
  const std::string matPath = !options.mat.empty() ? options.mat
                              : base.empty()       ? std::string()
                                                   : base + ".mat";
  if (csvPath.empty() && matPath.empty()) {
    throw Failure(Exit::kUsage, "say where to write the recording: --output, --csv or --mat");
  }
  // Destinations that cannot be written are found out before the trial, not after it.
  std::optional<PendingFile> csvFile, matFile;
  if (!csvPath.empty()) csvFile.emplace(csvPath);
  if (!matPath.empty()) matFile.emplace(matPath);

  TrackerSession session;
  CheckStatus(Source::kDevice, zelSaccadrixSetResultsType(options.calibrated ? 1 : 0),
              "cannot choose the results type");
  const RecordingInfo info = DescribeTracker(session.model());
  if (Interrupted()) {
    throw Failure(Exit::kNoResults, "interrupted before the recording started; nothing written");
  }
  CheckStatus(Source::kDevice, zelSaccadrixStartTracking(), "cannot start the recording");
  Progress progress(options.seconds);
  const Clock::time_point end = DeadlineAfter(options.seconds);
  while (SleepUntil(std::min(end, Clock::now() + std::chrono::milliseconds(100)))) {
    progress.Update(false);
    if (Clock::now() >= end) break;
  }
  zelSaccadrixStopTracking();
  progress.Update(true);
  const double seconds = progress.Elapsed();

  const std::vector<T_RESULTS_STRUCT> records = TakeRecording();
  if (records.empty()) {
    throw Failure(Exit::kNoResults, "the tracker sent no results; nothing written");
  }
  if (options.calibrated && records.front().eye[0].calibrated == 0 &&
      records.front().eye[1].calibrated == 0) {
    std::fprintf(stderr, "warning: the tracker holds no gaze calibration; gaze values are zero\n");
  }
  std::printf("Recorded %zu results in %.2f s (%.0f/s); eye 0 tracked %.0f%%, eye 1 tracked "
              "%.0f%%\n",
              records.size(), seconds, static_cast<double>(records.size()) / seconds,
              TrackedPercent(records, 0), TrackedPercent(records, 1));
  // A file that fails (a full disk, say) does not keep the other from being written.
  std::optional<Failure> failed;
  auto write = [&](std::optional<PendingFile>& file, const auto& writer) {
    if (!file) return;
    try {
      writer(file->temporary());
      file->Commit();
      std::printf("Wrote %s\n", file->destination().c_str());
    } catch (const Failure& failure) {
      std::fprintf(stderr, "saccadrix: %s\n", failure.what());
      failed = failure;
    }
  };
  write(csvFile, [&](const std::string& path) { WriteCsv(path, records); });
  write(matFile, [&](const std::string& path) { WriteMat(path, records, info); });
  if (failed) {
    throw Failure(failed->exit(), "the recording could not be written whole (see above)");
  }
}

}  // namespace

void AddRecordCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<RecordOptions>();
  CLI::App* record = app.add_subcommand(
      "record", "Record a trial and write it as CSV and as a MATLAB/Octave MAT file");
  record->add_option("-o,--output", options->output,
                     "Base name of the files to write: BASE.csv and BASE.mat");
  record->add_option("--csv", options->csv, "Write the CSV file here (only, or instead of "
                     "BASE.csv)");
  record->add_option("--mat", options->mat, "Write the MAT file here (only, or instead of "
                     "BASE.mat)");
  record->add_option("-s,--seconds", options->seconds,
                     "Length of the trial in seconds (default: until Ctrl-C)")
      ->check(CLI::Range(0.001, kMaxSeconds));
  record->add_flag("-c,--calibrated", options->calibrated,
                   "Record calibrated results (gaze) instead of raw positions");
  record->footer(
      "The files hold 41 columns, in the order the MATLAB/Octave gateway returns a "
      "recording:\ntimestamp, results_type, eye0_pupil_x ... eye1_first_trigger_pin, "
      "digital_inputs, event_pin, unused.");
  record->callback([&action, options] { action = [options] { RunRecord(*options); }; });
}

}  // namespace saccadrix::cli
