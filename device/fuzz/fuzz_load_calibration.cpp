// Feeds arbitrary files to the calibration file loader. A virtual model code 4 tracker is
// open, so files that pass the checks go all the way through the store and its read-back.
//
// The first input byte chooses how the rest becomes a file: 0, a 339-byte record filled
// from it whose size, magic and checksum are then made valid (the format version stays as
// fuzzed), so that arbitrary values (NaN, infinities, huge numbers) reach the tracker
// instead of stopping at the checksum; anything else, the bytes as they are. A record that
// reaches the tracker takes about a second to store and verify, so it is the rarer choice.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "saccadrix/saccadrix.h"
#include "virtual_tracker.h"

namespace {

constexpr size_t kRecordSize = 339;
constexpr size_t kCrcOffset = 335;

std::string calibration_path;

void close_and_remove() {
  // The library's poll thread must be ended before static destructors run.
  zelSaccadrixClose();
  std::remove(calibration_path.c_str());
}

void put_u32(std::vector<uint8_t>& b, size_t off, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> file_from(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  if (data[0] != 0) return std::vector<uint8_t>(data + 1, data + size);
  std::vector<uint8_t> record(kRecordSize, 0);
  std::memcpy(record.data(), data + 1, size - 1 < kRecordSize ? size - 1 : kRecordSize);
  put_u32(record, 0, kRecordSize);
  std::memcpy(&record[4], "SaccadrixCAL\0\0\0\0", 16);
  put_u32(record, kCrcOffset, static_cast<uint32_t>(crc32(0L, record.data(), kCrcOffset)));
  return record;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vt::reset();
  vt::DeviceConfig tracker;
  tracker.product_id = vt::product_id_for_model(4);
  vt::attach(tracker);
  if (zelSaccadrixInit() != 4) {
    std::fprintf(stderr, "the virtual tracker did not open\n");
    std::abort();
  }
  char pattern[] = "/tmp/saccadrix-fuzz-calibration-XXXXXX";
  const int fd = mkstemp(pattern);
  if (fd < 0) std::abort();
  close(fd);
  calibration_path = pattern;
  std::atexit(close_and_remove);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> contents = file_from(data, size);
  std::FILE* file = std::fopen(calibration_path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (!contents.empty() && std::fwrite(contents.data(), 1, contents.size(), file) != contents.size()) {
    std::abort();
  }
  if (std::fclose(file) != 0) std::abort();

  switch (zelSaccadrixLoadCalibration(calibration_path.c_str())) {
    case SACCADRIX_OK:
    case SACCADRIX_E_FILE_VERSION:
    case SACCADRIX_E_FILE_CRC:
    case SACCADRIX_E_FILE_MAGIC:
    case SACCADRIX_E_VERIFY:  // values that do not survive the tracker's floats (NaN)
      return 0;
    default:
      // Any other status means the loader or the link misbehaved on a healthy tracker.
      std::abort();
  }
}
