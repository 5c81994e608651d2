#include "session.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <thread>

#include "status.h"

namespace saccadrix::cli {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) { gInterrupted = 1; }

constexpr auto kPollStep = std::chrono::milliseconds(10);

// Opens the tracker with standard output sent to standard error: the library's own lines
// (a refused real-time priority, say) must not mix into what the command writes on standard
// output, such as the CSV of "stream --csv".
int InitWithDiagnosticsOnStderr() {
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  if (saved < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    if (saved >= 0) close(saved);
    return zelSaccadrixInit();
  }
  const int status = zelSaccadrixInit();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  return status;
}

}  // namespace

TrackerSession::TrackerSession() {
  const int status = InitWithDiagnosticsOnStderr();
  if (status < 0) {
    // Init leaves the device open when only its thread failed; release it.
    zelSaccadrixClose();
    CheckStatus(Source::kOpen, status, "cannot open the tracker");
  }
  model_ = status;
}

TrackerSession::~TrackerSession() { zelSaccadrixClose(); }

void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return gInterrupted != 0; }

bool SleepUntil(std::chrono::steady_clock::time_point deadline) {
  while (!Interrupted()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return true;
    }
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPollStep,
                                                                              deadline - now));
  }
  return false;
}

std::chrono::steady_clock::time_point DeadlineAfter(double seconds) {
  using Clock = std::chrono::steady_clock;
  if (!(seconds > 0)) {
    return Clock::time_point::max();
  }
  const double bounded = seconds < kMaxSeconds ? seconds : kMaxSeconds;
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
}

std::vector<T_RESULTS_STRUCT> TakeRecording() {
  std::vector<T_RESULTS_STRUCT> records;
  const int count = zelSaccadrixGetResultsCount();
  if (count <= 0 || zelSaccadrixSetBufferPosition(0) != 0) {
    return records;
  }
  records.reserve(static_cast<size_t>(count));
  T_RESULTS_STRUCT record;
  while (zelSaccadrixGetBufferedResult(&record, 1) == 0) {
    records.push_back(record);
  }
  return records;
}

bool WaitForResults(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (zelSaccadrixGetResult(nullptr) <= 0) {
    if (Interrupted() || std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kPollStep);
  }
  return true;
}

}  // namespace saccadrix::cli
