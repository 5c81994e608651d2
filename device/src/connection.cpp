// Opening and closing the tracker, the poll thread, the firmware query and the versions.
#include <hidapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "device_queries.h"
#include "hid_link.h"
#include "platform.h"
#include "result_buffers.h"
#include "result_decoding.h"
#include "saccadrix/saccadrix.h"

namespace saccadrix {
namespace {

constexpr int kAbiVersion = 2049;
constexpr uint16_t kCmdFirmwareVersion = 400;
constexpr int kOpenSettleMs = 2000;
constexpr int kEmptyReadSleepMs = 1;
constexpr int kEndFlagCheckMs = 100;
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

// Body of the poll thread: carries every input report into the result decoder, sleeping
// 1 ms between empty reads with the lock released. After a read error (the device is gone)
// it reads no more and only waits, in 100 ms steps, to be told to end.
void PollHidResults() {
  bool read_failed = false;
  while (!conn.hidThreadTerminated.load()) {
    while (!read_failed && !conn.hidThreadTerminated.load()) {
      uint8_t report[kInReportSize];
      LockHidMutex();
      hid_device* device = open_device();
      const int n = device ? platform::read_report(device, report, kInReportSize) : -1;
      if (n == static_cast<int>(kInReportSize)) {
        processResult(report);
        UnLockHidMutex();
        continue;
      }
      UnLockHidMutex();
      if (n == -1) {
        read_failed = true;
        break;
      }
      platform::sleep_ms(kEmptyReadSleepMs);
    }
    platform::sleep_ms(kEndFlagCheckMs);
  }
}

}  // namespace

int GetFirmwareVersionInfo(uint16_t* version, char* text, size_t size) {
  int text_status = kStatusOk;
  const int status = link::query(
      OutReport(kCmdFirmwareVersion), Reply{kCmdFirmwareVersion, kAnyArg, kQueryTries},
      [&](const InReport& r) {
        *version = r.u16(2);
        // The date text ends at its zero byte or at the report's end, whichever comes first;
        // a text that does not fit the caller's buffer leaves the buffer as it was.
        if (!copy_text_if_fits(r.text(4), text, size)) text_status = kStatusArg;
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
  if (platform::poll_thread_exists()) {
    {
      HidLock lock;
      stop_storing_results();
    }
    conn.hidThreadTerminated.store(true);
    if (platform::join_poll_thread() != 0) result = kStatusThread;
    platform::hid_lock_retire();
  }
  if (open_device() != nullptr) {
    HidLock lock;
    hid_close(conn.device.exchange(nullptr));
    conn.model.store(0);
  }
  return result;
}

extern "C" int zelSaccadrixInit(void) {
  zelSaccadrixClose();
  {
    HidLock lock;
    ringBuf_init(&results_buffer);
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
  platform::sleep_ms(kOpenSettleMs);

  hid_device* device = platform::open_tracker(kVendorId, product_id);
  if (device == nullptr) {
    conn.model.store(kStatusIo);
    return kStatusIo;
  }
  wchar_t text[255];
  hid_get_manufacturer_string(device, text, 255);
  hid_get_product_string(device, text, 255);
  hid_get_serial_number_string(device, text, 255);
  hid_set_nonblocking(device, 1);
  conn.device.store(device);

  // A new connection never shows the identity of the tracker opened before it: the date
  // starts from its default again, which stays when the tracker's text does not fit.
  conn.firmwareVersion = 0;
  std::memcpy(conn.firmwareDateTime, kBuildDateDefault, sizeof kBuildDateDefault);
  // On failure the version reads 0 and the date "Not supported."; Init goes on regardless.
  GetFirmwareVersionInfo(&conn.firmwareVersion, conn.firmwareDateTime,
                         sizeof conn.firmwareDateTime);

  {
    HidLock lock;
    conn.pinConfigurationSupported = 0;
  }
  if (model >= 4) {
    int distance = 0;
    if (zelSaccadrixGetViewingDistance(&distance) == kStatusOk) {
      conn.viewingDistance.store(static_cast<double>(distance));
    }
    uint8_t table[kMaxPins];
    int count = 0;
    if (zelSaccadrixGetPinFunctions(table, sizeof table, &count) == kStatusOk) {
      HidLock lock;
      std::memcpy(conn.pinFunctions, table, sizeof table);
      conn.pinConfigurationSupported = count < kMaxPins ? count : kMaxPins;
    }
  }

  zelSaccadrixArmTimestamp(1);

  if (!platform::hid_lock_ready()) return kStatusThread;
  conn.hidThreadTerminated.store(false);
  if (!platform::start_poll_thread(PollHidResults)) return kStatusThread;
  return model;
}

extern "C" int zelSaccadrixHidInit(void) { return zelSaccadrixInit(); }
extern "C" int zelSaccadrixHidClose(void) { return zelSaccadrixClose(); }
extern "C" int zelSaccadrixGetLibVersion(void) { return platform::kLibVersion; }
extern "C" int zelSaccadrixGetAbiVersion(void) { return kAbiVersion; }
