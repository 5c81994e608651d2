// Device settings: the tracker's identity as read at open.
#include <cstring>

#include "bytes.h"
#include "connection_state.h"
#include "hid_link.h"
#include "saccadrix/saccadrix.h"

using namespace saccadrix;

extern "C" int zelSaccadrixGetFirmwareVersion(uint16_t* version) {
  if (version == nullptr) return kStatusArg;
  *version = conn.firmwareVersion;
  return kStatusOk;
}

extern "C" int zelSaccadrixGetFirmwareBuildDateTime(char* text, size_t size) {
  if (text == nullptr && size > 0) return kStatusArg;
  const char* date = conn.firmwareDateTime;
  copy_text_truncated({date, strnlen(date, sizeof conn.firmwareDateTime)}, text, size);
  return kStatusOk;
}
