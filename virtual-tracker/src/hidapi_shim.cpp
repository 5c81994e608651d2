// hidapi's functions, with hidapi's signatures, over the simulated devices. hidapi.h is
// included with default visibility so these definitions are exported although the project
// builds with hidden visibility.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>

#include "registry.h"

using vt::detail::Device;
using vt::detail::Registry;
using vt::detail::registry;

namespace {

std::atomic<const wchar_t*> global_error{nullptr};

void set_global_error(const wchar_t* text) { global_error.store(text); }

char* dup_text(const std::string& s) {
  char* p = static_cast<char*>(std::malloc(s.size() + 1));
  if (p != nullptr) std::memcpy(p, s.c_str(), s.size() + 1);
  return p;
}

wchar_t* dup_wide(const std::wstring& s) {
  wchar_t* p = static_cast<wchar_t*>(std::malloc((s.size() + 1) * sizeof(wchar_t)));
  if (p != nullptr) std::wmemcpy(p, s.c_str(), s.size() + 1);
  return p;
}

hid_device_info* make_info(const Device& d) {
  auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
  if (info == nullptr) return nullptr;
  const vt::DeviceConfig& c = d.config();
  info->path = dup_text(c.path);
  info->vendor_id = c.vendor_id;
  info->product_id = c.product_id;
  info->serial_number = dup_wide(c.serial);
  info->release_number = 0x0100;
  info->manufacturer_string = dup_wide(c.manufacturer);
  info->product_string = dup_wide(c.product);
  info->usage_page = d.model() != 0 ? 0xFF00 : 0x0001;  // trackers use a vendor-defined page
  info->usage = 0x0001;
  info->interface_number = 0;
  info->next = nullptr;
  info->bus_type = HID_API_BUS_USB;
  if (info->path == nullptr || info->serial_number == nullptr ||
      info->manufacturer_string == nullptr || info->product_string == nullptr) {
    hid_free_enumeration(info);
    return nullptr;
  }
  return info;
}

bool matches(const Device& d, unsigned short vendor_id, unsigned short product_id) {
  return (vendor_id == 0 || d.config().vendor_id == vendor_id) &&
         (product_id == 0 || d.config().product_id == product_id);
}

std::shared_ptr<hid_device_> lookup(hid_device* dev) {
  if (dev == nullptr) return nullptr;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.m);
  const auto it = r.handles.find(dev);
  return it == r.handles.end() ? nullptr : it->second;
}

// Opens a handle on a device. Caller holds the registry's mutex.
hid_device* open_locked(Registry& r, const std::shared_ptr<Device>& d) {
  auto h = std::make_shared<hid_device_>();
  h->device = d;
  h->info = make_info(*d);
  if (h->info == nullptr) {
    set_global_error(L"Out of memory");
    return nullptr;
  }
  d->handle_opened();
  hid_device* key = h.get();
  r.handles.emplace(key, std::move(h));
  set_global_error(nullptr);
  return key;
}

int copy_string(hid_device* dev, wchar_t* string, size_t maxlen,
                const std::wstring vt::DeviceConfig::*which) {
  const auto h = lookup(dev);
  if (h == nullptr) {
    set_global_error(L"Invalid device handle");
    return -1;
  }
  if (string == nullptr || maxlen == 0) {
    h->error = L"No buffer for the string";
    return -1;
  }
  if (h->device->string_read_error()) {
    h->error = L"String descriptor could not be read";
    return -1;
  }
  // Strings are read once at open time, so they stay readable after an unplug.
  const std::wstring& s = h->device->config().*which;
  const size_t n = std::min(s.size(), maxlen - 1);
  std::wmemcpy(string, s.c_str(), n);
  string[n] = L'\0';
  h->error = nullptr;
  return 0;
}

int read_report(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
  const auto h = lookup(dev);
  if (h == nullptr) {
    set_global_error(L"Invalid device handle");
    return -1;
  }
  const wchar_t* error = nullptr;
  const int n = h->device->read(data, length, milliseconds, h->closed, &error);
  h->error = n < 0 ? error : nullptr;
  return n;
}

int unsupported(hid_device* dev, const wchar_t* what) {
  const auto h = lookup(dev);
  if (h == nullptr) {
    set_global_error(L"Invalid device handle");
    return -1;
  }
  h->error = what;
  return -1;
}

// hidapi's message for a path that cannot be opened, as open() of a missing node fails.
// Texts are kept for the life of the process (hid_error hands out the pointer), one per path.
const wchar_t* open_failed_text(const char* path) {
  static std::mutex m;
  static auto* texts = new std::map<std::string, std::wstring>;
  std::lock_guard<std::mutex> lock(m);
  std::wstring& text = (*texts)[path];
  if (text.empty()) {
    text = L"Failed to open a device with path '";
    for (const char* p = path; *p != '\0'; ++p) text += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    text += L"': No such file or directory";
  }
  return text.c_str();
}

const hid_api_version kVersion = {HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR, HID_API_VERSION_PATCH};

}  // namespace

hid_device_::~hid_device_() { hid_free_enumeration(info); }

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.m);
  vt::detail::settle_environment_locked(r);
  return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void) {
  set_global_error(nullptr);
  return 0;
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                  unsigned short product_id) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.m);
  vt::detail::settle_environment_locked(r);
  hid_device_info* head = nullptr;
  hid_device_info** tail = &head;
  for (const auto& d : r.devices) {
    if (!d->attached() || !matches(*d, vendor_id, product_id)) continue;
    hid_device_info* info = make_info(*d);
    if (info == nullptr) {
      hid_free_enumeration(head);
      set_global_error(L"Out of memory");
      return nullptr;
    }
    *tail = info;
    tail = &info->next;
  }
  if (head == nullptr) {
    set_global_error(vendor_id == 0 && product_id == 0
                         ? L"No HID devices found in the system."
                         : L"No HID devices with requested VID/PID found in the system.");
  } else {
    set_global_error(nullptr);
  }
  return head;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info* devs) {
  while (devs != nullptr) {
    hid_device_info* next = devs->next;
    std::free(devs->path);
    std::free(devs->serial_number);
    std::free(devs->manufacturer_string);
    std::free(devs->product_string);
    std::free(devs);
    devs = next;
  }
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                                 const wchar_t* serial_number) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.m);
  vt::detail::settle_environment_locked(r);
  for (const auto& d : r.devices) {
    if (!d->attached() || !matches(*d, vendor_id, product_id)) continue;
    if (serial_number != nullptr && d->config().serial != serial_number) continue;
    return open_locked(r, d);
  }
  set_global_error(L"Device with requested VID/PID/(SerialNumber) not found");
  return nullptr;
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path(const char* path) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.m);
  vt::detail::settle_environment_locked(r);
  if (path == nullptr) {
    set_global_error(L"No path given");
    return nullptr;
  }
  for (const auto& d : r.devices) {
    if (d->attached() && d->config().path == path) return open_locked(r, d);
  }
  set_global_error(open_failed_text(path));
  return nullptr;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  const auto h = lookup(dev);
  if (h == nullptr) {
    set_global_error(L"Invalid device handle");
    return -1;
  }
  const wchar_t* error = nullptr;
  const int n = h->device->write(data, length, &error);
  h->error = n < 0 ? error : nullptr;
  return n;
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device* dev, unsigned char* data, size_t length,
                                                 int milliseconds) {
  return read_report(dev, data, length, milliseconds < 0 ? -1 : milliseconds);
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device* dev, unsigned char* data, size_t length) {
  const auto h = lookup(dev);
  if (h == nullptr) {
    set_global_error(L"Invalid device handle");
    return -1;
  }
  return read_report(dev, data, length, h->nonblocking.load() ? 0 : -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device* dev, int nonblock) {
  const auto h = lookup(dev);
  if (h == nullptr) {
    set_global_error(L"Invalid device handle");
    return -1;
  }
  h->nonblocking = nonblock != 0;
  return 0;
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device* dev, const unsigned char*, size_t) {
  return unsupported(dev, L"The device has no feature reports");
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device* dev, unsigned char*, size_t) {
  return unsupported(dev, L"The device has no feature reports");
}

int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device* dev, unsigned char*, size_t) {
  return unsupported(dev, L"The device does not send input reports on request");
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device* dev) {
  if (dev == nullptr) return;
  std::shared_ptr<hid_device_> h;
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.m);
    const auto it = r.handles.find(dev);
    if (it == r.handles.end()) return;  // unknown or already closed: nothing to do
    h = std::move(it->second);
    r.handles.erase(it);
  }
  h->closed = true;
  h->device->handle_closed();
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  return copy_string(dev, string, maxlen, &vt::DeviceConfig::manufacturer);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  return copy_string(dev, string, maxlen, &vt::DeviceConfig::product);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  return copy_string(dev, string, maxlen, &vt::DeviceConfig::serial);
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_get_device_info(hid_device* dev) {
  const auto h = lookup(dev);
  if (h == nullptr) {
    set_global_error(L"Invalid device handle");
    return nullptr;
  }
  return h->info;
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device* dev, int, wchar_t*, size_t) {
  return unsupported(dev, L"hid_get_indexed_string: not supported by hidraw");
}

HID_API_EXPORT const wchar_t* HID_API_CALL hid_error(hid_device* dev) {
  const wchar_t* e = nullptr;
  if (dev == nullptr) {
    e = global_error.load();
  } else if (const auto h = lookup(dev)) {
    e = h->error.load();
  } else {
    e = L"Invalid device handle";
  }
  return e != nullptr ? e : L"Success";
}

HID_API_EXPORT const struct hid_api_version* HID_API_CALL hid_version(void) { return &kVersion; }

HID_API_EXPORT const char* HID_API_CALL hid_version_str(void) { return HID_API_VERSION_STR; }

}  // extern "C"
