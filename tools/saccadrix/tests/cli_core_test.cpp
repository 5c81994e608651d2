// The CLI's parts that do not need a tracker: number parsing, the result columns, the status
// table, and the CSV/MAT files with their all-or-nothing replacement.
#include <gtest/gtest.h>
#include <matio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "export_files.h"
#include "live_format.h"
#include "parse.h"
#include "result_columns.h"
#include "saccadrix/saccadrix.h"
#include "status.h"

using namespace saccadrix::cli;

namespace {

Exit FailureExit(const std::function<void()>& f) {
  try {
    f();
  } catch (const Failure& failure) {
    return failure.exit();
  }
  return Exit::kOk;
}

// A record whose every field holds a value of its own, so a column that reads the wrong
// field or eye shows up.
T_RESULTS_STRUCT DistinctRecord() {
  T_RESULTS_STRUCT r{};
  r.size = 155;
  r.timestamp = 9007199254740993ULL;  // 2^53 + 1: not exact as a double
  r.resultsType = 1;
  for (int e = 0; e < 2; ++e) {
    T_EYE_RESULTS& eye = r.eye[e];
    eye.triggerMask = 0xFFFF;
    for (int s = 0; s < 15; ++s) eye.values[s] = static_cast<float>(100 * e + s) + 0.25f;
    eye.tracked = 1;
    eye.statusBit0 = static_cast<uint8_t>(e);
    eye.calibrated = static_cast<uint8_t>(1 - e);
    eye.reserved = 0;
    eye.firstTriggerPin = static_cast<uint8_t>(10 + e);
  }
  r.digitalInputs = 0xDEADBEEF;
  r.eventPin = 7;
  return r;
}

std::string TempDir() {
  char name[] = "/tmp/saccadrix-cli-test.XXXXXX";
  const char* dir = mkdtemp(name);
  return dir != nullptr ? dir : "/tmp";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

// ---- Parsing -------------------------------------------------------------------------------

TEST(Parse, integers_are_whole_decimal_or_0x_hex_within_range) {
  EXPECT_EQ(ParseInteger("42", 0, 100, "n"), 42);
  EXPECT_EQ(ParseInteger("-3", -5, 5, "n"), -3);
  EXPECT_EQ(ParseInteger("0x1f", 0, 100, "n"), 31);
  EXPECT_EQ(ParseInteger("010", 0, 100, "n"), 10);  // a leading zero is not octal
  EXPECT_EQ(ParseInteger("2147483647", INT32_MIN, INT32_MAX, "n"), INT32_MAX);
}

TEST(Parse, integers_refuse_garbage_overflow_and_out_of_range_as_usage_errors) {
  for (const char* bad : {"", "12x", "x12", " 12", "1.5", "0x", "99999999999999999999999"}) {
    EXPECT_EQ(FailureExit([&] { ParseInteger(bad, INT32_MIN, INT32_MAX, "n"); }), Exit::kUsage)
        << bad;
  }
  EXPECT_EQ(FailureExit([] { ParseInteger("33", 1, 32, "pin"); }), Exit::kUsage);
  EXPECT_EQ(FailureExit([] { ParseInteger("0", 1, 32, "pin"); }), Exit::kUsage);
  EXPECT_EQ(FailureExit([] { ParseInteger("2147483648", INT32_MIN, INT32_MAX, "n"); }),
            Exit::kUsage);
}

TEST(Parse, numbers_must_be_finite_and_whole_text) {
  EXPECT_DOUBLE_EQ(ParseNumber("2.5", "x"), 2.5);
  EXPECT_DOUBLE_EQ(ParseNumber("-1e-3", "x"), -1e-3);
  for (const char* bad : {"", "nan", "inf", "-inf", "1e999", "2.5mm", "abc"}) {
    EXPECT_EQ(FailureExit([&] { ParseNumber(bad, "x"); }), Exit::kUsage) << bad;
  }
}

TEST(Parse, switches_take_the_usual_spellings_only) {
  EXPECT_TRUE(ParseSwitch("on", "s"));
  EXPECT_TRUE(ParseSwitch("1", "s"));
  EXPECT_FALSE(ParseSwitch("off", "s"));
  EXPECT_FALSE(ParseSwitch("false", "s"));
  EXPECT_EQ(FailureExit([] { ParseSwitch("2", "s"); }), Exit::kUsage);
  EXPECT_EQ(FailureExit([] { ParseSwitch("ON ", "s"); }), Exit::kUsage);
}

TEST(Parse, hex_records_need_exactly_their_length_in_pairs) {
  const std::vector<uint8_t> bytes = ParseHexBytes("0a:1B ff-00", 4, "r");
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x0a, 0x1b, 0xff, 0x00}));
  EXPECT_EQ(HexBytes(bytes.data(), bytes.size()), "0a1bff00");
  EXPECT_EQ(FailureExit([] { ParseHexBytes("0a1b", 3, "r"); }), Exit::kUsage);
  EXPECT_EQ(FailureExit([] { ParseHexBytes("0a1b0", 3, "r"); }), Exit::kUsage);
  EXPECT_EQ(FailureExit([] { ParseHexBytes("0a:b1:c", 3, "r"); }), Exit::kUsage);
  EXPECT_EQ(FailureExit([] { ParseHexBytes("0g1b2c", 3, "r"); }), Exit::kUsage);
}

// ---- Result columns ------------------------------------------------------------------------

// Output k of the gateway's results export, as the gateway documentation lists it: the
// pupil centre before the reflection centre in each eye, 20 columns per eye, then the digital
// inputs, the event pin and an all-zero column.
TEST(ResultColumns, follow_the_gateway_order_field_by_field) {
  ASSERT_EQ(kColumnCount, 41u);
  const T_RESULTS_STRUCT r = DistinctRecord();
  const int slotsInOrder[] = {2, 3, 0, 1, 4, 5, 8, 9, 10, 11, 12, 13, 14};
  EXPECT_EQ(ColumnValue(r, kColumns[0]), 9007199254740992.0);  // rounded to nearest double
  EXPECT_EQ(ColumnValue(r, kColumns[1]), 1.0);
  for (int e = 0; e < 2; ++e) {
    const size_t base = 2 + 18 * static_cast<size_t>(e);
    for (size_t k = 0; k < 13; ++k) {
      EXPECT_EQ(ColumnValue(r, kColumns[base + k]), 100.0 * e + slotsInOrder[k] + 0.25)
          << kColumns[base + k].name;
    }
    EXPECT_EQ(ColumnValue(r, kColumns[base + 13]), 1.0);            // tracked
    EXPECT_EQ(ColumnValue(r, kColumns[base + 14]), e);              // status bit 0
    EXPECT_EQ(ColumnValue(r, kColumns[base + 15]), 1 - e);          // calibrated
    EXPECT_EQ(ColumnValue(r, kColumns[base + 16]), 0.0);            // reserved
    EXPECT_EQ(ColumnValue(r, kColumns[base + 17]), 10.0 + e);       // first trigger pin
  }
  EXPECT_EQ(ColumnValue(r, kColumns[38]), 3735928559.0);
  EXPECT_EQ(ColumnValue(r, kColumns[39]), 7.0);
  EXPECT_EQ(ColumnValue(r, kColumns[40]), 0.0);
  EXPECT_STREQ(kColumns[2].name, "eye0_pupil_x");
  EXPECT_STREQ(kColumns[25].name, "eye1_list_value2");
  EXPECT_STREQ(kColumns[40].name, "unused");
}

TEST(ResultColumns, names_are_unique_matlab_identifiers) {
  for (size_t i = 0; i < kColumnCount; ++i) {
    const std::string name = kColumns[i].name;
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(name[0]))) << name;
    EXPECT_LE(name.size(), 63u) << name;
    for (char c : name) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    for (size_t j = i + 1; j < kColumnCount; ++j) EXPECT_NE(name, kColumns[j].name);
  }
}

TEST(ResultColumns, csv_keeps_the_exact_timestamp_and_float_values) {
  T_RESULTS_STRUCT r = DistinctRecord();
  r.timestamp = std::numeric_limits<uint64_t>::max();
  r.eye[0].values[2] = 0.1f;
  const std::string line = CsvLine(r);
  EXPECT_EQ(line.rfind("18446744073709551615,1,", 0), 0u) << line;
  // The third field reads back as the same single-precision value.
  std::vector<std::string> fields;
  std::stringstream s(line);
  for (std::string f; std::getline(s, f, ',');) fields.push_back(f);
  ASSERT_EQ(fields.size(), 41u);
  EXPECT_EQ(std::strtof(fields[2].c_str(), nullptr), 0.1f);
  EXPECT_EQ(fields[38], "3735928559");
  EXPECT_EQ(fields[40], "0");
  const std::string header = CsvHeader();
  EXPECT_EQ(std::count(header.begin(), header.end(), ','), 40);
}

TEST(ResultColumns, csv_spells_non_finite_values_as_matlab_reads_them) {
  T_RESULTS_STRUCT r{};
  r.eye[0].values[2] = std::numeric_limits<float>::quiet_NaN();
  r.eye[0].values[3] = -std::numeric_limits<float>::quiet_NaN();
  r.eye[0].values[0] = std::numeric_limits<float>::infinity();
  r.eye[0].values[1] = -std::numeric_limits<float>::infinity();
  EXPECT_EQ(CsvLine(r).rfind("0,0,NaN,NaN,Inf,-Inf,", 0), 0u) << CsvLine(r);
}

// ---- Live events ----------------------------------------------------------------------------

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream s(line + ",");  // a last empty field survives
  for (std::string f; std::getline(s, f, ',');) fields.push_back(f);
  return fields;
}

TEST(LiveEvents, csv_rows_match_the_header_and_leave_what_a_start_lacks_empty) {
  T_EVENT_STRUCT start{};
  start.type = SACCADRIX_EVENT_SACCADE;
  start.eye = 1;
  start.phase = SACCADRIX_EVENT_START;
  start.startTime = 12.5;
  start.startX = std::nan("");  // a position lost at the start
  start.startY = 2;
  start.detectedTime = 12.503;
  start.startTimestamp = 18446744073709551615ull;
  T_EVENT_STRUCT end = start;
  end.phase = SACCADRIX_EVENT_END;
  end.flags = SACCADRIX_EVENT_FLAG_CUT | SACCADRIX_EVENT_FLAG_REJECTED;
  end.endTime = 12.55;
  end.amplitude = 8.25;
  end.endTimestamp = 7;
  end.sampleCount = 51;
  const struct {
    const T_EVENT_STRUCT& event;
    const char* head;  // eye, phase, type, flags
    bool endFieldsSet;
  } rows[] = {{start, "1,start,saccade,", false}, {end, "1,end,saccade,cut+rejected", true}};
  const size_t columns = Fields(EventCsvHeader()).size();
  EXPECT_EQ(columns, 19u);
  for (const auto& row : rows) {
    const std::string line = EventCsvLine(row.event);
    const std::vector<std::string> f = Fields(line);
    ASSERT_EQ(f.size(), columns) << line;
    EXPECT_EQ(line.rfind(row.head, 0), 0u) << line;
    EXPECT_EQ(f[4], "12.500000000");
    EXPECT_EQ(f[7], "") << "a lost position is an empty field";
    EXPECT_EQ(f[16], "18446744073709551615");
    EXPECT_EQ(f[5].empty(), !row.endFieldsSet) << line;
    EXPECT_EQ(f[11].empty(), !row.endFieldsSet) << line;
    EXPECT_EQ(f[18].empty(), !row.endFieldsSet) << line;
  }
  EXPECT_NE(EventLine(end).find("[cut+rejected]"), std::string::npos) << EventLine(end);
  EXPECT_EQ(EventLine(start).find("amplitude"), std::string::npos) << EventLine(start);
}

TEST(LiveEvents, counts_take_whole_events_and_leave_rejected_saccades_out) {
  EventCounts counts;
  T_EVENT_STRUCT e{};
  e.type = SACCADRIX_EVENT_SACCADE;
  e.phase = SACCADRIX_EVENT_START;
  e.dropped = 3;
  counts.Add(e);  // a START counts no event
  e.phase = SACCADRIX_EVENT_END;
  e.dropped = 0;
  counts.Add(e);
  e.flags = SACCADRIX_EVENT_FLAG_REJECTED;
  counts.Add(e);
  e.type = SACCADRIX_EVENT_BLINK;
  e.flags = SACCADRIX_EVENT_FLAG_CUT;  // cut short, still a blink
  counts.Add(e);
  EXPECT_EQ(counts.Summary(), "0 fixations, 1 saccade, 0 PSOs, 0 pursuits, 1 blink");
  EXPECT_EQ(counts.dropped, 3u);
}

// ---- Status table --------------------------------------------------------------------------

TEST(StatusTable, every_documented_status_has_a_message_and_its_exit_code) {
  const int deviceStatuses[] = {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -15, -16, -17, -100};
  for (int status : deviceStatuses) {
    const StatusText text = DescribeStatus(Source::kDevice, status);
    EXPECT_NE(text.exit, Exit::kInternal) << status;
    EXPECT_EQ(text.message.rfind(zelSaccadrixStatusText(status), 0), 0u)
        << status << ": the library's own text comes first";
  }
  for (int status : {-12, -13, -14, -15}) {
    EXPECT_NE(DescribeStatus(Source::kVideo, status).exit, Exit::kInternal) << status;
  }
  for (int status : {-1, -10, -100}) {
    EXPECT_NE(DescribeStatus(Source::kOpen, status).exit, Exit::kInternal) << status;
  }
  EXPECT_EQ(DescribeStatus(Source::kOpen, -100).exit, Exit::kNoTracker);
  EXPECT_EQ(DescribeStatus(Source::kOpen, -1).exit, Exit::kNoAccess);
  EXPECT_EQ(DescribeStatus(Source::kDevice, -4).exit, Exit::kUnsupported);
  for (int status : {-5, -6, -7, -8, -9}) {
    EXPECT_EQ(DescribeStatus(Source::kDevice, status).exit, Exit::kCalibrationFile) << status;
  }
  EXPECT_EQ(DescribeStatus(Source::kVideo, -15).exit, Exit::kNoCamera);
  // The same number means something else in each library.
  EXPECT_NE(DescribeStatus(Source::kVideo, -15).message,
            DescribeStatus(Source::kDevice, -15).message);
  // The open call's -1 says what only the command knows: the node could not be opened.
  EXPECT_NE(DescribeStatus(Source::kOpen, -1).message.find("udev rule"), std::string::npos);
}

TEST(StatusTable, unknown_statuses_are_unexpected_and_named) {
  EXPECT_EQ(DescribeStatus(Source::kDevice, -77).exit, Exit::kInternal);
  try {
    CheckStatus(Source::kDevice, -77, "doing it");
    FAIL();
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.exit(), Exit::kInternal);
    EXPECT_NE(std::string(failure.what()).find("doing it: unexpected status (status -77)"),
              std::string::npos)
        << failure.what();
  }
  EXPECT_NO_THROW(CheckStatus(Source::kOpen, 4, "open"));
}

TEST(StatusTable, exit_code_help_lists_every_code_once) {
  const std::string help = ExitCodeHelp();
  for (int code = 0; code <= 11; ++code) {
    EXPECT_NE(help.find("\n" + std::string(code < 10 ? "   " : "  ") + std::to_string(code) +
                        "  "),
              std::string::npos)
        << code;
  }
}

// ---- Files ---------------------------------------------------------------------------------

TEST(PendingFile, unwritable_destination_fails_before_anything_is_recorded) {
  EXPECT_EQ(FailureExit([] { PendingFile f("/nonexistent-folder/trial.csv"); }),
            Exit::kOutputFile);
  EXPECT_EQ(FailureExit([] { PendingFile f(""); }), Exit::kUsage);
}

TEST(PendingFile, destination_changes_only_on_commit) {
  const std::string dir = TempDir();
  const std::string path = dir + "/trial.csv";
  { std::ofstream(path) << "old contents\n"; }
  std::string temporary;
  {
    PendingFile pending(path);
    temporary = pending.temporary();
    EXPECT_EQ(access(temporary.c_str(), F_OK), 0);
    { std::ofstream(temporary) << "half"; }
    // Dropped without Commit: the old file stays and the temporary one goes.
  }
  EXPECT_EQ(ReadAll(path), "old contents\n");
  EXPECT_NE(access(temporary.c_str(), F_OK), 0);
  {
    PendingFile pending(path);
    { std::ofstream(pending.temporary()) << "new"; }
    pending.Commit();
  }
  EXPECT_EQ(ReadAll(path), "new");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);  // as any new file, not mkstemp's 0600
  std::remove(path.c_str());
  rmdir(dir.c_str());
}

TEST(ExportFiles, csv_has_the_header_and_one_line_per_record) {
  const std::string dir = TempDir();
  const std::string path = dir + "/t.csv";
  std::vector<T_RESULTS_STRUCT> records(3, DistinctRecord());
  records[1].timestamp = 5;
  WriteCsv(path, records);
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], CsvHeader());
  EXPECT_EQ(lines[2], CsvLine(records[1]));
  std::remove(path.c_str());
  rmdir(dir.c_str());
}

TEST(ExportFiles, a_full_disk_or_a_missing_folder_is_an_output_failure) {
  const std::vector<T_RESULTS_STRUCT> records(2000, DistinctRecord());
  EXPECT_EQ(FailureExit([&] { WriteCsv("/dev/full", records); }), Exit::kOutputFile);
  EXPECT_EQ(FailureExit([&] { WriteCsv("/nonexistent-folder/t.csv", records); }),
            Exit::kOutputFile);
  EXPECT_EQ(FailureExit([&] { WriteMat("/nonexistent-folder/t.mat", records, {}); }),
            Exit::kOutputFile);
}

TEST(ExportFiles, mat_file_reads_back_column_by_column_with_names_and_facts) {
  const std::string dir = TempDir();
  const std::string path = dir + "/t.mat";
  std::vector<T_RESULTS_STRUCT> records(4, DistinctRecord());
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].timestamp = 100 + i;
    records[i].eye[1].values[9] = static_cast<float>(i) * 0.5f;
  }
  WriteMat(path, records, RecordingInfo{4, 26122, "VT0042", "2026-01-02T03:04:05+0000"});

  mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
  ASSERT_NE(mat, nullptr);
  for (const Column& column : kColumns) {
    matvar_t* var = Mat_VarRead(mat, column.name);
    ASSERT_NE(var, nullptr) << column.name;
    EXPECT_EQ(var->class_type, MAT_C_DOUBLE);
    ASSERT_EQ(var->rank, 2);
    EXPECT_EQ(var->dims[0], records.size());
    EXPECT_EQ(var->dims[1], 1u);
    const auto* data = static_cast<const double*>(var->data);
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(data[i], ColumnValue(records[i], column)) << column.name << " row " << i;
    }
    Mat_VarFree(var);
  }
  matvar_t* names = Mat_VarRead(mat, "columns");
  ASSERT_NE(names, nullptr);
  ASSERT_EQ(names->class_type, MAT_C_CELL);
  EXPECT_EQ(names->dims[0] * names->dims[1], kColumnCount);
  for (size_t i = 0; i < kColumnCount; ++i) {
    matvar_t* cell = Mat_VarGetCell(names, static_cast<int>(i));
    ASSERT_NE(cell, nullptr);
    ASSERT_EQ(cell->class_type, MAT_C_CHAR);
    const std::string name(static_cast<const char*>(cell->data), cell->dims[1]);
    EXPECT_EQ(name, kColumns[i].name);
  }
  Mat_VarFree(names);
  matvar_t* serial = Mat_VarRead(mat, "serial_number");
  ASSERT_NE(serial, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(serial->data), serial->dims[1]), "VT0042");
  Mat_VarFree(serial);
  matvar_t* model = Mat_VarRead(mat, "model_code");
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(*static_cast<const double*>(model->data), 4.0);
  Mat_VarFree(model);
  Mat_Close(mat);
  std::remove(path.c_str());
  rmdir(dir.c_str());
}

// ---- Recordings written while they run -----------------------------------------------------

namespace {

// Fields of CSV text as RFC 4180 reads them: quoted fields may hold commas, doubled quotes
// and line breaks. Written apart from the writer, as a reader of the files would be.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false, wasQuoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = wasQuoted = true;
    } else if (c == ',' || c == '\n') {
      rows.back().push_back(field);
      field.clear();
      wasQuoted = false;
      if (c == '\n') rows.emplace_back();
    } else {
      field += c;
    }
  }
  if (!field.empty() || wasQuoted) rows.back().push_back(field);
  if (rows.back().empty()) rows.pop_back();
  return rows;
}

// A character row written as UTF-16 code units.
std::u16string MatUnicode(const matvar_t* var) {
  if (var == nullptr || var->class_type != MAT_C_CHAR || var->data_type != MAT_T_UINT16) {
    return u"<not UTF-16 text>";
  }
  const auto* units = static_cast<const char16_t*>(var->data);
  return units == nullptr ? u"" : std::u16string(units, units + var->dims[0] * var->dims[1]);
}

std::string MatString(const matvar_t* var) {
  return var != nullptr && var->class_type == MAT_C_CHAR && var->data != nullptr
             ? std::string(static_cast<const char*>(var->data), var->dims[0] * var->dims[1])
             : std::string("<not text>");
}

// Records whose values do not repeat, so that the compressed columns span many blocks.
std::vector<T_RESULTS_STRUCT> NoisyRecords(size_t count) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
  std::vector<T_RESULTS_STRUCT> records(count, DistinctRecord());
  for (size_t i = 0; i < count; ++i) {
    records[i].timestamp = 1000 + i;
    for (T_EYE_RESULTS& eye : records[i].eye) {
      for (size_t k = 0; k < sizeof eye.values / sizeof eye.values[0]; ++k) eye.values[k] = value(random);
    }
  }
  return records;
}

// Makes writes beyond a few bytes fail with EFBIG, as a full disk would fail them.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = nullptr;
};

}  // namespace

// Markers go through the library (which keeps them without a tracker) into both files.
TEST(RecordingFiles, markers_keep_commas_quotes_line_breaks_and_utf8_in_both_files) {
  // Each text with the UTF-16 code units MATLAB and Octave get in the MAT file.
  struct Text {
    std::string text;
    std::u16string inMat;
  };
  std::vector<Text> texts = {
      {"trial 3 start", u""}, {"a, b", u""}, {"say \"go\"", u""}, {"two\nlines", u""},
      {"crlf\r\nend", u""}, {"", u""}, {"\"", u""}, {std::string(255, 'x'), u""},
      {"Zielreiz \xC3\xA4 \xE2\x86\x92 \xF0\x9F\x91\x81", u"Zielreiz \u00E4 \u2192 \U0001F441"},
      {"bad \xFF\xC3 \xED\xA0\x80", u"bad \uFFFD\uFFFD \uFFFD\uFFFD\uFFFD"}};
  for (Text& t : texts) {
    if (t.inMat.empty()) t.inMat.assign(t.text.begin(), t.text.end());  // ASCII
  }
  zelSaccadrixClearDataBuffer();
  for (const Text& t : texts) ASSERT_EQ(zelSaccadrixAddMarker(t.text.c_str()), 0);
  std::vector<Marker> markers = RecordingMarkers();
  zelSaccadrixClearDataBuffer();
  ASSERT_EQ(markers.size(), texts.size());
  markers.push_back(Marker{markers.back().hostTime + 1, 9007199254740993ULL, "2^53 + 1"});
  texts.push_back({"2^53 + 1", u"2^53 + 1"});

  const std::string dir = TempDir();
  WriteMarkersCsv(dir + "/t.markers.csv", markers);
  const auto rows = ParseCsv(ReadAll(dir + "/t.markers.csv"));
  ASSERT_EQ(rows.size(), markers.size() + 1);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"host_time", "timestamp", "text"}));
  for (size_t i = 0; i < markers.size(); ++i) {
    ASSERT_EQ(rows[i + 1].size(), 3u) << i;
    EXPECT_NEAR(std::stod(rows[i + 1][0]), markers[i].hostTime, 1e-9) << i;
    EXPECT_EQ(rows[i + 1][1], std::to_string(markers[i].timestamp)) << i;
    EXPECT_EQ(rows[i + 1][2], markers[i].text) << i;
  }

  const std::vector<T_RESULTS_STRUCT> records(3, DistinctRecord());
  const double times[3] = {1.5, 2.5, 3.5};
  MatWriter mat(dir + "/t.mat", Times::kWith);
  mat.Append(RecordBlock{records.data(), times, times, records.size()});
  mat.Finish(RecordingInfo{3, 1, "S", "now"}, markers);
  mat_t* file = Mat_Open((dir + "/t.mat").c_str(), MAT_ACC_RDONLY);
  ASSERT_NE(file, nullptr);
  matvar_t* time = Mat_VarRead(file, "marker_time");
  matvar_t* timestamp = Mat_VarRead(file, "marker_timestamp");
  matvar_t* text = Mat_VarRead(file, "marker_text");
  ASSERT_TRUE(time != nullptr && timestamp != nullptr && text != nullptr);
  EXPECT_EQ(time->class_type, MAT_C_DOUBLE);
  EXPECT_EQ(timestamp->class_type, MAT_C_UINT64);
  EXPECT_EQ(text->class_type, MAT_C_CELL);
  for (const matvar_t* var : {time, timestamp, text}) {
    EXPECT_EQ(var->dims[0], markers.size());
    EXPECT_EQ(var->dims[1], 1u);
  }
  for (size_t i = 0; i < markers.size() && i < text->dims[0]; ++i) {
    EXPECT_EQ(static_cast<const double*>(time->data)[i], markers[i].hostTime);
    EXPECT_EQ(static_cast<const uint64_t*>(timestamp->data)[i], markers[i].timestamp);
    EXPECT_TRUE(MatUnicode(Mat_VarGetCell(text, static_cast<int>(i))) == texts[i].inMat) << i;
  }
  Mat_VarFree(time);
  Mat_VarFree(timestamp);
  Mat_VarFree(text);
  Mat_Close(file);
  std::remove((dir + "/t.markers.csv").c_str());
  std::remove((dir + "/t.mat").c_str());
  rmdir(dir.c_str());
}

// Blocks of every size, across the writers' internal blocks of 4096 values, come back as
// one recording: the CSV line by line, each MAT column whole with the two time columns.
TEST(RecordingFiles, blocks_appended_while_recording_read_back_as_one_recording) {
  const std::vector<T_RESULTS_STRUCT> records = NoisyRecords(9001);
  std::vector<double> hostTimes(records.size()), sampleTimes(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    hostTimes[i] = 86400.123456789 + 0.001 * static_cast<double>(i);
    sampleTimes[i] = i < 5 ? std::numeric_limits<double>::quiet_NaN() : hostTimes[i] - 2e-4;
  }
  const std::string dir = TempDir();
  {
    CsvWriter csv(dir + "/t.csv", Times::kWith);
    MatWriter mat(dir + "/t.mat", Times::kWith);
    size_t done = 0;
    for (const size_t block : {size_t{1}, size_t{4095}, size_t{0}, size_t{4096}, size_t{809}}) {
      const RecordBlock b{records.data() + done, hostTimes.data() + done,
                          sampleTimes.data() + done, block};
      csv.Append(b);
      mat.Append(b);
      done += block;
    }
    ASSERT_EQ(done, records.size());
    csv.Finish();
    mat.Finish(RecordingInfo{3, 26122, "VT", "2026-01-02T03:04:05+0000"}, {});
  }
  // Nothing but the two files: the scratch data of the columns is gone.
  std::vector<std::string> left;
  for (const char* name : {"t.csv", "t.mat"}) left.push_back(dir + "/" + name);
  EXPECT_EQ(std::system(("test \"$(ls " + dir + " | wc -l)\" -eq 2").c_str()), 0);

  std::ifstream csv(dir + "/t.csv");
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, CsvHeader() + ",host_time,sample_time");
  for (size_t i = 0; i < records.size(); ++i) {
    ASSERT_TRUE(std::getline(csv, line)) << i;
    char times[80];
    std::snprintf(times, sizeof times, ",%.9f,%.9f", hostTimes[i], sampleTimes[i]);
    ASSERT_EQ(line, CsvLine(records[i]) + (i < 5 ? std::string(times).substr(0, std::string(
                                                       times).rfind(',')) + ",NaN"
                                                 : std::string(times)))
        << i;
  }

  mat_t* mat = Mat_Open((dir + "/t.mat").c_str(), MAT_ACC_RDONLY);
  ASSERT_NE(mat, nullptr);
  std::vector<std::string> names;
  for (const Column& column : kColumns) names.push_back(column.name);
  names.push_back("host_time");
  names.push_back("sample_time");
  for (size_t c = 0; c < names.size(); ++c) {
    matvar_t* var = Mat_VarRead(mat, names[c].c_str());
    ASSERT_NE(var, nullptr) << names[c];
    ASSERT_EQ(var->class_type, MAT_C_DOUBLE) << names[c];
    ASSERT_EQ(var->dims[0], records.size()) << names[c];
    const auto* data = static_cast<const double*>(var->data);
    for (size_t i = 0; i < records.size(); ++i) {
      const double expected = c < kColumnCount ? ColumnValue(records[i], kColumns[c])
                              : c == kColumnCount ? hostTimes[i]
                                                  : sampleTimes[i];
      if (!(data[i] == expected || (std::isnan(data[i]) && std::isnan(expected)))) {
        ADD_FAILURE() << names[c] << " row " << i << ": " << data[i] << " vs " << expected;
        break;
      }
    }
    Mat_VarFree(var);
  }
  matvar_t* columns = Mat_VarRead(mat, "columns");
  ASSERT_NE(columns, nullptr);
  ASSERT_EQ(columns->dims[0] * columns->dims[1], names.size());
  for (size_t c = 0; c < names.size(); ++c) {
    EXPECT_EQ(MatString(Mat_VarGetCell(columns, static_cast<int>(c))), names[c]);
  }
  Mat_VarFree(columns);
  Mat_Close(mat);
  for (const std::string& path : left) std::remove(path.c_str());
  rmdir(dir.c_str());
}

// A disk that fills while recording: each writer fails with an output-file error, during the
// recording or at its end, and the caller can carry on without it.
TEST(RecordingFiles, a_disk_that_fills_while_recording_is_an_output_failure) {
  const std::vector<T_RESULTS_STRUCT> records = NoisyRecords(20000);
  const RecordBlock block{records.data(), nullptr, nullptr, records.size()};
  const std::string dir = TempDir();
  struct Case {
    const char* name;
    std::function<void()> write;
  };
  const Case cases[] = {
      {"csv", [&] {
         CsvWriter csv(dir + "/t.csv", Times::kWithout);
         for (int i = 0; i < 4; ++i) csv.Append(block);
         csv.Finish();
       }},
      {"mat", [&] {
         MatWriter mat(dir + "/t.mat", Times::kWithout);
         for (int i = 0; i < 4; ++i) mat.Append(block);
         mat.Finish({}, {});
       }},
      {"markers", [&] {
         WriteMarkersCsv(dir + "/t.markers.csv",
                         std::vector<Marker>(20000, Marker{1.0, 2, std::string(100, 'm')}));
       }},
  };
  for (const Case& c : cases) {
    FileSizeLimit limit(64 * 1024);
    EXPECT_EQ(FailureExit(c.write), Exit::kOutputFile) << c.name;
  }
  for (const char* name : {"t.csv", "t.mat", "t.markers.csv"}) {
    std::remove((dir + "/" + name).c_str());
  }
  EXPECT_EQ(rmdir(dir.c_str()), 0) << "scratch data left in " << dir;
}
