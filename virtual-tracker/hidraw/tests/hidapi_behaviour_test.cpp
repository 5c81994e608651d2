// hidapi as the kit's library meets it, the same cases against both front ends of the
// simulated devices: built with FRONT_END_HIDRAW, the real libhidapi-hidraw over emulated
// /dev/hidraw nodes; without, the hidapi stand-in. What passes against the real hidapi and
// fails against the stand-in is a difference the stand-in must not have.
#include <gtest/gtest.h>
#include <hidapi.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "virtual_tracker.h"
#if defined(FRONT_END_HIDRAW)
#include "emulated_hidraw.h"
#endif

namespace {

#if defined(FRONT_END_HIDRAW)
int plug(const vt::DeviceConfig& c) { return vt::hidraw::plug(c); }
void unplug(int id) { vt::hidraw::unplug(id); }
void unplug_all() { vt::hidraw::unplug_all(); }
std::string path_of(int id) { return vt::hidraw::node(id); }
const char kMissingPath[] = "/dev/hidraw999";
#else
int plug(const vt::DeviceConfig& c) { return vt::attach(c); }
void unplug(int id) { vt::detach(id); }
void unplug_all() { vt::reset(); }
std::string path_of(int id) { return "vt:" + std::to_string(id); }
const char kMissingPath[] = "vt:999";
#endif

using Report = std::array<uint8_t, 64>;

vt::DeviceConfig tracker(const wchar_t* serial) {
  vt::DeviceConfig c;
  c.product_id = vt::product_id_for_model(4);
  c.serial = serial;
  return c;
}

Report report(uint8_t mark) {
  Report r{};
  r[0] = 0x77;  // a report type no host knows
  r[5] = mark;
  std::memset(r.data() + 6, mark, r.size() - 6);
  return r;
}

void push(int id, const Report& r) {
  uint8_t bytes[64];
  std::memcpy(bytes, r.data(), sizeof bytes);
  vt::push_report(id, bytes);
}

class Hidapi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#if defined(FRONT_END_HIDRAW)
    std::string problem;
    ASSERT_TRUE(vt::hidraw::start(&problem)) << problem;
#endif
  }
  void SetUp() override { unplug_all(); }
  void TearDown() override {
    if (dev_ != nullptr) hid_close(dev_);
    unplug_all();
  }
  hid_device* open(int id) {
    dev_ = hid_open_path(path_of(id).c_str());
    EXPECT_NE(dev_, nullptr) << hid_error(nullptr);
    return dev_;
  }
  hid_device* dev_ = nullptr;
};

TEST_F(Hidapi, enumeration_lists_ids_strings_and_usage_as_hidraw_reads_them) {
  vt::DeviceConfig keypad;
  keypad.vendor_id = 0x1209;
  keypad.product_id = 0x0001;
  keypad.manufacturer = L"Example";
  keypad.product = L"Keypad";
  keypad.serial = L"K1";
  plug(keypad);
  plug(tracker(L"SX-1"));

  struct Expected {
    unsigned short vendor, product, usage_page;
    const wchar_t *serial, *manufacturer, *name;
  };
  const Expected expected[] = {
      {0x1209, 0x0001, 0x0001, L"K1", L"Example", L"Keypad"},
      {0x0861, 0x3433, 0xFF00, L"SX-1", L"Saccadrix", L"Saccadrix Tracker"},
  };
  hid_device_info* list = hid_enumerate(0, 0);
  const hid_device_info* d = list;
  for (const Expected& e : expected) {
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->vendor_id, e.vendor);
    EXPECT_EQ(d->product_id, e.product);
    EXPECT_STREQ(d->serial_number, e.serial);
    EXPECT_STREQ(d->manufacturer_string, e.manufacturer);
    EXPECT_STREQ(d->product_string, e.name);
    EXPECT_EQ(d->usage_page, e.usage_page);
    EXPECT_EQ(d->usage, 1);
    EXPECT_EQ(d->interface_number, 0);
    EXPECT_EQ(d->release_number, 0x0100);
    EXPECT_EQ(d->bus_type, HID_API_BUS_USB);
    d = d->next;
  }
  EXPECT_EQ(d, nullptr);
  hid_free_enumeration(list);

  list = hid_enumerate(0x0861, 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->product_id, 0x3433);
  EXPECT_EQ(list->next, nullptr);
  hid_free_enumeration(list);
}

TEST_F(Hidapi, open_by_ids_takes_the_first_listed_device_or_the_named_serial) {
  plug(tracker(L"A"));
  plug(tracker(L"B"));
  wchar_t serial[8] = {};
  hid_device* first = hid_open(0x0861, 0x3433, nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(hid_get_serial_number_string(first, serial, 8), 0);
  EXPECT_STREQ(serial, L"A");
  hid_close(first);
  dev_ = hid_open(0x0861, 0x3433, L"B");
  ASSERT_NE(dev_, nullptr);
  EXPECT_EQ(hid_get_serial_number_string(dev_, serial, 8), 0);
  EXPECT_STREQ(serial, L"B");
  EXPECT_EQ(hid_open(0x0861, 0x3433, L"C"), nullptr);
  EXPECT_STREQ(hid_error(nullptr), L"Device with requested VID/PID/(SerialNumber) not found");
}

TEST_F(Hidapi, open_of_a_missing_path_names_the_path_and_the_reason) {
  EXPECT_EQ(hid_open_path(kMissingPath), nullptr);
  EXPECT_EQ(std::wstring(hid_error(nullptr)),
            L"Failed to open a device with path '" + std::wstring(kMissingPath, kMissingPath + std::strlen(kMissingPath)) +
                L"': No such file or directory");
}

TEST_F(Hidapi, a_read_hands_over_one_whole_report_and_drops_what_a_short_buffer_cannot_take) {
  const int id = plug(tracker(L"R"));
  hid_device* dev = open(id);
  ASSERT_NE(dev, nullptr);
  uint8_t buf[100];
  EXPECT_EQ(hid_read_timeout(dev, buf, sizeof buf, 0), 0);  // nothing waiting
  push(id, report(1));
  push(id, report(2));
  push(id, report(3));
  EXPECT_EQ(hid_read_timeout(dev, buf, 10, 1000), 10);
  EXPECT_EQ(buf[5], 1);
  EXPECT_EQ(hid_read_timeout(dev, buf, sizeof buf, 1000), 64);  // the next report, whole
  EXPECT_EQ(buf[5], 2);
  EXPECT_EQ(buf[63], 2);
  hid_set_nonblocking(dev, 1);
  EXPECT_EQ(hid_read(dev, buf, sizeof buf), 64);
  EXPECT_EQ(buf[5], 3);
  EXPECT_EQ(hid_read(dev, buf, sizeof buf), 0);
}

TEST_F(Hidapi, unplug_fails_timed_reads_at_once_and_blocking_reads_after_the_waiting_reports) {
  const int id = plug(tracker(L"U"));
  hid_device* dev = open(id);
  ASSERT_NE(dev, nullptr);
  push(id, report(1));
  push(id, report(2));
  unplug(id);

  uint8_t buf[64];
  EXPECT_EQ(hid_read_timeout(dev, buf, sizeof buf, 100), -1);
  EXPECT_STREQ(hid_error(dev), L"hid_read_timeout: unexpected poll error (device disconnected)");
  uint8_t out[65] = {};
  out[1] = 0x90;
  out[2] = 0x01;
  EXPECT_EQ(hid_write(dev, out, sizeof out), -1);
  EXPECT_STREQ(hid_error(dev), L"No such device");

  hid_set_nonblocking(dev, 0);  // hid_read now reads without polling first
  EXPECT_EQ(hid_read(dev, buf, sizeof buf), 64);
  EXPECT_EQ(buf[5], 1);
  EXPECT_EQ(hid_read(dev, buf, sizeof buf), 64);
  EXPECT_EQ(buf[5], 2);
  EXPECT_EQ(hid_read(dev, buf, sizeof buf), -1);
  EXPECT_STREQ(hid_error(dev), L"Input/output error");

  EXPECT_EQ(hid_enumerate(0, 0), nullptr);
  EXPECT_EQ(hid_open_path(path_of(id).c_str()), nullptr);
}

}  // namespace
