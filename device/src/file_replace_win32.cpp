// Windows: a new file created exclusively next to the file the path finally names (a
// symbolic link is followed), _commit, close, then ReplaceFileA over an existing file, which
// keeps its security descriptor (permissions) and attributes, or MoveFileExA for a new one.
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

// The path a symbolic link (or a chain of them) finally names; the path itself when it is no
// link or does not exist yet.
std::string final_path(const char* path) {
  const HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;
  char buffer[MAX_PATH * 4];
  const DWORD n = GetFinalPathNameByHandleA(h, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
  CloseHandle(h);
  if (n == 0 || n >= sizeof buffer) return path;
  return buffer;
}

bool file_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool write_file_replacing(const char* path, const uint8_t* data, size_t size) {
  if (path == nullptr || *path == '\0') return false;
  const std::string target = final_path(path);
  const size_t slash = target.find_last_of("/\\:");
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);

  std::string temp;
  const int fd = create_temp(folder, temp);
  if (fd < 0) return false;
  bool ok = write_all(fd, data, size) && _commit(fd) == 0;
  ok = (_close(fd) == 0) && ok;
  if (ok && file_exists(target)) {
    ok = ReplaceFileA(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                      nullptr, nullptr) != 0;
  } else if (ok) {
    ok = MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!ok) _unlink(temp.c_str());
  return ok;
}

}  // namespace saccadrix
