// "-lh5-" coding and decoding against zlib's deflate and inflate at level 6
// (what gzip -6 uses), in memory, on 4 MiB of generated text with some
// binary runs. Throughput in bytes per second of uncompressed data; the
// ratio (coded / original) is shown as a counter, for information.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "compression/Lh5.h"

namespace {

constexpr std::size_t TAILLE = 4u << 20;

const std::vector<BYTE>& Donnees() {
  static std::vector<BYTE> v;
  if (v.empty()) {
    static const char* mots[] = {"compactage ", "fichier ", "de ", "la ", "dictionnaire ", "Huffman ",
                                 "bloc\n", "fenetre ", "glissante ", "8192 ", "octets, ", "valeur=", "42 "};
    std::mt19937 g(1);
    while (v.size() < TAILLE) {
      if (g() % 50 == 0) {
        for (int i = 0; i < 200; i++) v.push_back(static_cast<BYTE>(g()));
      } else {
        const std::string m = mots[g() % 13];
        v.insert(v.end(), m.begin(), m.end());
      }
    }
    v.resize(TAILLE);
  }
  return v;
}

std::vector<BYTE> Lh5Code(const std::vector<BYTE>& in) {
  CLh5Encodeur e;
  e.bDemarre();
  std::vector<BYTE> out(in.size() + in.size() / 8 + 1024);
  STLh5Flux f;
  f.pEntree = in.data();
  f.nEntree = static_cast<DWORD>(in.size());
  f.pSortie = out.data();
  f.nSortie = static_cast<DWORD>(out.size());
  e.nCode(f, true);
  out.resize(out.size() - f.nSortie);
  return out;
}

std::vector<BYTE> ZlibCode(const std::vector<BYTE>& in) {
  uLongf n = compressBound(in.size());
  std::vector<BYTE> out(n);
  compress2(out.data(), &n, in.data(), in.size(), 6);
  out.resize(n);
  return out;
}

void BM_Lh5Compacte(benchmark::State& s) {
  const auto& d = Donnees();
  std::size_t n = 0;
  for (auto _ : s) n = Lh5Code(d).size();
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * TAILLE));
  s.counters["ratio"] = static_cast<double>(n) / TAILLE;
}

void BM_ZlibDeflate6(benchmark::State& s) {
  const auto& d = Donnees();
  std::size_t n = 0;
  for (auto _ : s) n = ZlibCode(d).size();
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * TAILLE));
  s.counters["ratio"] = static_cast<double>(n) / TAILLE;
}

void BM_Lh5Decompacte(benchmark::State& s) {
  const auto code = Lh5Code(Donnees());
  std::vector<BYTE> out(TAILLE);
  for (auto _ : s) {
    CLh5Decodeur d;
    d.bDemarre(TAILLE);
    STLh5Flux f;
    f.pEntree = code.data();
    f.nEntree = static_cast<DWORD>(code.size());
    f.pSortie = out.data();
    f.nSortie = static_cast<DWORD>(out.size());
    if (d.nDecode(f, true) != LH5_FIN) s.SkipWithError("decoding failed");
  }
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * TAILLE));
}

void BM_ZlibInflate(benchmark::State& s) {
  const auto code = ZlibCode(Donnees());
  std::vector<BYTE> out(TAILLE);
  for (auto _ : s) {
    uLongf n = TAILLE;
    if (uncompress(out.data(), &n, code.data(), code.size()) != Z_OK) s.SkipWithError("inflate failed");
  }
  s.SetBytesProcessed(static_cast<int64_t>(s.iterations() * TAILLE));
}

}  // namespace

BENCHMARK(BM_Lh5Compacte)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lh5Decompacte)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
