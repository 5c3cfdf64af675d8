// CRC-32 (reflected polynomial 0xEDB88320): the byte-wise table, a
// sixteen-table path reading 16 bytes a step, and the choice between them
// and carry-less multiplication folding (Crc32Pclmul.cpp) at first use.
#include <array>
#include <cstring>

#include "crypto/Crc.h"
#include "crypto/Crc32Interne.h"

namespace {

// Table k gives the register after byte i followed by k zero bytes.
constexpr std::array<std::array<DWORD, 256>, 16> TablesCrc32() {
  std::array<std::array<DWORD, 256>, 16> t{};
  for (DWORD i = 0; i < 256; ++i) {
    DWORD r = i;
    for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    t[0][i] = r;
  }
  for (int k = 1; k < 16; ++k)
    for (DWORD i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr auto gTables = TablesCrc32();

inline DWORD dwLit32(const BYTE* p) {
  DWORD d;
  std::memcpy(&d, p, 4);
  return d;
}

}  // namespace

const DWORD CCrc2::mg_nTable[256] = {
#define KV_T(i) gTables[0][i]
#define KV_T4(i) KV_T(i), KV_T(i + 1), KV_T(i + 2), KV_T(i + 3)
#define KV_T16(i) KV_T4(i), KV_T4(i + 4), KV_T4(i + 8), KV_T4(i + 12)
#define KV_T64(i) KV_T16(i), KV_T16(i + 16), KV_T16(i + 32), KV_T16(i + 48)
    KV_T64(0), KV_T64(64), KV_T64(128), KV_T64(192)
#undef KV_T64
#undef KV_T16
#undef KV_T4
#undef KV_T
};

namespace kvcrc {

DWORD dwRegistreOctets(DWORD r, const BYTE* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) r = (r >> 8) ^ gTables[0][(r ^ p[i]) & 0xFF];
  return r;
}

DWORD dwRegistreTables(DWORD r, const BYTE* p, std::size_t n) {
  while (n >= 16) {
    const DWORD a = dwLit32(p) ^ r, b = dwLit32(p + 4), c = dwLit32(p + 8), d = dwLit32(p + 12);
    r = gTables[15][a & 0xFF] ^ gTables[14][(a >> 8) & 0xFF] ^ gTables[13][(a >> 16) & 0xFF] ^ gTables[12][a >> 24] ^
        gTables[11][b & 0xFF] ^ gTables[10][(b >> 8) & 0xFF] ^ gTables[9][(b >> 16) & 0xFF] ^ gTables[8][b >> 24] ^
        gTables[7][c & 0xFF] ^ gTables[6][(c >> 8) & 0xFF] ^ gTables[5][(c >> 16) & 0xFF] ^ gTables[4][c >> 24] ^
        gTables[3][d & 0xFF] ^ gTables[2][(d >> 8) & 0xFF] ^ gTables[1][(d >> 16) & 0xFF] ^ gTables[0][d >> 24];
    p += 16;
    n -= 16;
  }
  return dwRegistreOctets(r, p, n);
}

}  // namespace kvcrc

bool CRC32_bCheminDisponible(eCHEMINCRC32 eChemin) {
  switch (eChemin) {
    case CRC32_OCTET:
    case CRC32_TABLES:
      return true;
    case CRC32_PCLMUL:
      return kvcrc::bPclmulDisponible();
  }
  return false;
}

eCHEMINCRC32 CRC32_eCheminChoisi() {
  static const eCHEMINCRC32 eChoix = CRC32_bCheminDisponible(CRC32_PCLMUL) ? CRC32_PCLMUL : CRC32_TABLES;
  return eChoix;
}

DWORD CRC32_dwCalcule(eCHEMINCRC32 eChemin, const BYTE* data, std::size_t length, DWORD start) {
  if (length == 0) return start;
  DWORD r = ~start;
  switch (eChemin) {
    case CRC32_OCTET: r = kvcrc::dwRegistreOctets(r, data, length); break;
    case CRC32_TABLES: r = kvcrc::dwRegistreTables(r, data, length); break;
    case CRC32_PCLMUL: r = kvcrc::dwRegistrePclmul(r, data, length); break;
  }
  return ~r;
}

DWORD CCrc2::nCalculeCRC32(const BYTE* data, DWORD length, DWORD start) {
  return CRC32_dwCalcule(CRC32_eCheminChoisi(), data, length, start);
}
