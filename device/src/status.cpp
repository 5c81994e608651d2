#include "status.h"

#include "status_text.h"

namespace saccadrix {
namespace {

constexpr StatusTextRow kStatusTexts[] = {
    {kStatusOk, "success"},
    {kStatusIo, "a transfer to or from the tracker failed (or: the tracker could not be opened; no record in the ring)"},
    {kStatusTimeout, "the tracker did not answer in time"},
    {kStatusArg, "an argument is out of range, or a text does not fit the buffer"},
    {kStatusUnsupported, "this tracker model does not support it"},
    {kStatusFileCreate, "the calibration file could not be written"},
    {kStatusFileOpen, "the calibration file could not be opened or read"},
    {kStatusFileVersion, "the calibration file has a format version this library does not read"},
    {kStatusFileCrc, "the calibration file is damaged or cut short (checksum mismatch)"},
    {kStatusFileMagic, "the file is not a Saccadrix calibration file"},
    {kStatusThread, "the poll thread or its lock failed, or the stored-results cursor ran off the list"},
    {kStatusNoRecord, "no stored record at the cursor, a null destination, or a position out of range"},
    {kStatusVerify, "the calibration read back from the tracker differs from what was written"},
    {kStatusNoMapping, "no device-to-host clock mapping yet (no result has been read since the timestamp restarted)"},
    {kStatusNoDevice, "no tracker found, or no open connection"},
};

}  // namespace

const char* status_text(int status) {
  if (status >= 1 && status <= 4) return "success (the model code of the opened tracker)";
  return find_status_text(kStatusTexts, status);
}

}  // namespace saccadrix

extern "C" const char* zelSaccadrixStatusText(int status) { return saccadrix::status_text(status); }
