// The sysfs tree of one emulated USB HID device, as the kernel lays it out: USB device,
// interface, HID device, hidraw node; with the attributes and uevent fields that libudev,
// hidapi and udev rules read. Pure data: the testbed turns it into files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "virtual_tracker.h"

namespace vt::hidraw {

struct SysfsTree {
  std::string usb_device;  // /sys/devices/.../usb1/1-<port>
  std::string hid_device;  // .../1-<port>:1.0/0003:VVVV:PPPP.NNNN
  std::string hidraw;      // .../hidraw/hidraw<minor>
  std::string node_name;   // hidraw<minor>
  std::string record;      // the tree in umockdev's record format (umockdev_testbed_add_from_string)
  std::vector<uint8_t> report_descriptor;
};

// Where the device sits: its USB port on bus 1, the HID device's sequence number and the
// hidraw minor number (all counted by the testbed, never reused while it runs).
struct Placement {
  int port = 1;
  int hid_sequence = 1;
  int minor = 0;
};

// The major number the kernel hands hidraw nodes on this kind of machine (it is dynamic).
constexpr int kHidrawMajor = 241;

// The report descriptor of a device: 64-byte input and output reports without report ids,
// on the vendor-defined usage page 0xFF00 for a tracker and the generic desktop page for any
// other device (as the hidapi stand-in lists them).
std::vector<uint8_t> report_descriptor(bool tracker);

SysfsTree sysfs_tree(const DeviceConfig& config, bool tracker, const Placement& where);

// UTF-8 of a USB string as sysfs shows it.
std::string utf8(const std::wstring& text);

}  // namespace vt::hidraw
