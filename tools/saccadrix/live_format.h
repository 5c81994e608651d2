// One result as a short line for a person watching the tracker live.
#ifndef SACCADRIX_TOOLS_LIVE_FORMAT_H
#define SACCADRIX_TOOLS_LIVE_FORMAT_H

#include <string>

#include "saccadrix/saccadrix.h"

namespace saccadrix::cli {

// Raw results show each eye's pupil and reflection centres, calibrated results the gaze
// vector and the horizontal and vertical angles; untracked eyes say so.
std::string LiveLine(const T_RESULTS_STRUCT& record);

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_LIVE_FORMAT_H
