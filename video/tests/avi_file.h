// Reads what an AVI file holds straight from its RIFF chunks: the headers, the video chunks
// (and whether each is a whole JPEG image), and the index. Used by the video tests and the
// video benchmark to check recorded files.
#ifndef SACCADRIX_GS_TESTS_AVI_FILE_H
#define SACCADRIX_GS_TESTS_AVI_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace videotest {

// What an AVI file holds, read straight from its RIFF chunks.
struct AviFile {
  bool valid = false;       // "RIFF" ... "AVI " with a header list
  std::string error;        // why it is not valid
  uint32_t microsPerFrame = 0;
  uint32_t totalFrames = 0;  // from the main header
  uint32_t width = 0;
  uint32_t height = 0;
  std::string streamType;    // "vids"
  std::string handler;       // codec of the stream header, "MJPG" for Motion-JPEG
  std::string compression;   // codec of the stream format
  uint32_t streamLength = 0;  // frames, from the stream header
  size_t frameChunks = 0;     // video chunks in the movie list
  size_t jpegFrames = 0;      // of those, complete JPEG images (start and end markers)
  bool hasIndex = false;      // "idx1" present
  size_t indexEntries = 0;
};
AviFile ReadAvi(const std::string& path);

}  // namespace videotest

#endif  // SACCADRIX_GS_TESTS_AVI_FILE_H
