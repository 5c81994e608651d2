// Opening and closing the tracker, the poll thread, the firmware query and the versions.
#include <hidapi.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <mutex>
#include <cstring>
#include <cwchar>

#include "device_queries.h"
#include "hid_link.h"
#include "live_events.h"
#include "platform.h"
#include "result_buffers.h"
#include "result_decoding.h"
#include "saccadrix/saccadrix.h"

namespace saccadrix {
namespace {

constexpr int kAbiVersion = 2049;
constexpr int kOpenSettleMs = 2000;
// The poll thread's longest wait for a report: how soon it sees Close's request to end.
constexpr int kReadWaitMs = 20;
constexpr char kNotSupported[] = "Not supported.";
constexpr char kBuildDateDefault[] = "Build date not supported";

// Model code from the USB product id; 0 for devices that are not trackers.
int model_for_product(uint16_t product_id) {
  struct Range {
    uint16_t first, last;
    int model;
  };
  static constexpr Range kModels[] = {
      {0x3410, 0x3410, 1},
      {0x3411, 0x3411, 2},
      {0x3412, 0x3412, 3},
      {0x3433, 0x3440, 4},
  };
  for (const Range& r : kModels) {
    if (product_id >= r.first && product_id <= r.last) return r.model;
  }
  return 0;
}

// The settle time after enumeration: the tracker needs 2 s before it is opened. Simulators
// need none, so SACCADRIX_INIT_SETTLE_MS (read once) may shorten it, or lengthen it up to a
// minute; anything else keeps 2 s.
int open_settle_ms() {
  static const int settle = [] {
    const char* text = std::getenv("SACCADRIX_INIT_SETTLE_MS");
    if (text == nullptr || *text == '\0') return kOpenSettleMs;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 0 || value > 60000) return kOpenSettleMs;
    return static_cast<int>(value);
  }();
  return settle;
}

// Identifies a tracker for the clock mapping: its product id and USB serial number (FNV-1a).
uint64_t tracker_identity(uint16_t product_id, const wchar_t* serial) {
  uint64_t h = 1469598103934665603ull ^ product_id;
  for (const wchar_t* c = serial; *c != L'\0'; ++c) {
    h = (h ^ static_cast<uint32_t>(*c)) * 1099511628211ull;
  }
  h &= ~(uint64_t{1} << 63);  // the mapping keeps the upper half for unknown trackers
  return h != 0 ? h : 1;
}

// Ending the poll thread: Close sets the flag and wakes a thread that waits after a read error.
std::mutex end_mutex;
std::condition_variable end_requested;

// Body of the poll thread: the one reader of input reports while it runs. It waits for each
// report in the device (without any lock), so a report reaches the decoder as soon as the
// system hands it over. After a read error (the device is gone) it reads no more and waits
// to be told to end.
void PollHidResults() {
  hid_device* device = open_device();
  while (!conn.hidThreadTerminated.load()) {
    ReaderCheckpoint();
    if (ReadAndDispatch(device, kReadWaitMs) < 0) break;
  }
  ReaderStopped();
  std::unique_lock<std::mutex> lock(end_mutex);
  end_requested.wait(lock, [] { return conn.hidThreadTerminated.load(); });
}

}  // namespace

int GetFirmwareVersionInfo(uint16_t* version, char* text, size_t size) {
  int text_status = kStatusOk;
  const int status = link::query(
      OutReport(kCmdFirmwareVersion), Reply{kCmdFirmwareVersion, kAnyArg, kReplyBudgetMs},
      [&](const InReport& r) {
        *version = r.u16(kReplyFirmwareVersion);
        // The date text ends at its zero byte or at the report's end, whichever comes first;
        // a text that does not fit the caller's buffer leaves the buffer as it was.
        if (!copy_text_if_fits(r.text(kReplyFirmwareDate), text, size)) text_status = kStatusArg;
      },
      kPauseAfterQueryMs,
      [&](int) {
        *version = 0;
        copy_text_if_fits(kNotSupported, text, size);
        return kStatusUnsupported;
      });
  return status == kStatusOk ? text_status : status;
}

}  // namespace saccadrix

using namespace saccadrix;

extern "C" int zelSaccadrixClose(void) {
  int result = kStatusOk;
  bool thread_ended = true;
  if (platform::poll_thread_exists()) {
    stop_storing_results();
    {
      std::lock_guard<std::mutex> lock(end_mutex);
      conn.hidThreadTerminated.store(true);
    }
    end_requested.notify_all();
    result = platform::join_poll_thread(&thread_ended);
  }
  if (open_device() != nullptr) {
    HidLock lock;
    hid_device* device = conn.device.exchange(nullptr);
    // Never close a device under a thread that may still read it: a poll thread that did
    // not end in time keeps its device, which is let go with the process.
    if (thread_ended) hid_close(device);
    conn.model.store(0);
  }
  return result;
}

extern "C" int zelSaccadrixInit(void) {
  zelSaccadrixClose();
  {
    ResultsLock lock;
    ringBuf_init(&results_buffer);
    events::reset();
  }

  hid_device_info* devices = hid_enumerate(0, 0);
  if (devices == nullptr) return kStatusNoDevice;
  uint16_t product_id = 0;
  int model = 0;
  for (const hid_device_info* d = devices; d != nullptr; d = d->next) {
    if (d->vendor_id == kVendorId && (model = model_for_product(d->product_id)) != 0) {
      product_id = d->product_id;
      break;
    }
  }
  hid_free_enumeration(devices);
  if (model == 0) {
    conn.model.store(kStatusNoDevice);
    return kStatusNoDevice;
  }
  conn.model.store(model);

  // The tracker needs time after enumeration before it is opened.
  platform::sleep_ms(open_settle_ms());

  hid_device* device = platform::open_tracker(kVendorId, product_id);
  if (device == nullptr) {
    conn.model.store(kStatusIo);
    return kStatusIo;
  }
  wchar_t text[255];
  hid_get_manufacturer_string(device, text, 255);
  hid_get_product_string(device, text, 255);
  std::fill(std::begin(text), std::end(text), L'\0');
  const bool serial = hid_get_serial_number_string(device, text, 255) == 0;
  {
    // The clock mapping starts a new epoch with this connection's first report, and lends it
    // the rate of earlier epochs only when they came from this very tracker.
    ResultsLock lock;
    clock_mapping.restart(serial && text[0] != L'\0' ? tracker_identity(product_id, text) : 0);
  }
  hid_set_nonblocking(device, 1);
  conn.device.store(device);
  conn.timing = FrameTiming{};
  conn.priority = PollPriority{};

  // A new connection never shows the identity of the tracker opened before it: the date
  // starts from its default again, which stays when the tracker's text does not fit.
  conn.firmwareVersion = 0;
  std::memcpy(conn.firmwareDateTime, kBuildDateDefault, sizeof kBuildDateDefault);
  // On failure the version reads 0 and the date "Not supported."; Init goes on regardless.
  GetFirmwareVersionInfo(&conn.firmwareVersion, conn.firmwareDateTime,
                         sizeof conn.firmwareDateTime);

  conn.pinConfigurationSupported = 0;
  if (model >= 4) {
    int distance = 0;
    if (zelSaccadrixGetViewingDistance(&distance) == kStatusOk) {
      library.viewingDistance.store(static_cast<double>(distance));
    }
    uint8_t table[kMaxPins];
    int count = 0;
    if (zelSaccadrixGetPinFunctions(table, sizeof table, &count) == kStatusOk) {
      std::memcpy(conn.pinFunctions, table, sizeof table);
      conn.pinConfigurationSupported = count < kMaxPins ? count : kMaxPins;
    }
  }

  zelSaccadrixArmTimestamp(1);

  conn.hidThreadTerminated.store(false);
  // The thread is the reader from its first instant: no command reads beside it.
  ReaderStarted();
  if (!platform::start_poll_thread(PollHidResults)) {
    ReaderStopped();
    return kStatusThread;
  }
  return model;
}

extern "C" int zelSaccadrixHidInit(void) { return zelSaccadrixInit(); }
extern "C" int zelSaccadrixHidClose(void) { return zelSaccadrixClose(); }
extern "C" int zelSaccadrixGetLibVersion(void) { return platform::kLibVersion; }
extern "C" int zelSaccadrixGetAbiVersion(void) { return kAbiVersion; }

extern "C" int zelSaccadrixGetPollThreadPriority(int* raised, int* priority) {
  if (raised == nullptr || priority == nullptr) return kStatusArg;
  if (!platform::poll_thread_exists()) return kStatusNoDevice;
  *raised = conn.priority.raised;
  *priority = conn.priority.raised ? conn.priority.priority : 0;
  return kStatusOk;
}
