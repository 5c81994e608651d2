// saccadrix events: fixations, saccades, PSOs, pursuit and blinks in a recording or any CSV
// of gaze directions, as a table of events or one label per sample.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "events_input.h"
#include "saccadrix/saccadrix_events.h"
#include "status.h"

namespace saccadrix::cli {

namespace {

struct EventsOptions {
  std::string file = "-";
  int eye = -1;
  bool perSample = false;
  double timestampRate = 1000;
};

const char* TypeName(int type) {
  static const char* const kNames[] = {"undefined", "fixation", "saccade", "pso", "pursuit",
                                       "blink"};
  return type >= 0 && type <= 5 ? kNames[type] : "?";
}

double MedianInterval(const std::vector<double>& t) {
  if (t.size() < 2) return 0;
  std::vector<double> d(t.size() - 1);
  for (size_t i = 1; i < t.size(); ++i) d[i - 1] = t[i] - t[i - 1];
  std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2), d.end());
  return d[d.size() / 2];
}

struct Detection {
  std::vector<int8_t> labels;
  std::vector<T_EVENT_STRUCT> events;
};

Detection Detect(const GazeSeries& s) {
  Detection d;
  if (s.time.size() > static_cast<size_t>(INT32_MAX)) {
    throw Failure(Exit::kUsage, "too many samples for one detection");
  }
  const int n = static_cast<int>(s.time.size());
  d.labels.resize(s.time.size());
  int count = 0;
  CheckStatus(Source::kDevice,
              zelSaccadrixDetectEvents(s.time.data(), s.x.data(), s.y.data(), n, d.labels.data(),
                                       nullptr, nullptr, 0, &count),
              "cannot detect events");
  d.events.resize(static_cast<size_t>(count));
  CheckStatus(Source::kDevice,
              zelSaccadrixDetectEvents(s.time.data(), s.x.data(), s.y.data(), n, nullptr, nullptr,
                                       d.events.data(), count, &count),
              "cannot detect events");
  return d;
}

void PrintTable(const EventInput& input, const std::vector<Detection>& found) {
  std::printf("eye,type,start_s,end_s,duration_s,start_x_deg,start_y_deg,end_x_deg,end_y_deg,"
              "amplitude_deg,peak_velocity_deg_s,mean_x_deg,mean_y_deg\n");
  for (size_t k = 0; k < input.series.size(); ++k) {
    const GazeSeries& s = input.series[k];
    const double interval = MedianInterval(s.time);
    const std::string eye = s.eye < 0 ? "-" : std::to_string(s.eye);
    for (const T_EVENT_STRUCT& e : found[k].events) {
      // Duration: the time the samples cover, one sample interval each.
      std::printf("%s,%s,%.6f,%.6f,%.6f,%.4f,%.4f,%.4f,%.4f,%.4f,%.2f,%.4f,%.4f\n", eye.c_str(),
                  TypeName(e.type), e.startTime, e.endTime, e.endTime - e.startTime + interval,
                  e.startX, e.startY, e.endX, e.endY, e.amplitude, e.peakVelocity, e.meanX,
                  e.meanY);
    }
  }
}

void Summarise(const EventInput& input, const std::vector<Detection>& found) {
  for (size_t k = 0; k < input.series.size(); ++k) {
    size_t count[6] = {};
    for (const T_EVENT_STRUCT& e : found[k].events) {
      if (e.type >= 0 && e.type <= 5) ++count[e.type];
    }
    const GazeSeries& s = input.series[k];
    std::fprintf(stderr,
                 "%s%zu samples: %zu fixations, %zu saccades, %zu PSOs, %zu pursuits, "
                 "%zu blinks or losses\n",
                 s.eye < 0 ? "" : ("eye " + std::to_string(s.eye) + ": ").c_str(), s.time.size(),
                 count[1], count[2], count[3], count[4], count[5]);
  }
}

void RunEvents(const EventsOptions& options) {
  EventInputOptions read;
  read.eye = options.eye;
  read.timestampRate = options.timestampRate;
  EventInput input;
  if (options.file == "-") {
    input = ReadEventInput(std::cin, "standard input", read);
  } else {
    std::ifstream file(options.file, std::ios::binary);
    if (!file) {
      throw Failure(Exit::kUsage,
                    "cannot open '" + options.file + "': " + std::strerror(errno));
    }
    input = ReadEventInput(file, options.file, read);
  }
  // A recording's eye that never had a position (a tracker of one eye) is left out unless
  // asked for.
  if (input.recording && options.eye < 0) {
    std::vector<GazeSeries> kept;
    for (GazeSeries& s : input.series) {
      if (s.valid > 0) {
        kept.push_back(std::move(s));
      } else {
        input.notes.push_back("eye " + std::to_string(s.eye) + " has no gaze: left out");
      }
    }
    if (kept.empty()) kept.push_back(std::move(input.series[0]));
    input.series = std::move(kept);
  }
  if (options.perSample && input.series.size() > 1) {
    throw Failure(Exit::kUsage,
                  "--per-sample writes one label per row: choose an eye with --eye 0 or --eye 1");
  }
  for (const std::string& note : input.notes) std::fprintf(stderr, "note: %s\n", note.c_str());

  std::vector<Detection> found;
  for (const GazeSeries& s : input.series) found.push_back(Detect(s));

  if (options.perSample) {
    std::vector<int8_t> rows(input.rows, SACCADRIX_EVENT_UNDEFINED);
    const GazeSeries& s = input.series[0];
    for (size_t i = 0; i < s.row.size(); ++i) rows[s.row[i]] = found[0].labels[i];
    std::string out;
    out.reserve(rows.size() * 2);
    for (int8_t label : rows) {
      out += static_cast<char>('0' + label);
      out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
  } else {
    PrintTable(input, found);
  }
  Summarise(input, found);
  if (std::fflush(stdout) != 0) {
    throw Failure(Exit::kOutputFile, std::string("cannot write the events: ") + std::strerror(errno));
  }
}

}  // namespace

void AddEventsCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<EventsOptions>();
  CLI::App* events = app.add_subcommand(
      "events",
      "Find fixations, saccades, PSOs, smooth pursuit and blinks in a calibrated recording "
      "of 'record' or in a CSV with the columns time_s, x_deg and y_deg; no tracker needed");
  events->add_option("FILE", options->file, "CSV file to read, - for standard input (default)");
  events->add_option("--eye", options->eye, "Recordings: only this eye (default: every eye "
                                            "with gaze)")
      ->check(CLI::Range(0, 1));
  events->add_flag("--per-sample", options->perSample,
                   "Write one label per input row instead of the table: 1 fixation, 2 "
                   "saccade, 3 PSO, 4 pursuit, 5 blink or lost, 0 undefined");
  events->add_option("--timestamp-rate", options->timestampRate,
                     "Recordings without a sample_time column: timestamp ticks per second "
                     "(default 1000)")
      ->check(CLI::Range(1e-3, 1e12));
  events->callback([&action, options] { action = [options] { RunEvents(*options); }; });
}

}  // namespace saccadrix::cli
