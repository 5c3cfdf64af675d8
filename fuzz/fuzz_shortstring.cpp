// Fuzz target of the short-string coder: any bytes go to the decoder (both
// forms, output sizes from 0 up), and any text goes through the coder and
// back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/DataCompressor.h"

namespace {

void Verifie(bool b) {
  if (!b) std::abort();
}

// Decodes data as a coding: exactly size bytes, and as a NUL-terminated copy.
void Decode(const uint8_t* data, size_t size) {
  const std::vector<unsigned char> in(data, data + size); // exact size, on the heap
  std::vector<unsigned char> termine(in);
  termine.push_back(0);
  const int nLongueur = static_cast<int>(size);
  const int anCapacite[] = {0, 1, 2, 3, 7, nLongueur / 2, nLongueur * 3 / 2 + 2};
  CDataCompressor cl;
  for (int nCapacite : anCapacite) {
    unsigned char* out = new unsigned char[nCapacite];
    int n = nCapacite;
    const int nResultat = cl.nDeCompress(out, &n, in.data(), nLongueur);
    Verifie(nResultat == 0 || nResultat == 2);
    Verifie(n >= 0 && (nCapacite == 0 ? n == 0 : n < nCapacite));
    if (nCapacite > 0) Verifie(out[n] == 0);
    if (nCapacite == nLongueur * 3 / 2 + 2) Verifie(nResultat == 0);

    // The NUL-terminated form sees the same text: up to the first 0 byte.
    unsigned char* out2 = new unsigned char[nCapacite];
    int n2 = nCapacite;
    Verifie(cl.nDeCompress(out2, &n2, termine.data()) == nResultat);
    Verifie(n2 == n && (nCapacite == 0 || std::memcmp(out, out2, n + 1) == 0));
    delete[] out2;
    delete[] out;
  }
}

bool bEgal(const unsigned char* a, const unsigned char* b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }

// Codes text (no 0 byte), checks the size of the coding and decodes it back.
void AllerRetour(const std::vector<unsigned char>& texte, int nPetiteCapacite) {
  const int nLongueur = static_cast<int>(texte.size());
  const unsigned char* pTexte = texte.data();
  CDataCompressor cl;
  std::vector<unsigned char> code(4 * texte.size() + 16);
  Verifie(cl.nCompress(code.data(), static_cast<int>(code.size()), pTexte, nLongueur) == 0);
  const int nCode = static_cast<int>(std::strlen(reinterpret_cast<char*>(code.data())));
  // The measured size is the coding's: the capacity the library allocates.
  Verifie(cl.nTailleCodage(pTexte, nLongueur) == nCode + 1);

  // Exactly strlen + 1 bytes: no 0 inside the coding. Smaller outputs are
  // refused or give the same bytes, never written past.
  for (int nCapacite : {nCode + 1, nCode, nPetiteCapacite}) {
    unsigned char* out = new unsigned char[nCapacite];
    const int nResultat = cl.nCompress(out, nCapacite, pTexte, nLongueur);
    if (nCapacite > nCode) {
      Verifie(nResultat == 0 && std::memcmp(out, code.data(), nCode + 1) == 0);
    } else {
      Verifie(nResultat == 2 && (nCapacite == 0 || out[0] == 0));
    }
    delete[] out;
  }

  std::vector<unsigned char> texteDecode(texte.size() + 1);
  int n = static_cast<int>(texteDecode.size());
  Verifie(cl.nDeCompress(texteDecode.data(), &n, code.data()) == 0);
  Verifie(n == nLongueur && bEgal(texteDecode.data(), pTexte, texte.size()));

  const std::vector<unsigned char> exact(code.begin(), code.begin() + nCode);
  n = static_cast<int>(texteDecode.size());
  Verifie(cl.nDeCompress(texteDecode.data(), &n, exact.data(), nCode) == 0);
  Verifie(n == nLongueur && bEgal(texteDecode.data(), pTexte, texte.size()));

  char* psz = CDataCompressor::s_pszDeCompress(reinterpret_cast<char*>(code.data()));
  Verifie(psz != nullptr && std::strlen(psz) == texte.size() &&
          bEgal(reinterpret_cast<unsigned char*>(psz), pTexte, texte.size()));
  std::free(psz);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Decode(data, size);

  // A text holding a 0 is refused as a whole.
  if (size > 0 && std::memchr(data, 0, size) != nullptr) {
    CDataCompressor cl;
    unsigned char out[8];
    Verifie(cl.nCompress(out, sizeof out, data, static_cast<int>(size)) == 1 && out[0] == 0);
  }

  const int nPetiteCapacite = size > 0 ? data[0] % 16 : 0;
  std::vector<unsigned char> texte(data, data + size);
  for (auto& c : texte) c = c != 0 ? c : 0xFF;
  AllerRetour(texte, nPetiteCapacite);

  // The same bytes read as choices among bytes where shifts, latches and raw
  // runs meet: the ends of the tables, bytes in several tables or in none.
  static const unsigned char abyDelicats[] = {'#', '$', 'Y', 'Z', 0xE9, 0xEA, 0xFE, 0xFF, 'u', 'x',
                                              0x01, 0x80, 'a', 'A', ' ', '0', ',', '\n'};
  for (auto& c : texte) c = abyDelicats[c % sizeof abyDelicats];
  AllerRetour(texte, nPetiteCapacite);
  return 0;
}
