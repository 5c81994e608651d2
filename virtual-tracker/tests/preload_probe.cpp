// A host program built against the real hidapi, run with the virtual tracker preloaded: it
// lists the devices, reads results and the firmware reply from the first tracker, and exits
// with the device still open and streaming (the simulator must let the process end cleanly).
#include <hidapi.h>

#include <chrono>
#include <cstdio>
#include <thread>

int main() {
  if (hid_init() != 0) return 1;
  hid_device_info* list = hid_enumerate(0, 0);
  const hid_device_info* first_tracker = nullptr;
  for (const hid_device_info* p = list; p != nullptr; p = p->next) {
    std::printf("device %04x:%04x serial=%ls path=%s\n", p->vendor_id, p->product_id,
                p->serial_number, p->path);
    if (first_tracker == nullptr && p->vendor_id == 0x0861) first_tracker = p;
  }
  if (first_tracker == nullptr) {
    std::printf("no tracker\n");
    hid_free_enumeration(list);
    return 0;
  }
  hid_device* dev = hid_open_path(first_tracker->path);
  hid_free_enumeration(list);
  if (dev == nullptr) return 2;
  hid_set_nonblocking(dev, 1);

  unsigned char out[65] = {0, 400 & 0xFF, 400 >> 8};
  if (hid_write(dev, out, sizeof out) != 65) return 3;
  int results = 0, firmware = -1;
  unsigned char in[64];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while ((results < 20 || firmware < 0) && std::chrono::steady_clock::now() < deadline) {
    const int n = hid_read(dev, in, sizeof in);
    if (n < 0) return 4;
    if (n == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    const int type = in[0] | in[1] << 8;
    if (type >= 200 && type <= 203) ++results;
    if (type == 400) firmware = in[2] | in[3] << 8;
  }
  std::printf("results %s firmware %d\n", results >= 20 ? "flowing" : "missing", firmware);
  return 0;  // the handle stays open on purpose
}
