// CRC-32 (every path) against zlib's crc32 on 64 MiB (memory-bound) and on
// 1 MiB (a buffer that stays in cache), and base 64 (line
// breaks included on our side) against OpenSSL's EVP_EncodeBlock and
// EVP_DecodeBlock on 48 MiB. Throughput in bytes per second of input.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "crypto/Crc.h"
#include "crypto/Encodeurs.h"

namespace {

const std::vector<BYTE>& donnees(std::size_t n) {
  static std::vector<BYTE> v;
  if (v.size() < n) {
    std::mt19937 g(1);
    v.resize(n);
    for (auto& b : v) b = static_cast<BYTE>(g());
  }
  return v;
}

constexpr std::size_t CRC_TAILLE = 64u << 20, CRC_TAILLE_CACHE = 1u << 20, B64_TAILLE = 48u << 20;

// The base-64 path the library takes on this processor, read before any row
// imposes one; the row of the path in use is labelled "chosen".
const eCHEMINBASE64 g_eBase64Choisi = BASE64_eChemin();

void BM_Crc32Zlib(benchmark::State& s) {
  const auto& d = donnees(CRC_TAILLE);
  for (auto _ : s) benchmark::DoNotOptimize(crc32(0, d.data(), CRC_TAILLE));
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * CRC_TAILLE));
}

void BM_Crc32(benchmark::State& s) {
  const auto chemin = static_cast<eCHEMINCRC32>(s.range(0));
  if (!CRC32_bCheminDisponible(chemin)) {
    s.SkipWithError("path not available");
    return;
  }
  const auto& d = donnees(CRC_TAILLE);
  for (auto _ : s) benchmark::DoNotOptimize(CRC32_dwCalcule(chemin, d.data(), CRC_TAILLE, 0));
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * CRC_TAILLE));
  if (chemin == CRC32_eCheminChoisi()) s.SetLabel("chosen");
}

// The same on 1 MiB, repeated: the data stays in cache.
void BM_Crc32Zlib1M(benchmark::State& s) {
  const auto& d = donnees(CRC_TAILLE);
  for (auto _ : s) benchmark::DoNotOptimize(crc32(0, d.data(), CRC_TAILLE_CACHE));
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * CRC_TAILLE_CACHE));
}

void BM_Crc32_1M(benchmark::State& s) {
  const auto chemin = static_cast<eCHEMINCRC32>(s.range(0));
  if (!CRC32_bCheminDisponible(chemin)) {
    s.SkipWithError("path not available");
    return;
  }
  const auto& d = donnees(CRC_TAILLE);
  for (auto _ : s) benchmark::DoNotOptimize(CRC32_dwCalcule(chemin, d.data(), CRC_TAILLE_CACHE, 0));
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * CRC_TAILLE_CACHE));
  if (chemin == CRC32_eCheminChoisi()) s.SetLabel("chosen");
}

void BM_Base64EncodeOpenSSL(benchmark::State& s) {
  const auto& d = donnees(B64_TAILLE);
  std::vector<unsigned char> out(B64_TAILLE / 3 * 4 + 8);
  for (auto _ : s) benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), d.data(), B64_TAILLE));
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * B64_TAILLE));
}

void BM_Base64Encode(benchmark::State& s) {
  if (!BASE64_bImposeChemin(static_cast<eCHEMINBASE64>(s.range(0)))) {
    s.SkipWithError("path not available");
    return;
  }
  const auto& d = donnees(B64_TAILLE);
  CEncodeBase64 e;
  std::vector<char> out(e.nEncode(d.data(), B64_TAILLE, 20, nullptr));
  for (auto _ : s) benchmark::DoNotOptimize(e.nEncode(d.data(), B64_TAILLE, 20, out.data()));
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * B64_TAILLE));
  if (s.range(0) == g_eBase64Choisi) s.SetLabel("chosen");
}

void BM_Base64DecodeOpenSSL(benchmark::State& s) {
  const auto& d = donnees(B64_TAILLE);
  std::vector<unsigned char> t(B64_TAILLE / 3 * 4 + 8);
  const int n = EVP_EncodeBlock(t.data(), d.data(), B64_TAILLE);
  std::vector<unsigned char> out(B64_TAILLE + 8);
  for (auto _ : s) benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(), t.data(), n));
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * B64_TAILLE));
}

void BM_Base64Decode(benchmark::State& s) {
  if (!BASE64_bImposeChemin(static_cast<eCHEMINBASE64>(s.range(0)))) {
    s.SkipWithError("path not available");
    return;
  }
  const auto& d = donnees(B64_TAILLE);
  CEncodeBase64 e;
  std::vector<char> t(e.nEncode(d.data(), B64_TAILLE, 20, nullptr) + 1);
  const std::size_t n = e.nEncode(d.data(), B64_TAILLE, 20, t.data());
  std::vector<BYTE> out(B64_TAILLE + 8);
  for (auto _ : s) benchmark::DoNotOptimize(e.nDecode(t.data(), n, out.data()));
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * B64_TAILLE));
  if (s.range(0) == g_eBase64Choisi) s.SetLabel("chosen");
}

}  // namespace

BENCHMARK(BM_Crc32Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32)->Arg(CRC32_OCTET)->Arg(CRC32_TABLES)->Arg(CRC32_PCLMUL)->Arg(CRC32_VPCLMUL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32Zlib1M)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Crc32_1M)->Arg(CRC32_OCTET)->Arg(CRC32_TABLES)->Arg(CRC32_PCLMUL)->Arg(CRC32_VPCLMUL)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Base64EncodeOpenSSL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64Encode)->Arg(BASE64_SCALAIRE)->Arg(BASE64_SSSE3)->Arg(BASE64_AVX2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64DecodeOpenSSL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64Decode)->Arg(BASE64_SCALAIRE)->Arg(BASE64_SSSE3)->Arg(BASE64_AVX2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
