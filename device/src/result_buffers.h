// Where decoded records go: the ring of recent records, the newest record, and the
// stored-results list of a recording with its read cursor. Everything here is guarded by
// the HID lock; callers hold it.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform.h"
#include "saccadrix/saccadrix.h"

namespace saccadrix {

constexpr int kRingCapacity = platform::kRingCapacity;

struct t_results_buffer {
  T_RESULTS_STRUCT records[kRingCapacity];
  int head;   // slot the next push writes
  int tail;   // oldest record, the next pop
  int count;  // records held
};

extern t_results_buffer results_buffer;
extern T_RESULTS_STRUCT last_result;

void ringBuf_init(t_results_buffer* ring);
bool ringBuf_empty(const t_results_buffer* ring);
bool ringBuf_full(const t_results_buffer* ring);
int ringBuf_length(const t_results_buffer* ring);
// 0 with the oldest record in out, or -1 when the ring is empty.
int ringBuf_pop(t_results_buffer* ring, T_RESULTS_STRUCT* out);
// Appends, dropping the oldest record when full, and copies the record into last_result.
void ringBuf_push(t_results_buffer* ring, const T_RESULTS_STRUCT& record);
void ringBuf_flush(t_results_buffer* ring);
// Clears the ring except for those of its newest `newest` records whose resultsType is
// results_type (kept in order).
void ringBuf_flush_keeping(t_results_buffer* ring, uint64_t newest, uint16_t results_type);
// Records pushed into the ring since the library was loaded.
extern uint64_t ring_pushes;

struct StoredNode {
  T_RESULTS_STRUCT record;
  StoredNode* next;
  StoredNode* prev;
};

// The stored-results list. position is always the index of cursor counted from first;
// after the last record has been read, cursor is null and position equals count ("past the
// end"), and the next appended record becomes the cursor, so it is the next one read.
struct StoredList {
  StoredNode* first;
  StoredNode* last;
  StoredNode* cursor;
  int count;
  int position;
};

extern StoredList results_storage;

// Appends a copy of the record (one allocation). A record that cannot be allocated is
// counted in dropped_allocations and left out.
void StoreResult(const T_RESULTS_STRUCT& record);
// Frees every node and zeroes the header.
void ClearStoredResults();
// Reads the record at the cursor into destination and advances (or removes it): 0, or -15
// for a null destination or when nothing is left to read.
int ReadStoredResult(T_RESULTS_STRUCT* destination, bool remove);
// Moves the cursor to position: 0, -15 out of range or empty, -10 when the walk ran off the
// list (cannot happen while the list is consistent).
int MoveStoredCursor(int position);

// Recording state.
struct TrackingState {
  // Read without the lock by zelSaccadrixGetTrackingStarted.
  std::atomic<bool> storeResults{false};
  bool waitForStart = false;
  uint64_t waitForStartTimestamp = 0;
  uint8_t calibratedDevice[2] = {0, 0};
  uint64_t dropped_allocations = 0;
};

extern TrackingState tracking;

// Stops appending to the stored list (Close and StopTracking).
void stop_storing_results();

}  // namespace saccadrix
