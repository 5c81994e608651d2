// The virtual tracker behind emulated /dev/hidraw nodes, for the real hidapi.
//
// The same simulated devices as the hidapi stand-in (virtual_tracker.h: every vt:: control
// function takes the ids handed out here), but reached the way a tracker is reached on Linux:
// a umockdev testbed holds a sysfs tree per device (USB device, interface, HID device, hidraw
// node, with the attributes and uevent fields hidapi and udev read) and a /dev/hidrawN node.
// The unmodified libhidapi-hidraw enumerates through libudev, opens the node, asks for the
// report descriptor size, writes and reads reports. Writes reach the device model through an
// ioctl handler; its input reports go into the node, whose input ring is kept as the kernel
// keeps it (64 slots, at most 63 reports; a report that finds it full is dropped and
// counted by vt::dropped).
//
// The process must run with umockdev's preload library and, ahead of it, the node shim
// (libSaccadrixHidrawShim.so) in LD_PRELOAD; processes started from it find the same nodes
// (UMOCKDEV_DIR is set in the environment). See README.md in virtual-tracker/.
//
// All functions are thread-safe.
#pragma once

#include <string>

#include "virtual_tracker.h"

namespace vt::hidraw {

// Creates the testbed (once per process). Returns false, with the reason in *problem, when
// the process does not run under umockdev's preload library and the node shim.
VT_API bool start(std::string* problem = nullptr);

// Plugs a device in: its sysfs tree and node. Devices are enumerated in the order they were
// plugged. Returns the device id, or -1 (configuration out of range as for vt::attach, or
// no testbed).
VT_API int plug(const DeviceConfig& config);
// Hot unplug: the device model is detached (vt::detach), the node is hung up (a blocked
// poll wakes with POLLHUP, reads fail with EIO, writes and ioctls with ENODEV, as the kernel
// does), and the sysfs tree and the node disappear (enumeration misses the device, opening
// the node fails with ENOENT). A re-plug is a new plug().
VT_API void unplug(int id);
// Unplugs every device and resets the simulator (vt::reset).
VT_API void unplug_all();

// The node's path ("/dev/hidraw0") and the hidraw device's path in the testbed's sysfs
// ("/sys/devices/.../hidraw/hidraw0"); empty for an unknown id.
VT_API std::string node(int id);
VT_API std::string syspath(int id);
// The testbed's root folder (the value of UMOCKDEV_DIR); empty before start().
VT_API std::string root();

// Makes open() of the node fail with this errno from now on (EACCES: as for a node that
// belongs to root when no udev rule gives it to the user); 0 lets it open again.
VT_API void fail_open(int id, int error);
// Open descriptors of the node in this and every other process.
VT_API int open_count(int id);
// Reports in the node's ring now (written to the node and not yet read).
VT_API size_t queued(int id);

}  // namespace vt::hidraw
