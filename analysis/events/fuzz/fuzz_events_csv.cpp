// Arbitrary text through the CSV reader of 'saccadrix events' (either kind of file, both
// eyes), then the detection on what it read.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "events_input.h"
#include "saccadrix/saccadrix_events.h"
#include "status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  saccadrix::cli::EventInput input;
  try {
    input = saccadrix::cli::ReadEventInput(in, "fuzz", saccadrix::cli::EventInputOptions{});
  } catch (const saccadrix::cli::Failure&) {
    return 0;
  }
  for (const auto& s : input.series) {
    if (s.time.size() != s.x.size() || s.time.size() != s.row.size()) __builtin_trap();
    for (size_t i = 0; i < s.row.size(); ++i) {
      if (s.row[i] >= input.rows || (i > 0 && !(s.time[i] > s.time[i - 1]))) __builtin_trap();
    }
    int count = 0;
    if (zelSaccadrixDetectEvents(s.time.data(), s.x.data(), s.y.data(),
                                 static_cast<int>(s.time.size()), nullptr, nullptr, nullptr, 0,
                                 &count) != SACCADRIX_OK) {
      __builtin_trap();
    }
  }
  return 0;
}
