#include "status.h"

#include <iterator>

#include "saccadrix/saccadrix.h"
#include "saccadrix/saccadrix_gs.h"

namespace saccadrix::cli {

namespace {

struct StatusRow {
  Source source;
  int status;
  Exit exit;
  const char* message;
};

// One row per status each library documents. Opening the tracker has rows of its own: there
// -1 means the device node could not be opened, which on Linux is nearly always access.
constexpr StatusRow kStatusTable[] = {
    {Source::kOpen, SACCADRIX_E_NO_DEVICE, Exit::kNoTracker,
     "no Saccadrix tracker found; check that it is plugged in (lsusb lists USB vendor 0861)"},
    {Source::kOpen, SACCADRIX_E_IO, Exit::kNoAccess,
     "a tracker was found but could not be opened; install the udev rule 70-saccadrix.rules "
     "so that your user may open its /dev/hidraw node, then unplug and replug the tracker"},
    {Source::kOpen, SACCADRIX_E_THREAD, Exit::kDevice,
     "the connection's reading thread could not be started"},

    {Source::kDevice, SACCADRIX_E_IO, Exit::kDevice,
     "a transfer to or from the tracker failed (was it unplugged?)"},
    {Source::kDevice, SACCADRIX_E_TIMEOUT, Exit::kDevice, "the tracker did not answer in time"},
    {Source::kDevice, SACCADRIX_E_ARG, Exit::kUsage,
     "a value is outside the range the tracker accepts"},
    {Source::kDevice, SACCADRIX_E_UNSUPPORTED, Exit::kUnsupported,
     "this tracker model does not support it"},
    {Source::kDevice, SACCADRIX_E_FILE_CREATE, Exit::kCalibrationFile,
     "the calibration file could not be written (check the folder exists and is writable)"},
    {Source::kDevice, SACCADRIX_E_FILE_OPEN, Exit::kCalibrationFile,
     "the calibration file could not be opened or read"},
    {Source::kDevice, SACCADRIX_E_FILE_VERSION, Exit::kCalibrationFile,
     "the calibration file has a format version this kit does not read"},
    {Source::kDevice, SACCADRIX_E_FILE_CRC, Exit::kCalibrationFile,
     "the calibration file is damaged or cut short (checksum mismatch)"},
    {Source::kDevice, SACCADRIX_E_FILE_MAGIC, Exit::kCalibrationFile,
     "the file is not a Saccadrix calibration file"},
    {Source::kDevice, SACCADRIX_E_THREAD, Exit::kDevice,
     "the library's reading thread or its lock failed"},
    {Source::kDevice, SACCADRIX_E_NO_RECORD, Exit::kDevice, "no recorded result is left"},
    {Source::kDevice, SACCADRIX_E_VERIFY, Exit::kDevice,
     "the calibration read back from the tracker differs from what was stored"},
    {Source::kDevice, SACCADRIX_E_NO_DEVICE, Exit::kNoTracker, "no tracker is connected"},

    {Source::kVideo, SACCADRIX_GS_E_CREATE, Exit::kVideo,
     "a GStreamer element could not be created (are gstreamer1.0-plugins-base and "
     "gstreamer1.0-plugins-good installed?)"},
    {Source::kVideo, SACCADRIX_GS_E_LINK, Exit::kVideo,
     "the video pipeline's elements could not be linked"},
    {Source::kVideo, SACCADRIX_GS_E_START, Exit::kVideo,
     "the video pipeline did not start (the camera may be in use, or the file could not be "
     "created)"},
    {Source::kVideo, SACCADRIX_GS_E_NO_CAMERA, Exit::kNoCamera,
     "no camera of a Saccadrix tracker found"},
};

struct ExitRow {
  Exit exit;
  const char* meaning;
};

constexpr ExitRow kExitTable[] = {
    {Exit::kOk, "success (also when Ctrl-C ends stream, record or video record)"},
    {Exit::kInternal, "unexpected failure"},
    {Exit::kUsage, "bad command line, or a value out of range"},
    {Exit::kNoTracker, "no tracker found"},
    {Exit::kNoAccess, "tracker found but not accessible (udev rule missing?)"},
    {Exit::kDevice, "the tracker did not answer, a transfer failed, or a store did not verify"},
    {Exit::kUnsupported, "not supported by this tracker model"},
    {Exit::kCalibrationFile, "calibration file unreadable, unwritable or invalid"},
    {Exit::kNoCamera, "no tracker camera found"},
    {Exit::kVideo, "the video pipeline failed"},
    {Exit::kOutputFile, "an output file could not be written"},
    {Exit::kNoResults, "the tracker sent no results"},
};

}  // namespace

StatusText DescribeStatus(Source source, int status) {
  for (const StatusRow& row : kStatusTable) {
    if (row.source == source && row.status == status) {
      return {row.exit, row.message};
    }
  }
  return {Exit::kInternal, "unexpected status"};
}

void CheckStatus(Source source, int status, const std::string& what) {
  if (status >= 0) {
    return;
  }
  const StatusText text = DescribeStatus(source, status);
  throw Failure(text.exit,
                what + ": " + text.message + " (status " + std::to_string(status) + ")");
}

std::string ExitCodeHelp() {
  std::string text = "Exit codes:\n";
  for (const ExitRow& row : kExitTable) {
    const std::string code = std::to_string(static_cast<int>(row.exit));
    text += "  " + std::string(code.size() < 2 ? " " : "") + code + "  " + row.meaning + "\n";
  }
  return text;
}

}  // namespace saccadrix::cli
