// Linux and macOS: a new file created exclusively next to the target, fsync, close, then
// rename(2), which replaces the target in one step.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "file_replace.h"

namespace saccadrix {
namespace {

std::atomic<unsigned> temp_counter{0};

// The path that writing through path would reach: symbolic links resolved when the file
// exists, path itself otherwise.
std::string resolved_target(const char* path) {
  char* resolved = realpath(path, nullptr);
  if (resolved == nullptr) return path;
  std::string target = resolved;
  std::free(resolved);
  return target;
}

bool write_all(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Creates a new, empty file in folder (ending with its separator, or empty for the current
// folder) under a name no one else uses; returns its descriptor or -1.
int create_temp(const std::string& folder, std::string& temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = folder + ".saccadrix-" + std::to_string(getpid()) + "-" +
           std::to_string(temp_counter.fetch_add(1)) + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool write_file_replacing(const char* path, const uint8_t* data, size_t size) {
  if (path == nullptr || *path == '\0') return false;
  const std::string target = resolved_target(path);
  const size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);

  std::string temp;
  const int fd = create_temp(folder, temp);
  if (fd < 0) return false;
  bool ok = true;
  struct stat existing;
  if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    ok = ::fchmod(fd, existing.st_mode & 07777) == 0;
  }
  ok = ok && write_all(fd, data, size) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace saccadrix
