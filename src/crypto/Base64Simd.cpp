// Base-64 kernels on 128-bit (SSSE3) and 256-bit (AVX2) vectors, compiled
// for those instruction sets and run only when the processor has them.
//
// Encoding: each group of three bytes is spread over four 16-bit halves by
// a byte shuffle, the four 6-bit values are brought to the bottom of their
// bytes by two multiplications, and a shuffle table adds the offset of the
// value's range of the alphabet. Decoding: the value of each character is
// found by range comparisons (anything outside the alphabet is 63, as in
// the byte-at-a-time decoder), then two multiply-adds join four values into
// three bytes.
#include "crypto/Base64Interne.h"

#include <immintrin.h>

#include <cstring>

namespace kvb64 {

bool bSsse3Disponible() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

bool bAvx2Disponible() {
  __builtin_cpu_init();
  return bSsse3Disponible() && __builtin_cpu_supports("avx2");
}

}  // namespace kvb64

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("ssse3"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("ssse3")
#endif

namespace kvb64 {

namespace {

// Four 6-bit values in the bytes of each 32-bit word, from 12 bytes.
inline __m128i Valeurs128(__m128i in) {
  in = _mm_shuffle_epi8(in, _mm_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1));
  const __m128i t0 = _mm_and_si128(in, _mm_set1_epi32(0x0fc0fc00));
  const __m128i t1 = _mm_mulhi_epu16(t0, _mm_set1_epi32(0x04000040));
  const __m128i t2 = _mm_and_si128(in, _mm_set1_epi32(0x003f03f0));
  const __m128i t3 = _mm_mullo_epi16(t2, _mm_set1_epi32(0x01000010));
  return _mm_or_si128(t1, t3);
}

// Characters of 6-bit values: 0-25 'A', 26-51 'a', 52-61 '0', 62 '+', 63 '/'.
inline __m128i Caracteres128(__m128i v) {
  __m128i r = _mm_subs_epu8(v, _mm_set1_epi8(51));                // 0 below 52, then 1 to 12
  const __m128i moins26 = _mm_cmpgt_epi8(_mm_set1_epi8(26), v);  // 0-25
  r = _mm_or_si128(r, _mm_and_si128(moins26, _mm_set1_epi8(13)));
  const __m128i decalage = _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                         '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
  return _mm_add_epi8(_mm_shuffle_epi8(decalage, r), v);
}

// Value of each character (63 outside the alphabet).
inline __m128i ValeursCar128(__m128i c) {
  auto entre = [&](char lo, char hi) {
    return _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8(static_cast<char>(lo - 1))),
                         _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(hi + 1)), c));
  };
  const __m128i maj = entre('A', 'Z'), min = entre('a', 'z'), chif = entre('0', '9');
  const __m128i plus = _mm_cmpeq_epi8(c, _mm_set1_epi8('+'));
  __m128i v = _mm_and_si128(maj, _mm_sub_epi8(c, _mm_set1_epi8('A')));
  v = _mm_or_si128(v, _mm_and_si128(min, _mm_sub_epi8(c, _mm_set1_epi8('a' - 26))));
  v = _mm_or_si128(v, _mm_and_si128(chif, _mm_add_epi8(c, _mm_set1_epi8(52 - '0'))));
  v = _mm_or_si128(v, _mm_and_si128(plus, _mm_set1_epi8(62)));
  const __m128i connu = _mm_or_si128(_mm_or_si128(maj, min), _mm_or_si128(chif, plus));
  return _mm_or_si128(v, _mm_andnot_si128(connu, _mm_set1_epi8(63)));
}

// Values of 16 characters of the alphabet; false when one is outside it.
inline bool bValeursAlphabet128(__m128i c, __m128i& v) {
  // Rows by high half: 2 ('+', '/'), 3 (digits), 4 and 6 (letters from 1),
  // 5 and 7 (letters to 10), any other row; each low half lists the rows
  // in which it is not part of the alphabet.
  const __m128i lutHaut = _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10,
                                        0x10, 0x10, 0x10);
  const __m128i lutBas = _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B,
                                       0x1B, 0x1B, 0x1A);
  // Offset from character to value by row; row 1 stands for '/'.
  const __m128i lutDecalage = _mm_setr_epi8(0, 63 - '/', 62 - '+', 52 - '0', -'A', -'A', 26 - 'a', 26 - 'a', 0, 0, 0,
                                            0, 0, 0, 0, 0);
  const __m128i quatreBits = _mm_set1_epi8(0x0F);
  const __m128i haut = _mm_and_si128(_mm_srli_epi16(c, 4), quatreBits);
  const __m128i bas = _mm_and_si128(c, quatreBits);
  const __m128i hors = _mm_and_si128(_mm_shuffle_epi8(lutHaut, haut), _mm_shuffle_epi8(lutBas, bas));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(hors, _mm_setzero_si128())) != 0xFFFF) return false;
  const __m128i barre = _mm_cmpeq_epi8(c, _mm_set1_epi8('/'));
  v = _mm_add_epi8(c, _mm_shuffle_epi8(lutDecalage, _mm_add_epi8(haut, barre)));
  return true;
}

// Three bytes per four values, in the first 12 bytes.
inline __m128i Octets128(__m128i v) {
  const __m128i ab = _mm_maddubs_epi16(v, _mm_set1_epi32(0x01400140));
  const __m128i abc = _mm_madd_epi16(ab, _mm_set1_epi32(0x00011000));
  return _mm_shuffle_epi8(abc, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
}

// Mask of the characters that stop the vector path.
inline int nArrets128(__m128i c, bool bPadding) {
  __m128i m = _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(c, _mm_set1_epi8('\n')));
  if (bPadding) m = _mm_or_si128(m, _mm_cmpeq_epi8(c, _mm_set1_epi8('=')));
  return _mm_movemask_epi8(m);
}

inline void Ecrit12(BYTE* out, __m128i x) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), x);
  const int n = _mm_cvtsi128_si32(_mm_srli_si128(x, 8));
  std::memcpy(out + 8, &n, 4);
}

inline bool bSaut(BYTE c) { return c == '\r' || c == '\n'; }

// Decodes 16 characters holding no stop character; false when one is there.
inline bool bDecode16(__m128i c, bool bPadding, BYTE* out) {
  __m128i v;
  if (!bValeursAlphabet128(c, v)) {
    if (nArrets128(c, bPadding) != 0) return false;
    v = ValeursCar128(c);
  }
  Ecrit12(out, Octets128(v));
  return true;
}

// One group by the alphabet table.
inline char* pEncodeGroupe(const BYTE* p, char* out) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out[0] = kAlphabet[p[0] >> 2];
  out[1] = kAlphabet[((p[0] & 3) << 4) | (p[1] >> 4)];
  out[2] = kAlphabet[((p[1] & 15) << 2) | (p[2] >> 6)];
  out[3] = kAlphabet[p[2] & 63];
  return out + 4;
}

// Ends a line when it is complete.
inline char* pFinLigne(unsigned nLigne, unsigned& nGroupesLigne, std::size_t nPas, char* out) {
  nGroupesLigne += static_cast<unsigned>(nPas);
  if (nGroupesLigne == nLigne) {
    out[0] = '\r';
    out[1] = '\n';
    nGroupesLigne = 0;
    return out + 2;
  }
  return out;
}

}  // namespace

char* pEncodeSsse3(const BYTE* data, std::size_t nGroupes, unsigned nLigne, unsigned& nGroupesLigne, char* out) {
  const BYTE* const pFin = data + 3 * nGroupes;
  while (nGroupes > 0) {
    std::size_t nPas = nLigne - nGroupesLigne;
    if (nPas > nGroupes) nPas = nGroupes;
    std::size_t i = 0;
    // Each step reads 16 bytes and uses 12.
    for (; i + 4 <= nPas && data + 16 <= pFin; i += 4, data += 12, out += 16) {
      const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Caracteres128(Valeurs128(in)));
    }
    for (; i < nPas; ++i, data += 3) out = pEncodeGroupe(data, out);
    out = pFinLigne(nLigne, nGroupesLigne, nPas, out);
    nGroupes -= nPas;
  }
  return out;
}

std::size_t nDecodeSsse3(const BYTE* t, std::size_t pos, std::size_t fin, bool bPadding, BYTE* out, std::size_t& n) {
  std::size_t nSortie = n;
  while (fin - pos >= 16) {
    if (bSaut(t[pos])) {
      ++pos;
      continue;
    }
    if (!bDecode16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + pos)), bPadding, out + nSortie)) break;
    nSortie += 12;
    pos += 16;
  }
  n = nSortie;
  return pos;
}

}  // namespace kvb64

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("ssse3,avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("ssse3,avx2")
#endif

namespace kvb64 {

namespace {

// The 128-bit steps above, on both halves of a 256-bit vector.
inline __m256i Valeurs256(__m256i in) {
  in = _mm256_shuffle_epi8(in, _mm256_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1, 10, 11, 9, 10, 7, 8,
                                               6, 7, 4, 5, 3, 4, 1, 2, 0, 1));
  const __m256i t0 = _mm256_and_si256(in, _mm256_set1_epi32(0x0fc0fc00));
  const __m256i t1 = _mm256_mulhi_epu16(t0, _mm256_set1_epi32(0x04000040));
  const __m256i t2 = _mm256_and_si256(in, _mm256_set1_epi32(0x003f03f0));
  const __m256i t3 = _mm256_mullo_epi16(t2, _mm256_set1_epi32(0x01000010));
  return _mm256_or_si256(t1, t3);
}

inline __m256i Caracteres256(__m256i v) {
  __m256i r = _mm256_subs_epu8(v, _mm256_set1_epi8(51));
  const __m256i moins26 = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), v);
  r = _mm256_or_si256(r, _mm256_and_si256(moins26, _mm256_set1_epi8(13)));
  const __m256i decalage = _mm256_setr_epi8(
      'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
      '+' - 62, '/' - 63, 'A', 0, 0, 'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
      '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
  return _mm256_add_epi8(_mm256_shuffle_epi8(decalage, r), v);
}

inline __m256i ValeursCar256(__m256i c) {
  auto entre = [&](char lo, char hi) {
    return _mm256_and_si256(_mm256_cmpgt_epi8(c, _mm256_set1_epi8(static_cast<char>(lo - 1))),
                            _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(hi + 1)), c));
  };
  const __m256i maj = entre('A', 'Z'), min = entre('a', 'z'), chif = entre('0', '9');
  const __m256i plus = _mm256_cmpeq_epi8(c, _mm256_set1_epi8('+'));
  __m256i v = _mm256_and_si256(maj, _mm256_sub_epi8(c, _mm256_set1_epi8('A')));
  v = _mm256_or_si256(v, _mm256_and_si256(min, _mm256_sub_epi8(c, _mm256_set1_epi8('a' - 26))));
  v = _mm256_or_si256(v, _mm256_and_si256(chif, _mm256_add_epi8(c, _mm256_set1_epi8(52 - '0'))));
  v = _mm256_or_si256(v, _mm256_and_si256(plus, _mm256_set1_epi8(62)));
  const __m256i connu = _mm256_or_si256(_mm256_or_si256(maj, min), _mm256_or_si256(chif, plus));
  return _mm256_or_si256(v, _mm256_andnot_si256(connu, _mm256_set1_epi8(63)));
}

inline bool bValeursAlphabet256(__m256i c, __m256i& v) {
  const __m256i lutHaut = _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10,
                                           0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,
                                           0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  const __m256i lutBas = _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B,
                                          0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                          0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
  const __m256i lutDecalage =
      _mm256_setr_epi8(0, 63 - '/', 62 - '+', 52 - '0', -'A', -'A', 26 - 'a', 26 - 'a', 0, 0, 0, 0, 0, 0, 0, 0, 0,
                       63 - '/', 62 - '+', 52 - '0', -'A', -'A', 26 - 'a', 26 - 'a', 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i quatreBits = _mm256_set1_epi8(0x0F);
  const __m256i haut = _mm256_and_si256(_mm256_srli_epi16(c, 4), quatreBits);
  const __m256i bas = _mm256_and_si256(c, quatreBits);
  const __m256i hors = _mm256_and_si256(_mm256_shuffle_epi8(lutHaut, haut), _mm256_shuffle_epi8(lutBas, bas));
  if (!_mm256_testz_si256(hors, hors)) return false;
  const __m256i barre = _mm256_cmpeq_epi8(c, _mm256_set1_epi8('/'));
  v = _mm256_add_epi8(c, _mm256_shuffle_epi8(lutDecalage, _mm256_add_epi8(haut, barre)));
  return true;
}

inline __m256i Octets256(__m256i v) {
  const __m256i ab = _mm256_maddubs_epi16(v, _mm256_set1_epi32(0x01400140));
  const __m256i abc = _mm256_madd_epi16(ab, _mm256_set1_epi32(0x00011000));
  return _mm256_shuffle_epi8(abc, _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6,
                                                   5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
}

inline int nArrets256(__m256i c, bool bPadding) {
  __m256i m =
      _mm256_or_si256(_mm256_cmpeq_epi8(c, _mm256_set1_epi8('\r')), _mm256_cmpeq_epi8(c, _mm256_set1_epi8('\n')));
  if (bPadding) m = _mm256_or_si256(m, _mm256_cmpeq_epi8(c, _mm256_set1_epi8('=')));
  return _mm256_movemask_epi8(m);
}

}  // namespace

char* pEncodeAvx2(const BYTE* data, std::size_t nGroupes, unsigned nLigne, unsigned& nGroupesLigne, char* out) {
  const BYTE* const pFin = data + 3 * nGroupes;
  while (nGroupes > 0) {
    std::size_t nPas = nLigne - nGroupesLigne;
    if (nPas > nGroupes) nPas = nGroupes;
    std::size_t i = 0;
    // Each step reads 16 bytes at data and 16 at data + 12 and uses 24.
    for (; i + 8 <= nPas && data + 28 <= pFin; i += 8, data += 24, out += 32) {
      const __m256i in =
          _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data))),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 12)), 1);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), Caracteres256(Valeurs256(in)));
    }
    for (; i + 4 <= nPas && data + 16 <= pFin; i += 4, data += 12, out += 16) {
      const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Caracteres128(Valeurs128(in)));
    }
    for (; i < nPas; ++i, data += 3) out = pEncodeGroupe(data, out);
    out = pFinLigne(nLigne, nGroupesLigne, nPas, out);
    nGroupes -= nPas;
  }
  return out;
}

std::size_t nDecodeAvx2(const BYTE* t, std::size_t pos, std::size_t fin, bool bPadding, BYTE* out, std::size_t& n) {
  std::size_t nSortie = n;
  while (fin - pos >= 16) {
    if (bSaut(t[pos])) {
      ++pos;
      continue;
    }
    if (fin - pos >= 32) {
      const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + pos));
      __m256i v;
      if (bValeursAlphabet256(c, v) || (nArrets256(c, bPadding) == 0 && (v = ValeursCar256(c), true))) {
        // The 24 bytes side by side: 16 then 8.
        const __m256i o = _mm256_permutevar8x32_epi32(Octets256(v), _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + nSortie), _mm256_castsi256_si128(o));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + nSortie + 16), _mm256_extracti128_si256(o, 1));
        nSortie += 24;
        pos += 32;
        continue;
      }
    }
    // A line end or the text's end within 32 characters: 16 at a time.
    if (!bDecode16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + pos)), bPadding, out + nSortie)) break;
    nSortie += 12;
    pos += 16;
  }
  n = nSortie;
  return pos;
}

}  // namespace kvb64

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
