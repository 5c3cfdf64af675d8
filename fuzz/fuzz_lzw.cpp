// Fuzz target of the LZW block decoders (type 4 and the old type 2) and of
// the compressed-buffer frame that Compresse writes and Décompresse reads:
// any bytes, output rooms from 0 up, the type-4 decoder against a reference
// that walks prefix chains, fed whole or in pieces, and round trips of the
// bytes through the coders and through the frame with each method.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compression/Compresseur.h"
#include "compression/ZLWCompresseur.h"
#include "core/VXDSTR.h"

namespace {

void Verifie(bool b) {
  if (!b) std::abort();
}

// Type-4 payload decoded the plain way: each code's (prefix, byte), its
// string written backwards from the chain.
std::vector<BYTE> Reference(const BYTE* p, std::size_t n, std::size_t total) {
  std::vector<BYTE> out;
  std::vector<unsigned> prefixe(65536), longueur(65536);
  std::vector<BYTE> car(65536), premier(65536);
  for (unsigned b = 0; b < 256; ++b) {
    car[b + 1] = premier[b + 1] = static_cast<BYTE>(b);
    longueur[b + 1] = 1;
  }
  unsigned suivant = 258, limite = 512, largeur = 9, bits = 0;
  unsigned long long accu = 0;
  long prec = -1;
  std::size_t i = 0;
  auto chaine = [&](unsigned c) {
    std::vector<BYTE> s(longueur[c]);
    for (std::size_t k = s.size(); k-- > 0; c = prefixe[c]) s[k] = car[c];
    return s;
  };
  auto ecrit = [&](const std::vector<BYTE>& s) {
    for (BYTE b : s)
      if (out.size() < total) out.push_back(b);
  };
  auto ajoute = [&](unsigned pre, BYTE b) {
    if (suivant >= 65536) return;
    prefixe[suivant] = pre;
    car[suivant] = b;
    premier[suivant] = premier[pre];
    longueur[suivant] = longueur[pre] + 1;
    if (++suivant == limite && largeur < 16) {
      limite *= 2;
      ++largeur;
    }
  };
  while (out.size() < total) {
    while (bits < largeur && i < n) {
      accu |= static_cast<unsigned long long>(p[i++]) << bits;
      bits += 8;
    }
    if (bits < largeur) break;
    const unsigned c = static_cast<unsigned>(accu & ((1u << largeur) - 1));
    accu >>= largeur;
    bits -= largeur;
    if (c == 257) break;
    if (c == 0) {
      suivant = 258;
      limite = 512;
      largeur = 9;
      prec = -1;
      continue;
    }
    if (prec < 0) {
      if (c > 256) break;
      ecrit(chaine(c));
      prec = c;
      continue;
    }
    const unsigned pr = static_cast<unsigned>(prec);
    if (c >= suivant) {
      std::vector<BYTE> s = chaine(pr);
      s.push_back(premier[pr]);
      ecrit(s);
      const bool place = suivant < 65536;
      ajoute(pr, premier[pr]);
      prec = place ? suivant - 1 : pr;
    } else {
      ecrit(chaine(c));
      ajoute(pr, premier[c]);
      prec = c;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<BYTE> in(data, data + size);  // exact size, on the heap
  const DWORD n = static_cast<DWORD>(size);
  for (DWORD room : {0u, 1u, 7u, n, 4 * n + 16}) {
    std::vector<BYTE> out(room);
    Verifie(ZLW_dwDecode(in.data(), n, out.data(), room) <= room);
    Verifie(VIEUXBLOC_dwDecode(in.data(), n, out.data(), room) <= room);
    // The same bytes as a block of each type through the dispatcher.
    for (BYTE type : {BYTE{0}, BYTE{2}, BYTE{4}}) {
      std::vector<BYTE> bloc(in);
      if (!bloc.empty()) bloc[0] = type;
      CCompresseur c(COMPRESSEUR_ZLW);
      c.ChangeSource(bloc.data(), n);
      c.ChangeDestination(out.data(), room);
      Verifie(c.dwDecompression(COMPRESSEUR_ZLW) <= room);
    }
  }
  // Against the reference, whole and in pieces whose sizes the bytes choose.
  if (n >= TAILLE_ENTETE_BLOC) {
    std::vector<BYTE> bloc(in);
    bloc[0] = COMPRESSEUR_ZLW;
    const DWORD total = dwLitLE32(bloc.data() + 5) % (4 * n + 64);
    EcritLE32(bloc.data() + 1, n - TAILLE_ENTETE_BLOC);
    EcritLE32(bloc.data() + 5, total);
    const std::vector<BYTE> ref = Reference(bloc.data() + TAILLE_ENTETE_BLOC, n - TAILLE_ENTETE_BLOC, total);
    std::vector<BYTE> out(total);
    const DWORD nOut = ZLW_dwDecode(bloc.data(), n, out.data(), total);
    Verifie(nOut == ref.size() && std::equal(ref.begin(), ref.end(), out.begin()));
    std::vector<BYTE> out2(total);
    CDecodeurZLW d;
    Verifie(d.bDebut(out2.data(), total));
    for (DWORD pos = TAILLE_ENTETE_BLOC; pos < n;) {
      const DWORD k = std::min<DWORD>(n - pos, 1 + bloc[pos] % 23);
      d.bDecode(bloc.data() + pos, k, pos + k == n);
      pos += k;
    }
    Verifie(d.dwProduits() == ref.size() && std::equal(ref.begin(), ref.end(), out2.begin()));
  }
  // Round trips of the bytes through both coders.
  CZLWCompresseur z;
  std::vector<BYTE> bloc(n + 7);
  const DWORD dw = z.dwCompression(in.data(), n, bloc.data(), n + 7);
  Verifie(dw > 0 && dw <= n + 7);
  std::vector<BYTE> back(n);
  Verifie(z.dwDecompression(bloc.data(), dw, back.data(), n) == n || n == 0);
  Verifie(n == 0 || std::memcmp(back.data(), in.data(), n) == 0);
  const DWORD dv = VIEUXBLOC_dwCode(in.data(), n, bloc.data(), n + 7);
  if (dv > 0) {
    Verifie(VIEUXBLOC_dwDecode(bloc.data(), dv, back.data(), n) == n);
    Verifie(std::memcmp(back.data(), in.data(), n) == 0);
  }
  // The bytes read as framed data and as an unframed short-string coding:
  // a damaged result is left empty.
  for (int nMethode : {-1, 2}) {
    CVXBIN cl;
    const int r = CADRE_nDecompresse(&cl, in.data(), n, nMethode);
    Verifie(r == CADRE_OK || r == CADRE_METHODE || r == CADRE_ENDOMMAGE || r == CADRE_MEMOIRE);
    if (r == CADRE_ENDOMMAGE) Verifie(cl.nGetSize() == 0);
  }
  // The bytes (and, as a text, up to their first 0) packed by each method
  // and back. Only a text the short-string coding cannot carry fails.
  const DWORD nTexte = n == 0 ? 0 : static_cast<DWORD>(strnlen(reinterpret_cast<const char*>(in.data()), n));
  for (int nMethode : {0, 1, 2}) {
    for (bool bTexte : {false, true}) {
      const DWORD nSource = bTexte ? nTexte : n;
      CVXBIN clPaquet, clRetour;
      const int r = CADRE_nCompresse(&clPaquet, in.data(), nSource, bTexte, nMethode);
      if (bTexte && nMethode == 2 && r == CADRE_MEMOIRE) continue;
      Verifie(r == CADRE_OK);
      const bool bSansCadre = bTexte && nMethode == 2;
      Verifie(CADRE_nDecompresse(&clRetour, clPaquet.pbGet(), clPaquet.nGetSize(), bSansCadre ? 2 : -1) == CADRE_OK);
      Verifie(clRetour.nGetSize() == nSource);
      Verifie(nSource == 0 || std::memcmp(clRetour.pbGet(), in.data(), nSource) == 0);
    }
  }
  return 0;
}
