// CRC-32 by folding with carry-less multiplication: four 128-bit lanes fold
// 64 bytes a step, then fold into one lane and 16 bytes a step; the
// remaining 128 bits and the tail go through the table. The 256-bit form
// (VPCLMULQDQ) folds four lanes of 32 bytes, 128 bytes a step, then comes
// down to one 128-bit lane the same way. The folding constants of a
// distance of D bits are x^(D+32) and x^(D-32) mod P, bit-reflected and
// shifted left by one.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "crypto/Crc32Interne.h"

namespace kvcrc {

bool bPclmulDisponible() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
}

bool bVpclmulDisponible() {
  __builtin_cpu_init();
  return bPclmulDisponible() && __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx2");
}

}  // namespace kvcrc

// Everything below may use PCLMULQDQ and SSE2; it runs only when the
// processor has them.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("pclmul,sse2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("pclmul,sse2")
#endif

namespace kvcrc {

namespace {

// Bytes ahead of the folding loops asked of the cache: the loops outrun the
// hardware prefetcher on a buffer that is not in the nearest caches.
constexpr std::size_t PREFETCH_AVANCE = 2048;
// Length from which the 256-bit loop starts on a 64-byte boundary.
constexpr std::size_t ALIGNE_DES = 4096;

inline __m128i Lit(const BYTE* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); }

inline __m128i Plie(__m128i x, __m128i k) {
  const __m128i bas = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i haut = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(bas, haut);
}

// Folds the 16-byte pieces that follow into x0, then the remainder of the
// 128 bits and the tail through the table.
DWORD dwFinit(__m128i x0, const BYTE* p, std::size_t n) {
  const __m128i k128 = _mm_set_epi32(0x00000000, static_cast<int>(0xccaa009e), 0x00000001, 0x751997d0);
  while (n >= 16) {
    x0 = _mm_xor_si128(Plie(x0, k128), Lit(p));
    p += 16;
    n -= 16;
  }
  // The folded 128 bits have the same remainder as everything read so far.
  alignas(16) BYTE reste[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(reste), x0);
  const DWORD r = dwRegistreOctets(0, reste, 16);
  return dwRegistreTables(r, p, n);
}

}  // namespace

DWORD dwRegistrePclmul(DWORD r, const BYTE* p, std::size_t n) {
  if (n < 64) return dwRegistreTables(r, p, n);
  // Distances 512 bits (four lanes) and 128 bits (one lane).
  const __m128i k512 = _mm_set_epi32(0x00000001, static_cast<int>(0xc6e41596), 0x00000001, 0x54442bd4);
  const __m128i k128 = _mm_set_epi32(0x00000000, static_cast<int>(0xccaa009e), 0x00000001, 0x751997d0);
  __m128i x0 = _mm_xor_si128(Lit(p), _mm_cvtsi32_si128(static_cast<int>(r)));
  __m128i x1 = Lit(p + 16), x2 = Lit(p + 32), x3 = Lit(p + 48);
  p += 64;
  n -= 64;
  while (n >= 64) {
    _mm_prefetch(reinterpret_cast<const char*>(p) + PREFETCH_AVANCE, _MM_HINT_T0);
    x0 = _mm_xor_si128(Plie(x0, k512), Lit(p));
    x1 = _mm_xor_si128(Plie(x1, k512), Lit(p + 16));
    x2 = _mm_xor_si128(Plie(x2, k512), Lit(p + 32));
    x3 = _mm_xor_si128(Plie(x3, k512), Lit(p + 48));
    p += 64;
    n -= 64;
  }
  x0 = _mm_xor_si128(Plie(x0, k128), x1);
  x0 = _mm_xor_si128(Plie(x0, k128), x2);
  x0 = _mm_xor_si128(Plie(x0, k128), x3);
  return dwFinit(x0, p, n);
}

}  // namespace kvcrc

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// The 256-bit form: needs VPCLMULQDQ and AVX2 as well.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("pclmul,sse2,avx2,vpclmulqdq"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("pclmul,sse2,avx2,vpclmulqdq")
#endif

namespace kvcrc {

namespace {

inline __m256i Lit256(const BYTE* q) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q)); }

inline __m256i Plie256(__m256i x, __m256i k) {
  return _mm256_xor_si256(_mm256_clmulepi64_epi128(x, k, 0x00), _mm256_clmulepi64_epi128(x, k, 0x11));
}

// The same constant pair in both 128-bit halves.
inline __m256i Constante(DWORD dwBasHaut, DWORD dwBas, DWORD dwHautHaut, DWORD dwHaut) {
  return _mm256_set_epi32(static_cast<int>(dwHautHaut), static_cast<int>(dwHaut), static_cast<int>(dwBasHaut),
                          static_cast<int>(dwBas), static_cast<int>(dwHautHaut), static_cast<int>(dwHaut),
                          static_cast<int>(dwBasHaut), static_cast<int>(dwBas));
}

}  // namespace

DWORD dwRegistreVpclmul(DWORD r, const BYTE* p, std::size_t n) {
  if (n < 256) return dwRegistrePclmul(r, p, n);
  // On long data the head up to a 64-byte boundary goes through the table,
  // so that no load of the folding loop straddles two cache lines.
  if (n >= ALIGNE_DES) {
    const std::size_t tete = (0u - reinterpret_cast<std::uintptr_t>(p)) & 63u;
    r = dwRegistreTables(r, p, tete);
    p += tete;
    n -= tete;
  }
  // Distances 1024 bits (four 256-bit lanes) and 256 bits (one).
  const __m256i k1024 = Constante(0x1, 0xe88ef372, 0x1, 0x4a7fe880);
  const __m256i k256 = Constante(0x0, 0xf1da05aa, 0x1, 0x5a546366);
  __m256i y0 = _mm256_xor_si256(Lit256(p), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(r))));
  __m256i y1 = Lit256(p + 32), y2 = Lit256(p + 64), y3 = Lit256(p + 96);
  p += 128;
  n -= 128;
  while (n >= 128) {
    _mm_prefetch(reinterpret_cast<const char*>(p) + PREFETCH_AVANCE, _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(p) + PREFETCH_AVANCE + 64, _MM_HINT_T0);
    y0 = _mm256_xor_si256(Plie256(y0, k1024), Lit256(p));
    y1 = _mm256_xor_si256(Plie256(y1, k1024), Lit256(p + 32));
    y2 = _mm256_xor_si256(Plie256(y2, k1024), Lit256(p + 64));
    y3 = _mm256_xor_si256(Plie256(y3, k1024), Lit256(p + 96));
    p += 128;
    n -= 128;
  }
  y0 = _mm256_xor_si256(Plie256(y0, k256), y1);
  y0 = _mm256_xor_si256(Plie256(y0, k256), y2);
  y0 = _mm256_xor_si256(Plie256(y0, k256), y3);
  while (n >= 32) {
    y0 = _mm256_xor_si256(Plie256(y0, k256), Lit256(p));
    p += 32;
    n -= 32;
  }
  // The low half folds 128 bits onto the high half.
  const __m128i k128 = _mm_set_epi32(0x00000000, static_cast<int>(0xccaa009e), 0x00000001, 0x751997d0);
  const __m128i x0 = _mm_xor_si128(Plie(_mm256_castsi256_si128(y0), k128), _mm256_extracti128_si256(y0, 1));
  return dwFinit(x0, p, n);
}

}  // namespace kvcrc

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
