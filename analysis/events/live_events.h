// The live detection's one entry from the device library: the decode path hands each
// calibrated record to feed, with the results lock held by the thread that decodes.
#pragma once

#include "saccadrix/saccadrix.h"

namespace saccadrix::events {

// Runs the enabled eyes' detectors on one record and queues their events. hostTime: when
// the record's report was read (host clock, s); sampleTime: the record's mapped sample time
// (host clock, s; NaN when there is no mapping, and then hostTime stands in). Costs a load
// of one atomic when detection is off. Never blocks: the event queue is taken with a
// try-lock, and events that find it busy wait for the next record. Calls to feed and reset
// must not overlap (the results lock serialises them).
// Whether feed has anything to do (detection on, or a change to apply): one atomic load, so
// the decode path skips the sample-time mapping while detection is off.
bool wanted();

void feed(const T_RESULTS_STRUCT& record, double hostTime, double sampleTime);

// Restarts the enabled detectors (a new connection: nothing carries over from the last
// one's data). What is enabled, the parameters and the queued events stay.
void reset();

}  // namespace saccadrix::events
