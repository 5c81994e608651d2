// The common reflected CRC-32 (polynomial 0x04C11DB7, initial value and final XOR
// 0xFFFFFFFF) that protects calibration files.
#pragma once

#include <cstdint>

namespace saccadrix {

// Lookup table of the CRC, one entry per byte value. Filled by F_CRC_InicializaTabla;
// read it only after that has returned.
extern uint32_t A_crcLookupTable[256];

// Fills A_crcLookupTable. The table is built once, on the first call; later calls and calls
// racing with the first one from other threads return once it is complete.
void F_CRC_InicializaTabla();

// CRC-32 of the first length bytes of data; 0 when length is 0. Builds the table first if
// no one has yet.
uint32_t F_CRC_CalculaCheckSum(const uint8_t* data, uint16_t length);

}  // namespace saccadrix
