// The abstract cipher, the fast cipher (CCryptHomeMade) and the cipher of
// an encryption method.
#include <cstring>
#include <new>

#include "core/Allocation.h"
#include "crypto/Crypt.h"

bool CCrypt::bSetCryptKey(const void* key, unsigned length) {
  if (length > 16) length = 16;
  std::memset(m_abyCle, 0, sizeof m_abyCle);
  if (key != nullptr) std::memcpy(m_abyCle, key, length);
  return true;
}

bool CCrypt::bSetPassword(const char* password) {
  BYTE aby[16];
  BuildCryptKeyAnsi(aby, password);
  return bSetCryptKey(aby);
}

// Chosen for this library; data enciphered with the fast cipher depends on it.
const BYTE CCryptHomeMade::s_abyCleInitiale[16] = {0x4B, 0x6F, 0x72, 0x76, 0xA1, 0x3C, 0x5E, 0xD7,
                                                   0x91, 0x28, 0xE4, 0x0B, 0x66, 0xF3, 0x1A, 0xB9};

bool CCryptHomeMade::bSetPassword(const char* password) {
  BuildCryptKeyAnsi(m_abyCle, password);
  return true;
}

void CCryptHomeMade::BuildCryptKeyAnsi(BYTE key[16], const char* password) {
  std::memcpy(key, s_abyCleInitiale, 16);
  const unsigned L = password != nullptr ? static_cast<unsigned>(std::strlen(password)) : 0;
  if (L == 0) return;
  BYTE* t = new BYTE[L];
  std::memcpy(t, password, L);
  t[0] = static_cast<BYTE>(static_cast<signed char>(t[0]) % 29);
  for (unsigned i = 0; i + 1 < L; ++i) t[i + 1] ^= t[i];
  BYTE cle[16];
  std::memcpy(cle, key, 16);
  Crypt(t, L, &cle);
  const unsigned m = L > 16 ? L : 16;
  for (unsigned i = 0; i < m; ++i)
    key[i % 16] = static_cast<BYTE>((t[i % L] + key[(i + 1) % 16]) ^ ((m * i) & 0xFF));
  delete[] t;
}

namespace {

// Low byte of s + (s >> 16), s the key read as four little-endian words.
BYTE byMelangeCle(const BYTE* K) {
  DWORD s = 0;
  for (int i = 0; i < 4; ++i)
    s += DWORD{K[4 * i]} | (DWORD{K[4 * i + 1]} << 8) | (DWORD{K[4 * i + 2]} << 16) | (DWORD{K[4 * i + 3]} << 24);
  return static_cast<BYTE>(s + (s >> 16));
}

}  // namespace

void CCryptHomeMade::Crypt(BYTE* d, unsigned n, const BYTE (*key)[16]) {
  const BYTE* K = key != nullptr ? *key : m_abyCle;
  if (n == 0) return;
  if (n == 1) {
    d[0] = static_cast<BYTE>((d[0] + 203) ^ byMelangeCle(K));
    return;
  }
  d[0] = static_cast<BYTE>((d[n - 1] + d[0]) ^ K[15]);
  unsigned j = 0;
  for (unsigned i = 1; i < n; ++i) {
    const unsigned b = n - 1 - i;
    if (b != i) {
      d[i] = static_cast<BYTE>((d[i - 1] + d[i] + d[b]) ^ K[15 - j]);
      d[b] = static_cast<BYTE>((d[i] + d[b]) ^ K[j]);
    } else {
      d[i] = static_cast<BYTE>((d[i - 1] + d[i]) ^ K[15 - j]);
      d[i] = static_cast<BYTE>((d[i] + 17) ^ K[j]);
    }
    j = (j + 1) % 16;
  }
}

void CCryptHomeMade::Uncrypt(BYTE* d, unsigned n, const BYTE (*key)[16]) {
  const BYTE* K = key != nullptr ? *key : m_abyCle;
  if (n == 0) return;
  if (n == 1) {
    d[0] = static_cast<BYTE>((d[0] ^ byMelangeCle(K)) + 53);
    return;
  }
  unsigned j = (n - 2) % 16;
  for (unsigned i = n - 1; i >= 1; --i) {
    const unsigned b = n - 1 - i;
    if (b != i) {
      d[b] = static_cast<BYTE>((d[b] ^ K[j]) - d[i]);
      d[i] = static_cast<BYTE>((d[i] ^ K[15 - j]) - d[i - 1] - d[b]);
    } else {
      d[i] = static_cast<BYTE>((d[i] ^ K[j]) - 17);
      d[i] = static_cast<BYTE>((d[i] ^ K[15 - j]) - d[i - 1]);
    }
    j = (j + 15) % 16;
  }
  d[0] = static_cast<BYTE>((d[0] ^ K[15]) - d[n - 1]);
}

CCrypt* pclCreeCrypt(int nMethode) {
  switch (nMethode) {
    case 1: return KV_pCree<CCryptHomeMade>();
    case 2: return KV_pCree<CCryptRC5>(8);
    case 3: return KV_pCree<CCryptRC5>(16);
    default: return nullptr;
  }
}
