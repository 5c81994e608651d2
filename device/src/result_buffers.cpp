#include "result_buffers.h"

#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "status.h"

namespace saccadrix {

t_results_buffer results_buffer;
T_RESULTS_STRUCT last_result;
double last_result_host_time = 0;
StoredList results_storage;
TrackingState tracking;
ClockMapping clock_mapping;
uint64_t ring_pushes = 0;

namespace {
std::mutex results_mutex;
}  // namespace

void LockResults() { results_mutex.lock(); }
void UnLockResults() { results_mutex.unlock(); }

void ringBuf_init(t_results_buffer* ring) { std::memset(ring, 0, sizeof *ring); }
bool ringBuf_empty(const t_results_buffer* ring) { return ring->count == 0; }
bool ringBuf_full(const t_results_buffer* ring) { return ring->count > kRingCapacity - 1; }
int ringBuf_length(const t_results_buffer* ring) { return ring->count; }
void ringBuf_flush(t_results_buffer* ring) { ringBuf_init(ring); }

int ringBuf_pop(t_results_buffer* ring, T_RESULTS_STRUCT* out, double* host_time) {
  if (ring->count <= 0) return kStatusIo;
  *out = ring->records[ring->tail];
  if (host_time != nullptr) *host_time = ring->hostTimes[ring->tail];
  ring->tail = (ring->tail + 1) % kRingCapacity;
  --ring->count;
  return kStatusOk;
}

void ringBuf_push(t_results_buffer* ring, const T_RESULTS_STRUCT& record, double host_time) {
  if (ring->head == ring->tail && ring->count != 0) {
    ring->tail = (ring->tail + 1) % kRingCapacity;
    --ring->count;
  }
  ring->records[ring->head] = record;
  ring->hostTimes[ring->head] = host_time;
  ring->head = (ring->head + 1) % kRingCapacity;
  ++ring->count;
  last_result = record;
  last_result_host_time = host_time;
  ++ring_pushes;
}

void ringBuf_flush_keeping(t_results_buffer* ring, uint64_t newest, uint16_t results_type) {
  const int keep_from = newest < static_cast<uint64_t>(ring->count)
                            ? ring->count - static_cast<int>(newest) : 0;
  struct Kept {
    T_RESULTS_STRUCT record;
    double host_time;
  };
  std::vector<Kept> kept;
  for (int i = keep_from; i < ring->count; ++i) {
    const int at = (ring->tail + i) % kRingCapacity;
    if (ring->records[at].resultsType == results_type) kept.push_back({ring->records[at], ring->hostTimes[at]});
  }
  const T_RESULTS_STRUCT last = last_result;
  const double last_time = last_result_host_time;
  ringBuf_init(ring);
  for (const Kept& k : kept) ringBuf_push(ring, k.record, k.host_time);
  last_result = last;
  last_result_host_time = last_time;
  ring_pushes -= kept.size();
}

// ---- StoredRecords ---------------------------------------------------------------------

bool StoredRecords::push_back(const T_RESULTS_STRUCT& record, double host_time, uint32_t epoch) {
  if (first_ + size_ == chunks_.size() * kChunk) {
    std::unique_ptr<Chunk> fresh(new (std::nothrow) Chunk);
    if (fresh == nullptr) return false;
    try {
      chunks_.push_back(std::move(fresh));
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  const size_t i = size_++;
  chunk(i).records[slot(i)] = record;
  chunk(i).host_times[slot(i)] = host_time;
  chunk(i).epochs[slot(i)] = epoch;
  return true;
}

void StoredRecords::move(size_t to, size_t from) {
  chunk(to).records[slot(to)] = chunk(from).records[slot(from)];
  chunk(to).host_times[slot(to)] = chunk(from).host_times[slot(from)];
  chunk(to).epochs[slot(to)] = chunk(from).epochs[slot(from)];
}

void StoredRecords::erase(size_t i) {
  if (i >= size_) return;
  if (i < size_ - 1 - i) {
    // Shift the records before it one place back, then drop the first.
    for (size_t k = i; k > 0; --k) move(k, k - 1);
    ++first_;
    --size_;
    if (first_ == kChunk) {
      chunks_.erase(chunks_.begin());
      first_ = 0;
    }
  } else {
    for (size_t k = i; k + 1 < size_; ++k) move(k, k + 1);
    --size_;
    // Keep one spare chunk at the end, so that a reader that removes while records arrive
    // does not allocate and free a chunk at every boundary.
    while (chunks_.size() * kChunk > first_ + size_ + 2 * kChunk) chunks_.pop_back();
  }
  if (size_ == 0) {
    // Emptied by a reader that keeps up: keep one chunk for what comes next.
    first_ = 0;
    if (chunks_.size() > 1) chunks_.resize(1);
  }
}

void StoredRecords::clear() {
  chunks_.clear();
  chunks_.shrink_to_fit();
  first_ = 0;
  size_ = 0;
}

size_t StoredRecords::capacity_bytes() const {
  return chunks_.size() * sizeof(Chunk) + chunks_.capacity() * sizeof(chunks_[0]);
}

// ---- The stored list -----------------------------------------------------------------

void StoreResult(const T_RESULTS_STRUCT& record, double host_time, uint32_t epoch) {
  StoredList& list = results_storage;
  if (list.count == INT_MAX || !list.records.push_back(record, host_time, epoch)) {
    ++tracking.dropped_allocations;
    return;
  }
  ++list.count;
}

void ClearStoredResults() {
  results_storage.records.clear();
  results_storage.count = 0;
  results_storage.position = 0;
  results_storage.markers.clear();
  results_storage.markers.shrink_to_fit();
}

int ReadStoredResult(T_RESULTS_STRUCT* destination, bool remove, double* host_time) {
  StoredList& list = results_storage;
  if (destination == nullptr || list.position < 0 || list.position >= list.count) {
    return kStatusNoRecord;
  }
  const size_t at = static_cast<size_t>(list.position);
  *destination = list.records.record(at);
  if (host_time != nullptr) *host_time = list.records.host_time(at);
  if (!remove) {
    ++list.position;
    return kStatusOk;
  }
  // The following record takes the removed one's index, so position stays; removing the
  // last record leaves the reader past the end.
  list.records.erase(at);
  --list.count;
  return kStatusOk;
}

int MoveStoredCursor(int position) {
  StoredList& list = results_storage;
  if (position < 0 || position >= list.count) return kStatusNoRecord;
  list.position = position;
  return kStatusOk;
}

void stop_storing_results() {
  ResultsLock lock;
  tracking.storeResults.store(false);
}

}  // namespace saccadrix
