// CRC-32 by folding with carry-less multiplication: four 128-bit lanes fold
// 64 bytes a step, then fold into one lane and 16 bytes a step; the
// remaining 128 bits and the tail go through the table. The folding
// constants are x^k mod P (bit-reflected) for the folding distances.
#include <immintrin.h>

#include <cstring>

#include "crypto/Crc32Interne.h"

namespace kvcrc {

bool bPclmulDisponible() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
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

inline __m128i Lit(const BYTE* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); }

inline __m128i Plie(__m128i x, __m128i k) {
  const __m128i bas = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i haut = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(bas, haut);
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
  while (n >= 16) {
    x0 = _mm_xor_si128(Plie(x0, k128), Lit(p));
    p += 16;
    n -= 16;
  }
  // The folded 128 bits have the same remainder as everything read so far.
  alignas(16) BYTE reste[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(reste), x0);
  r = dwRegistreOctets(0, reste, 16);
  return dwRegistreTables(r, p, n);
}

}  // namespace kvcrc

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
