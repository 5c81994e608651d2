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
  // What only this command knows, said instead of (kOpen) or after the library's own text.
  const char* advice;
};

// One row per status each library documents: the exit code and the command's advice. The
// status's meaning is the library's text. Opening the tracker has rows of its own: there -1
// means the device node could not be opened, which on Linux is nearly always access.
constexpr StatusRow kStatusTable[] = {
    {Source::kOpen, SACCADRIX_E_NO_DEVICE, Exit::kNoTracker,
     "no Saccadrix tracker found; check that it is plugged in (lsusb lists USB vendor 0861)"},
    {Source::kOpen, SACCADRIX_E_IO, Exit::kNoAccess,
     "a tracker was found but could not be opened; install the udev rule 70-saccadrix.rules "
     "so that your user may open its /dev/hidraw node, then unplug and replug the tracker"},
    {Source::kOpen, SACCADRIX_E_THREAD, Exit::kDevice,
     "the connection's reading thread could not be started"},

    {Source::kDevice, SACCADRIX_E_IO, Exit::kDevice, "was it unplugged?"},
    {Source::kDevice, SACCADRIX_E_TIMEOUT, Exit::kDevice, nullptr},
    {Source::kDevice, SACCADRIX_E_ARG, Exit::kUsage, nullptr},
    {Source::kDevice, SACCADRIX_E_UNSUPPORTED, Exit::kUnsupported, nullptr},
    {Source::kDevice, SACCADRIX_E_FILE_CREATE, Exit::kCalibrationFile,
     "check the folder exists and is writable"},
    {Source::kDevice, SACCADRIX_E_FILE_OPEN, Exit::kCalibrationFile, nullptr},
    {Source::kDevice, SACCADRIX_E_FILE_VERSION, Exit::kCalibrationFile, nullptr},
    {Source::kDevice, SACCADRIX_E_FILE_CRC, Exit::kCalibrationFile, nullptr},
    {Source::kDevice, SACCADRIX_E_FILE_MAGIC, Exit::kCalibrationFile, nullptr},
    {Source::kDevice, SACCADRIX_E_THREAD, Exit::kDevice, nullptr},
    {Source::kDevice, SACCADRIX_E_NO_RECORD, Exit::kDevice, nullptr},
    {Source::kDevice, SACCADRIX_E_VERIFY, Exit::kDevice, nullptr},
    {Source::kDevice, SACCADRIX_E_NO_MAPPING, Exit::kDevice, nullptr},
    {Source::kDevice, SACCADRIX_E_NO_DEVICE, Exit::kNoTracker, nullptr},

    {Source::kVideo, SACCADRIX_GS_E_CREATE, Exit::kVideo,
     "are gstreamer1.0-plugins-base and gstreamer1.0-plugins-good installed?"},
    {Source::kVideo, SACCADRIX_GS_E_LINK, Exit::kVideo, nullptr},
    {Source::kVideo, SACCADRIX_GS_E_START, Exit::kVideo, nullptr},
    {Source::kVideo, SACCADRIX_GS_E_NO_CAMERA, Exit::kNoCamera, nullptr},
};

const char* VideoStatusText(int status) {
#if defined(SACCADRIX_CLI_HAS_VIDEO)
  return zelSaccadrixVideoStatusText(status);
#else
  (void)status;
  return "the video library failed (this build has none)";
#endif
}

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
    if (row.source != source || row.status != status) continue;
    if (source == Source::kOpen) return {row.exit, row.advice};
    std::string text = source == Source::kVideo ? VideoStatusText(status)
                                                : zelSaccadrixStatusText(status);
    if (row.advice != nullptr) text += std::string(" (") + row.advice + ")";
    return {row.exit, text};
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
