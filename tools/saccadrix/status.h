// What the saccadrix command says about every status the libraries return, and the exit
// codes it ends with.
#ifndef SACCADRIX_TOOLS_STATUS_H
#define SACCADRIX_TOOLS_STATUS_H

#include <stdexcept>
#include <string>

namespace saccadrix::cli {

// Exit codes of the saccadrix command (also listed in its --help and in the README).
enum class Exit : int {
  kOk = 0,
  kInternal = 1,         // an unexpected status or an internal fault
  kUsage = 2,            // bad command line or a value out of range
  kNoTracker = 3,        // no tracker attached
  kNoAccess = 4,         // a tracker is attached but could not be opened (permissions)
  kDevice = 5,           // the tracker failed to answer, a transfer failed, a store did not verify
  kUnsupported = 6,      // the tracker's model does not have the feature
  kCalibrationFile = 7,  // a calibration file could not be read, written or is invalid
  kNoCamera = 8,         // no camera of a tracker found
  kVideo = 9,            // the video pipeline could not be built or started, or stopped early
  kOutputFile = 10,      // an output file (CSV, MAT, video) could not be written
  kNoResults = 11,       // the tracker sent no results
};

// Which library, and which call, a status came from: the same number means different things
// in each.
enum class Source {
  kOpen,    // zelSaccadrixInit
  kDevice,  // every other device-library call
  kVideo,   // the video library
};

struct StatusText {
  Exit exit;
  std::string message;
};

// The message and exit code for a status; unknown statuses give kInternal and a message
// that names the number.
StatusText DescribeStatus(Source source, int status);

// A failure that ends the command: its message goes to standard error, its code is the
// process's exit code.
class Failure : public std::runtime_error {
 public:
  Failure(Exit exit, const std::string& message) : std::runtime_error(message), exit_(exit) {}
  Exit exit() const { return exit_; }

 private:
  Exit exit_;
};

// Throws a Failure when status is negative: "<what>: <message> (status N)".
void CheckStatus(Source source, int status, const std::string& what);

// The exit-code table as text for --help and the README.
std::string ExitCodeHelp();

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_STATUS_H
