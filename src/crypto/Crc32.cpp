// CRC-32 (reflected polynomial 0xEDB88320): the byte-wise table, an
// eight-table path that runs three thirds of a long buffer side by side
// (three independent chains keep the processor busy) and joins their
// registers by multiplication modulo the polynomial, and the choice between
// them and carry-less multiplication folding (Crc32Pclmul.cpp) at first use.
#include <array>
#include <cstring>

#include "crypto/Crc.h"
#include "crypto/Crc32Interne.h"

namespace {

// Table k gives the register after byte i followed by k zero bytes.
constexpr std::array<std::array<DWORD, 256>, 8> TablesCrc32() {
  std::array<std::array<DWORD, 256>, 8> t{};
  for (DWORD i = 0; i < 256; ++i) {
    DWORD r = i;
    for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    t[0][i] = r;
  }
  for (int k = 1; k < 8; ++k)
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

// Eight bytes a step, one chain.
static inline DWORD dwPas8(DWORD r, const BYTE* p) {
  const DWORD a = dwLit32(p) ^ r, b = dwLit32(p + 4);
  return gTables[7][a & 0xFF] ^ gTables[6][(a >> 8) & 0xFF] ^ gTables[5][(a >> 16) & 0xFF] ^ gTables[4][a >> 24] ^
         gTables[3][b & 0xFF] ^ gTables[2][(b >> 8) & 0xFF] ^ gTables[1][(b >> 16) & 0xFF] ^ gTables[0][b >> 24];
}

}  // namespace kvcrc

namespace {

// Product of two polynomials modulo P, both in the reflected form (the
// coefficient of x^0 in the top bit).
DWORD dwMulMod(DWORD a, DWORD b) {
  DWORD p = 0;
  for (DWORD m = 0x80000000u; m != 0; m >>= 1) {
    if (a & m) p ^= b;
    b = (b & 1) ? (b >> 1) ^ 0xEDB88320u : b >> 1;
  }
  return p;
}

// x^(2^k) modulo P, k = 0 to 31.
constexpr std::array<DWORD, 32> PuissancesX() {
  std::array<DWORD, 32> t{};
  DWORD p = 0x40000000u;  // x
  for (int k = 0; k < 32; ++k) {
    t[k] = p;
    DWORD q = 0, a = p, b = p;  // q = p * p
    for (DWORD m = 0x80000000u; m != 0; m >>= 1) {
      if (a & m) q ^= b;
      b = (b & 1) ? (b >> 1) ^ 0xEDB88320u : b >> 1;
    }
    p = q;
  }
  return t;
}

constexpr auto gPuissances = PuissancesX();

// x^(8n) modulo P: multiplying a register by it runs it over n zero bytes.
DWORD dwDecalage(std::size_t n) {
  DWORD p = 0x80000000u;  // 1
  for (int k = 3; n != 0; n >>= 1, ++k)
    if (n & 1) p = dwMulMod(gPuissances[k & 31], p);
  return p;
}

// Below this, one chain; above, three thirds side by side.
constexpr std::size_t SEUIL_TIERS = 1024;

}  // namespace

namespace kvcrc {

DWORD dwRegistreTables(DWORD r, const BYTE* p, std::size_t n) {
  if (n >= SEUIL_TIERS) {
    // The register of a || b is the register of a run over len(b) zero
    // bytes, XOR the register of b started from 0.
    const std::size_t nTiers = (n / 3) & ~std::size_t{7};
    const BYTE* const q = p + nTiers;
    const BYTE* const s = q + nTiers;
    DWORD r1 = 0, r2 = 0;
    for (std::size_t i = 0; i < nTiers; i += 8) {
      r = dwPas8(r, p + i);
      r1 = dwPas8(r1, q + i);
      r2 = dwPas8(r2, s + i);
    }
    const DWORD dwX = dwDecalage(nTiers);
    r = dwMulMod(dwMulMod(r, dwX) ^ r1, dwX) ^ r2;
    p += 3 * nTiers;
    n -= 3 * nTiers;
  }
  for (; n >= 8; p += 8, n -= 8) r = dwPas8(r, p);
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
    case CRC32_VPCLMUL:
      return kvcrc::bVpclmulDisponible();
  }
  return false;
}

eCHEMINCRC32 CRC32_eCheminChoisi() {
  static const eCHEMINCRC32 eChoix = CRC32_bCheminDisponible(CRC32_VPCLMUL)  ? CRC32_VPCLMUL
                                     : CRC32_bCheminDisponible(CRC32_PCLMUL) ? CRC32_PCLMUL
                                                                             : CRC32_TABLES;
  return eChoix;
}

DWORD CRC32_dwCalcule(eCHEMINCRC32 eChemin, const BYTE* data, std::size_t length, DWORD start) {
  if (length == 0) return start;
  DWORD r = ~start;
  switch (eChemin) {
    case CRC32_OCTET: r = kvcrc::dwRegistreOctets(r, data, length); break;
    case CRC32_TABLES: r = kvcrc::dwRegistreTables(r, data, length); break;
    case CRC32_PCLMUL: r = kvcrc::dwRegistrePclmul(r, data, length); break;
    case CRC32_VPCLMUL: r = kvcrc::dwRegistreVpclmul(r, data, length); break;
  }
  return ~r;
}

DWORD CCrc2::nCalculeCRC32(const BYTE* data, DWORD length, DWORD start) {
  return CRC32_dwCalcule(CRC32_eCheminChoisi(), data, length, start);
}
