// Open-time device queries that other units reuse.
#pragma once

namespace saccadrix {

// Command 406 (model code 4 only): the tracker's viewing distance. 0; -4 below model code 4
// (nothing sent); -100; -1 or -2 from the exchange (distance untouched).
int zelSaccadrixGetViewingDistance(int* distance);

}  // namespace saccadrix
