// The video library's statuses as text. Its codes overlap the device library's (-15 is "no
// camera" here, "no stored record" there), so each library answers for its own.
#include <cstdint>

#include "saccadrix/saccadrix_gs.h"
#include "status_text.h"

namespace {

using saccadrix::StatusTextRow;

constexpr StatusTextRow kStatusTexts[] = {
    {SACCADRIX_GS_OK, "success"},
    {SACCADRIX_GS_E_CREATE, "a GStreamer element or the pipeline could not be created (a plug-in is missing?)"},
    {SACCADRIX_GS_E_LINK, "the video pipeline's elements could not be linked"},
    {SACCADRIX_GS_E_START, "the video pipeline did not start (camera busy or failed, no display for the visible sink, or the file could not be created)"},
    {SACCADRIX_GS_E_NO_CAMERA, "no camera of a Saccadrix tracker found"},
};

}  // namespace

ZEL_SACCADRIX_GS_API const char* zelSaccadrixVideoStatusText(int32_t status) {
  return saccadrix::find_status_text(kStatusTexts, status);
}
