// The pieces every subcommand that talks to the tracker shares: the connection, Ctrl-C, and
// reading a recording back.
#ifndef SACCADRIX_TOOLS_SESSION_H
#define SACCADRIX_TOOLS_SESSION_H

#include <chrono>
#include <vector>

#include "saccadrix/saccadrix.h"

namespace saccadrix::cli {

// The open tracker for the lifetime of the object. Opening takes a little over 2 seconds.
// Throws Failure when no tracker can be opened.
class TrackerSession {
 public:
  TrackerSession();
  ~TrackerSession();
  TrackerSession(const TrackerSession&) = delete;
  TrackerSession& operator=(const TrackerSession&) = delete;

  int model() const { return model_; }

 private:
  int model_ = 0;
};

// The longest duration a command accepts (about 115 days): far beyond any trial, and well
// inside the clock's range.
constexpr double kMaxSeconds = 1e7;

// Ctrl-C (SIGINT) and SIGTERM end a running stream, recording or video recording in an
// orderly way: the first one sets a flag the loops poll; the handler is then reset, so a
// second one ends the process at once.
void CatchInterrupt();
bool Interrupted();

// Sleeps in short steps until the deadline passes or an interrupt arrives; returns false
// when interrupted.
bool SleepUntil(std::chrono::steady_clock::time_point deadline);

// The time point seconds from now; seconds <= 0 means no deadline (the clock's maximum).
std::chrono::steady_clock::time_point DeadlineAfter(double seconds);

// Takes every stored record out of the library, oldest first. Records are removed from the
// library as they are copied, so the recording is held once, not twice.
std::vector<T_RESULTS_STRUCT> TakeRecording();

// Waits up to timeout for the first record in the ring after it was flushed; false when
// none came.
bool WaitForResults(std::chrono::milliseconds timeout);

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_SESSION_H
