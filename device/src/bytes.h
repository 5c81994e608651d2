// The one place where bytes of the wire meet the library: little-endian readers and writers
// over the fixed 64-byte input report and 65-byte output report. Every access is checked
// against the report's end; nothing casts a pointer onto a report buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace saccadrix {

constexpr size_t kInReportSize = 64;
constexpr size_t kOutReportSize = 65;

// Little-endian loads and stores over any byte span; out-of-range accesses read as 0 and
// write nothing, so a malformed offset can never touch memory outside the report.
class ByteView {
 public:
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t u8(size_t off) const { return off < size_ ? data_[off] : 0; }
  uint16_t u16(size_t off) const { return static_cast<uint16_t>(le(off, 2)); }
  uint32_t u24(size_t off) const { return static_cast<uint32_t>(le(off, 3)); }
  uint32_t u32(size_t off) const { return static_cast<uint32_t>(le(off, 4)); }
  uint64_t u64(size_t off) const { return le(off, 8); }
  int16_t i16(size_t off) const { return static_cast<int16_t>(u16(off)); }
  int32_t i32(size_t off) const { return static_cast<int32_t>(u32(off)); }
  float f32(size_t off) const {
    const uint32_t bits = u32(off);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  double f64(size_t off) const {
    const uint64_t bits = u64(off);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // The text from off up to its first zero byte, or up to the end when no zero byte comes.
  std::string_view text(size_t off) const {
    if (off >= size_) return {};
    const auto* begin = reinterpret_cast<const char*>(data_ + off);
    const size_t room = size_ - off;
    const void* nul = std::memchr(begin, 0, room);
    return {begin, nul ? static_cast<size_t>(static_cast<const char*>(nul) - begin) : room};
  }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  uint64_t le(size_t off, size_t n) const {
    uint64_t v = 0;
    if (off > size_ || n > size_ - off) return 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(data_[off + i]) << (8 * i);
    return v;
  }
  const uint8_t* data_;
  size_t size_;
};

// Little-endian stores over any byte span (files, records); out-of-range stores write nothing.
class ByteWriter {
 public:
  ByteWriter(uint8_t* data, size_t size) : data_(data), size_(size) {}

  ByteWriter& put_u8(size_t off, uint8_t v) { return put_le(off, v, 1); }
  ByteWriter& put_u32(size_t off, uint32_t v) { return put_le(off, v, 4); }
  ByteWriter& put_f64(size_t off, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return put_le(off, bits, 8);
  }
  ByteWriter& put_bytes(size_t off, const void* src, size_t n) {
    if (off <= size_ && n <= size_ - off && n > 0) std::memcpy(data_ + off, src, n);
    return *this;
  }

 private:
  ByteWriter& put_le(size_t off, uint64_t v, size_t n) {
    if (off > size_ || n > size_ - off) return *this;
    for (size_t i = 0; i < n; ++i) data_[off + i] = static_cast<uint8_t>(v >> (8 * i));
    return *this;
  }
  uint8_t* data_;
  size_t size_;
};

// An input report as read from the device: uint16 type at 0, uint16 argument at 2.
class InReport : public ByteView {
 public:
  explicit InReport(const uint8_t (&bytes)[kInReportSize]) : ByteView(bytes, kInReportSize) {}
  uint16_t type() const { return u16(0); }
  uint16_t arg() const { return u16(2); }
};

// An output report: report id 0 at byte 0, command code at 1..2, argument word at 3..4,
// payload from 5; every byte not set is 0.
class OutReport {
 public:
  explicit OutReport(uint16_t command, uint16_t arg = 0) {
    put_u16(1, command);
    put_u16(3, arg);
  }
  OutReport& put_u8(size_t off, uint8_t v) {
    if (off < kOutReportSize) bytes_[off] = v;
    return *this;
  }
  OutReport& put_u16(size_t off, uint16_t v) { return put_le(off, v, 2); }
  OutReport& put_u32(size_t off, uint32_t v) { return put_le(off, v, 4); }
  OutReport& put_i32(size_t off, int32_t v) { return put_le(off, static_cast<uint32_t>(v), 4); }
  OutReport& put_f32(size_t off, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return put_u32(off, bits);
  }
  OutReport& put_bytes(size_t off, const void* src, size_t n) {
    if (off <= kOutReportSize && n <= kOutReportSize - off) std::memcpy(bytes_ + off, src, n);
    return *this;
  }
  uint16_t command() const { return static_cast<uint16_t>(bytes_[1] | bytes_[2] << 8); }
  const uint8_t* data() const { return bytes_; }

 private:
  OutReport& put_le(size_t off, uint64_t v, size_t n) {
    if (off > kOutReportSize || n > kOutReportSize - off) return *this;
    for (size_t i = 0; i < n; ++i) bytes_[off + i] = static_cast<uint8_t>(v >> (8 * i));
    return *this;
  }
  uint8_t bytes_[kOutReportSize] = {};
};

// Copies text into a caller's buffer of size bytes with its zero byte; refuses (returns
// false, buffer untouched) when the text and its zero byte do not fit.
inline bool copy_text_if_fits(std::string_view text, char* out, size_t size) {
  if (out == nullptr || text.size() >= size) return false;
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return true;
}

// Copies as much of text as fits into a caller's buffer of size bytes and always ends it
// with a zero byte when size is at least 1; never writes beyond the buffer.
inline void copy_text_truncated(std::string_view text, char* out, size_t size) {
  if (out == nullptr || size == 0) return;
  const size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace saccadrix
