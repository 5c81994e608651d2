// Preloaded into a process that opens emulated hidraw nodes, ahead of umockdev's preload
// library. Three things differ between umockdev's node (a pty) and a kernel hidraw node, and
// the shim mends them for the nodes the emulated-tracker front end made:
//  - read: hidraw hands over one whole report per read() and drops the part a short buffer
//    cannot take; a pty hands over a byte stream. The shim reads one report from the pty,
//    gives the caller what fits and counts the report as consumed on the node's shared page,
//    which is how the front end knows the fill of the node's ring. It also reads the pty
//    directly: umockdev passes every read of an emulated node through its ioctl socket, which
//    costs more time per read than a report at 8 kHz leaves.
//  - read after an unplug: hidraw fails with EIO; a hung-up pty returns 0 (end of file).
//  - fstat: umockdev 0.17 emulates stat() of the node but fstat() of an open node reports the
//    pty; hidapi finds the device's udev entry (serial number, strings) from fstat's st_rdev.
// open() also fails with the errno the front end sets on the page (EACCES: no udev rule), and
// the first open and the last close of a node empty its ring, as the kernel frees a closed
// file's ring.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "node_control.h"

#define SHIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using vt::hidraw::NodeControl;

constexpr char kNodePrefix[] = "/dev/hidraw";
constexpr int kMaxFds = 4096;
constexpr int kMaxNodes = 64;
constexpr size_t kPathMax = 256;

using OpenFn = int (*)(const char*, int, ...);
using CloseFn = int (*)(int);
using ReadFn = ssize_t (*)(int, void*, size_t);
using IoctlFn = int (*)(int, unsigned long, ...);
using StatFn = int (*)(const char*, struct stat*);
using FstatFn = int (*)(int, struct stat*);
using Fstat64Fn = int (*)(int, struct stat64*);

template <typename Fn>
Fn next_symbol(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// libc's own read: neither umockdev's socket round trip nor this shim.
ReadFn libc_read() {
  static const ReadFn fn = [] {
    void* libc = dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
    void* sym = libc != nullptr ? dlsym(libc, "read") : nullptr;
    return sym != nullptr ? reinterpret_cast<ReadFn>(sym) : next_symbol<ReadFn>("read");
  }();
  return fn;
}

// libc's ioctl: umockdev would pass the node's ioctls to the front end's handler.
IoctlFn libc_ioctl() {
  static const IoctlFn fn = [] {
    void* libc = dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
    void* sym = libc != nullptr ? dlsym(libc, "ioctl") : nullptr;
    return sym != nullptr ? reinterpret_cast<IoctlFn>(sym) : next_symbol<IoctlFn>("ioctl");
  }();
  return fn;
}

// Empties the node's ring: drops what waits in the pty and counts it as read. Caller holds
// the page's lock.
void empty_ring(int fd, NodeControl* c) {
  libc_ioctl()(fd, TCFLSH, TCIFLUSH);
  c->consumed.store(c->written.load());
}

// A node's page, mapped once per process and kept: an open descriptor may outlive the
// front end's interest in it, and the mappings are few.
struct MappedNode {
  char control_path[kPathMax];
  char node_path[kPathMax];
  NodeControl* control;
};
pthread_mutex_t nodes_lock = PTHREAD_MUTEX_INITIALIZER;
MappedNode nodes[kMaxNodes];
int node_count = 0;

// The node each open descriptor refers to; null for every other descriptor.
std::atomic<MappedNode*> fd_nodes[kMaxFds];

bool is_node_path(const char* path) {
  return path != nullptr && std::strncmp(path, kNodePrefix, sizeof kNodePrefix - 1) == 0 &&
         std::strchr(path + sizeof kNodePrefix - 1, '/') == nullptr;
}

// The page of the node at `path` when it is an emulated node of the front end, else null.
MappedNode* node_for_path(const char* path) {
  if (!is_node_path(path)) return nullptr;
  const char* root = std::getenv("UMOCKDEV_DIR");
  if (root == nullptr) return nullptr;
  char control_path[kPathMax];
  const int len = std::snprintf(control_path, sizeof control_path, "%s/%s/%s", root,
                                vt::hidraw::kNodeControlDir, path + 5);
  if (len < 0 || static_cast<size_t>(len) >= sizeof control_path) return nullptr;

  MappedNode* found = nullptr;
  pthread_mutex_lock(&nodes_lock);
  for (int i = 0; i < node_count && found == nullptr; ++i) {
    if (std::strcmp(nodes[i].control_path, control_path) == 0) found = &nodes[i];
  }
  if (found == nullptr && node_count < kMaxNodes) {
    const int fd = next_symbol<OpenFn>("open")(control_path, O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
      void* page = mmap(nullptr, vt::hidraw::kNodeControlSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      next_symbol<CloseFn>("close")(fd);
      auto* control = static_cast<NodeControl*>(page);
      if (page != MAP_FAILED && control->magic == vt::hidraw::kNodeControlMagic &&
          control->report_size > 0 && control->report_size <= 4096) {
        found = &nodes[node_count++];
        std::snprintf(found->control_path, sizeof found->control_path, "%s", control_path);
        std::snprintf(found->node_path, sizeof found->node_path, "%s", path);
        found->control = control;
      } else if (page != MAP_FAILED) {
        munmap(page, vt::hidraw::kNodeControlSize);
      }
    }
  }
  pthread_mutex_unlock(&nodes_lock);
  return found;
}

MappedNode* node_of_fd(int fd) {
  return fd >= 0 && fd < kMaxFds ? fd_nodes[fd].load(std::memory_order_acquire) : nullptr;
}

int open_node(OpenFn next, const char* path, int flags, mode_t mode) {
  MappedNode* node = node_for_path(path);
  if (node != nullptr) {
    const int32_t error = node->control->open_error.load();
    if (error != 0) {
      errno = error;
      return -1;
    }
  }
  const int fd = next(path, flags, mode);
  if (fd < 0 || fd >= kMaxFds || node == nullptr) return fd;
  NodeControl* c = node->control;
  vt::hidraw::lock_node(c);
  if (c->open_fds.fetch_add(1) == 0) empty_ring(fd, c);
  vt::hidraw::unlock_node(c);
  fd_nodes[fd].store(node, std::memory_order_release);
  return fd;
}

mode_t mode_argument(int flags, va_list args) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(args, int))
                                                                      : 0;
}

// One whole report from the pty, as hidraw's read gives it.
ssize_t read_report(int fd, MappedNode* node, void* buf, size_t count) {
  if (count == 0) return libc_read()(fd, buf, 0);
  unsigned char report[4096];
  const size_t size = node->control->report_size;
  size_t got = 0;
  while (got < size) {
    const ssize_t n = libc_read()(fd, report + got, size - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
      continue;
    }
    if (n == 0) {
      errno = EIO;  // the pty was hung up: the device is gone
      return -1;
    }
    if (errno == EINTR) continue;
    if (got == 0) return -1;  // EAGAIN on an empty non-blocking node, as hidraw
    if (errno != EAGAIN) return -1;
    // A report is written to the pty in one piece; the rest of it is on its way.
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 100);
  }
  node->control->consumed.fetch_add(1);
  const size_t n = count < size ? count : size;
  std::memcpy(buf, report, n);
  return static_cast<ssize_t>(n);
}

// The node's type and device number as umockdev's stat() gives them (found through the
// global scope, so that umockdev's wrapper answers).
template <typename Stat>
void fix_node_stat(MappedNode* node, Stat* st) {
  static const StatFn emulated_stat = reinterpret_cast<StatFn>(dlsym(RTLD_DEFAULT, "stat"));
  struct stat node_st;
  if (emulated_stat != nullptr && emulated_stat(node->node_path, &node_st) == 0) {
    st->st_mode = node_st.st_mode;
    st->st_rdev = node_st.st_rdev;
  }
}

}  // namespace

SHIM_EXPORT int open(const char* path, int flags, ...) {
  static const OpenFn next = next_symbol<OpenFn>("open");
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  return open_node(next, path, flags, mode);
}

SHIM_EXPORT int open64(const char* path, int flags, ...) {
  static const OpenFn next = next_symbol<OpenFn>("open64");
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  return open_node(next, path, flags, mode);
}

SHIM_EXPORT int close(int fd) {
  static const CloseFn next = next_symbol<CloseFn>("close");
  // Forget the node first: once closed, the number may be handed out again at once.
  MappedNode* node = fd >= 0 && fd < kMaxFds ? fd_nodes[fd].exchange(nullptr) : nullptr;
  if (node != nullptr) {
    NodeControl* c = node->control;
    vt::hidraw::lock_node(c);
    if (c->open_fds.fetch_sub(1) == 1) empty_ring(fd, c);
    vt::hidraw::unlock_node(c);
  }
  return next(fd);
}

SHIM_EXPORT ssize_t read(int fd, void* buf, size_t count) {
  if (MappedNode* node = node_of_fd(fd)) return read_report(fd, node, buf, count);
  static const ReadFn next = next_symbol<ReadFn>("read");
  return next(fd, buf, count);
}

SHIM_EXPORT int fstat(int fd, struct stat* st) {
  static const FstatFn next = next_symbol<FstatFn>("fstat");
  const int result = next(fd, st);
  if (result == 0) {
    if (MappedNode* node = node_of_fd(fd)) fix_node_stat(node, st);
  }
  return result;
}

SHIM_EXPORT int fstat64(int fd, struct stat64* st) {
  static const Fstat64Fn next = next_symbol<Fstat64Fn>("fstat64");
  const int result = next(fd, st);
  if (result == 0) {
    if (MappedNode* node = node_of_fd(fd)) fix_node_stat(node, st);
  }
  return result;
}
