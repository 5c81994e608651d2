// Opens the real hidapi: with no tracker attached Init must report no tracker and leave
// everything usable; on a machine with a tracker plugged in (a lab desktop) Init opens it,
// or reports that its node may not be opened, and Close releases it. Says which it checked.
#include <hidapi.h>

#include <cstdio>

#include "saccadrix/saccadrix.h"

namespace {

// Trackers the enumeration lists, as the library chooses them (vendor 0861, model products).
int attached_trackers() {
  int n = 0;
  hid_device_info* list = hid_enumerate(0x0861, 0);
  for (const hid_device_info* d = list; d != nullptr; d = d->next) {
    const unsigned p = d->product_id;
    if ((p >= 0x3410 && p <= 0x3412) || (p >= 0x3433 && p <= 0x3440)) ++n;
  }
  hid_free_enumeration(list);
  return n;
}

}  // namespace

int main() {
  const int trackers = attached_trackers();
  const int status = zelSaccadrixInit();
  T_RESULTS_STRUCT record;
  if (trackers == 0) {
    if (status != SACCADRIX_E_NO_DEVICE) {
      std::printf("expected -100 from Init without a tracker, got %d\n", status);
      return 1;
    }
    if (zelSaccadrixGetResult(&record) != SACCADRIX_E_NO_DEVICE) return 1;
    if (zelSaccadrixClose() != 0 || zelSaccadrixClose() != 0) return 1;
    std::printf("real hidapi, no tracker attached: Init returns -100\n");
    return 0;
  }
  if (status == SACCADRIX_E_IO) {
    std::printf("real hidapi, %d tracker(s) attached: Init returns -1, the node may not be "
                "opened (install the udev rule)\n", trackers);
    return zelSaccadrixClose() == 0 ? 0 : 1;
  }
  if (status < 1 || status > 4) {
    std::printf("expected a model code or -1 from Init with a tracker attached, got %d\n", status);
    return 1;
  }
  uint16_t version = 0;
  zelSaccadrixGetFirmwareVersion(&version);
  if (zelSaccadrixClose() != 0 || zelSaccadrixClose() != 0) return 1;
  if (zelSaccadrixGetResult(&record) != SACCADRIX_E_NO_DEVICE) return 1;
  std::printf("real hidapi, %d tracker(s) attached: Init opened model code %d (firmware %u) "
              "and Close released it\n", trackers, status, static_cast<unsigned>(version));
  return 0;
}
