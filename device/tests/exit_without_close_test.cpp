// A client that opens the tracker and ends without closing it (a script that errors out,
// a program that returns early) must exit normally, poll thread still running or not.
#include <cstdio>

#include "saccadrix/saccadrix.h"
#include "virtual_tracker.h"

int main() {
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(4);
  c.rate_hz = 1000;
  vt::attach(c);
  const int model = zelSaccadrixInit();
  if (model != 4) {
    std::printf("Init returned %d\n", model);
    return 1;
  }
  zelSaccadrixStartTracking();
  std::printf("leaving with the tracker open\n");
  return 0;
}
