// CRC-16 of texts: polynomial 0x1021 most-significant bit first, the table
// built at compile time.
#include <array>

#include "crypto/Crc.h"

namespace {

constexpr std::array<WORD, 256> TableCrc16() {
  std::array<WORD, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = 0, d = i << 8;
    for (int k = 0; k < 8; ++k) {
      r = ((r ^ d) & 0x8000) ? (r << 1) ^ 0x1021 : r << 1;
      d <<= 1;
    }
    t[i] = static_cast<WORD>(r);
  }
  return t;
}

constexpr std::array<WORD, 256> gTable = TableCrc16();

}  // namespace

void CCrc16::_InitCrc16(WORD wDepart) { m_wCrc = wDepart; }

void CCrc16::_UpdateCrc16(BYTE by) { m_wCrc = static_cast<WORD>((m_wCrc << 8) ^ gTable[m_wCrc >> 8] ^ by); }

WORD CCrc16::CalcCrc16(const char* data, int length) {
  _InitCrc16(0);
  for (int i = 0; i < length; ++i) _UpdateCrc16(static_cast<BYTE>(data[i]));
  return m_wCrc;
}
