// Pupil calibration and calibration files, through the public interface against the
// virtual tracker. Files are built and checked byte by byte here, with zlib's CRC-32 as the
// independent checksum.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "tracker_test_support.h"

using namespace tracker_test;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kFileSize = 339;

// ---- Files ----------------------------------------------------------------------------

// One folder per run, removed with everything in it when the tests end.
struct TempFolder {
  std::string path;
  TempFolder() {
    char pattern[] = "/tmp/saccadrix-calfile-XXXXXX";
    if (const char* made = mkdtemp(pattern)) path = made;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

std::string temp_folder() {
  static TempFolder folder;
  return folder.path;
}

std::string temp_path(const std::string& name) { return temp_folder() + "/" + name; }

void write_file(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!bytes.empty()) {
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  }
  ASSERT_EQ(std::fclose(f), 0);
}

Bytes read_file(const std::string& path) {
  Bytes out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  return out;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Names in a folder other than . and .., to catch temporary files left behind.
std::vector<std::string> folder_entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
  }
  return names;
}

std::string fresh_folder(const std::string& name) {
  const std::string folder = temp_path(name);
  ::mkdir(folder.c_str(), 0755);
  return folder;
}

// ---- The file layout, written out independently of the library --------------------------

uint64_t bits_of(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

void put_le(Bytes& b, size_t off, uint64_t v, size_t n) {
  for (size_t i = 0; i < n; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t get_le(const Bytes& b, size_t off, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(b[off + i]) << (8 * i);
  return v;
}

double get_f64(const Bytes& b, size_t off) {
  const uint64_t bits = get_le(b, off, 8);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

uint32_t zlib_crc(const Bytes& b, size_t length) {
  return static_cast<uint32_t>(crc32(0L, b.data(), static_cast<uInt>(length)));
}

struct Calibration {
  double matrix[2][16];
  double eye_scale = 120;
  double viewing_distance = 650;
  double pupil_scale = 776.0 / 1024;
  double aux1[2] = {1.5, -2.25};
  double aux2[2] = {0.125, 64};
};

// Values that survive the trip through the tracker's 32-bit floats unchanged.
Calibration sample_calibration(double offset = 0) {
  Calibration c;
  for (int i = 0; i < 16; ++i) {
    c.matrix[0][i] = (i + 1) * 0.25 - 2 + offset;
    c.matrix[1][i] = (i + 1) * -0.125 + 1 + offset;
  }
  return c;
}

Bytes file_bytes(const Calibration& c, uint8_t version = 1) {
  Bytes b(kFileSize, 0);
  put_le(b, 0, kFileSize, 4);
  std::memcpy(&b[4], "SaccadrixCAL", 12);
  b[20] = version;
  b[21] = b[22] = 1;
  for (size_t e = 0; e < 2; ++e) {
    for (size_t k = 0; k < 16; ++k) put_le(b, 23 + 128 * e + 8 * k, bits_of(c.matrix[e][k]), 8);
    put_le(b, 303 + 8 * e, bits_of(c.aux1[e]), 8);
    put_le(b, 319 + 8 * e, bits_of(c.aux2[e]), 8);
  }
  put_le(b, 279, bits_of(c.eye_scale), 8);
  put_le(b, 287, bits_of(c.viewing_distance), 8);
  put_le(b, 295, bits_of(c.pupil_scale), 8);
  put_le(b, 335, zlib_crc(b, 335), 4);
  return b;
}

// ---- Without a tracker: the file checks come before any exchange ------------------------

class FileWithoutTracker : public ::testing::Test {
 protected:
  void SetUp() override {
    zelSaccadrixClose();
    vt::reset();
  }
};

TEST_F(FileWithoutTracker, load_reports_open_error_for_null_missing_and_unreadable_files) {
  EXPECT_EQ(zelSaccadrixLoadCalibration(nullptr), SACCADRIX_E_FILE_OPEN);
  EXPECT_EQ(zelSaccadrixLoadCalibration(temp_path("no-such-file.cal").c_str()),
            SACCADRIX_E_FILE_OPEN);
  // A folder opens but cannot be read: a read error, not an empty file.
  EXPECT_EQ(zelSaccadrixLoadCalibration(fresh_folder("a-folder").c_str()), SACCADRIX_E_FILE_OPEN);
}

TEST_F(FileWithoutTracker, load_rejects_anything_but_the_exact_magic) {
  const std::string path = temp_path("magic.cal");
  write_file(path, {});
  EXPECT_EQ(zelSaccadrixLoadCalibration(path.c_str()), SACCADRIX_E_FILE_MAGIC) << "empty file";
  write_file(path, Bytes(kFileSize, 0));
  EXPECT_EQ(zelSaccadrixLoadCalibration(path.c_str()), SACCADRIX_E_FILE_MAGIC) << "zeros";

  // One byte changed in an otherwise valid file (its checksum recomputed).
  struct Row {
    size_t offset;
    uint8_t value;
    int status;
  } rows[] = {
      {16, 'X', SACCADRIX_E_FILE_MAGIC},  // the magic must end at its zero byte
      {15, 0, SACCADRIX_E_FILE_MAGIC},    // "SaccadrixCA" is only a prefix
      {4, 's', SACCADRIX_E_FILE_MAGIC},   // case matters
      {19, 0x5A, SACCADRIX_E_NO_DEVICE},  // bytes after the zero byte are not examined
  };
  for (const Row& row : rows) {
    Bytes b = file_bytes(sample_calibration());
    b[row.offset] = row.value;
    put_le(b, 335, zlib_crc(b, 335), 4);
    write_file(path, b);
    EXPECT_EQ(zelSaccadrixLoadCalibration(path.c_str()), row.status) << "byte " << row.offset;
  }
}

TEST_F(FileWithoutTracker, load_rejects_unknown_versions_whatever_the_checksum) {
  const std::string path = temp_path("version.cal");
  for (uint8_t version : {uint8_t{2}, uint8_t{255}}) {
    Bytes b = file_bytes(sample_calibration(), version);  // CRC computed over this version
    write_file(path, b);
    EXPECT_EQ(zelSaccadrixLoadCalibration(path.c_str()), SACCADRIX_E_FILE_VERSION)
        << int{version};
  }
}

TEST_F(FileWithoutTracker, load_rejects_checksum_mismatches_and_truncated_version_1_files) {
  const std::string path = temp_path("crc.cal");
  const Bytes good = file_bytes(sample_calibration());

  Bytes b = good;
  b[100] ^= 0x01;  // one bit of a matrix
  write_file(path, b);
  EXPECT_EQ(zelSaccadrixLoadCalibration(path.c_str()), SACCADRIX_E_FILE_CRC);

  b = good;
  b[338] ^= 0x80;  // the checksum itself
  write_file(path, b);
  EXPECT_EQ(zelSaccadrixLoadCalibration(path.c_str()), SACCADRIX_E_FILE_CRC);

  for (size_t length : {size_t{21}, size_t{200}, size_t{335}, size_t{338}}) {
    write_file(path, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length)));
    EXPECT_EQ(zelSaccadrixLoadCalibration(path.c_str()), SACCADRIX_E_FILE_CRC)
        << length << " bytes";
  }
}

TEST_F(FileWithoutTracker, valid_files_reach_the_store_which_needs_a_tracker) {
  const std::string path = temp_path("valid.cal");
  write_file(path, file_bytes(sample_calibration()));
  EXPECT_EQ(zelSaccadrixLoadCalibration(path.c_str()), SACCADRIX_E_NO_DEVICE);
  write_file(path, file_bytes(sample_calibration(), 0));
  EXPECT_EQ(zelSaccadrixLoadCalibration(path.c_str()), SACCADRIX_E_NO_DEVICE);
}

TEST_F(FileWithoutTracker, save_without_tracker_creates_and_changes_nothing) {
  const std::string absent = temp_path("never-created.cal");
  EXPECT_EQ(zelSaccadrixSaveCalibration(absent.c_str()), SACCADRIX_E_NO_DEVICE);
  EXPECT_FALSE(exists(absent));

  const std::string present = temp_path("kept.cal");
  const Bytes before = {'k', 'e', 'e', 'p'};
  write_file(present, before);
  EXPECT_EQ(zelSaccadrixSaveCalibration(present.c_str()), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(read_file(present), before);

  EXPECT_EQ(zelSaccadrixSaveCalibration(nullptr), SACCADRIX_E_FILE_CREATE);
}

TEST_F(FileWithoutTracker, pupil_calls_without_tracker) {
  const int id = vt::attach(tracker(4));
  EXPECT_EQ(zelSaccadrixSetPupilCalibration(1.0, 1.0), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(zelSaccadrixSetPupilCalibration(0.01, 1.0), SACCADRIX_E_NO_DEVICE);  // device first
  double scale = 7;
  EXPECT_EQ(zelSaccadrixGetPupilCalibration(&scale), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(scale, 7);
  uint8_t calibrated = 9;
  EXPECT_EQ(zelSaccadrixGetPupilCalibrated(&calibrated), SACCADRIX_E_NO_DEVICE);
  EXPECT_EQ(calibrated, 0);
  EXPECT_EQ(zelSaccadrixGetPupilCalibration(nullptr), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixGetPupilCalibrated(nullptr), SACCADRIX_E_ARG);
  EXPECT_TRUE(vt::written(id).empty());
}

// ---- Against a model code 4 tracker -------------------------------------------------------

class OnModel4 : public OnTracker<4> {
 protected:
  static void SetUpTestSuite() { open(config()); }

  // Programs the tracker with c through the library's own store.
  static void program(const Calibration& c) {
    for (int eye = 0; eye < 2; ++eye) {
      ASSERT_EQ(zelSaccadrixSetCalibration(eye, c.matrix[eye], c.eye_scale, c.viewing_distance,
                                           c.aux1[eye], c.aux2[eye]),
                0);
    }
    ASSERT_EQ(zelSaccadrixSetPupilCalibration(1.0, c.pupil_scale), 0);
  }

  static void expect_tracker_holds(const Calibration& c) {
    for (int eye = 0; eye < 2; ++eye) {
      double m[16], scale = 0, distance = 0, aux1 = 0, aux2 = 0;
      ASSERT_EQ(zelSaccadrixGetCalibration(eye, m, &scale, &distance, &aux1, &aux2), 0);
      for (int k = 0; k < 16; ++k) EXPECT_EQ(m[k], c.matrix[eye][k]) << "eye " << eye << " " << k;
      EXPECT_EQ(scale, std::trunc(c.eye_scale));
      EXPECT_EQ(aux1, c.aux1[eye]);
      EXPECT_EQ(aux2, c.aux2[eye]);
    }
    EXPECT_EQ(vt::state(id_).viewing_distance, static_cast<int32_t>(c.viewing_distance));
    EXPECT_EQ(vt::state(id_).pupil_scale, static_cast<int32_t>(c.pupil_scale * 1024));
  }
};

TEST_F(OnModel4, pupil_scale_is_sent_as_fixed_point_truncated_and_saturated) {
  struct Row {
    double reference, value;
    int32_t sent;
  } rows[] = {
      {2.0, 1.0, 512},
      {0.1, 1.0, 10240},
      {1.0, -0.5, -512},
      {3.0, 1.0, 341},    // 341.33 truncated toward zero
      {3.0, -1.0, -341},  // and not toward minus infinity
      {1.0, 1e12, std::numeric_limits<int32_t>::max()},
      {1.0, -1e12, std::numeric_limits<int32_t>::min()},
      {std::nan(""), 1.0, 0},  // a NaN reference passes the range check
      {1.0, std::nan(""), 0},
  };
  for (const Row& row : rows) {
    vt::clear_written(id_);
    EXPECT_EQ(zelSaccadrixSetPupilCalibration(row.reference, row.value), 0);
    const auto reports = sent(id_, 304);
    ASSERT_EQ(reports.size(), 1u) << row.reference << " " << row.value;
    EXPECT_EQ(reports[0].arg(), 0);
    EXPECT_EQ(sent_i32(reports[0], 5), row.sent) << row.reference << " " << row.value;
    EXPECT_EQ(vt::state(id_).pupil_scale, row.sent);
  }
  vt::clear_written(id_);
  EXPECT_EQ(zelSaccadrixSetPupilCalibration(0.09, 1.0), SACCADRIX_E_ARG);
  EXPECT_EQ(zelSaccadrixSetPupilCalibration(-1.0, 1.0), SACCADRIX_E_ARG);
  EXPECT_TRUE(vt::written(id_).empty());
}

TEST_F(OnModel4, pupil_scale_reads_back_in_1024ths_and_calibrated_means_positive) {
  struct Row {
    double value;
    uint8_t calibrated;
  } rows[] = {{0.5, 1}, {1.0 / 1024, 1}, {0.0, 0}, {-3.0 / 1024, 0}};
  for (const Row& row : rows) {
    ASSERT_EQ(zelSaccadrixSetPupilCalibration(1.0, row.value), 0);
    double scale = 99;
    EXPECT_EQ(zelSaccadrixGetPupilCalibration(&scale), 0);
    EXPECT_EQ(scale, row.value);
    uint8_t calibrated = 9;
    EXPECT_EQ(zelSaccadrixGetPupilCalibrated(&calibrated), 0);
    EXPECT_EQ(calibrated, row.calibrated) << row.value;
  }
}

TEST_F(OnModel4, pupil_read_failures_leave_the_output_and_report_not_calibrated) {
  ASSERT_EQ(zelSaccadrixSetPupilCalibration(1.0, 2.0), 0);
  vt::Faults f;
  f.missing_replies = 2;
  vt::set_faults(id_, f);
  double scale = 7;
  EXPECT_EQ(zelSaccadrixGetPupilCalibration(&scale), SACCADRIX_E_TIMEOUT);
  EXPECT_EQ(scale, 7);
  uint8_t calibrated = 9;
  EXPECT_EQ(zelSaccadrixGetPupilCalibrated(&calibrated), SACCADRIX_E_TIMEOUT);
  EXPECT_EQ(calibrated, 0);
  f = vt::Faults{};
  f.short_writes = 1;
  vt::set_faults(id_, f);
  EXPECT_EQ(zelSaccadrixGetPupilCalibration(&scale), SACCADRIX_E_IO);
  EXPECT_EQ(scale, 7);
}

TEST_F(OnModel4, save_writes_the_exact_layout_and_load_restores_everything) {
  const Calibration original = sample_calibration();
  program(original);
  const std::string path = temp_path("round-trip.cal");
  ASSERT_EQ(zelSaccadrixSaveCalibration(path.c_str()), 0);

  // The file, byte by byte, as an independent reader sees it.
  const Bytes b = read_file(path);
  ASSERT_EQ(b.size(), kFileSize);
  EXPECT_EQ(b, file_bytes(original));
  EXPECT_EQ(get_le(b, 0, 4), kFileSize);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[4]), 16),
            std::string("SaccadrixCAL\0\0\0\0", 16));
  EXPECT_EQ(b[20], 1);
  EXPECT_EQ(b[21], 1);
  EXPECT_EQ(b[22], 1);
  EXPECT_EQ(get_f64(b, 23 + 128 + 8 * 15), original.matrix[1][15]);
  EXPECT_EQ(get_f64(b, 279), original.eye_scale);
  EXPECT_EQ(get_f64(b, 287), original.viewing_distance);
  EXPECT_EQ(get_f64(b, 295), original.pupil_scale);
  EXPECT_EQ(get_f64(b, 311), original.aux1[1]);
  EXPECT_EQ(get_f64(b, 319), original.aux2[0]);
  EXPECT_EQ(get_le(b, 335, 4), zlib_crc(b, 335));

  // Change everything on the tracker, then load the file back.
  Calibration other = sample_calibration(0.5);
  other.eye_scale = 80;
  other.viewing_distance = 500;
  other.pupil_scale = 0;
  other.aux1[0] = other.aux1[1] = other.aux2[0] = other.aux2[1] = 9;
  program(other);
  ASSERT_EQ(zelSaccadrixLoadCalibration(path.c_str()), 0);
  expect_tracker_holds(original);

  // Saving again reproduces the same bytes.
  const std::string again = temp_path("round-trip-2.cal");
  ASSERT_EQ(zelSaccadrixSaveCalibration(again.c_str()), 0);
  EXPECT_EQ(read_file(again), b);
}

TEST_F(OnModel4, uncalibrated_eyes_are_flagged_zero_in_the_file) {
  Calibration c = sample_calibration();
  for (double& v : c.matrix[1]) v = 0;
  program(c);
  const std::string path = temp_path("one-eye.cal");
  ASSERT_EQ(zelSaccadrixSaveCalibration(path.c_str()), 0);
  const Bytes b = read_file(path);
  ASSERT_EQ(b.size(), kFileSize);
  EXPECT_EQ(b[21], 1);
  EXPECT_EQ(b[22], 0);
}

TEST_F(OnModel4, version_0_files_load_with_zero_aux_whatever_follows_the_pupil_scale) {
  program(sample_calibration(0.5));  // nonzero aux values on the tracker beforehand
  Calibration c = sample_calibration();
  Bytes b = file_bytes(c, 0);
  for (size_t i = 303; i < kFileSize; ++i) b[i] = static_cast<uint8_t>(0xA5 ^ i);
  const std::string path = temp_path("version0.cal");
  write_file(path, b);
  ASSERT_EQ(zelSaccadrixLoadCalibration(path.c_str()), 0);
  c.aux1[0] = c.aux1[1] = c.aux2[0] = c.aux2[1] = 0;
  expect_tracker_holds(c);
}

TEST_F(OnModel4, file_ending_after_the_magic_loads_as_an_all_zero_version_0_file) {
  program(sample_calibration());
  const std::string path = temp_path("short.cal");
  Bytes b(17, 0);
  std::memcpy(&b[4], "SaccadrixCAL", 12);
  write_file(path, b);
  ASSERT_EQ(zelSaccadrixLoadCalibration(path.c_str()), 0);
  Calibration zero{};
  zero.eye_scale = zero.viewing_distance = zero.pupil_scale = 0;
  zero.aux1[0] = zero.aux1[1] = zero.aux2[0] = zero.aux2[1] = 0;
  expect_tracker_holds(zero);
}

TEST_F(OnModel4, bytes_beyond_the_record_are_ignored) {
  program(sample_calibration(0.5));
  const Calibration c = sample_calibration();
  Bytes b = file_bytes(c);
  b.insert(b.end(), 200, 0xEE);
  const std::string path = temp_path("trailing.cal");
  write_file(path, b);
  ASSERT_EQ(zelSaccadrixLoadCalibration(path.c_str()), 0);
  expect_tracker_holds(c);
}

TEST_F(OnModel4, load_reports_a_store_that_does_not_read_back) {
  const std::string path = temp_path("verify.cal");
  write_file(path, file_bytes(sample_calibration()));
  vt::Faults f;
  f.corrupt_calibration_reads = 1;
  vt::set_faults(id_, f);
  EXPECT_EQ(zelSaccadrixLoadCalibration(path.c_str()), SACCADRIX_E_VERIFY);
  EXPECT_TRUE(sent(id_, 304).empty());  // stopped before the pupil scale
}

TEST_F(OnModel4, failed_saves_leave_an_existing_file_as_it_was) {
  program(sample_calibration());
  const std::string folder = fresh_folder("failed-saves");
  const std::string path = folder + "/existing.cal";
  const Bytes before(1000, 0x42);
  write_file(path, before);

  // A tracker read fails: nothing is written.
  vt::Faults f;
  f.missing_replies = 1;
  vt::set_faults(id_, f);
  EXPECT_EQ(zelSaccadrixSaveCalibration(path.c_str()), SACCADRIX_E_TIMEOUT);
  EXPECT_EQ(read_file(path), before);
  vt::set_faults(id_, vt::Faults{});

  // The target cannot be replaced (it is a folder): -5, the folder and its contents stay,
  // and no temporary file is left behind.
  const std::string blocked = folder + "/blocked.cal";
  ASSERT_EQ(::mkdir(blocked.c_str(), 0755), 0);
  write_file(blocked + "/inside", before);
  EXPECT_EQ(zelSaccadrixSaveCalibration(blocked.c_str()), SACCADRIX_E_FILE_CREATE);
  EXPECT_EQ(read_file(blocked + "/inside"), before);
  EXPECT_EQ(folder_entries(folder).size(), 2u);  // existing.cal and blocked.cal

  // The folder does not exist.
  EXPECT_EQ(zelSaccadrixSaveCalibration((folder + "/missing/x.cal").c_str()),
            SACCADRIX_E_FILE_CREATE);
  EXPECT_EQ(zelSaccadrixSaveCalibration(""), SACCADRIX_E_FILE_CREATE);
  EXPECT_EQ(folder_entries(folder).size(), 2u);
}

// Writes fail beyond a file size limit while it is in force (SIGXFSZ ignored).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = nullptr;
};

TEST_F(OnModel4, save_that_cannot_write_the_whole_record_fails_and_keeps_the_old_file) {
  program(sample_calibration());
  const std::string folder = fresh_folder("short-write");
  const std::string path = folder + "/existing.cal";
  const Bytes before(1000, 0x42);
  write_file(path, before);
  int status;
  {
    FileSizeLimit limit(100);  // the 339-byte record cannot be written whole
    status = zelSaccadrixSaveCalibration(path.c_str());
  }
  EXPECT_EQ(status, SACCADRIX_E_FILE_CREATE);
  EXPECT_EQ(read_file(path), before);
  EXPECT_EQ(folder_entries(folder), std::vector<std::string>{"existing.cal"});
}

TEST_F(OnModel4, save_replaces_a_longer_file_whole_keeping_its_permissions_and_links) {
  const Calibration c = sample_calibration();
  program(c);
  const std::string folder = fresh_folder("replace");
  const std::string path = folder + "/target.cal";
  write_file(path, Bytes(5000, 0x42));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const std::string link = folder + "/link.cal";
  ASSERT_EQ(::symlink("target.cal", link.c_str()), 0);

  ASSERT_EQ(zelSaccadrixSaveCalibration(link.c_str()), 0);
  EXPECT_EQ(read_file(path), file_bytes(c));  // written through the link, no old tail
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(folder_entries(folder).size(), 2u);
}

}  // namespace
