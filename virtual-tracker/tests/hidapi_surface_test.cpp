// The hidapi functions as a host uses them: enumeration, opening, reading and writing,
// unplug, and the failures a host must see as statuses.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using namespace vt_test;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

class HidapiSurface : public ::testing::Test {
 protected:
  void SetUp() override { vt::reset(); }
  void TearDown() override { vt::reset(); }
};

vt::DeviceConfig keyboard() {
  vt::DeviceConfig c;
  c.vendor_id = 0x046d;
  c.product_id = 0xc31c;
  c.manufacturer = L"Keys Inc";
  c.product = L"Keyboard";
  c.serial = L"K1";
  return c;
}

std::vector<hid_device_info> listed(unsigned short vid, unsigned short pid) {
  std::vector<hid_device_info> out;
  hid_device_info* list = hid_enumerate(vid, pid);
  for (hid_device_info* p = list; p != nullptr; p = p->next) out.push_back(*p);
  hid_free_enumeration(list);  // the copies' pointers are not used after this
  return out;
}

TEST_F(HidapiSurface, EnumerationListsAttachedDevicesInOrderAndFilters) {
  vt::DeviceConfig a = tracker(4);
  a.serial = L"A-1";
  const int id_a = vt::attach(a);
  const int id_k = vt::attach(keyboard());
  const int id_b = vt::attach(tracker(2));
  ASSERT_GT(id_a, 0);
  ASSERT_GT(id_k, 0);
  ASSERT_GT(id_b, 0);

  hid_device_info* list = hid_enumerate(0, 0);
  ASSERT_NE(list, nullptr);
  std::vector<std::string> paths;
  for (hid_device_info* p = list; p != nullptr; p = p->next) paths.push_back(p->path);
  EXPECT_EQ(paths, (std::vector<std::string>{"vt:" + std::to_string(id_a), "vt:" + std::to_string(id_k),
                                             "vt:" + std::to_string(id_b)}));
  EXPECT_EQ(list->vendor_id, 0x0861);
  EXPECT_EQ(list->product_id, 0x3433);
  EXPECT_STREQ(list->serial_number, L"A-1");
  EXPECT_STREQ(list->manufacturer_string, L"Saccadrix");
  EXPECT_STREQ(list->product_string, L"Saccadrix Tracker");
  EXPECT_EQ(list->interface_number, 0);
  EXPECT_EQ(list->bus_type, HID_API_BUS_USB);
  hid_free_enumeration(list);

  EXPECT_EQ(listed(0x0861, 0).size(), 2u);
  EXPECT_EQ(listed(0x0861, 0x3411).size(), 1u);
  EXPECT_EQ(listed(0, 0xc31c).size(), 1u);  // product id alone filters too
  EXPECT_EQ(hid_enumerate(0x0861, 0x3412), nullptr);
  EXPECT_NE(std::wstring(hid_error(nullptr)).find(L"VID/PID"), std::wstring::npos);
}

TEST_F(HidapiSurface, OpenBySerialPathOrFirstMatchAndCountHandles) {
  vt::DeviceConfig a = tracker(2);
  a.serial = L"S-A";
  vt::DeviceConfig b = tracker(2);
  b.serial = L"S-B";
  vt::attach(a);
  const int id_b = vt::attach(b);

  Handle first(hid_open(0x0861, 0x3411, nullptr));
  Handle by_serial(hid_open(0x0861, 0x3411, L"S-B"));
  ASSERT_TRUE(first);
  ASSERT_TRUE(by_serial);
  EXPECT_EQ(hid_open(0x0861, 0x3411, L"S-C"), nullptr);
  EXPECT_EQ(hid_open_path("vt:99"), nullptr);
  EXPECT_EQ(hid_open_path(nullptr), nullptr);
  EXPECT_EQ(vt::open_handles(), 2);

  wchar_t text[16];
  ASSERT_EQ(hid_get_serial_number_string(first.get(), text, 16), 0);
  EXPECT_STREQ(text, L"S-A");
  ASSERT_EQ(hid_get_serial_number_string(by_serial.get(), text, 16), 0);
  EXPECT_STREQ(text, L"S-B");
  // A short buffer gets a cut, terminated text.
  ASSERT_EQ(hid_get_product_string(first.get(), text, 4), 0);
  EXPECT_STREQ(text, L"Sac");
  EXPECT_EQ(hid_get_manufacturer_string(first.get(), nullptr, 4), -1);

  hid_device_info* info = hid_get_device_info(by_serial.get());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(std::string(info->path), "vt:" + std::to_string(id_b));

  Handle by_path(hid_open_path(("vt:" + std::to_string(id_b)).c_str()));
  EXPECT_TRUE(by_path);
  EXPECT_EQ(vt::open_handles(), 3);
}

TEST_F(HidapiSurface, ClosedOrUnknownHandlesFailInsteadOfCrashing) {
  const int id = vt::attach(tracker(4));
  hid_device* dev = open_device(id);
  ASSERT_NE(dev, nullptr);
  hid_close(dev);
  EXPECT_EQ(vt::open_handles(), 0);
  hid_close(dev);  // a second close is harmless
  uint8_t buf[64];
  EXPECT_EQ(hid_read(dev, buf, sizeof buf), -1);
  EXPECT_EQ(send(dev, 400), -1);
  EXPECT_EQ(hid_set_nonblocking(dev, 1), -1);
  EXPECT_STREQ(hid_error(dev), L"Invalid device handle");
}

TEST_F(HidapiSurface, UnplugRemovesTheDeviceAndFailsItsHandles) {
  const int id = vt::attach(tracker(4));
  Handle dev(open_device(id));
  ASSERT_TRUE(dev);
  vt::detach(id);

  EXPECT_EQ(hid_enumerate(0, 0), nullptr);
  EXPECT_EQ(open_device(id), nullptr);
  uint8_t buf[64];
  EXPECT_EQ(hid_read(dev.get(), buf, sizeof buf), -1);
  EXPECT_EQ(send(dev.get(), 400), -1);
  EXPECT_STREQ(hid_error(dev.get()), L"No such device");
  wchar_t text[32];
  EXPECT_EQ(hid_get_serial_number_string(dev.get(), text, 32), 0);  // read at open time
}

TEST_F(HidapiSurface, BlockingAndTimedReadsWaitForReports) {
  const int id = vt::attach(tracker(4));
  hid_device* raw = hid_open_path(("vt:" + std::to_string(id)).c_str());
  Handle dev(raw);
  ASSERT_TRUE(dev);
  uint8_t buf[64];

  const auto t0 = steady_clock::now();
  EXPECT_EQ(hid_read_timeout(raw, buf, sizeof buf, 30), 0);
  EXPECT_GE(steady_clock::now() - t0, milliseconds(29));

  ASSERT_EQ(hid_set_nonblocking(raw, 1), 0);
  EXPECT_EQ(hid_read(raw, buf, sizeof buf), 0);
  ASSERT_EQ(hid_set_nonblocking(raw, 0), 0);

  // A blocking read returns as soon as a report arrives from another thread.
  std::thread pusher([id] {
    std::this_thread::sleep_for(milliseconds(20));
    uint8_t r[64] = {0x2a, 0x00, 0x07};
    vt::push_report(id, r);
  });
  EXPECT_EQ(hid_read(raw, buf, sizeof buf), 64);
  EXPECT_EQ(buf[0], 0x2a);
  EXPECT_EQ(buf[2], 0x07);
  pusher.join();

  // A blocking read on a handle that another thread closes returns -1.
  hid_device* other = open_device(id);
  ASSERT_NE(other, nullptr);
  hid_set_nonblocking(other, 0);
  std::thread closer([other] {
    std::this_thread::sleep_for(milliseconds(20));
    hid_close(other);
  });
  EXPECT_EQ(hid_read(other, buf, sizeof buf), -1);
  closer.join();
}

TEST_F(HidapiSurface, MalformedWritesAndReadsGetAStatusAndLoseNothing) {
  const int id = vt::attach(tracker(4));
  Handle dev(open_device(id));
  ASSERT_TRUE(dev);
  uint8_t out[66] = {};
  EXPECT_EQ(hid_write(dev.get(), nullptr, 65), -1);
  EXPECT_EQ(hid_write(dev.get(), out, 0), -1);
  EXPECT_EQ(hid_write(dev.get(), out, 66), -1);
  out[0] = 3;  // a numbered report the device does not have
  EXPECT_EQ(hid_write(dev.get(), out, 65), -1);
  EXPECT_NE(std::wstring(hid_error(dev.get())).find(L"byte 0"), std::wstring::npos);
  EXPECT_TRUE(vt::written(id).empty());

  // A short write (fewer than 65 bytes) reaches the device padded with zeros.
  uint8_t brief[5] = {0, 0x90, 0x01, 0, 0};  // command 400
  EXPECT_EQ(hid_write(dev.get(), brief, sizeof brief), 5);
  ASSERT_EQ(vt::written(id).size(), 1u);
  EXPECT_EQ(vt::written(id)[0].bytes.size(), 65u);
  EXPECT_EQ(vt::written(id)[0].command(), 400);

  uint8_t report[64] = {1, 2, 3, 4};
  vt::push_report(id, report);
  EXPECT_EQ(hid_read(dev.get(), nullptr, 64), -1);
  EXPECT_EQ(vt::queued(id), 2u);  // reply 400 and the pushed report are still there
  ASSERT_TRUE(read_type(dev.get(), 400).has_value());
  uint8_t small[3] = {};
  EXPECT_EQ(hid_read(dev.get(), small, sizeof small), 3);  // hidraw cuts to the buffer
  EXPECT_EQ(small[2], 3);
}

TEST_F(HidapiSurface, VersionAndUnsupportedCallsAreDefined) {
  EXPECT_EQ(hid_init(), 0);
  EXPECT_EQ(hid_version()->major, 0);
  EXPECT_EQ(hid_version()->minor, 13);
  EXPECT_STREQ(hid_version_str(), "0.13.1");
  const int id = vt::attach(tracker(4));
  Handle dev(open_device(id));
  uint8_t buf[65] = {};
  wchar_t text[8];
  EXPECT_EQ(hid_get_feature_report(dev.get(), buf, sizeof buf), -1);
  EXPECT_EQ(hid_send_feature_report(dev.get(), buf, sizeof buf), -1);
  EXPECT_EQ(hid_get_input_report(dev.get(), buf, sizeof buf), -1);
  EXPECT_EQ(hid_get_indexed_string(dev.get(), 1, text, 8), -1);
  EXPECT_EQ(hid_exit(), 0);
}

}  // namespace
