// Fuzz target of the "-lh5-" decoder and of the compacted-file reader: any
// bytes decoded as a stream (size and piece lengths taken from the first
// bytes), a round trip of the bytes through the encoder, and the bytes as
// a compacted file (new or old format) expanded and measured.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compression/Compacte.h"
#include "compression/Lh5.h"

namespace {

void Verifie(bool b) {
  if (!b) std::abort();
}

// Decodes in pieces; the bytes produced.
std::vector<BYTE> Decode(const BYTE* p, std::size_t n, QWORD qTaille, DWORD nMorceauEntree, DWORD nMorceauSortie,
                         int* pr) {
  CLh5Decodeur d;
  Verifie(d.bDemarre(qTaille));
  std::vector<BYTE> sortie;
  if (nMorceauSortie > qTaille + 1) nMorceauSortie = static_cast<DWORD>(qTaille + 1);
  std::vector<BYTE> tampon(nMorceauSortie);
  STLh5Flux f;
  std::size_t nDonne = 0;
  for (;;) {
    if (f.nEntree == 0 && nDonne < n) {
      const std::size_t k = std::min<std::size_t>(nMorceauEntree, n - nDonne);
      f.pEntree = p + nDonne;
      f.nEntree = static_cast<DWORD>(k);
      nDonne += k;
    }
    f.pSortie = tampon.data();
    f.nSortie = nMorceauSortie;
    *pr = d.nDecode(f, nDonne == n);
    sortie.insert(sortie.end(), tampon.begin(), tampon.begin() + (nMorceauSortie - f.nSortie));
    Verifie(sortie.size() <= qTaille);
    if (*pr != LH5_OK) return sortie;
  }
}

const std::string& Chemin(const char* suffixe) {
  static std::string s[2];
  const int i = suffixe[0] == 'i' ? 0 : 1;
  if (s[i].empty()) s[i] = "/tmp/fuzz_lh5_" + std::to_string(getpid()) + "." + suffixe;
  return s[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // The stream: size up to 256 KiB, pieces from 1 byte up.
  const QWORD qTaille = (QWORD{data[0]} << 10) | (QWORD{data[1]} << 2);
  const DWORD nEntree = 1 + data[2] % 64, nSortie = 1 + data[2] / 4;
  const std::vector<BYTE> in(data + 3, data + size);  // exact size, on the heap
  int r1 = 0, r2 = 0;
  const std::vector<BYTE> a = Decode(in.data(), in.size(), qTaille, 1 << 20, 1 << 20, &r1);
  const std::vector<BYTE> b = Decode(in.data(), in.size(), qTaille, nEntree, nSortie, &r2);
  Verifie(r1 == LH5_FIN || r1 == LH5_ERREUR_DONNEES);
  Verifie(r1 == r2);
  if (r1 == LH5_FIN) Verifie(a == b && a.size() == qTaille);

  // Round trip through the encoder.
  {
    CLh5Encodeur e;
    Verifie(e.bDemarre());
    std::vector<BYTE> code(in.size() + in.size() / 8 + 64);
    STLh5Flux f;
    f.pEntree = in.data();
    f.nEntree = static_cast<DWORD>(in.size());
    f.pSortie = code.data();
    f.nSortie = static_cast<DWORD>(code.size());
    Verifie(e.nCode(f, true) == LH5_FIN);
    code.resize(code.size() - f.nSortie);
    int r = 0;
    Verifie(Decode(code.data(), code.size(), in.size(), 1 << 20, 1 << 20, &r) == in);
    Verifie(r == LH5_FIN || in.empty());
  }

  // The bytes as a compacted file, its declared size kept small.
  std::vector<BYTE> fichier(data, data + size);
  if (fichier.size() >= 17) {
    const DWORD dw = fichier[13] | (DWORD{fichier[14]} << 8) | (DWORD{fichier[15]} << 16) |
                     (DWORD{fichier[16]} << 24);
    if (dw > (1u << 20)) fichier[15] = fichier[16] = 0;
  }
  if (fichier.size() >= 21 && std::memcmp(fichier.data(), "MORVANEXLZCS", 12) == 0) {
    fichier[13] = fichier[14] = 0;  // old format: output at most 16 MiB
    fichier[15] &= 0x3F;
  }
  const std::string& entree = Chemin("in");
  const std::string& sortie = Chemin("out");
  FILE* pf = std::fopen(entree.c_str(), "wb");
  Verifie(pf != nullptr);
  std::fwrite(fichier.data(), 1, fichier.size(), pf);
  std::fclose(pf);
  const short r = sDecompacteEx(data[0] % 4 == 0 ? 0 : data[2] % 32, 0, entree.c_str(), sortie.c_str());
  Verifie(r >= 0 && r <= 7);
  const long long t1 = lfTailleCompacte(entree.c_str());
  const long long t2 = lfTailleDecompacte(entree.c_str());
  Verifie(t1 >= -2 && t2 >= -2);
  std::remove(sortie.c_str());
  std::remove(entree.c_str());
  return 0;
}
