// The recording path on Windows: a path on a drive letter mapped to a network share is
// written through its UNC form (\\server\share\...), which the file sink can open whatever
// drive mappings the process sees.
#if defined(_WIN32)

#include <windows.h>
#include <winnetwk.h>

#include <cstring>

#include "platform.h"

#if defined(_MSC_VER)
#pragma comment(lib, "mpr.lib")
#endif

namespace saccadrix::gs {

namespace {
constexpr DWORD kPathBufferSize = 1024;
}

bool RecordLocation(const char* path, std::string& location) {
  const size_t length = std::strlen(path);
  if (length >= kPathBufferSize) {
    PrintError("The recording path is longer than %lu bytes.\n",
               static_cast<unsigned long>(kPathBufferSize - 1));
    return false;
  }
  char buffer[kPathBufferSize] = {};
  std::memcpy(buffer, path, length);

  // UNIVERSAL_NAME_INFOA holds a pointer into the same buffer, after the struct.
  alignas(UNIVERSAL_NAME_INFOA) char info[kPathBufferSize] = {};
  DWORD infoSize = kPathBufferSize;
  if (WNetGetUniversalNameA(buffer, UNIVERSAL_NAME_INFO_LEVEL, info, &infoSize) == NO_ERROR) {
    const auto* universal = reinterpret_cast<const UNIVERSAL_NAME_INFOA*>(info);
    if (universal->lpUniversalName != nullptr) {
      // Bounded so that the copy always keeps its terminating zero.
      std::memset(buffer, 0, sizeof buffer);
      std::strncpy(buffer, universal->lpUniversalName, kPathBufferSize - 1);
    }
  }
  location = buffer;
  return true;
}

}  // namespace saccadrix::gs

#endif  // _WIN32
