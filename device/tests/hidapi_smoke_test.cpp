// Opens the real hidapi on a machine without trackers: Init must report no tracker and
// leave everything usable.
#include <cstdio>

#include "saccadrix/saccadrix.h"

int main() {
  const int status = zelSaccadrixInit();
  if (status != SACCADRIX_E_NO_DEVICE) {
    std::printf("expected -100 from Init without a tracker, got %d\n", status);
    return 1;
  }
  T_RESULTS_STRUCT record;
  if (zelSaccadrixGetResult(&record) != SACCADRIX_E_NO_DEVICE) return 1;
  if (zelSaccadrixClose() != 0 || zelSaccadrixClose() != 0) return 1;
  std::printf("real hidapi: Init without a tracker returns -100\n");
  return 0;
}
