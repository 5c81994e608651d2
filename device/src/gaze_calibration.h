// Gaze calibrations stored on the tracker (declared in the public header).
#pragma once

#include "saccadrix/saccadrix.h"
