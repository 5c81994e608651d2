#include "result_buffers.h"

#include <cstring>
#include <new>
#include <vector>

namespace saccadrix {

t_results_buffer results_buffer;
T_RESULTS_STRUCT last_result;
StoredList results_storage;
TrackingState tracking;
uint64_t ring_pushes = 0;

void ringBuf_init(t_results_buffer* ring) { std::memset(ring, 0, sizeof *ring); }
bool ringBuf_empty(const t_results_buffer* ring) { return ring->count == 0; }
bool ringBuf_full(const t_results_buffer* ring) { return ring->count > kRingCapacity - 1; }
int ringBuf_length(const t_results_buffer* ring) { return ring->count; }
void ringBuf_flush(t_results_buffer* ring) { ringBuf_init(ring); }

int ringBuf_pop(t_results_buffer* ring, T_RESULTS_STRUCT* out) {
  if (ring->count <= 0) return -1;
  *out = ring->records[ring->tail];
  ring->tail = (ring->tail + 1) % kRingCapacity;
  --ring->count;
  return 0;
}

void ringBuf_push(t_results_buffer* ring, const T_RESULTS_STRUCT& record) {
  if (ring->head == ring->tail && ring->count != 0) {
    ring->tail = (ring->tail + 1) % kRingCapacity;
    --ring->count;
  }
  ring->records[ring->head] = record;
  ring->head = (ring->head + 1) % kRingCapacity;
  ++ring->count;
  last_result = record;
  ++ring_pushes;
}

void ringBuf_flush_keeping(t_results_buffer* ring, uint64_t newest, uint16_t results_type) {
  const int keep_from = newest < static_cast<uint64_t>(ring->count)
                            ? ring->count - static_cast<int>(newest) : 0;
  std::vector<T_RESULTS_STRUCT> kept;
  for (int i = keep_from; i < ring->count; ++i) {
    const T_RESULTS_STRUCT& r = ring->records[(ring->tail + i) % kRingCapacity];
    if (r.resultsType == results_type) kept.push_back(r);
  }
  const T_RESULTS_STRUCT last = last_result;
  ringBuf_init(ring);
  for (const T_RESULTS_STRUCT& r : kept) ringBuf_push(ring, r);
  last_result = last;
  ring_pushes -= kept.size();
}

void StoreResult(const T_RESULTS_STRUCT& record) {
  auto* node = new (std::nothrow) StoredNode{record, nullptr, results_storage.last};
  if (node == nullptr) {
    ++tracking.dropped_allocations;
    return;
  }
  StoredList& list = results_storage;
  if (list.count == 0) {
    list.first = list.last = list.cursor = node;
    list.count = 1;
    list.position = 0;
    return;
  }
  list.last->next = node;
  list.last = node;
  // A reader that has read everything waits past the end; the new record is its next one.
  if (list.cursor == nullptr) list.cursor = node;
  ++list.count;
}

void ClearStoredResults() {
  for (StoredNode* node = results_storage.first; node != nullptr;) {
    StoredNode* next = node->next;
    delete node;
    node = next;
  }
  results_storage = StoredList{};
}

int ReadStoredResult(T_RESULTS_STRUCT* destination, bool remove) {
  StoredList& list = results_storage;
  if (destination == nullptr || list.position >= list.count || list.cursor == nullptr) {
    return -15;
  }
  StoredNode* node = list.cursor;
  *destination = node->record;
  if (!remove) {
    list.cursor = node->next;  // null past the end
    ++list.position;
    return 0;
  }
  StoredNode* next = node->next;
  StoredNode* prev = node->prev;
  delete node;
  --list.count;
  if (next == nullptr && prev == nullptr) {
    list = StoredList{};
    return 0;
  }
  if (prev != nullptr) prev->next = next;
  else list.first = next;
  if (next != nullptr) next->prev = prev;
  else list.last = prev;
  // The following record takes the removed one's index, so position stays; removing the
  // last record leaves the reader past the end.
  list.cursor = next;
  return 0;
}

int MoveStoredCursor(int position) {
  StoredList& list = results_storage;
  if (position < 0 || position >= list.count || list.count == 0) return -15;
  if (position == 0) {
    list.cursor = list.first;
    list.position = 0;
    return 0;
  }
  if (position == list.count - 1) {
    list.cursor = list.last;
    list.position = list.count - 1;
    return 0;
  }
  if (list.cursor == nullptr) {  // past the end: walk back from the last record
    list.cursor = list.last;
    list.position = list.count - 1;
  }
  while (list.position < position) {
    if (list.cursor->next == nullptr) return -10;
    list.cursor = list.cursor->next;
    ++list.position;
  }
  while (list.position > position) {
    if (list.cursor->prev == nullptr) return -10;
    list.cursor = list.cursor->prev;
    --list.position;
  }
  return 0;
}

void stop_storing_results() { tracking.storeResults.store(false); }

}  // namespace saccadrix
