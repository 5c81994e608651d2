#include "sysfs_tree.h"

#include <cstdio>

namespace vt::hidraw {
namespace {

constexpr char kHostController[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1";

std::string format(const char* fmt, unsigned a, unsigned b = 0, unsigned c = 0, unsigned d = 0) {
  char text[64];
  std::snprintf(text, sizeof text, fmt, a, b, c, d);
  return text;
}

// Attribute and uevent values are single lines; a newline in a configured string would
// split the record.
std::string one_line(std::string s) {
  for (char& c : s) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return s;
}

}  // namespace

std::string utf8(const std::wstring& text) {
  std::string out;
  for (const wchar_t wc : text) {
    const auto c = static_cast<uint32_t>(wc);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::vector<uint8_t> report_descriptor(bool tracker) {
  std::vector<uint8_t> d;
  if (tracker) {
    d = {0x06, 0x00, 0xFF};  // Usage Page (vendor-defined 0xFF00)
  } else {
    d = {0x05, 0x01};        // Usage Page (generic desktop)
  }
  const std::vector<uint8_t> rest = {
      0x09, 0x01,        // Usage (1)
      0xA1, 0x01,        // Collection (application)
      0x15, 0x00,        //   Logical minimum 0
      0x26, 0xFF, 0x00,  //   Logical maximum 255
      0x75, 0x08,        //   Report size 8 bits
      0x95, 0x40,        //   Report count 64
      0x09, 0x01,        //   Usage (1)
      0x81, 0x02,        //   Input (data, variable, absolute)
      0x95, 0x40,        //   Report count 64
      0x09, 0x01,        //   Usage (1)
      0x91, 0x02,        //   Output (data, variable, absolute)
      0xC0,              // End collection
  };
  d.insert(d.end(), rest.begin(), rest.end());
  return d;
}

SysfsTree sysfs_tree(const DeviceConfig& c, bool tracker, const Placement& where) {
  SysfsTree t;
  const auto port = static_cast<unsigned>(where.port);
  const std::string usb_name = format("1-%u", port);
  t.usb_device = std::string(kHostController) + "/" + usb_name;
  const std::string interface = t.usb_device + "/" + usb_name + ":1.0";
  t.hid_device = interface + "/" +
                 format("0003:%04X:%04X.%04X", c.vendor_id, c.product_id,
                        static_cast<unsigned>(where.hid_sequence));
  t.node_name = format("hidraw%u", static_cast<unsigned>(where.minor));
  t.hidraw = t.hid_device + "/hidraw/" + t.node_name;
  t.report_descriptor = report_descriptor(tracker);

  const std::string manufacturer = one_line(utf8(c.manufacturer));
  const std::string product = one_line(utf8(c.product));
  const std::string serial = one_line(utf8(c.serial));
  // The kernel names a USB HID device after its manufacturer and product strings.
  std::string hid_name = manufacturer;
  if (!product.empty()) hid_name += (hid_name.empty() ? "" : " ") + product;
  const std::string ids = format("%x/%x/100", c.vendor_id, c.product_id);

  std::string r;
  r += "P: " + t.usb_device.substr(4) + "\n";
  r += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n";
  r += "E: PRODUCT=" + ids + "\nE: TYPE=0/0/0\n";
  r += "E: BUSNUM=001\nE: DEVNUM=" + format("%03u", port + 1) + "\n";
  r += "A: idVendor=" + format("%04x", c.vendor_id) + "\n";
  r += "A: idProduct=" + format("%04x", c.product_id) + "\n";
  r += "A: bcdDevice=0100\nA: bDeviceClass=00\nA: bNumInterfaces= 1\nA: speed=12\n";
  r += "A: busnum=1\nA: devnum=" + format("%u", port + 1) + "\n";
  r += "A: manufacturer=" + manufacturer + "\n";
  r += "A: product=" + product + "\n";
  r += "A: serial=" + serial + "\n\n";

  r += "P: " + interface.substr(4) + "\n";
  r += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\n";
  r += "E: PRODUCT=" + ids + "\nE: TYPE=0/0/0\nE: INTERFACE=3/0/0\n";
  r += "A: bInterfaceNumber=00\nA: bInterfaceClass=03\nA: bInterfaceSubClass=00\n";
  r += "A: bInterfaceProtocol=00\nA: bNumEndpoints=02\n\n";

  r += "P: " + t.hid_device.substr(4) + "\n";
  r += "E: SUBSYSTEM=hid\nE: DRIVER=hid-generic\n";
  r += "E: HID_ID=" + format("0003:%08X:%08X", c.vendor_id, c.product_id) + "\n";
  r += "E: HID_NAME=" + hid_name + "\n";
  r += "E: HID_PHYS=usb-0000:00:14.0-" + format("%u", port) + "/input0\n";
  r += "E: HID_UNIQ=" + serial + "\n";
  r += "E: MODALIAS=" + format("hid:b0003g0001v%08Xp%08X", c.vendor_id, c.product_id) + "\n\n";

  r += "P: " + t.hidraw.substr(4) + "\n";
  r += "N: " + t.node_name + "\n";
  r += "E: SUBSYSTEM=hidraw\n";
  r += "E: DEVNAME=/dev/" + t.node_name + "\n";
  r += "E: MAJOR=" + format("%u", kHidrawMajor) + "\n";
  r += "E: MINOR=" + format("%u", static_cast<unsigned>(where.minor)) + "\n";
  r += "A: dev=" + format("%u:%u", kHidrawMajor, static_cast<unsigned>(where.minor)) + "\n\n";
  t.record = std::move(r);
  return t;
}

}  // namespace vt::hidraw
