// The page an emulated hidraw node shares with every process that opens it. The front end
// (which keeps the node's input ring) creates it next to the testbed's /dev as
// <UMOCKDEV_DIR>/saccadrix-hidraw/<node name>; the node shim preloaded into the host process
// maps it when the node is opened, counts open descriptors and the reports the host reads,
// and fails the open with the errno the front end asks for.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace vt::hidraw {

constexpr uint32_t kNodeControlMagic = 0x53434831;  // "SCH1"
constexpr char kNodeControlDir[] = "saccadrix-hidraw";
constexpr size_t kNodeControlSize = 4096;
// Every emulated device sends input reports of this size (no report ids).
constexpr uint32_t kNodeReportSize = 64;

// The ring of input reports is the pty's buffer: the front end writes reports into it and
// the hosts read them. Its fill is written - consumed, as the kernel's head and tail give it.
// Like the kernel, which keeps a ring per open file and frees it at close, the node holds
// reports only while some descriptor is open: the first open and the last close empty it.
struct NodeControl {
  uint32_t magic;
  uint32_t report_size;
  // Process-shared and robust: held while a report is put into the ring and while an open
  // or close empties it, so that neither sees the other half done.
  pthread_mutex_t lock;
  // errno that open() of the node fails with; 0: the node opens.
  std::atomic<int32_t> open_error;
  // Descriptors of the node open in any process.
  std::atomic<int32_t> open_fds;
  std::atomic<uint64_t> written;   // reports the front end put into the ring
  std::atomic<uint64_t> consumed;  // reports the hosts read whole
};

// Takes the page's lock; a holder that died leaves counters that are consistent anyway.
inline void lock_node(NodeControl* c) {
  if (pthread_mutex_lock(&c->lock) == EOWNERDEAD) pthread_mutex_consistent(&c->lock);
}
inline void unlock_node(NodeControl* c) { pthread_mutex_unlock(&c->lock); }

static_assert(std::atomic<uint64_t>::is_always_lock_free && std::atomic<int32_t>::is_always_lock_free,
              "the page is shared between processes: its counters must be lock-free");
static_assert(sizeof(NodeControl) <= kNodeControlSize, "the control block fits its page");

}  // namespace vt::hidraw
