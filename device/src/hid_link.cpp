#include "hid_link.h"

#include <hidapi.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform.h"
#include "result_decoding.h"

namespace saccadrix {

ConnectionState conn;

void LockHidMutex() { platform::hid_lock(); }
void UnLockHidMutex() { platform::hid_unlock(); }

int GetHIDPacketOfType(uint8_t (&packet)[kInReportSize], uint16_t type, int arg, int tries) {
  hid_device* device = open_device();
  if (device == nullptr) return kStatusNoDevice;
  for (;;) {
    const int n = platform::read_report(device, packet, kInReportSize);
    if (n == 0) {
      if (tries < 2) return kStatusTimeout;
      --tries;
      platform::sleep_ms(1);
      continue;
    }
    if (n != static_cast<int>(kInReportSize)) return kStatusIo;
    const InReport report(packet);
    if (report.type() == type && (arg < 0 || static_cast<int>(report.arg()) == arg)) return 0;
    processResult(packet);
  }
}

void PauseDraining(int ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  hid_device* device = open_device();
  uint8_t packet[kInReportSize];
  for (;;) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return;
    const int n = device ? platform::read_report(device, packet, kInReportSize) : -1;
    if (n == static_cast<int>(kInReportSize)) {
      processResult(packet);
    } else if (n < 0) {
      // The device is gone: nothing more to drain, the pause keeps its length.
      std::this_thread::sleep_for(left);
      return;
    } else {
      std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(1)));
    }
  }
}

int hid_write_delay(hid_device* device, const uint8_t* data, size_t length, int delay_ms) {
  const int written = hid_write(device, data, length);
  PauseDraining(delay_ms);
  return written;
}

bool Exchange::write(const OutReport& report) {
  return device_ != nullptr &&
         hid_write(device_, report.data(), kOutReportSize) == static_cast<int>(kOutReportSize);
}

int Exchange::wait(const Reply& reply, uint8_t (&packet)[kInReportSize]) {
  return GetHIDPacketOfType(packet, reply.type, reply.arg, reply.tries);
}

namespace link {

int query(const OutReport& request, const Reply& reply,
          const std::function<void(const InReport&)>& on_reply, int pause_ms,
          const std::function<int(int)>& on_wait_failed) {
  if (open_device() == nullptr) return kStatusNoDevice;
  int status;
  {
    Exchange exchange;
    if (!exchange.device_open()) return kStatusNoDevice;
    if (!exchange.write(request)) {
      status = kStatusIo;
    } else {
      uint8_t packet[kInReportSize];
      status = exchange.wait(reply, packet);
      if (status == kStatusOk) {
        on_reply(InReport(packet));
      } else if (on_wait_failed) {
        status = on_wait_failed(status);
      }
    }
  }
  platform::sleep_ms(pause_ms);
  return status;
}

int set(const OutReport& request, int pause_ms, const std::function<void()>& before_release) {
  if (open_device() == nullptr) return kStatusNoDevice;
  Exchange exchange;
  hid_device* device = open_device();
  if (device == nullptr) return kStatusNoDevice;
  const int written = hid_write_delay(device, request.data(), kOutReportSize, pause_ms);
  if (before_release) before_release();
  return written;
}

}  // namespace link
}  // namespace saccadrix
