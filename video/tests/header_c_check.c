/* The public header is plain C: this program must build as C11 with every warning on, and
 * the library must answer through it. Nothing here needs a camera. */
#include <stdio.h>

#include "saccadrix/saccadrix_gs.h"

int main(void) {
  int32_t (*const functions[])(void) = {
      zelSaccadrixVideoStart, zelSaccadrixVideoStop, zelSaccadrixVideoStopped,
      zelSaccadrixVideoStopRecord, zelSaccadrixGetLibGSVersion};
  int32_t (*const startRecord)(const char*) = zelSaccadrixVideoStartRecord;
  const int32_t version = zelSaccadrixGetLibGSVersion();
  const int32_t init = zelSaccadrixVideoInit(0, false);
  const int32_t stopped = zelSaccadrixVideoStopped();
  if (version != 43 || init != SACCADRIX_GS_OK || stopped != 1 || functions[0] == NULL ||
      startRecord == NULL) {
    printf("version %d, init %d, stopped %d\n", (int)version, (int)init, (int)stopped);
    return 1;
  }
  return 0;
}
