// The umockdev testbed behind emulated_hidraw.h: one sysfs tree and node per device, the
// ioctl handler that answers hidapi's ioctls and carries its writes to the device model, and
// the sink that puts the model's input reports into the node.
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "emulated_hidraw.h"
#include "node_control.h"
#include "registry.h"
#include "sysfs_tree.h"

namespace vt::hidraw {
namespace {

using detail::Device;
using detail::InputReport;

// Puts the device model's input reports into the node's ring, as hidraw_report_event does:
// nowhere while no descriptor is open, dropped when 63 reports wait.
class NodeSink : public detail::InputSink {
 public:
  explicit NodeSink(NodeControl* control) : control_(control) {}

  Offer offer(const InputReport& report) override {
    lock_node(control_);
    Offer result = Offer::unheard;
    if (control_->open_fds.load() > 0 && control_->hung_up == 0) {
      result = ring_push(control_, report.data()) ? Offer::queued : Offer::dropped;
      if (result == Offer::queued) changed_node(control_);
    }
    unlock_node(control_);
    if (result == Offer::queued) wake_node(control_);
    return result;
  }

  bool listening() override { return control_->open_fds.load() > 0; }

  size_t fill() {
    lock_node(control_);
    const size_t n = ring_fill(control_);
    unlock_node(control_);
    return n;
  }

  // The device is gone: readers get what waits and then EIO, pollers POLLHUP.
  void hang_up() {
    lock_node(control_);
    control_->hung_up = 1;
    changed_node(control_);
    unlock_node(control_);
    wake_node(control_);
  }

 private:
  NodeControl* const control_;
};

struct Node {
  int id = 0;
  SysfsTree tree;
  std::string devnode;  // /dev/hidrawN
  uint16_t vendor_id = 0, product_id = 0;
  std::string name, phys;
  NodeControl* control = nullptr;
  std::shared_ptr<NodeSink> sink;
  std::shared_ptr<Device> device;
  std::atomic<bool> plugged{true};
};

struct Testbed {
  std::mutex m;
  UMockdevTestbed* bed = nullptr;
  UMockdevIoctlBase* handler = nullptr;
  std::string root;
  std::map<int, std::shared_ptr<Node>> by_id;
  std::map<std::string, std::shared_ptr<Node>> by_devnode;
  Placement next;
};

// Never destroyed: the testbed's worker thread may still call the handler while the
// process exits.
Testbed& testbed() {
  static Testbed* const t = new Testbed;
  return *t;
}

std::shared_ptr<Node> node_by_devnode(const char* devnode) {
  if (devnode == nullptr) return nullptr;
  Testbed& t = testbed();
  std::lock_guard<std::mutex> lock(t.m);
  const auto it = t.by_devnode.find(devnode);
  return it == t.by_devnode.end() ? nullptr : it->second;
}

std::shared_ptr<Node> node_by_id(int id) {
  Testbed& t = testbed();
  std::lock_guard<std::mutex> lock(t.m);
  const auto it = t.by_id.find(id);
  return it == t.by_id.end() ? nullptr : it->second;
}

// ---- The ioctl handler (runs on the testbed's worker thread) --------------------------------

// Copies `text` into an ioctl's output buffer of `len` bytes, as the kernel does for the
// name and physical-path ioctls: at most len bytes, terminated when it fits; returns the
// bytes copied.
long put_text(UMockdevIoctlData* arg, const std::string& text, size_t len) {
  GError* error = nullptr;
  UMockdevIoctlData* out = umockdev_ioctl_data_resolve(arg, 0, len, &error);
  if (out == nullptr) {
    g_clear_error(&error);
    return -EFAULT;
  }
  const size_t n = std::min(len, text.size() + 1);
  std::memcpy(out->data, text.c_str(), n);
  g_object_unref(out);
  return static_cast<long>(n);
}

template <typename T, typename Fill>
long put_struct(UMockdevIoctlData* arg, Fill fill) {
  GError* error = nullptr;
  UMockdevIoctlData* out = umockdev_ioctl_data_resolve(arg, 0, sizeof(T), &error);
  if (out == nullptr) {
    g_clear_error(&error);
    return -EFAULT;
  }
  T value;
  std::memcpy(&value, out->data, sizeof value);
  const long result = fill(value);
  std::memcpy(out->data, &value, sizeof value);
  g_object_unref(out);
  return result;
}

// The hidraw ioctls hidapi and udev issue; others fail with ENOTTY, as on a hidraw node.
long answer_ioctl(const Node& node, unsigned long request, UMockdevIoctlData* arg) {
  const std::vector<uint8_t>& descriptor = node.tree.report_descriptor;
  switch (request) {
    case HIDIOCGRDESCSIZE:
      return put_struct<int>(arg, [&](int& size) {
        size = static_cast<int>(descriptor.size());
        return 0L;
      });
    case HIDIOCGRDESC:
      return put_struct<hidraw_report_descriptor>(arg, [&](hidraw_report_descriptor& d) {
        if (d.size > HID_MAX_DESCRIPTOR_SIZE) return -static_cast<long>(EINVAL);
        const size_t n = std::min<size_t>(d.size, descriptor.size());
        std::memcpy(d.value, descriptor.data(), n);
        return 0L;
      });
    case HIDIOCGRAWINFO:
      return put_struct<hidraw_devinfo>(arg, [&](hidraw_devinfo& info) {
        info.bustype = 3;  // BUS_USB
        info.vendor = static_cast<int16_t>(node.vendor_id);
        info.product = static_cast<int16_t>(node.product_id);
        return 0L;
      });
    default:
      break;
  }
  if (_IOC_TYPE(request) == 'H' && _IOC_DIR(request) == _IOC_READ) {
    const size_t len = _IOC_SIZE(request);
    if (_IOC_NR(request) == _IOC_NR(HIDIOCGRAWNAME(0))) return put_text(arg, node.name, len);
    if (_IOC_NR(request) == _IOC_NR(HIDIOCGRAWPHYS(0))) return put_text(arg, node.phys, len);
  }
  return -ENOTTY;
}

void complete(UMockdevIoctlClient* client, long result) {
  if (result < 0) {
    umockdev_ioctl_client_complete(client, -1, static_cast<int>(-result));
  } else {
    umockdev_ioctl_client_complete(client, result, 0);
  }
}

gboolean on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
  const auto node = node_by_devnode(umockdev_ioctl_client_get_devnode(client));
  if (node == nullptr) return FALSE;
  if (!node->plugged.load()) {
    complete(client, -ENODEV);
    return TRUE;
  }
  complete(client, answer_ioctl(*node, umockdev_ioctl_client_get_request(client),
                                umockdev_ioctl_client_get_arg(client)));
  return TRUE;
}

// A host's write() of an output report: the device model takes it and says how much of it
// the device accepted. After an unplug hidraw fails writes with ENODEV.
gboolean on_write(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
  const auto node = node_by_devnode(umockdev_ioctl_client_get_devnode(client));
  if (node == nullptr) return FALSE;
  if (!node->plugged.load()) {
    complete(client, -ENODEV);
    return TRUE;
  }
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  const size_t length = arg->data_len > 0 ? static_cast<size_t>(arg->data_len) : 0;
  const wchar_t* error = nullptr;
  const int n = node->device->write(arg->data, length, &error);
  if (n >= 0) {
    complete(client, n);
  } else {
    complete(client, node->device->attached() ? -EINVAL : -ENODEV);
  }
  return TRUE;
}

// ---- Nodes ----------------------------------------------------------------------------------

NodeControl* create_control(const std::string& root, const std::string& node_name) {
  const std::string dir = root + "/" + kNodeControlDir;
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return nullptr;
  const std::string path = dir + "/" + node_name;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  void* page = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(kNodeControlSize)) == 0) {
    page = mmap(nullptr, kNodeControlSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  ::close(fd);
  if (page == MAP_FAILED) return nullptr;
  auto* control = new (page) NodeControl{};
  control->report_size = kNodeReportSize;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
  pthread_mutex_init(&control->lock, &attr);
  pthread_mutexattr_destroy(&attr);
  // The magic number last: a page without it is not taken for a node's.
  __atomic_store_n(&control->magic, kNodeControlMagic, __ATOMIC_RELEASE);
  return control;
}

bool preload_order_ok(std::string* problem) {
  const char* preload = std::getenv("LD_PRELOAD");
  const std::string list = preload != nullptr ? preload : "";
  const size_t shim = list.find("libSaccadrixHidrawShim");
  const size_t umockdev = list.find("libumockdev-preload");
  const char* why = nullptr;
  if (umockdev == std::string::npos) {
    why = "umockdev's preload library is not loaded (run under umockdev-wrapper)";
  } else if (shim == std::string::npos || shim > umockdev) {
    why = "libSaccadrixHidrawShim.so must come before libumockdev-preload in LD_PRELOAD";
  }
  if (why != nullptr && problem != nullptr) *problem = why;
  return why == nullptr;
}

void hang_up(Node& node) {
  node.plugged.store(false);
  node.control->open_error.store(ENOENT);
  node.sink->hang_up();
}

}  // namespace

bool start(std::string* problem) {
  if (!preload_order_ok(problem)) return false;
  Testbed& t = testbed();
  std::lock_guard<std::mutex> lock(t.m);
  if (t.bed != nullptr) return true;
  t.bed = umockdev_testbed_new();
  if (t.bed == nullptr) {
    if (problem != nullptr) *problem = "umockdev could not create a testbed";
    return false;
  }
  gchar* root = umockdev_testbed_get_root_dir(t.bed);
  t.root = root;
  g_free(root);
  t.handler = umockdev_ioctl_base_new();
  g_signal_connect(t.handler, "handle-ioctl", G_CALLBACK(on_ioctl), nullptr);
  g_signal_connect(t.handler, "handle-write", G_CALLBACK(on_write), nullptr);
  return true;
}

int plug(const DeviceConfig& config) {
  Testbed& t = testbed();
  std::unique_lock<std::mutex> lock(t.m);
  if (t.bed == nullptr) return -1;
  const int id = vt::attach(config);
  if (id < 0) return -1;
  auto node = std::make_shared<Node>();
  node->id = id;
  node->device = detail::find_device(id);
  const bool tracker = node->device->model() != 0;
  node->tree = sysfs_tree(config, tracker, t.next);
  ++t.next.port;
  ++t.next.hid_sequence;
  ++t.next.minor;
  node->devnode = "/dev/" + node->tree.node_name;
  node->vendor_id = config.vendor_id;
  node->product_id = config.product_id;
  node->name = utf8(config.manufacturer) + " " + utf8(config.product);
  node->phys = "usb-0000:00:14.0-" + std::to_string(t.next.port - 1) + "/input0";

  GError* error = nullptr;
  const bool added = umockdev_testbed_add_from_string(t.bed, node->tree.record.c_str(), &error) != 0;
  g_clear_error(&error);
  node->control = added ? create_control(t.root, node->tree.node_name) : nullptr;
  if (node->control == nullptr) {
    lock.unlock();
    vt::detach(id);
    return -1;
  }
  std::vector<uint8_t> descriptor = node->tree.report_descriptor;
  umockdev_testbed_set_attribute_binary(t.bed, node->tree.hid_device.c_str(), "report_descriptor",
                                        descriptor.data(), static_cast<gint>(descriptor.size()));
  // hidapi reads the descriptor through the node's "device" link to its HID device.
  umockdev_testbed_set_attribute_link(t.bed, node->tree.hidraw.c_str(), "device",
                                      ("../../../" + node->tree.hid_device.substr(
                                                         node->tree.hid_device.rfind('/') + 1))
                                          .c_str());
  umockdev_testbed_attach_ioctl(t.bed, node->devnode.c_str(), t.handler, &error);
  g_clear_error(&error);
  node->sink = std::make_shared<NodeSink>(node->control);
  node->device->set_sink(node->sink);
  t.by_id[id] = node;
  t.by_devnode[node->devnode] = node;
  return id;
}

void unplug(int id) {
  const auto node = node_by_id(id);
  if (node == nullptr || !node->plugged.load()) return;
  vt::detach(id);
  hang_up(*node);
  Testbed& t = testbed();
  std::lock_guard<std::mutex> lock(t.m);
  umockdev_testbed_remove_device(t.bed, node->tree.usb_device.c_str());
  ::unlink((t.root + node->devnode).c_str());
  // umockdev leaves the links of the devices below the one removed; they would dangle in
  // the enumeration and keep the USB port from being used again.
  const auto base = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
  const std::string usb = base(node->tree.usb_device);
  for (const std::string& link :
       {"/sys/bus/usb/devices/" + usb, "/sys/bus/usb/devices/" + usb + ":1.0",
        "/sys/bus/hid/devices/" + base(node->tree.hid_device), "/sys/class/hidraw/" + node->tree.node_name,
        "/sys/dev/char/" + std::to_string(kHidrawMajor) + ":" +
            node->tree.node_name.substr(std::strlen("hidraw"))}) {
    ::unlink((t.root + link).c_str());
  }
}

void unplug_all() {
  std::vector<int> ids;
  {
    Testbed& t = testbed();
    std::lock_guard<std::mutex> lock(t.m);
    for (const auto& entry : t.by_id) ids.push_back(entry.first);
  }
  for (const int id : ids) unplug(id);
  vt::reset();
  // USB ports are free again. Node and HID device numbers are never reused, so that no page
  // a process still maps is made again under its name.
  std::lock_guard<std::mutex> lock(testbed().m);
  testbed().next.port = 1;
}

std::string node(int id) {
  const auto n = node_by_id(id);
  return n != nullptr ? n->devnode : std::string();
}

std::string syspath(int id) {
  const auto n = node_by_id(id);
  return n != nullptr ? n->tree.hidraw : std::string();
}

std::string root() {
  Testbed& t = testbed();
  std::lock_guard<std::mutex> lock(t.m);
  return t.root;
}

void fail_open(int id, int error) {
  if (const auto n = node_by_id(id)) {
    if (n->plugged.load()) n->control->open_error.store(error);
  }
}

int open_count(int id) {
  const auto n = node_by_id(id);
  return n != nullptr ? n->control->open_fds.load() : 0;
}

size_t queued(int id) {
  const auto n = node_by_id(id);
  return n != nullptr ? n->sink->fill() : 0;
}

}  // namespace vt::hidraw
