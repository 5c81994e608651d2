// Preloaded into a process that opens emulated hidraw nodes, ahead of umockdev's preload
// library. umockdev makes the node a pty, which differs from a hidraw node where hidapi
// looks; for the nodes the emulated-tracker front end made, the shim serves:
//  - read() and poll() from the node's input ring on its shared page (node_control.h): one
//    whole report per read, the part a short buffer cannot take dropped, EAGAIN when empty
//    on a non-blocking descriptor, the waiting reports and then EIO after an unplug; poll
//    readable when a report waits, POLLERR | POLLHUP after an unplug, always writable. A pty
//    would hand over a byte stream, and its data reaches the reader through a kernel worker
//    that a loaded machine delays by milliseconds; umockdev would also pass every read
//    through its ioctl socket, slower than reports come at 8 kHz.
//  - fstat(): umockdev 0.17 emulates stat() of the node but fstat() of an open node reports
//    the pty; hidapi finds the device's udev entry (serial number, strings) from st_rdev.
//  - open() fails with the errno the front end sets on the page (EACCES: no udev rule);
//    the first open and the last close empty the ring, as the kernel frees a closed file's.
// Writes and ioctls go on to umockdev, which hands them to the front end.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
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
using vt::hidraw::lock_node;
using vt::hidraw::unlock_node;

constexpr char kNodePrefix[] = "/dev/hidraw";
constexpr int kMaxFds = 4096;
constexpr int kMaxNodes = 64;
constexpr size_t kPathMax = 256;
constexpr nfds_t kMaxMixedPoll = 64;

using OpenFn = int (*)(const char*, int, ...);
using CloseFn = int (*)(int);
using ReadFn = ssize_t (*)(int, void*, size_t);
using PollFn = int (*)(pollfd*, nfds_t, int);
using StatFn = int (*)(const char*, struct stat*);
using FstatFn = int (*)(int, struct stat*);
using Fstat64Fn = int (*)(int, struct stat64*);

template <typename Fn>
Fn next_symbol(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// A node's page, mapped once per process and kept: an open descriptor may outlive the
// front end's interest in it, and the nodes are few.
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

// The page of the node at `path` when it is a node of the front end, else null.
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
          control->report_size == vt::hidraw::kNodeReportSize) {
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

// Empties the ring. Caller holds the page's lock and wakes the node after releasing it.
void empty_ring(NodeControl* c) {
  c->tail = c->head;
  vt::hidraw::changed_node(c);
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
  lock_node(c);
  if (c->open_fds.fetch_add(1) == 0) empty_ring(c);
  unlock_node(c);
  vt::hidraw::wake_node(c);
  fd_nodes[fd].store(node, std::memory_order_release);
  return fd;
}

mode_t mode_argument(int flags, va_list args) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(args, int))
                                                                      : 0;
}

// read() of a node, as hidraw_read does it.
ssize_t read_report(int fd, NodeControl* c, void* buf, size_t count) {
  uint8_t report[vt::hidraw::kNodeReportSize];
  lock_node(c);
  while (!vt::hidraw::ring_pop(c, report)) {
    if (c->hung_up != 0) {
      unlock_node(c);
      errno = EIO;
      return -1;
    }
    if ((fcntl(fd, F_GETFL) & O_NONBLOCK) != 0) {
      unlock_node(c);
      errno = EAGAIN;
      return -1;
    }
    const uint32_t seen = c->events.load();
    unlock_node(c);
    vt::hidraw::wait_node(c, seen, nullptr);
    lock_node(c);
  }
  unlock_node(c);
  const size_t n = count < sizeof report ? count : sizeof report;
  std::memcpy(buf, report, n);
  return static_cast<ssize_t>(n);
}

// poll() flags of a node now, as hidraw_poll gives them; `seen` receives the event count
// they belong to.
short node_revents(NodeControl* c, short wanted, uint32_t* seen) {
  lock_node(c);
  short revents = POLLOUT | POLLWRNORM;
  if (c->head != c->tail) revents |= POLLIN | POLLRDNORM;
  if (c->hung_up != 0) revents |= POLLERR | POLLHUP;
  *seen = c->events.load();
  unlock_node(c);
  return static_cast<short>(revents & (wanted | POLLERR | POLLHUP));
}

timespec remaining(const timespec& deadline) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  long ns = (deadline.tv_sec - now.tv_sec) * 1000000000L + (deadline.tv_nsec - now.tv_nsec);
  if (ns < 0) ns = 0;
  return timespec{ns / 1000000000L, ns % 1000000000L};
}

// poll() over descriptors among which are nodes. One node alone (hidapi's case) waits on the
// node's futex; a mix with other descriptors (at most 64) is looked at every millisecond.
int poll_nodes(pollfd* fds, nfds_t nfds, int timeout_ms, PollFn next) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  if (timeout_ms > 0) {
    deadline.tv_sec += timeout_ms / 1000;
    deadline.tv_nsec += (timeout_ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
  }
  if (nfds > kMaxMixedPoll) nfds = kMaxMixedPoll;
  for (;;) {
    uint32_t seen = 0;
    NodeControl* only = nullptr;
    bool others = false;
    for (nfds_t i = 0; i < nfds; ++i) {
      fds[i].revents = 0;
      if (MappedNode* node = node_of_fd(fds[i].fd)) {
        fds[i].revents = node_revents(node->control, fds[i].events, &seen);
        only = nfds == 1 ? node->control : nullptr;
      } else if (fds[i].fd >= 0) {
        others = true;
      }
    }
    if (others) {
      // The other descriptors' state, without waiting.
      pollfd copy[kMaxMixedPoll];
      for (nfds_t i = 0; i < nfds; ++i) {
        copy[i] = fds[i];
        if (node_of_fd(fds[i].fd) != nullptr) copy[i].fd = -1;
      }
      if (next(copy, nfds, 0) < 0) return -1;
      for (nfds_t i = 0; i < nfds; ++i) {
        if (node_of_fd(fds[i].fd) == nullptr) fds[i].revents = copy[i].revents;
      }
    }
    int ready = 0;
    for (nfds_t i = 0; i < nfds; ++i) ready += fds[i].revents != 0 ? 1 : 0;
    if (ready > 0 || timeout_ms == 0) return ready;
    timespec left{0, 1000000L};
    if (timeout_ms > 0) {
      left = remaining(deadline);
      if (left.tv_sec == 0 && left.tv_nsec == 0) return 0;
    }
    if (only != nullptr) {
      vt::hidraw::wait_node(only, seen, timeout_ms < 0 ? nullptr : &left);
    } else {
      if (left.tv_sec > 0 || left.tv_nsec > 1000000L) left = timespec{0, 1000000L};
      nanosleep(&left, nullptr);
    }
  }
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
    lock_node(c);
    if (c->open_fds.fetch_sub(1) == 1) empty_ring(c);
    unlock_node(c);
    vt::hidraw::wake_node(c);
  }
  return next(fd);
}

SHIM_EXPORT ssize_t read(int fd, void* buf, size_t count) {
  if (MappedNode* node = node_of_fd(fd)) return read_report(fd, node->control, buf, count);
  static const ReadFn next = next_symbol<ReadFn>("read");
  return next(fd, buf, count);
}

SHIM_EXPORT int poll(pollfd* fds, nfds_t nfds, int timeout) {
  static const PollFn next = next_symbol<PollFn>("poll");
  for (nfds_t i = 0; i < nfds && fds != nullptr; ++i) {
    if (node_of_fd(fds[i].fd) != nullptr) return poll_nodes(fds, nfds, timeout, next);
  }
  return next(fds, nfds, timeout);
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
