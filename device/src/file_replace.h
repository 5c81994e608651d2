// Writing a file so that it is never left half-written.
#pragma once

#include <cstddef>
#include <cstdint>

namespace saccadrix {

// Writes size bytes as the new contents of path. The bytes go to a new file in the same
// folder, which takes path's place only once the write, the flush to disk and the close
// have all succeeded; a symbolic link at path is followed, and an existing file keeps its
// permissions. Returns false on any failure: path then still holds what it held before
// (or still does not exist) and no temporary file is left behind.
bool write_file_replacing(const char* path, const uint8_t* data, size_t size);

}  // namespace saccadrix
