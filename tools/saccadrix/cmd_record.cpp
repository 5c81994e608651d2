// saccadrix record: record a trial of any length and write it as CSV and as a MATLAB MAT
// file while it runs, with host-clock times for every result and the markers of the trial.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "export_files.h"
#include "saccadrix/saccadrix.h"
#include "session.h"
#include "status.h"

namespace saccadrix::cli {

namespace {

using Clock = std::chrono::steady_clock;

// Records taken out of the library at a time: the stored list frees them as they go.
constexpr int kDrainBlock = 4096;
// How often the stored list is drained into the files.
constexpr auto kDrainStep = std::chrono::milliseconds(100);
// The longest marker text the library keeps, in bytes.
constexpr size_t kMaxMarkerBytes = 255;

struct RecordOptions {
  std::string output;  // base name: <output>.csv, <output>.markers.csv and <output>.mat
  std::string csv;
  std::string mat;
  double seconds = 0;  // 0: until Ctrl-C
  bool calibrated = false;
  bool markersFromStdin = false;
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

// The markers go next to the CSV file: trial.csv -> trial.markers.csv.
std::string MarkersPath(const std::string& csvPath) {
  return (EndsWith(csvPath, ".csv") ? csvPath.substr(0, csvPath.size() - 4) : csvPath) +
         ".markers.csv";
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

  void Update(bool final, size_t results) {
    const Clock::time_point now = Clock::now();
    const auto step = terminal_ ? std::chrono::milliseconds(250) : std::chrono::seconds(1);
    if (!final && now - last_ < step) {
      return;
    }
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    char text[160];
    if (seconds_ > 0) {
      std::snprintf(text, sizeof text, "recording %6.1f s of %.1f s, %zu results", elapsed,
                    seconds_, results);
    } else {
      std::snprintf(text, sizeof text, "recording %6.1f s, %zu results (Ctrl-C stops)", elapsed,
                    results);
    }
    std::string line = text;
    const int markers = zelSaccadrixGetMarkerCount();
    if (markers > 0) line += ", " + std::to_string(markers) + " markers";
    if (terminal_) {
      std::fprintf(stderr, "\r%s\033[K%s", line.c_str(), final ? "\n" : "");
    } else {
      std::fprintf(stderr, "%s\n", line.c_str());
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

// The files of a recording, written while it runs. Each is created before the recording
// starts (a destination that cannot be written is found out first) and replaces its
// destination only when complete. A file that fails (a full disk, say) is given up at once
// and does not keep the others from being written.
class RecordingFiles {
 public:
  RecordingFiles(const std::string& csvPath, const std::string& matPath) {
    if (!csvPath.empty()) {
      csvFile_.emplace(csvPath);
      markersFile_.emplace(MarkersPath(csvPath));
    }
    if (!matPath.empty()) matFile_.emplace(matPath);
  }

  void Start() {
    if (csvFile_) csv_ = std::make_unique<CsvWriter>(csvFile_->temporary(), Times::kWith);
    if (matFile_) mat_ = std::make_unique<MatWriter>(matFile_->temporary(), Times::kWith);
  }

  // Hands the records to every file still being written; false when none is left.
  bool Append(const RecordBlock& block) {
    Attempt(csv_, [&] { csv_->Append(block); });
    Attempt(mat_, [&] { mat_->Append(block); });
    return csv_ || mat_;
  }

  // Completes the files, puts them in place and says so; throws when any of them failed.
  void Finish(const RecordingInfo& info, const std::vector<Marker>& markers) {
    bool csvWritten = false;
    Attempt(csv_, [&] {
      csv_->Finish();
      Commit(*csvFile_);
      csvWritten = true;
    });
    if (csvWritten) {
      try {
        WriteMarkersCsv(markersFile_->temporary(), markers);
        Commit(*markersFile_);
      } catch (const Failure& failure) {
        Report(failure);
      }
    }
    Attempt(mat_, [&] {
      mat_->Finish(info, markers);
      Commit(*matFile_);
    });
    csv_.reset();
    mat_.reset();
    if (failed_) {
      throw Failure(failed_->exit(), "the recording could not be written whole (see above)");
    }
  }

 private:
  // Runs work on a writer still in use; a writer that fails is given up at once, so that
  // its file descriptors and scratch space go.
  template <typename Writer, typename Work>
  void Attempt(std::unique_ptr<Writer>& writer, const Work& work) {
    if (!writer) return;
    try {
      work();
    } catch (const Failure& failure) {
      Report(failure);
      writer.reset();
    }
  }

  void Report(const Failure& failure) {
    std::fprintf(stderr, "%ssaccadrix: %s\n", isatty(fileno(stderr)) ? "\n" : "",
                 failure.what());
    failed_ = failure;
  }

  static void Commit(PendingFile& file) {
    file.Commit();
    std::printf("Wrote %s\n", file.destination().c_str());
  }

  std::optional<PendingFile> csvFile_, markersFile_, matFile_;
  std::unique_ptr<CsvWriter> csv_;
  std::unique_ptr<MatWriter> mat_;
  std::optional<Failure> failed_;
};

// Takes the stored records out of the library a block at a time, with their host and sample
// times, and hands them to the files. The library frees each block as it is read, so memory
// stays flat however long the recording runs.
class Drain {
 public:
  explicit Drain(RecordingFiles& files)
      : files_(files), records_(kDrainBlock), hostTimes_(kDrainBlock), sampleTimes_(kDrainBlock) {}

  // Takes every record stored so far; false when no file can take them any more.
  bool Step() {
    for (;;) {
      const int n = zelSaccadrixGetBufferedResults(records_.data(), hostTimes_.data(),
                                                   sampleTimes_.data(), kDrainBlock, 1);
      CheckStatus(Source::kDevice, n, "cannot read the recording");
      if (n == 0) return true;
      const size_t count = static_cast<size_t>(n);
      if (results_ == 0) firstRecord_ = records_[0];
      for (size_t i = 0; i < count; ++i) {
        tracked_[0] += records_[i].eye[0].tracked != 0 ? 1 : 0;
        tracked_[1] += records_[i].eye[1].tracked != 0 ? 1 : 0;
      }
      results_ += count;
      if (!files_.Append(RecordBlock{records_.data(), hostTimes_.data(), sampleTimes_.data(),
                                     count})) {
        return false;
      }
    }
  }

  size_t results() const { return results_; }
  const T_RESULTS_STRUCT& firstRecord() const { return firstRecord_; }
  double TrackedPercent(int eye) const {
    return results_ == 0 ? 0.0 : 100.0 * static_cast<double>(tracked_[eye]) /
                                     static_cast<double>(results_);
  }

 private:
  RecordingFiles& files_;
  std::vector<T_RESULTS_STRUCT> records_;
  std::vector<double> hostTimes_, sampleTimes_;
  size_t results_ = 0;
  size_t tracked_[2] = {0, 0};
  T_RESULTS_STRUCT firstRecord_{};
};

// Each line read from standard input while the recording runs becomes a marker, stamped on
// the host clock when the line arrives. The end of the input ends the markers, not the
// recording.
class StdinMarkers {
 public:
  StdinMarkers() : thread_([this] { Run(); }) {}
  ~StdinMarkers() {
    stop_ = true;
    thread_.join();
  }
  StdinMarkers(const StdinMarkers&) = delete;
  StdinMarkers& operator=(const StdinMarkers&) = delete;

 private:
  void Run() {
    // A line has at most kMaxMarkerBytes that count; a longer run without a line end is
    // taken as a line of its own rather than held without bound.
    constexpr size_t kLongestLine = 64 * 1024;
    std::string pending;
    char buffer[4096];
    while (!stop_) {
      pollfd input{STDIN_FILENO, POLLIN, 0};
      const int ready = poll(&input, 1, 50);  // wakes to look at stop_
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) {
        if (ready < 0) break;
        continue;
      }
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) break;
      pending.append(buffer, static_cast<size_t>(n));
      size_t start = 0;
      for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
        Add(pending.substr(start, end - start));
      }
      pending.erase(0, start);
      if (pending.size() > kLongestLine) {
        Add(pending);
        pending.clear();
      }
    }
    if (!pending.empty()) Add(pending);  // a last line without its line end
  }

  static void Add(std::string text) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.size() > kMaxMarkerBytes) {
      // Cut on a character boundary of UTF-8, and say so: the marker's time is kept.
      size_t cut = kMaxMarkerBytes;
      while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
      std::fprintf(stderr, "saccadrix: a marker of %zu bytes was cut to its first %zu\n",
                   text.size(), cut);
      text.resize(cut);
    }
    const int status = zelSaccadrixAddMarker(text.c_str());
    if (status != 0) {
      std::fprintf(stderr, "saccadrix: the marker '%s' was not stored (status %d)\n",
                   text.c_str(), status);
    }
  }

  std::atomic<bool> stop_{false};
  std::thread thread_;  // last: it starts once the members it uses exist
};

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
  RecordingFiles files(csvPath, matPath);

  TrackerSession session;
  CheckStatus(Source::kDevice, zelSaccadrixSetResultsType(options.calibrated ? 1 : 0),
              "cannot choose the results type");
  const RecordingInfo info = DescribeTracker(session.model());
  if (Interrupted()) {
    throw Failure(Exit::kNoResults, "interrupted before the recording started; nothing written");
  }
  files.Start();
  Drain drain(files);
  CheckStatus(Source::kDevice, zelSaccadrixStartTracking(), "cannot start the recording");
  std::optional<StdinMarkers> markerInput;
  if (options.markersFromStdin) {
    if (isatty(STDIN_FILENO) != 0) {
      std::fprintf(stderr, "Type a line and press Enter to add a marker.\n");
    }
    markerInput.emplace();
  }
  Progress progress(options.seconds);
  const Clock::time_point end = DeadlineAfter(options.seconds);
  bool writable = true;
  while (writable && SleepUntil(std::min(end, Clock::now() + kDrainStep))) {
    writable = drain.Step();
    progress.Update(false, drain.results());
    if (Clock::now() >= end) break;
  }
  markerInput.reset();
  zelSaccadrixStopTracking();
  writable = writable && drain.Step();
  progress.Update(true, drain.results());
  if (!writable) {
    throw Failure(Exit::kOutputFile, "no file could take the recording any more; it stopped");
  }
  const double seconds = progress.Elapsed();

  if (drain.results() == 0) {
    throw Failure(Exit::kNoResults, "the tracker sent no results; nothing written");
  }
  if (options.calibrated && drain.firstRecord().eye[0].calibrated == 0 &&
      drain.firstRecord().eye[1].calibrated == 0) {
    std::fprintf(stderr, "warning: the tracker holds no gaze calibration; gaze values are zero\n");
  }
  const std::vector<Marker> markers = RecordingMarkers();
  std::printf("Recorded %zu results in %.2f s (%.0f/s); eye 0 tracked %.0f%%, eye 1 tracked "
              "%.0f%%; %zu markers\n",
              drain.results(), seconds, static_cast<double>(drain.results()) / seconds,
              drain.TrackedPercent(0), drain.TrackedPercent(1), markers.size());
  files.Finish(info, markers);
}

}  // namespace

void AddRecordCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<RecordOptions>();
  CLI::App* record = app.add_subcommand(
      "record", "Record a trial of any length as CSV and as a MATLAB/Octave MAT file, with "
                "host-clock times and markers");
  record->add_option("-o,--output", options->output,
                     "Base name of the files to write: BASE.csv, BASE.markers.csv and BASE.mat");
  record->add_option("--csv", options->csv, "Write the CSV file here (only, or instead of "
                     "BASE.csv); its markers go to the same name ending in .markers.csv");
  record->add_option("--mat", options->mat, "Write the MAT file here (only, or instead of "
                     "BASE.mat)");
  record->add_option("-s,--seconds", options->seconds,
                     "Length of the trial in seconds (default: until Ctrl-C)")
      ->check(CLI::Range(0.001, kMaxSeconds));
  record->add_flag("-c,--calibrated", options->calibrated,
                   "Record calibrated results (gaze) instead of raw positions");
  record->add_flag("--markers-from-stdin", options->markersFromStdin,
                   "Each line read from standard input while recording becomes a marker, "
                   "stamped on the host clock when it arrives");
  record->footer(
      "The files hold 43 columns: first the 41 in the order the MATLAB/Octave gateway returns "
      "a recording\n(timestamp, results_type, eye0_pupil_x ... eye1_first_trigger_pin, "
      "digital_inputs, event_pin, unused),\nthen host_time (when the host read the result) and "
      "sample_time (when its sample became readable,\nas the device-to-host clock mapping "
      "estimates it), both seconds on the host's monotonic clock.\nMarkers (text with a host "
      "time and the tracker timestamp of that moment) go to BASE.markers.csv\n(host_time,"
      "timestamp,text) and to the MAT variables marker_time, marker_timestamp (uint64) and\n"
      "marker_text. The files are written while recording, so memory stays flat however long "
      "the\ntrial; each replaces its destination only when complete. A MAT file holds up to "
      "536 870 000\nresults (9.3 hours at 16 000 a second); the CSV file has no limit.");
  record->callback([&action, options] { action = [options] { RunRecord(*options); }; });
}

}  // namespace saccadrix::cli
