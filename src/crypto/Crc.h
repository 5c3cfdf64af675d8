// Checksums: the CRC-16 of strings (polynomial 0x1021, augmented table form,
// register from 0, no final XOR) and the CRC-32 of zlib and Ethernet
// (reflected polynomial 0xEDB88320), the latter with several computing
// paths chosen at run time from the processor's features.
#pragma once

#include <cstddef>

#include "abi/TypesBase.h"

// CRC-16 over a text.
class CCrc16 {
public:
  CCrc16() = default;
  // Register after _InitCrc16(0) and one _UpdateCrc16 per byte of data.
  //   data    the bytes (null with length 0 allowed)
  //   length  number of bytes
  WORD CalcCrc16(const char* data, int length);
  WORD uGetValue() const { return m_wCrc; }

  void _InitCrc16(WORD wDepart);
  void _UpdateCrc16(BYTE by);

private:
  WORD m_wCrc = 0;
};

// CRC-32 (zlib's crc32).
class CCrc2 {
public:
  CCrc2() = default;
  // CRC-32 of data continued from start (0 for a new content): the CRC of a
  // first part given as start for the second part gives the CRC of the
  // whole. length 0 returns start.
  static DWORD nCalculeCRC32(const BYTE* data, DWORD length, DWORD start);
  DWORD dwGetPolynome() const { return m_dwPolynome; }

  // The standard reflected table: table[i] is the register after eight
  // shifts of i.
  static const DWORD mg_nTable[256];

private:
  DWORD m_dwPolynome = 0x04C11DB7;
};

// Computing paths of the CRC-32, for tests and benchmarks; every path gives
// the same values.
enum eCHEMINCRC32 : int {
  CRC32_OCTET = 0,   // one table, a byte at a time
  CRC32_TABLES = 1,  // eight tables, eight bytes a step, three chains on long data
  CRC32_PCLMUL = 2,  // carry-less multiplication folding, 128-bit lanes (needs PCLMULQDQ)
  CRC32_VPCLMUL = 3, // the same on 256-bit lanes (needs VPCLMULQDQ and AVX2)
};
// True when the processor can run the path.
bool CRC32_bCheminDisponible(eCHEMINCRC32 eChemin);
// The path nCalculeCRC32 uses.
eCHEMINCRC32 CRC32_eCheminChoisi();
// CRC-32 through the given path (which must be available).
DWORD CRC32_dwCalcule(eCHEMINCRC32 eChemin, const BYTE* data, std::size_t length, DWORD start);
