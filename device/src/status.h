// The device library's statuses: one vocabulary for every unit, with the public codes of
// saccadrix.h as its values, and the text each one reads as.
#pragma once

#include "saccadrix/saccadrix.h"

namespace saccadrix {

enum Status : int {
  kStatusOk = SACCADRIX_OK,
  kStatusIo = SACCADRIX_E_IO,
  kStatusTimeout = SACCADRIX_E_TIMEOUT,
  kStatusArg = SACCADRIX_E_ARG,
  kStatusUnsupported = SACCADRIX_E_UNSUPPORTED,
  kStatusFileCreate = SACCADRIX_E_FILE_CREATE,
  kStatusFileOpen = SACCADRIX_E_FILE_OPEN,
  kStatusFileVersion = SACCADRIX_E_FILE_VERSION,
  kStatusFileCrc = SACCADRIX_E_FILE_CRC,
  kStatusFileMagic = SACCADRIX_E_FILE_MAGIC,
  kStatusThread = SACCADRIX_E_THREAD,
  kStatusNoRecord = SACCADRIX_E_NO_RECORD,
  kStatusVerify = SACCADRIX_E_VERIFY,
  kStatusNoMapping = SACCADRIX_E_NO_MAPPING,
  kStatusNoDevice = SACCADRIX_E_NO_DEVICE,
};

// The text of a status: a static string, never null ("unknown status" for codes the library
// does not return; "success" for 0 and the model codes 1 to 4).
const char* status_text(int status);

}  // namespace saccadrix
