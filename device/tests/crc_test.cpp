// The calibration files' CRC-32 against zlib's independent implementation.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "crc.h"

using saccadrix::A_crcLookupTable;
using saccadrix::F_CRC_CalculaCheckSum;
using saccadrix::F_CRC_InicializaTabla;

namespace {

uint32_t zlib_crc(const std::vector<uint8_t>& data, size_t length) {
  return static_cast<uint32_t>(crc32(0L, data.data(), static_cast<uInt>(length)));
}

// Two threads that both start with a checksum must both see a complete table
// (ThreadSanitizer reports any unsynchronised build). CTest also runs this case alone
// (crc_first_use), where the table is surely still unbuilt.
TEST(Crc, first_use_from_two_threads_is_safe_and_agrees) {
  std::vector<uint8_t> data(4096);
  std::mt19937 rng(7);
  for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
  uint32_t results[2] = {};
  std::thread a([&] { results[0] = F_CRC_CalculaCheckSum(data.data(), 4096); });
  std::thread b([&] { results[1] = F_CRC_CalculaCheckSum(data.data(), 4096); });
  a.join();
  b.join();
  EXPECT_EQ(results[0], zlib_crc(data, 4096));
  EXPECT_EQ(results[1], zlib_crc(data, 4096));
}

TEST(Crc, table_is_the_reflected_crc32_table) {
  F_CRC_InicializaTabla();
  const z_crc_t* reference = get_crc_table();
  for (int i = 0; i < 256; ++i) EXPECT_EQ(A_crcLookupTable[i], reference[i]) << "entry " << i;
  F_CRC_InicializaTabla();  // building again changes nothing
  EXPECT_EQ(A_crcLookupTable[1], 0x77073096u);
  EXPECT_EQ(A_crcLookupTable[255], 0x2D02EF8Du);
}

TEST(Crc, checksums_match_zlib_for_lengths_up_to_the_16_bit_limit) {
  const std::vector<uint8_t> check = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(F_CRC_CalculaCheckSum(check.data(), 9), 0xCBF43926u);  // the CRC-32 check value

  std::vector<uint8_t> data(70000);
  std::mt19937 rng(11);
  for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
  for (uint16_t length : {uint16_t{1}, uint16_t{2}, uint16_t{335}, uint16_t{339},
                          uint16_t{4097}, uint16_t{65535}}) {
    EXPECT_EQ(F_CRC_CalculaCheckSum(data.data(), length), zlib_crc(data, length))
        << "length " << length;
  }
}

TEST(Crc, empty_input_is_zero) {
  const uint8_t byte = 0xFF;
  EXPECT_EQ(F_CRC_CalculaCheckSum(&byte, 0), 0u);
  EXPECT_EQ(F_CRC_CalculaCheckSum(nullptr, 0), 0u);
}

}  // namespace
