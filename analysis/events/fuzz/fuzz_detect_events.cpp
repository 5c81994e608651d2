// Arbitrary samples through zelSaccadrixDetectEvents and the live detector. Each sample takes
// 7 bytes: a time step (u16, 1 us units: 0 makes a repeated time, which the offline call
// must refuse), x and y (i16, 0.01 degree units; 0x8000 is a lost sample) and a byte that
// picks parameters; the first byte chooses the sampling rate's scale.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "detect.h"
#include "live_detector.h"
#include "saccadrix/saccadrix_events.h"

using namespace saccadrix::events;

namespace {

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const double scale = 1 + data[0] % 64;  // steps of 1 to 64 us
  const size_t n = (size - 1) / 7;
  std::vector<double> t(n), x(n), y(n);
  double now = 1000;
  bool increasing = true;
  T_EVENT_PARAMS p = default_params();
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* s = data + 1 + 7 * i;
    const uint16_t step = u16(s);
    increasing = increasing && (i == 0 || step > 0);
    now += step * scale * 1e-6;
    t[i] = now;
    const uint16_t rx = u16(s + 2), ry = u16(s + 4);
    x[i] = rx == 0x8000 ? NAN : static_cast<int16_t>(rx) * 0.01;
    y[i] = ry == 0x8000 ? NAN : static_cast<int16_t>(ry) * 0.01;
    if (i == 0) {
      p.detectPso = s[6] & 1;
      p.detectPursuit = (s[6] >> 1) & 1;
      p.blinkMargin = (s[6] >> 2) * 0.002;
    }
  }
  std::vector<int8_t> labels(n, -1);
  T_EVENT_STRUCT events[64];
  int count = -1;
  const int status = zelSaccadrixDetectEvents(t.data(), x.data(), y.data(), static_cast<int>(n),
                                              labels.data(), &p, events, 64, &count);
  if (increasing) {
    if (status != SACCADRIX_OK || count < 0) __builtin_trap();
    for (int8_t label : labels) {
      if (label < 0 || label > 5) __builtin_trap();
    }
    for (int i = 0; i < count && i < 64; ++i) {
      const T_EVENT_STRUCT& e = events[i];
      if (e.startIndex < 0 || e.endIndex < e.startIndex || e.endIndex >= static_cast<int>(n)) {
        __builtin_trap();
      }
      if (labels[static_cast<size_t>(e.startIndex)] != e.type) __builtin_trap();
    }
  } else if (status != SACCADRIX_E_ARG) {
    __builtin_trap();
  }

  // The live detector takes any times (repeated ones are nudged) and every sample.
  LiveDetector live(p, 0);
  T_EVENT_STRUCT out[LiveDetector::kMaxEventsPerPush];
  int open = 0;
  auto check = [&](size_t produced) {
    for (size_t k = 0; k < produced; ++k) {
      if (out[k].type < 1 || out[k].type > 5) __builtin_trap();
      open += out[k].phase == SACCADRIX_EVENT_START ? 1 : -1;
      if (open < 0 || open > 1) __builtin_trap();  // START and END alternate
    }
  };
  for (size_t i = 0; i < n; ++i) {
    LiveSample sample;
    sample.time = sample.hostTime = t[i];
    sample.timestamp = i;
    sample.x = x[i];
    sample.y = y[i];
    sample.valid = !std::isnan(x[i]) && !std::isnan(y[i]);
    check(live.push(sample, out));
  }
  check(live.finish(out));
  if (open != 0 || live.take_overflow() != 0) __builtin_trap();
  return 0;
}
