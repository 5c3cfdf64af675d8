// What the two halves of CKVBuffer share: the size limit, little-endian
// helpers and the saved state of a buffer's storage.
#pragma once

#include "abi/TypesBase.h"

namespace kvbuffer {

// Largest storage a buffer asks for (a 32-bit process cannot have more).
constexpr DWORD TAILLE_MAX = 0x7FFFFFF0u;

inline void EcritLE(BYTE* p, unsigned long long v, unsigned nOctets) {
  for (unsigned i = 0; i < nOctets; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

inline unsigned long long qLitLE(const BYTE* p, unsigned nOctets) {
  unsigned long long v = 0;
  for (unsigned i = 0; i < nOctets; ++i) v |= static_cast<unsigned long long>(p[i]) << (8 * i);
  return v;
}

// Storage, sizes, position and coding flags of a buffer, set aside.
struct STEtat {
  BYTE* pbyDonnees = nullptr;
  DWORD dwTailleAllouee = 0, dwTailleUtile = 0, dwPos = 0;
  bool bCode = false, bPacke = false, bCrypte = false;
};

}  // namespace kvbuffer
