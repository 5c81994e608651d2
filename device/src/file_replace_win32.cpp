// Windows: a new file created exclusively next to the target, _commit, close, then
// MoveFileExA with MOVEFILE_REPLACE_EXISTING (rename() refuses to replace a file there).
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>

#include "file_replace.h"

namespace saccadrix {
namespace {

std::atomic<unsigned> temp_counter{0};

bool write_all(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    const int n = _write(fd, data, chunk);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int create_temp(const std::string& folder, std::string& temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = folder + ".saccadrix-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(temp_counter.fetch_add(1)) + ".tmp";
    const int fd = _open(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                         _S_IREAD | _S_IWRITE);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool write_file_replacing(const char* path, const uint8_t* data, size_t size) {
  if (path == nullptr || *path == '\0') return false;
  const std::string target = path;
  const size_t slash = target.find_last_of("/\\:");
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);

  std::string temp;
  const int fd = create_temp(folder, temp);
  if (fd < 0) return false;
  bool ok = write_all(fd, data, size) && _commit(fd) == 0;
  ok = (_close(fd) == 0) && ok;
  ok = ok && MoveFileExA(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) _unlink(temp.c_str());
  return ok;
}

}  // namespace saccadrix
