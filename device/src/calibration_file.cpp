// The pupil calibration held by the tracker, and calibration files: a checksummed 339-byte
// record of everything calibration-related the tracker holds, saved on one occasion and
// written back on another.
#include <cstdio>
#include <cstring>

#include "bytes.h"
#include "crc.h"
#include "file_replace.h"
#include "hid_link.h"
#include "int_convert.h"
#include "saccadrix/saccadrix.h"

namespace saccadrix {
namespace {

// The pupil scale travels as a fixed-point number with 10 fraction bits.
constexpr double kPupilUnitsPerOne = 1024.0;
constexpr double kMinPupilReference = 0.1;


// Calibration file layout: little-endian, no padding between fields.
constexpr size_t kFileSize = 339;
constexpr size_t kOffRecordSize = 0;
constexpr size_t kOffMagic = 4;  // 16 bytes: the magic text, then zero bytes
constexpr size_t kOffVersion = 20;
constexpr size_t kOffCalibrated = 21;       // + eye, one byte each
constexpr size_t kOffCoefficients = 23;     // + 128 * eye, 16 doubles each
constexpr size_t kCoefficientsStride = 128;
constexpr size_t kOffEyeScale = 279;
constexpr size_t kOffViewingDistance = 287;
constexpr size_t kOffPupilScale = 295;
constexpr size_t kOffAux1 = 303;  // + 8 * eye
constexpr size_t kOffAux2 = 319;  // + 8 * eye
constexpr size_t kOffCrc = 335;   // CRC-32 of every byte before it
constexpr char kMagic[] = "SaccadrixCAL";
constexpr uint8_t kFormatVersion = 1;
// Version 0 files predate the auxiliary values and the CRC.
constexpr uint8_t kFormatVersionWithoutAux = 0;
constexpr size_t kCoefficients = 16;
static_assert(kOffCrc + 4 == kFileSize, "the CRC closes the record");
static_assert(kOffCoefficients + 2 * kCoefficientsStride == kOffEyeScale, "two matrices");

}  // namespace
}  // namespace saccadrix

using namespace saccadrix;

extern "C" int zelSaccadrixSetPupilCalibration(double reference, double value) {
  if (open_device() == nullptr) return kStatusNoDevice;
  if (reference < kMinPupilReference) return kStatusArg;  // a NaN reference passes
  // Out-of-range quotients saturate and a NaN one is sent as 0.
  OutReport request(kCmdSetPupilScale);
  request.put_i32(kOutValue, saturating_int32((value * kPupilUnitsPerOne) / reference));
  return link::set(request) == kStatusNoDevice ? kStatusNoDevice : kStatusOk;
}

extern "C" int zelSaccadrixGetPupilCalibration(double* pupilScale) {
  if (pupilScale == nullptr) return kStatusArg;
  return link::query(OutReport(kCmdGetPupilScale), Reply{kCmdGetPupilScale, kAnyArg, kReplyBudgetMs},
                     [&](const InReport& r) {
                       *pupilScale = r.i32(kReplyValue) / kPupilUnitsPerOne;
                     },
                     kPauseAfterQueryMs);
}

extern "C" int zelSaccadrixGetPupilCalibrated(uint8_t* calibrated) {
  if (calibrated == nullptr) return kStatusArg;
  *calibrated = 0;
  double scale = 0.0;
  const int status = zelSaccadrixGetPupilCalibration(&scale);
  if (status == kStatusOk) *calibrated = scale > 0.0 ? 1 : 0;
  return status;
}

extern "C" int zelSaccadrixSaveCalibration(const char* path) {
  if (path == nullptr) return kStatusFileCreate;
  uint8_t record[kFileSize] = {};
  ByteWriter out(record, sizeof record);
  out.put_u32(kOffRecordSize, kFileSize)
      .put_bytes(kOffMagic, kMagic, sizeof kMagic - 1)
      .put_u8(kOffVersion, kFormatVersion);

  // Everything is read from the tracker before the file is touched, so a failed read leaves
  // an existing file as it was.
  for (int eye = 0; eye < 2; ++eye) {
    uint8_t calibrated = 0;
    const int status = zelSaccadrixGetCalibrated(eye, &calibrated);
    if (status != kStatusOk) return status;
    out.put_u8(kOffCalibrated + static_cast<size_t>(eye), calibrated);
  }
  double pupil_scale = 0.0;
  int status = zelSaccadrixGetPupilCalibration(&pupil_scale);
  if (status != kStatusOk) return status;
  out.put_f64(kOffPupilScale, pupil_scale);
  for (int eye = 0; eye < 2; ++eye) {
    double coefficients[kCoefficients] = {};
    double eye_scale = 0.0, viewing_distance = 0.0, aux1 = 0.0, aux2 = 0.0;
    status = zelSaccadrixGetCalibration(eye, coefficients, &eye_scale, &viewing_distance, &aux1,
                                        &aux2);
    if (status != kStatusOk) return status;
    const size_t e = static_cast<size_t>(eye);
    for (size_t k = 0; k < kCoefficients; ++k) {
      out.put_f64(kOffCoefficients + kCoefficientsStride * e + 8 * k, coefficients[k]);
    }
    // One eye scale and one viewing distance for both eyes: the second eye's read wins.
    out.put_f64(kOffEyeScale, eye_scale)
        .put_f64(kOffViewingDistance, viewing_distance)
        .put_f64(kOffAux1 + 8 * e, aux1)
        .put_f64(kOffAux2 + 8 * e, aux2);
  }
  F_CRC_InicializaTabla();
  out.put_u32(kOffCrc, F_CRC_CalculaCheckSum(record, static_cast<uint16_t>(kOffCrc)));

  // The record replaces the file only once all of it has reached the disk: a failure never
  // leaves a truncated or partly written calibration file behind.
  if (!write_file_replacing(path, record, sizeof record)) return kStatusFileCreate;
  return kStatusOk;
}

extern "C" int zelSaccadrixLoadCalibration(const char* path) {
  if (path == nullptr) return kStatusFileOpen;
  // A shorter file leaves the rest of the record zero; bytes beyond it are never read.
  uint8_t record[kFileSize] = {};
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return kStatusFileOpen;
  std::fread(record, 1, sizeof record, file);
  // A failed read is not a short file: the zeros would be stored as a calibration.
  const bool read_failed = std::ferror(file) != 0;
  std::fclose(file);
  if (read_failed) return kStatusFileOpen;

  const ByteView in(record, sizeof record);
  // The magic runs up to its zero byte, which must be the first byte after it.
  if (in.text(kOffMagic) != kMagic) return kStatusFileMagic;
  switch (in.u8(kOffVersion)) {
    case kFormatVersion:
      F_CRC_InicializaTabla();
      if (F_CRC_CalculaCheckSum(record, static_cast<uint16_t>(kOffCrc)) != in.u32(kOffCrc)) {
        return kStatusFileCrc;
      }
      break;
    case kFormatVersionWithoutAux:
      // Whatever follows the pupil scale in an old file is not a value of it.
      std::memset(record + kOffAux1, 0, kFileSize - kOffAux1);
      break;
    default:
      return kStatusFileVersion;
  }

  for (size_t eye = 0; eye < 2; ++eye) {
    double coefficients[kCoefficients];
    for (size_t k = 0; k < kCoefficients; ++k) {
      coefficients[k] = in.f64(kOffCoefficients + kCoefficientsStride * eye + 8 * k);
    }
    const int status = zelSaccadrixSetCalibration(
        static_cast<int>(eye), coefficients, in.f64(kOffEyeScale), in.f64(kOffViewingDistance),
        in.f64(kOffAux1 + 8 * eye), in.f64(kOffAux2 + 8 * eye));
    if (status != kStatusOk) return status;
  }
  return zelSaccadrixSetPupilCalibration(1.0, in.f64(kOffPupilScale));
}
