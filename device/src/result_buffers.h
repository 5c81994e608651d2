// Where decoded records go: the ring of recent records, the newest record, and the
// stored recording with its read cursor, each record with the host time at which its report
// was read. Everything here is guarded by the results lock; callers hold it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include <string>

#include "clock_mapping.h"
#include "platform.h"
#include "saccadrix/saccadrix.h"

namespace saccadrix {

constexpr int kRingCapacity = platform::kRingCapacity;

void LockResults();
void UnLockResults();

// Holds the results lock for its lifetime. It guards the ring, the newest record, the stored
// recording, the recording state and the frame-rate estimate; the poll thread takes it for
// the decoding of one report. Never taken around a device exchange.
class ResultsLock {
 public:
  ResultsLock() { LockResults(); }
  ~ResultsLock() { UnLockResults(); }
  ResultsLock(const ResultsLock&) = delete;
  ResultsLock& operator=(const ResultsLock&) = delete;
};

struct t_results_buffer {
  T_RESULTS_STRUCT records[kRingCapacity];
  double hostTimes[kRingCapacity];
  int head;   // slot the next push writes
  int tail;   // oldest record, the next pop
  int count;  // records held
};

extern t_results_buffer results_buffer;
extern T_RESULTS_STRUCT last_result;
extern double last_result_host_time;  // 0 until a record arrives

void ringBuf_init(t_results_buffer* ring);
bool ringBuf_empty(const t_results_buffer* ring);
bool ringBuf_full(const t_results_buffer* ring);
int ringBuf_length(const t_results_buffer* ring);
// 0 with the oldest record in out (and its host time in host_time, if given), or -1 when
// the ring is empty.
int ringBuf_pop(t_results_buffer* ring, T_RESULTS_STRUCT* out, double* host_time = nullptr);
// Appends, dropping the oldest record when full, and copies the record into last_result.
void ringBuf_push(t_results_buffer* ring, const T_RESULTS_STRUCT& record, double host_time = 0);
void ringBuf_flush(t_results_buffer* ring);
// Clears the ring except for those of its newest `newest` records whose resultsType is
// results_type (kept in order).
void ringBuf_flush_keeping(t_results_buffer* ring, uint64_t newest, uint16_t results_type);
// Records pushed into the ring since the library was loaded.
extern uint64_t ring_pushes;

// The stored recording: records in arrival order with their host read times and the clock
// epoch of their timestamps, kept in chunks of 4096 (one allocation per chunk, none per
// record: 167 bytes a record). Indexed access, appends and removal at either end in constant
// time; removal inside shifts the shorter side.
class StoredRecords {
 public:
  static constexpr size_t kChunk = 4096;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const T_RESULTS_STRUCT& record(size_t i) const { return chunk(i).records[slot(i)]; }
  double host_time(size_t i) const { return chunk(i).host_times[slot(i)]; }
  uint32_t epoch(size_t i) const { return chunk(i).epochs[slot(i)]; }
  // False when memory for a new chunk could not be had (nothing changes then).
  bool push_back(const T_RESULTS_STRUCT& record, double host_time, uint32_t epoch = 0);
  void erase(size_t i);
  void clear();
  // Bytes held, for the memory figures.
  size_t capacity_bytes() const;

 private:
  struct Chunk {
    T_RESULTS_STRUCT records[kChunk];
    double host_times[kChunk];
    uint32_t epochs[kChunk];
  };
  Chunk& chunk(size_t i) const { return *chunks_[(first_ + i) / kChunk]; }
  size_t slot(size_t i) const { return (first_ + i) % kChunk; }
  void move(size_t to, size_t from);  // one record, indices relative to the first

  std::vector<std::unique_ptr<Chunk>> chunks_;
  size_t first_ = 0;  // slot of the first record in chunks_[0]
  size_t size_ = 0;
};

// The stored-results list and its read cursor. position is the index of the next record to
// read; after the last record has been read it equals count ("past the end"), and the next
// appended record is then the next one read.
// A time-stamped message of the experiment ("trial 3 start"), kept with the recording. Its
// device timestamp is mapped when it is read, as the records' sample times are.
struct Marker {
  double host_time;
  ClockMapping::EpochId epoch;  // the clock epoch current when it was added
  std::string text;
};

struct StoredList {
  StoredRecords records;
  int count = 0;
  int position = 0;
  std::deque<Marker> markers;  // grows without moving the markers it holds (under the results lock)
};

extern StoredList results_storage;

// Appends a copy of the record with its host read time. A record that cannot be stored
// (memory exhausted, or the list already holds INT_MAX records) is counted in
// dropped_allocations and left out.
void StoreResult(const T_RESULTS_STRUCT& record, double host_time = 0, uint32_t epoch = 0);
// Frees every record and marker and resets the cursor.
void ClearStoredResults();
// Reads the record at the cursor into destination (its host time into host_time, if given)
// and advances (or removes it): 0, or -15 for a null destination or when nothing is left.
int ReadStoredResult(T_RESULTS_STRUCT* destination, bool remove, double* host_time = nullptr);
// Moves the cursor to position: 0, or -15 out of range or empty.
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

// The device-to-host clock mapping, fed by the decoder with every result report.
extern ClockMapping clock_mapping;

// Stops appending to the stored list (Close and StopTracking). Takes the results lock.
void stop_storing_results();

}  // namespace saccadrix
