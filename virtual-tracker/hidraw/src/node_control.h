// The page an emulated hidraw node shares with every process that opens it: the node's
// input ring, kept as the kernel's hidraw driver keeps it, and the state around it. The
// front end creates it next to the testbed's /dev as <UMOCKDEV_DIR>/saccadrix-hidraw/<node>;
// the node shim preloaded into a host process maps it when the node is opened.
//
// The front end puts the device's input reports into the ring; the shim serves read() and
// poll() of the node from it. Like the kernel (one ring per open file, freed at close), the
// node holds reports only while a descriptor is open: the first open and the last close
// empty it. A host's writes and ioctls go through umockdev to the front end's handler.
#pragma once

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vt::hidraw {

constexpr uint32_t kNodeControlMagic = 0x53434832;  // "SCH2"
constexpr char kNodeControlDir[] = "saccadrix-hidraw";
constexpr size_t kNodeControlSize = 8192;
// Every emulated device sends input reports of this size (no report ids).
constexpr uint32_t kNodeReportSize = 64;
// hidraw's ring: 64 slots, of which at most 63 hold reports; a report that arrives when it is
// full is dropped.
constexpr uint32_t kRingSlots = 64;

struct NodeControl {
  uint32_t magic;
  uint32_t report_size;
  // Process-shared, robust and priority-inheriting (a host's poll thread runs at real-time
  // priority and must not wait behind a preempted writer); guards the ring, its indices
  // and the flags below it.
  pthread_mutex_t lock;
  uint32_t head;     // next slot written
  uint32_t tail;     // next slot read
  uint32_t hung_up;  // the device was unplugged
  // Futex word, bumped whenever the ring or the flags change; readers waiting on it are
  // counted so that the writer wakes them only when there are any.
  std::atomic<uint32_t> events;
  std::atomic<uint32_t> waiters;
  // errno that open() of the node fails with; 0: the node opens.
  std::atomic<int32_t> open_error;
  // Descriptors of the node open in any process.
  std::atomic<int32_t> open_fds;
  uint8_t slots[kRingSlots][kNodeReportSize];
};

static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<int32_t>::is_always_lock_free,
              "the page is shared between processes: its atomics must be lock-free");
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "a futex word is 32 bits");
static_assert(sizeof(NodeControl) <= kNodeControlSize, "the control block fits its page");

// Takes the page's lock; a holder that died leaves the ring consistent enough to go on.
inline void lock_node(NodeControl* c) {
  if (pthread_mutex_lock(&c->lock) == EOWNERDEAD) pthread_mutex_consistent(&c->lock);
}
inline void unlock_node(NodeControl* c) { pthread_mutex_unlock(&c->lock); }

// Reports waiting in the ring. Caller holds the lock.
inline uint32_t ring_fill(const NodeControl* c) { return (c->head - c->tail) & (kRingSlots - 1); }

// Appends a report unless the ring is full. Caller holds the lock.
inline bool ring_push(NodeControl* c, const uint8_t* report) {
  const uint32_t next = (c->head + 1) & (kRingSlots - 1);
  if (next == c->tail) return false;
  std::memcpy(c->slots[c->head], report, kNodeReportSize);
  c->head = next;
  return true;
}

// Takes the oldest report; false when the ring is empty. Caller holds the lock.
inline bool ring_pop(NodeControl* c, uint8_t* report) {
  if (c->head == c->tail) return false;
  std::memcpy(report, c->slots[c->tail], kNodeReportSize);
  c->tail = (c->tail + 1) & (kRingSlots - 1);
  return true;
}

// Records a change of the ring or the flags. Caller holds the lock, and calls wake_node
// after releasing it.
inline void changed_node(NodeControl* c) { c->events.fetch_add(1); }

// Wakes every process and thread that waits on the node.
inline void wake_node(NodeControl* c) {
  if (c->waiters.load() != 0) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&c->events), FUTEX_WAKE, 0x7fffffff, nullptr,
            nullptr, 0);
  }
}

// Waits until the node changes after `seen` (a value of `events` read under the lock), or
// until `timeout` passes (null: no limit). Caller does not hold the lock.
inline void wait_node(NodeControl* c, uint32_t seen, const timespec* timeout) {
  c->waiters.fetch_add(1);
  if (c->events.load() == seen) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&c->events), FUTEX_WAIT, seen, timeout,
            nullptr, 0);
  }
  c->waiters.fetch_sub(1);
}

}  // namespace vt::hidraw
