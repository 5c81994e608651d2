// saccadrix stream: follow the tracker's results live, with the rate at which they arrive,
// and with --events the eye-movement events the library detects in them.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "commands.h"
#include "live_format.h"
#include "result_columns.h"
#include "saccadrix/saccadrix.h"
#include "saccadrix/saccadrix_events.h"
#include "session.h"
#include "status.h"

namespace saccadrix::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct StreamOptions {
  double seconds = 0;  // 0: until Ctrl-C
  double interval = 0.5;
  bool calibrated = false;
  bool csv = false;
  bool events = false;
  int eye = -1;  // with events: -1 both eyes
  std::string load;
};

// Prints the queued events (one line each, or CSV rows) and counts them.
void TakeEvents(bool csv, double origin, EventCounts& counts) {
  T_EVENT_STRUCT event;
  while (zelSaccadrixGetEvent(&event) == 1) {
    counts.Add(event);
    if (event.dropped != 0 && !csv) {
      std::printf("(%u events dropped from the full queue)\n", event.dropped);
    }
    std::printf("%s\n", (csv ? EventCsvLine(event) : EventLine(event, origin)).c_str());
  }
}

double SecondsBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void RunStream(const StreamOptions& options) {
  CatchInterrupt();
  TrackerSession session;
  if (!options.load.empty()) {
    CheckStatus(Source::kDevice, zelSaccadrixLoadCalibration(options.load.c_str()),
                "cannot load the calibration from '" + options.load + "'");
  }
  // Events are detected on calibrated results only.
  const bool calibrated = options.calibrated || options.events;
  CheckStatus(Source::kDevice, zelSaccadrixSetResultsType(calibrated ? 1 : 0),
              "cannot choose the results type");
  zelSaccadrixFlushResults();
  EventCounts counts;
  double origin = 0;  // readable event lines count from here
  zelSaccadrixGetHostClock(&origin);
  if (options.events) {
    CheckStatus(Source::kDevice, zelSaccadrixSetEventDetection(options.eye, 1, nullptr),
                "cannot turn on event detection");
    T_EVENT_STRUCT stale;
    while (zelSaccadrixGetEvent(&stale) == 1) {
    }
  }

  // With --csv or --events standard output carries the results or the events, so the
  // readout goes to standard error.
  std::FILE* readout = options.csv || options.events ? stderr : stdout;
  if (options.csv) {
    std::printf("%s\n", options.events ? EventCsvHeader().c_str() : CsvHeader().c_str());
  }
  bool warned = false;
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = DeadlineAfter(options.seconds);
  const auto interval = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(options.interval));

  uint64_t total = 0;
  uint64_t sinceReadout = 0;
  bool haveRecord = false;
  T_RESULTS_STRUCT last{};
  Clock::time_point lastReadout = start;
  for (;;) {
    T_RESULTS_STRUCT record;
    int left = 0;
    while ((left = zelSaccadrixGetResult(&record)) >= 0) {
      ++total;
      ++sinceReadout;
      last = record;
      haveRecord = true;
      if (options.csv && !options.events) {
        std::printf("%s\n", CsvLine(record).c_str());
      }
      if (options.events && !warned && record.eye[0].calibrated == 0 &&
          record.eye[1].calibrated == 0) {
        std::fprintf(stderr, "warning: the tracker holds no gaze calibration: without gaze "
                             "every sample is lost (a blink); store one first (--load FILE)\n");
        warned = true;
      }
      if (left == 0) break;
    }
    if (left == SACCADRIX_E_NO_DEVICE) {
      CheckStatus(Source::kDevice, left, "the connection ended");
    }
    if (options.events) TakeEvents(options.csv, origin, counts);
    const Clock::time_point now = Clock::now();
    const bool finished = Interrupted() || now >= end;
    if (now - lastReadout >= interval || finished) {
      const double elapsed = SecondsBetween(lastReadout, now);
      const double rate = elapsed > 0 ? static_cast<double>(sinceReadout) / elapsed : 0;
      std::fprintf(readout, "%7.2f s %6.0f/s  %s\n", SecondsBetween(start, now), rate,
                   haveRecord ? LiveLine(last).c_str() : "no results yet");
      std::fflush(readout);
      std::fflush(stdout);
      sinceReadout = 0;
      lastReadout = now;
    }
    if (finished) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (options.events) {
    zelSaccadrixSetEventDetection(options.eye, 0, nullptr);
    TakeEvents(options.csv, origin, counts);
    std::fflush(stdout);
  }
  const double seconds = SecondsBetween(start, Clock::now());
  std::fprintf(readout, "%llu results in %.2f s (%.0f/s)\n",
               static_cast<unsigned long long>(total), seconds,
               seconds > 0 ? static_cast<double>(total) / seconds : 0.0);
  if (options.events) {
    std::fprintf(readout, "events: %s; %llu dropped from the full queue\n",
                 counts.Summary().c_str(), counts.dropped);
  }
  if (total == 0) {
    throw Failure(Exit::kNoResults, "the tracker sent no results");
  }
}

}  // namespace

void AddStreamCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<StreamOptions>();
  CLI::App* stream = app.add_subcommand(
      "stream", "Follow the tracker's results live, with the rate at which they arrive");
  stream->add_option("-s,--seconds", options->seconds, "Stop after this many seconds "
                     "(default: run until Ctrl-C)")
      ->check(CLI::Range(0.001, kMaxSeconds));
  stream->add_option("-i,--interval", options->interval,
                     "Seconds between two readout lines (default 0.5)")
      ->check(CLI::Range(0.01, 3600.0));
  stream->add_flag("-c,--calibrated", options->calibrated,
                   "Calibrated results (gaze) instead of raw pupil and reflection positions");
  stream->add_flag("--csv", options->csv,
                   "Write every result to standard output as a CSV line (the columns of "
                   "'record'); the readout goes to standard error. With --events: the events "
                   "as CSV rows instead");
  CLI::Option* events = stream->add_flag("--events", options->events,
                   "Detect fixations, saccades, PSOs, pursuit and blinks live and print each "
                   "event on standard output as the library queues it (a START line when it "
                   "begins, an END line with the whole event; times in seconds since the start), instead of results; implies "
                   "--calibrated; the readout and, at the end, the count of events and of "
                   "those dropped go to standard error");
  stream->add_option("--eye", options->eye, "With --events: detect on this eye only (0 or 1; "
                     "default both)")
      ->check(CLI::Range(0, 1))
      ->needs(events);
  stream->add_option("--load", options->load,
                     "Store this calibration file on the tracker first");
  stream->callback([&action, options] { action = [options] { RunStream(*options); }; });
}

}  // namespace saccadrix::cli
