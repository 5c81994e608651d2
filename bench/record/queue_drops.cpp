// Preloaded after the virtual tracker into a "saccadrix record" run: at exit, prints how many
// result reports each simulated tracker generated and how many its operating-system queue
// dropped because the host did not read them in time. A gap in the recording that the queue
// drops account for was lost before the host saw it, not by the command.
#include <cinttypes>
#include <cstdio>

#include "virtual_tracker.h"

namespace {

__attribute__((destructor)) void PrintQueueDrops() {
  // Device ids are small integers handed out in attach order.
  for (int id = 0; id < 8; ++id) {
    const uint64_t generated = vt::reports_generated(id);
    if (generated > 0) {
      std::fprintf(stderr, "virtual tracker %d: %" PRIu64 " reports generated, %" PRIu64
                   " dropped by the input queue\n", id, generated, vt::dropped(id));
    }
  }
}

}  // namespace
