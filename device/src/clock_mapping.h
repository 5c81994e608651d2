// The mapping from the tracker's timestamps to the host clock, estimated from the pairs
// (timestamp of a report, host time at which it was read).
//
// A read is never earlier than the report became readable, and most reads come a little
// later (the poll thread's wake-up, a loaded machine, a burst after a stall). The earliest
// reads lie on a line host = a + b * timestamp, so the estimate is the line under every pair
// that lies closest to them: the lower convex hull of the pairs, and on it the edge that
// minimises the sum of distances to all pairs (Moon, Skelly and Towsley 1999, "Estimation and
// removal of clock skew from network delay measurements", IEEE INFOCOM: the linear-programming
// estimator, whose optimum is the hull edge above the mean timestamp). This needs no unit of
// the timestamp: b is the host seconds per tick, whatever a tick is, and any drift of the
// tracker's clock against the host's is part of b.
//
// The timestamp restarts when the tracker is armed; each run of timestamps between restarts
// is an epoch with its own offset. The rate carries over a restart of the same tracker: until
// a new epoch spans longer than an earlier one of that tracker, its slope is the earlier
// epoch's and only its offset is estimated (the lowest pair under that slope), so the mapping
// holds from the first report after a restart. Another tracker's clock drifts its own way:
// its epochs never borrow a rate from a different tracker's.
//
// Not thread-safe: the result state's lock guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace saccadrix {

class ClockMapping {
 public:
  // Identifies an epoch; 0 is never used.
  using EpochId = uint64_t;

  // Adds the pair of a report (its first sample's timestamp). A timestamp below the one
  // before it starts a new epoch.
  void add(uint64_t timestamp, double host_time);
  // Forgets everything (no mapping until the next report).
  void reset();
  // The next report starts a new epoch (a new connection: its counter has nothing to do
  // with the last one's). device identifies the tracker (below 2^63); 0 when unknown: then
  // the new epochs are taken for another tracker's and borrow no earlier rate.
  void restart(uint64_t device);

  // The current epoch (0 before any report).
  EpochId current_epoch() const { return epochs_.empty() ? 0 : epochs_.back().id; }
  // The mapping of one epoch as it stands: host = y0 + a + b * (timestamp - x0).
  struct Mapping {
    uint64_t x0 = 0;
    double y0 = 0;
    double a = 0;  // seconds at x0, relative to y0
    double b = 0;  // host seconds per tick
    double to_host(uint64_t timestamp) const;
    // The timestamp at a host time, rounded to nearest; 0 for moments before timestamp 0.
    uint64_t to_timestamp(double host_time) const;
  };
  // The given epoch's mapping; false when that epoch is unknown (too old, or no report yet)
  // or no line can be drawn yet.
  bool mapping(EpochId epoch, Mapping* out) const;

 private:
  struct Point {
    double x;  // ticks since the epoch's first timestamp
    double y;  // seconds since the epoch's first host time
  };
  struct Line {
    double a = 0;  // seconds at x = 0
    double b = 0;  // seconds per tick
  };
  struct Epoch {
    EpochId id = 0;
    uint64_t device = 0;  // the tracker whose clock stamped it
    uint64_t x0 = 0;
    double y0 = 0;
    uint64_t last = 0;
    std::vector<Point> hull;  // lower convex hull, increasing x
    long double sum_x = 0;
    uint64_t count = 0;
    double span() const { return hull.empty() ? 0 : hull.back().x - hull.front().x; }
  };

  // The epoch's line; false when none can be drawn yet.
  bool line_of(const Epoch& e, Line* line) const;
  // The hull's own line (at least two points and a positive slope); false otherwise.
  static bool hull_line(const Epoch& e, Line* line);
  const Epoch* find(EpochId id) const;

  bool jumped_ahead(uint64_t timestamp, double host_time) const;

  static constexpr size_t kEpochsKept = 8;
  // How far below the line a pair must lie to count as a restart to a higher timestamp.
  static constexpr double kJumpSeconds = 0.25;
  std::deque<Epoch> epochs_;
  EpochId next_id_ = 1;
  bool restart_ = false;
  uint64_t device_ = 0;  // the tracker of the epochs to come
  uint64_t unknown_devices_ = 0;
  double rate_hint_ = 0;  // seconds per tick, for the jump test
};

}  // namespace saccadrix
