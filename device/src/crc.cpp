#include "crc.h"

#include <mutex>

namespace saccadrix {

uint32_t A_crcLookupTable[256];

namespace {

std::once_flag crc_table_built;

uint32_t reflect(uint32_t value, int bits) {
  uint32_t out = 0;
  for (int i = 0; i < bits; ++i) {
    out = (out << 1) | (value & 1u);
    value >>= 1;
  }
  return out;
}

// Entry i: the byte i, bit-reversed, run through the polynomial in the top byte of the
// register, and the register bit-reversed again. This yields the table of the reflected CRC.
void build_table() {
  constexpr uint32_t kPolynomial = 0x04C11DB7u;
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t reg = reflect(i, 8) << 24;
    for (int bit = 0; bit < 8; ++bit) {
      reg = (reg & 0x80000000u) ? (reg << 1) ^ kPolynomial : reg << 1;
    }
    A_crcLookupTable[i] = reflect(reg, 32);
  }
}

}  // namespace

// Every build writes the same values, but a rebuild while another thread reads the table is
// still a data race; building it exactly once avoids that.
void F_CRC_InicializaTabla() { std::call_once(crc_table_built, build_table); }

uint32_t F_CRC_CalculaCheckSum(const uint8_t* data, uint16_t length) {
  if (length == 0 || data == nullptr) return 0;
  F_CRC_InicializaTabla();
  uint32_t crc = 0xFFFFFFFFu;
  for (uint16_t i = 0; i < length; ++i) {
    crc = (crc >> 8) ^ A_crcLookupTable[(crc ^ data[i]) & 0xFFu];
  }
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace saccadrix
