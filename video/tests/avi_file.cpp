#include "avi_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

namespace videotest {

namespace {

uint32_t U32(const std::vector<uint8_t>& bytes, size_t offset) {
  if (offset + 4 > bytes.size()) {
    return 0;
  }
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

std::string FourCC(const std::vector<uint8_t>& bytes, size_t offset) {
  if (offset + 4 > bytes.size()) {
    return "";
  }
  return std::string(reinterpret_cast<const char*>(&bytes[offset]), 4);
}

// Calls visit(id, dataOffset, size) for each chunk in [begin, end).
template <class Visit>
bool WalkChunks(const std::vector<uint8_t>& bytes, size_t begin, size_t end, Visit visit) {
  size_t at = begin;
  while (at + 8 <= end) {
    const std::string id = FourCC(bytes, at);
    const size_t size = U32(bytes, at + 4);
    if (at + 8 + size > end) {
      return false;  // a chunk runs past its list: the file was cut short
    }
    visit(id, at + 8, size);
    at += 8 + size + (size & 1);
  }
  return true;
}

void ReadStreamList(const std::vector<uint8_t>& bytes, size_t begin, size_t end, AviFile& avi) {
  WalkChunks(bytes, begin, end, [&](const std::string& id, size_t data, size_t size) {
    if (id == "strh" && size >= 36 && avi.streamType.empty()) {
      avi.streamType = FourCC(bytes, data);
      avi.handler = FourCC(bytes, data + 4);
      avi.streamLength = U32(bytes, data + 32);
    } else if (id == "strf" && size >= 20 && avi.compression.empty()) {
      avi.compression = FourCC(bytes, data + 16);
    }
  });
}

}  // namespace

AviFile ReadAvi(const std::string& path) {
  AviFile avi;
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  if (bytes.size() < 12 || FourCC(bytes, 0) != "RIFF" || FourCC(bytes, 8) != "AVI ") {
    avi.error = "not a RIFF AVI file (" + std::to_string(bytes.size()) + " bytes)";
    return avi;
  }
  const size_t riffEnd = std::min<size_t>(bytes.size(), 8 + static_cast<size_t>(U32(bytes, 4)));
  bool sawHeader = false;
  const bool whole = WalkChunks(bytes, 12, riffEnd, [&](const std::string& id, size_t data,
                                                       size_t size) {
    const size_t end = data + size;
    if (id == "LIST" && FourCC(bytes, data) == "hdrl") {
      sawHeader = true;
      WalkChunks(bytes, data + 4, end, [&](const std::string& inner, size_t at, size_t length) {
        if (inner == "avih" && length >= 40) {
          avi.microsPerFrame = U32(bytes, at);
          avi.totalFrames = U32(bytes, at + 16);
          avi.width = U32(bytes, at + 32);
          avi.height = U32(bytes, at + 36);
        } else if (inner == "LIST" && FourCC(bytes, at) == "strl") {
          ReadStreamList(bytes, at + 4, at + length, avi);
        }
      });
    } else if (id == "LIST" && FourCC(bytes, data) == "movi") {
      WalkChunks(bytes, data + 4, end, [&](const std::string& inner, size_t at, size_t length) {
        if (inner.size() == 4 && (inner.compare(2, 2, "dc") == 0 || inner.compare(2, 2, "db") == 0)) {
          ++avi.frameChunks;
          if (length >= 4 && bytes[at] == 0xFF && bytes[at + 1] == 0xD8 &&
              bytes[at + length - 2] == 0xFF && bytes[at + length - 1] == 0xD9) {
            ++avi.jpegFrames;
          }
        }
      });
    } else if (id == "idx1") {
      avi.hasIndex = true;
      avi.indexEntries = size / 16;
    }
  });
  if (!whole) {
    avi.error = "a chunk runs past the end of the file";
  } else if (!sawHeader) {
    avi.error = "no header list";
  } else {
    avi.valid = true;
  }
  return avi;
}

}  // namespace videotest
