// The RC5 cipher (32-bit words, 16-byte key, 8 or 16 rounds): the key of a
// password from a SHA-0-style hash, the published key schedule, CBC over
// whole 8-byte blocks with a zero initial vector, and a four-bit version of
// the rounds for the bytes after the last whole block.
#include <cstdlib>
#include <cstring>

#include "core/Allocation.h"
#include "crypto/Crypt.h"

namespace {

inline DWORD rotl(DWORD x, DWORD n) {
  n &= 31;
  return n == 0 ? x : (x << n) | (x >> (32 - n));
}
inline DWORD rotr(DWORD x, DWORD n) {
  n &= 31;
  return n == 0 ? x : (x >> n) | (x << (32 - n));
}
inline DWORD lit32(const BYTE* p) {
  return DWORD{p[0]} | (DWORD{p[1]} << 8) | (DWORD{p[2]} << 16) | (DWORD{p[3]} << 24);
}
inline void ecrit32(BYTE* p, DWORD d) {
  p[0] = static_cast<BYTE>(d);
  p[1] = static_cast<BYTE>(d >> 8);
  p[2] = static_cast<BYTE>(d >> 16);
  p[3] = static_cast<BYTE>(d >> 24);
}
inline unsigned rotl4(unsigned x, unsigned n) {
  n &= 3;
  x &= 15;
  return ((x << n) | (x >> (4 - n))) & 15;
}
inline unsigned rotr4(unsigned x, unsigned n) {
  n &= 3;
  x &= 15;
  return ((x >> n) | (x << (4 - n))) & 15;
}

// One 64-byte block into the working variables (the schedule of W has no
// rotation).
void HashLoop(DWORD v[5], const BYTE* bloc) {
  DWORD W[80];
  for (int t = 0; t < 16; ++t) W[t] = lit32(bloc + 4 * t);
  for (int t = 16; t < 80; ++t) W[t] = W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16];
  DWORD a = v[0], b = v[1], c = v[2], d = v[3], e = v[4];
  for (int t = 0; t < 80; ++t) {
    DWORD f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const DWORD temp = rotl(a, 5) + f + e + W[t] + k;
    e = d;
    d = c;
    c = rotl(b, 30);
    b = a;
    a = temp;
  }
  v[0] = a;
  v[1] = b;
  v[2] = c;
  v[3] = d;
  v[4] = e;
}

}  // namespace

CCryptRC5::~CCryptRC5() { std::free(m_pdwS); }

// The padded password (its bytes, 0x01, zeros, its length in the last four
// bytes of a multiple of 64) is hashed block by block as it is built, so
// that making a key never needs memory and never fails.
void CCryptRC5::BuildCryptKeyAnsi(BYTE key[16], const char* password) {
  const std::size_t L = password != nullptr ? std::strlen(password) : 0;
  const std::size_t N = (L + 4 + 63) / 64 * 64;
  DWORD H[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  DWORD v[5] = {H[0], H[1], H[2], H[3], H[4]};
  for (std::size_t o = 0; o < N; o += 64) {
    BYTE bloc[64] = {};
    if (o < L) std::memcpy(bloc, password + o, L - o < 64 ? L - o : 64);
    if (L >= o && L < o + 64) bloc[L - o] = 0x01;
    if (o + 64 == N) ecrit32(bloc + 60, static_cast<DWORD>(L));
    HashLoop(v, bloc);
    for (int i = 0; i < 5; ++i) H[i] += v[i];
  }
  for (int i = 0; i < 4; ++i) ecrit32(key + 4 * i, H[i]);
}

bool CCryptRC5::bSetPassword(const char* password) {
  BYTE aby[16];
  BuildCryptKeyAnsi(aby, password);
  return bSetCryptKey(aby);
}

bool CCryptRC5::bSetCryptKey(const void* key, unsigned length) {
  CCrypt::bSetCryptKey(key, length);
  return __bInitTableCle(m_abyCle);
}

bool CCryptRC5::__bInitTableCle(const BYTE key[16]) {
  const int t = 2 * m_nTours + 2;
  DWORD* S = static_cast<DWORD*>(KV_pAlloue(sizeof(DWORD) * static_cast<unsigned>(t)));
  if (S == nullptr) return false;
  DWORD Lw[4];
  for (int i = 0; i < 4; ++i) Lw[i] = lit32(key + 4 * i);
  S[0] = 0xB7E15163u;
  for (int i = 1; i < t; ++i) S[i] = S[i - 1] + 0x9E3779B9u;
  DWORD A = 0, B = 0;
  int i = 0, j = 0;
  for (int k = 0; k < 3 * t; ++k) {
    A = S[i] = rotl(S[i] + A + B, 3);
    B = Lw[j] = rotl(Lw[j] + A + B, A + B);
    i = (i + 1) % t;
    j = (j + 1) % 4;
  }
  std::free(m_pdwS);
  m_pdwS = S;
  return true;
}

void CCryptRC5::__CryptBlock(BYTE bloc[8]) const {
  const DWORD* S = m_pdwS;
  DWORD A = lit32(bloc + 4) + S[0], B = lit32(bloc) + S[1];
  for (int i = 1; i <= m_nTours; ++i) {
    A = rotl(A ^ B, B) + S[2 * i];
    B = rotl(B ^ A, A) + S[2 * i + 1];
  }
  ecrit32(bloc, B);
  ecrit32(bloc + 4, A);
}

void CCryptRC5::__UncryptBlock(BYTE bloc[8]) const {
  const DWORD* S = m_pdwS;
  DWORD B = lit32(bloc), A = lit32(bloc + 4);
  for (int i = m_nTours; i >= 1; --i) {
    B = rotr(B - S[2 * i + 1], A) ^ A;
    A = rotr(A - S[2 * i], B) ^ B;
  }
  ecrit32(bloc, B - S[1]);
  ecrit32(bloc + 4, A - S[0]);
}

BYTE CCryptRC5::__CryptByte(BYTE by) const {
  const DWORD* S = m_pdwS;
  unsigned A = ((by >> 4) + (S[0] & 0xFF)) & 15, B = ((by & 15) + (S[1] & 0xFF)) & 15;
  for (int i = 1; i <= m_nTours; ++i) {
    A = (rotl4(A ^ B, B) + (S[2 * i] & 0xFF)) & 15;
    B = (rotl4(B ^ A, A) + (S[2 * i + 1] & 0xFF)) & 15;
  }
  return static_cast<BYTE>(16 * A + B);
}

BYTE CCryptRC5::__UncryptByte(BYTE by) const {
  const DWORD* S = m_pdwS;
  unsigned A = by >> 4, B = by & 15;
  for (int i = m_nTours; i >= 1; --i) {
    B = rotr4((B - (S[2 * i + 1] & 0xFF)) & 15, A) ^ A;
    A = rotr4((A - (S[2 * i] & 0xFF)) & 15, B) ^ B;
  }
  A = (A - (S[0] & 0xFF)) & 15;
  B = (B - (S[1] & 0xFF)) & 15;
  return static_cast<BYTE>(16 * A + B);
}

template <class F>
void CCryptRC5::_AvecCle(const BYTE (*key)[16], F f) {
  if (key == nullptr || std::memcmp(*key, m_abyCle, 16) == 0) {
    if (m_pdwS != nullptr) f();
    return;
  }
  BYTE abySauve[16];
  std::memcpy(abySauve, m_abyCle, 16);
  if (bSetCryptKey(*key, 16)) f();
  bSetCryptKey(abySauve, 16);
}

void CCryptRC5::Crypt(BYTE* d, unsigned n, const BYTE (*key)[16]) {
  _AvecCle(key, [&] {
    BYTE abyPrec[8] = {};
    const unsigned nBlocs = n / 8;
    for (unsigned b = 0; b < nBlocs; ++b) {
      BYTE* p = d + 8 * b;
      for (int k = 0; k < 8; ++k) p[k] ^= abyPrec[k];
      __CryptBlock(p);
      std::memcpy(abyPrec, p, 8);
    }
    BYTE c = nBlocs > 0 ? d[8 * (nBlocs - 1)] : 0;
    for (unsigned i = 8 * nBlocs; i < n; ++i) {
      d[i] = __CryptByte(static_cast<BYTE>(d[i] ^ c));
      c = d[i];
    }
  });
}

void CCryptRC5::Uncrypt(BYTE* d, unsigned n, const BYTE (*key)[16]) {
  _AvecCle(key, [&] {
    const unsigned nBlocs = n / 8;
    // The tail first: it chains from the last ciphertext block.
    BYTE c = nBlocs > 0 ? d[8 * (nBlocs - 1)] : 0;
    for (unsigned i = 8 * nBlocs; i < n; ++i) {
      const BYTE byChiffre = d[i];
      d[i] = static_cast<BYTE>(__UncryptByte(byChiffre) ^ c);
      c = byChiffre;
    }
    BYTE abyPrec[8] = {}, abyChiffre[8];
    for (unsigned b = 0; b < nBlocs; ++b) {
      BYTE* p = d + 8 * b;
      std::memcpy(abyChiffre, p, 8);
      __UncryptBlock(p);
      for (int k = 0; k < 8; ++k) p[k] ^= abyPrec[k];
      std::memcpy(abyPrec, abyChiffre, 8);
    }
  });
}
