#include "events_input.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "saccadrix/saccadrix_events.h"
#include "status.h"

namespace saccadrix::cli {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr size_t kNone = static_cast<size_t>(-1);

std::string Trim(const std::string& text) {
  size_t a = 0, b = text.size();
  while (a < b && (text[a] == ' ' || text[a] == '\t' || text[a] == '"')) ++a;
  while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t' || text[b - 1] == '"' ||
                   text[b - 1] == '\r')) {
    --b;
  }
  return text.substr(a, b - a);
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = line.find(',', start);
    fields.push_back(Trim(line.substr(start, comma == std::string::npos ? std::string::npos
                                                                         : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return fields;
}

class Reader {
 public:
  Reader(const std::string& name, const EventInputOptions& options)
      : name_(name), options_(options) {}

  [[noreturn]] void Fail(size_t line, const std::string& what) const {
    throw Failure(Exit::kUsage, "cannot find events in '" + name_ + "'" +
                                    (line > 0 ? " (line " + std::to_string(line) + ")" : "") +
                                    ": " + what);
  }

  // An empty field, NaN or an infinity is no value (NaN); anything else must be a number.
  double Number(const std::vector<std::string>& fields, size_t column, size_t line) const {
    const std::string& text = fields[column];
    if (text.empty()) return kNaN;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0') {
      Fail(line, "'" + text + "' in column " + header_[column] + " is not a number");
    }
    return std::isfinite(value) ? value : kNaN;
  }

  size_t Find(const std::string& column) const {
    for (size_t i = 0; i < header_.size(); ++i) {
      if (header_[i] == column) return i;
    }
    return kNone;
  }

  EventInput Read(std::istream& in) {
    std::string line;
    size_t lineNumber = 0;
    while (std::getline(in, line)) {
      ++lineNumber;
      if (!Trim(line).empty()) break;
    }
    if (Trim(line).empty()) Fail(0, "the file is empty");
    header_ = SplitFields(line);
    SetUp(lineNumber);
    while (std::getline(in, line)) {
      ++lineNumber;
      if (Trim(line).empty()) continue;
      const std::vector<std::string> fields = SplitFields(line);
      if (fields.size() < needed_) {
        Fail(lineNumber, "the row has " + std::to_string(fields.size()) +
                             " fields, fewer than the header's " + std::to_string(header_.size()));
      }
      Row(fields, lineNumber);
      ++input_.rows;
    }
    if (in.bad()) Fail(0, "the file could not be read");
    Finish();
    return std::move(input_);
  }

 private:
  struct EyeColumns {
    size_t gx = kNone, gy = kNone, gz = kNone, tracked = kNone;
  };

  void SetUp(size_t line) {
    time_ = Find("time_s");
    x_ = Find("x_deg");
    y_ = Find("y_deg");
    if (time_ != kNone && x_ != kNone && y_ != kNone) {
      input_.series.emplace_back();
      needed_ = std::max({time_, x_, y_}) + 1;
      return;
    }
    timestamp_ = Find("timestamp");
    resultsType_ = Find("results_type");
    sampleTime_ = Find("sample_time");
    if (timestamp_ == kNone || resultsType_ == kNone) {
      Fail(line, "the header names neither time_s, x_deg and y_deg nor the columns of a "
                 "recording (timestamp, results_type, ...)");
    }
    input_.recording = true;
    needed_ = std::max(timestamp_, resultsType_) + 1;
    for (int eye = 0; eye < 2; ++eye) {
      if (options_.eye >= 0 && eye != options_.eye) continue;
      const std::string prefix = "eye" + std::to_string(eye) + "_";
      EyeColumns c{Find(prefix + "gaze_x"), Find(prefix + "gaze_y"), Find(prefix + "gaze_z"),
                   Find(prefix + "tracked")};
      if (c.gx == kNone || c.gy == kNone || c.gz == kNone || c.tracked == kNone) {
        Fail(line, "the recording has no gaze columns for eye " + std::to_string(eye));
      }
      needed_ = std::max({needed_, c.gx + 1, c.gy + 1, c.gz + 1, c.tracked + 1});
      eyes_.push_back(c);
      GazeSeries series;
      series.eye = eye;
      input_.series.push_back(series);
    }
    if (sampleTime_ != kNone) {
      needed_ = std::max(needed_, sampleTime_ + 1);
    } else {
      char text[160];
      std::snprintf(text, sizeof text,
                    "the recording has no sample_time column: times are its timestamp / %g s "
                    "(--timestamp-rate sets the tracker's timestamp ticks per second)",
                    options_.timestampRate);
      input_.notes.push_back(text);
    }
  }

  void Add(GazeSeries& s, double t, double x, double y) {
    if (!(t > lastTime_)) {
      ++dropped_;
      return;
    }
    s.time.push_back(t);
    s.x.push_back(x);
    s.y.push_back(y);
    s.row.push_back(input_.rows);
    s.valid += std::isfinite(x) && std::isfinite(y);
  }

  void Row(const std::vector<std::string>& f, size_t line) {
    if (!input_.recording) {
      const double t = Number(f, time_, line);
      Add(input_.series[0], t, Number(f, x_, line), Number(f, y_, line));
      if (t > lastTime_) lastTime_ = t;
      return;
    }
    if (Number(f, resultsType_, line) != 1) {
      Fail(line, "the recording holds raw results (results_type 0); events need calibrated "
                 "gaze: record with --calibrated");
    }
    double t = kNaN;
    if (sampleTime_ != kNone) {
      t = Number(f, sampleTime_, line);
    } else {
      t = Number(f, timestamp_, line) / options_.timestampRate;
    }
    for (size_t e = 0; e < eyes_.size(); ++e) {
      double x = kNaN, y = kNaN;
      if (Number(f, eyes_[e].tracked, line) == 1) {
        zelSaccadrixGazeDirection(Number(f, eyes_[e].gx, line), Number(f, eyes_[e].gy, line),
                                  Number(f, eyes_[e].gz, line), &x, &y);
      }
      Add(input_.series[e], t, x, y);
    }
    if (t > lastTime_) lastTime_ = t;
  }

  void Finish() {
    const size_t perRow = input_.series.empty() ? 1 : input_.series.size();
    if (dropped_ > 0) {
      input_.notes.push_back(std::to_string(dropped_ / perRow) +
                             " rows without a time after the row before were left out "
                             "(labelled 0)");
    }
  }

  std::string name_;
  EventInputOptions options_;
  std::vector<std::string> header_;
  size_t needed_ = 0;
  size_t time_ = kNone, x_ = kNone, y_ = kNone;
  size_t timestamp_ = kNone, resultsType_ = kNone, sampleTime_ = kNone;
  std::vector<EyeColumns> eyes_;
  double lastTime_ = -std::numeric_limits<double>::infinity();
  size_t dropped_ = 0;
  EventInput input_;
};

}  // namespace

EventInput ReadEventInput(std::istream& in, const std::string& name,
                          const EventInputOptions& options) {
  return Reader(name, options).Read(in);
}

}  // namespace saccadrix::cli
