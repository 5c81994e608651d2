// The recording path on Linux and macOS: the caller's path as given.
#include "platform.h"

namespace saccadrix::gs {

bool RecordLocation(const char* path, std::string& location) {
  location = path;
  return true;
}

}  // namespace saccadrix::gs
