// saccadrix stream: follow the tracker's results live, with the rate at which they arrive.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "commands.h"
#include "live_format.h"
#include "result_columns.h"
#include "saccadrix/saccadrix.h"
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
};

double SecondsBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void RunStream(const StreamOptions& options) {
  CatchInterrupt();
  TrackerSession session;
  CheckStatus(Source::kDevice, zelSaccadrixSetResultsType(options.calibrated ? 1 : 0),
              "cannot choose the results type");
  zelSaccadrixFlushResults();

  // With --csv every record goes to standard output, so the readout goes to standard error.
  std::FILE* readout = options.csv ? stderr : stdout;
  if (options.csv) {
    std::printf("%s\n", CsvHeader().c_str());
  }
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
      if (options.csv) {
        std::printf("%s\n", CsvLine(record).c_str());
      }
      if (left == 0) break;
    }
    if (left == SACCADRIX_E_NO_DEVICE) {
      CheckStatus(Source::kDevice, left, "the connection ended");
    }
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
  const double seconds = SecondsBetween(start, Clock::now());
  std::fprintf(readout, "%llu results in %.2f s (%.0f/s)\n",
               static_cast<unsigned long long>(total), seconds,
               seconds > 0 ? static_cast<double>(total) / seconds : 0.0);
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
                   "'record'); the readout goes to standard error");
  stream->callback([&action, options] { action = [options] { RunStream(*options); }; });
}

}  // namespace saccadrix::cli
