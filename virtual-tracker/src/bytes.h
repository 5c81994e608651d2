// Little-endian field access on fixed-size report buffers. Every report field the simulator
// reads or writes goes through these helpers, so no code casts pointers onto report bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vt::detail {

using InputReport = std::array<uint8_t, 64>;   // device to host
using OutputReport = std::array<uint8_t, 65>;  // host to device, byte 0 = report id

// Writes into a report of N bytes; a field that would run past the end is not written.
template <size_t N>
class ReportWriter {
 public:
  explicit ReportWriter(std::array<uint8_t, N>& bytes) : b_(bytes) {}

  void u8(size_t off, uint8_t v) { put(off, v, 1); }
  void u16(size_t off, uint16_t v) { put(off, v, 2); }
  void u24(size_t off, uint32_t v) { put(off, v, 3); }
  void u32(size_t off, uint32_t v) { put(off, v, 4); }
  void i16(size_t off, int16_t v) { put(off, static_cast<uint16_t>(v), 2); }
  void i32(size_t off, int32_t v) { put(off, static_cast<uint32_t>(v), 4); }
  void u64(size_t off, uint64_t v) { put(off, v, 8); }
  void f32(size_t off, float v) {
    uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    put(off, bits, 4);
  }
  // Copies raw bytes, cut at the report's end.
  void bytes(size_t off, const uint8_t* src, size_t n) {
    if (off >= N || n == 0) return;
    if (n > N - off) n = N - off;
    std::memcpy(b_.data() + off, src, n);
  }

 private:
  void put(size_t off, uint64_t v, size_t width) {
    if (off > N || width > N - off) return;
    for (size_t i = 0; i < width; ++i) b_[off + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  std::array<uint8_t, N>& b_;
};

// Reads from a report of N bytes; a field that would run past the end reads as 0.
template <size_t N>
class ReportReader {
 public:
  explicit ReportReader(const std::array<uint8_t, N>& bytes) : b_(bytes) {}

  uint8_t u8(size_t off) const { return static_cast<uint8_t>(get(off, 1)); }
  uint16_t u16(size_t off) const { return static_cast<uint16_t>(get(off, 2)); }
  uint32_t u24(size_t off) const { return static_cast<uint32_t>(get(off, 3)); }
  uint32_t u32(size_t off) const { return static_cast<uint32_t>(get(off, 4)); }
  int16_t i16(size_t off) const { return static_cast<int16_t>(u16(off)); }
  int32_t i32(size_t off) const { return static_cast<int32_t>(u32(off)); }
  uint64_t u64(size_t off) const { return get(off, 8); }
  float f32(size_t off) const {
    const uint32_t bits = u32(off);
    float v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }

 private:
  uint64_t get(size_t off, size_t width) const {
    if (off > N || width > N - off) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v |= static_cast<uint64_t>(b_[off + i]) << (8 * i);
    return v;
  }
  const std::array<uint8_t, N>& b_;
};

}  // namespace vt::detail
