// Fuzz target of the text decoders: both base-64 forms, the UU-style form
// and URL decoding, on any text; each writes exactly the size it announces
// into a buffer of that size, every base-64 path gives the bytes of the
// byte-at-a-time one, and pieces (sizes chosen by the bytes) give the bytes
// of one call. Then the bytes round-trip through each encoder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "crypto/Encodeurs.h"

namespace {

void Verifie(bool b) {
  if (!b) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string texte(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy
  for (int enc = 1; enc <= 3; ++enc) {
    std::unique_ptr<CEncodeBase> e(pclGetEncodeur(enc));
    const std::size_t n = e->nDecode(texte.c_str(), nullptr);
    std::vector<BYTE> out(n);
    Verifie(e->nDecode(texte.c_str(), out.data()) == n);
    // Exact length given, no terminator after it.
    std::vector<char> exact(data, data + size);
    std::vector<BYTE> out2(size / 4 * 3 + 3);
    Verifie(e->nDecode(exact.data(), size, out2.data()) <= out2.size());
    BYTE* p = nullptr;
    const long nAlloue = e->nDecodeEtAlloue(texte.c_str(), p);
    Verifie(nAlloue == static_cast<long>(n));
    std::free(p);
    if (enc != 3) {
      const eCHEMINBASE64 eAvant = BASE64_eChemin();
      for (auto chemin : {BASE64_SCALAIRE, BASE64_SSSE3, BASE64_AVX2}) {
        if (!BASE64_bImposeChemin(chemin)) continue;
        std::vector<BYTE> autre(n);
        Verifie(e->nDecode(exact.data(), size, autre.data()) == n && autre == out);
      }
      BASE64_bImposeChemin(eAvant);
    }
    // In pieces (a piece of 0 characters now and then).
    {
      STEtatDecodage etat;
      std::vector<BYTE> morceaux;
      for (std::size_t pos = 0; pos < size;) {
        std::size_t k = std::min<std::size_t>(size - pos, data[pos] % 11);
        std::vector<BYTE> b(CEncodeBase::nTailleDecodeMorceau(etat, k));
        b.resize(e->nDecodeMorceau(etat, exact.data() + pos, k, b.data()));
        morceaux.insert(morceaux.end(), b.begin(), b.end());
        pos += k;
        if (k == 0) {
          b.assign(CEncodeBase::nTailleDecodeMorceau(etat, 1), 0);
          b.resize(e->nDecodeMorceau(etat, exact.data() + pos, 1, b.data()));
          morceaux.insert(morceaux.end(), b.begin(), b.end());
          ++pos;
        }
      }
      BYTE fin[2];
      const std::size_t nFin = e->nDecodeFin(etat, fin);
      morceaux.insert(morceaux.end(), fin, fin + nFin);
      Verifie(morceaux == out);
    }
    // Round trip.
    char* t = nullptr;
    const long nt = e->nEncodeEtAlloue(data, size, static_cast<unsigned>(size % 5), t);
    Verifie(nt >= 0 && std::strlen(t) == static_cast<std::size_t>(nt));
    std::vector<BYTE> back(size + 3);
    Verifie(e->nDecode(t, back.data()) == size && (size == 0 || std::memcmp(back.data(), data, size) == 0));
    std::free(t);
  }
  std::vector<char> url(nCalculeLongueurDecodee(texte.c_str()));
  Verifie(DecodeURL(texte.c_str(), url.data()) == url.size());
  return 0;
}
