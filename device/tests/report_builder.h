// Builds input reports byte by byte for tests (little-endian, like the tracker).
#pragma once

#include <cstdint>
#include <cstring>

struct TestReport {
  uint8_t bytes[64] = {};
  explicit TestReport(uint16_t type, uint16_t arg = 0) {
    u16(0, type);
    u16(2, arg);
  }
  TestReport& u8(size_t off, uint8_t v) { bytes[off] = v; return *this; }
  TestReport& u16(size_t off, uint16_t v) { return le(off, v, 2); }
  TestReport& u24(size_t off, uint32_t v) { return le(off, v, 3); }
  TestReport& u32(size_t off, uint32_t v) { return le(off, v, 4); }
  TestReport& i16(size_t off, int16_t v) { return le(off, static_cast<uint16_t>(v), 2); }
  TestReport& i32(size_t off, int32_t v) { return le(off, static_cast<uint32_t>(v), 4); }
  TestReport& u64(size_t off, uint64_t v) { return le(off, v, 8); }
  TestReport& f32(size_t off, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return u32(off, bits);
  }
  TestReport& text(size_t off, const char* s) {
    for (size_t i = 0; s[i] && off + i < 64; ++i) bytes[off + i] = static_cast<uint8_t>(s[i]);
    return *this;
  }
  TestReport& le(size_t off, uint64_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) bytes[off + i] = static_cast<uint8_t>(v >> (8 * i));
    return *this;
  }
};
