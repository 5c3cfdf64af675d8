// CMoney arithmetic and text forms. Magnitudes are worked on as unsigned
// multi-word integers (32-bit words, least significant first), wide enough
// for a product of two 80-bit values; the sign is put back at the end.
#include "numbers/Monetaire.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const CMoney gstMillion = {{0x4240, 0x000F, 0, 0, 0}};
const CMoney gclMoneyNULL = {{0, 0, 0, 0, 0}};
const CMoney gstInvalide = {{0, 0, 0, 0, 0x8000}};

namespace {

constexpr std::uint32_t MILLION = 1000000;
constexpr int NB_MOTS = 6;  // 192 bits

struct Grand {
  std::uint32_t w[NB_MOTS]{};
};

bool bNegatif(const CMoney* p) { return (p->m_aw[4] & 0x8000) != 0; }

bool bEstMarqueInvalide(const CMoney& c) { return std::memcmp(&c, &gstInvalide, sizeof c) == 0; }

void Negue(CMoney* p) {
  std::uint32_t retenue = 1;
  for (WORD& w : p->m_aw) {
    const std::uint32_t v = static_cast<WORD>(~w) + retenue;
    w = static_cast<WORD>(v);
    retenue = v >> 16;
  }
}

// The raw 80 bits as an unsigned number.
Grand Brut(const CMoney* p) {
  Grand g;
  g.w[0] = p->m_aw[0] | static_cast<std::uint32_t>(p->m_aw[1]) << 16;
  g.w[1] = p->m_aw[2] | static_cast<std::uint32_t>(p->m_aw[3]) << 16;
  g.w[2] = p->m_aw[4];
  return g;
}

Grand Magnitude(const CMoney* p) {
  CMoney c = *p;
  if (bNegatif(&c)) Negue(&c);
  return Brut(&c);
}

// The signed value of a magnitude below 2^79; false when it is larger.
bool bDepuisMagnitude(CMoney* p, const Grand& g, bool bNeg) {
  for (int i = 3; i < NB_MOTS; ++i)
    if (g.w[i] != 0) return false;
  if (g.w[2] >= 0x8000) return false;
  p->m_aw[0] = static_cast<WORD>(g.w[0]);
  p->m_aw[1] = static_cast<WORD>(g.w[0] >> 16);
  p->m_aw[2] = static_cast<WORD>(g.w[1]);
  p->m_aw[3] = static_cast<WORD>(g.w[1] >> 16);
  p->m_aw[4] = static_cast<WORD>(g.w[2]);
  if (bNeg) Negue(p);
  return true;
}

bool bNul(const Grand& g) {
  for (std::uint32_t w : g.w)
    if (w != 0) return false;
  return true;
}

int nCompare(const Grand& a, const Grand& b) {
  for (int i = NB_MOTS - 1; i >= 0; --i)
    if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
  return 0;
}

void Ajoute(Grand* a, const Grand& b) {
  std::uint64_t retenue = 0;
  for (int i = 0; i < NB_MOTS; ++i) {
    retenue += static_cast<std::uint64_t>(a->w[i]) + b.w[i];
    a->w[i] = static_cast<std::uint32_t>(retenue);
    retenue >>= 32;
  }
}

void Retranche(Grand* a, const Grand& b) {  // a >= b
  std::int64_t emprunt = 0;
  for (int i = 0; i < NB_MOTS; ++i) {
    std::int64_t v = static_cast<std::int64_t>(a->w[i]) - b.w[i] - emprunt;
    emprunt = v < 0 ? 1 : 0;
    a->w[i] = static_cast<std::uint32_t>(v);
  }
}

void MulPetit(Grand* g, std::uint32_t m) {
  std::uint64_t retenue = 0;
  for (std::uint32_t& w : g->w) {
    retenue += static_cast<std::uint64_t>(w) * m;
    w = static_cast<std::uint32_t>(retenue);
    retenue >>= 32;
  }
}

std::uint32_t DivPetit(Grand* g, std::uint32_t d) {
  std::uint64_t reste = 0;
  for (int i = NB_MOTS - 1; i >= 0; --i) {
    const std::uint64_t v = reste << 32 | g->w[i];
    g->w[i] = static_cast<std::uint32_t>(v / d);
    reste = v % d;
  }
  return static_cast<std::uint32_t>(reste);
}

Grand Produit(const Grand& a, const Grand& b) {
  Grand r;
  for (int i = 0; i < NB_MOTS; ++i) {
    std::uint64_t retenue = 0;
    for (int j = 0; i + j < NB_MOTS; ++j) {
      retenue += static_cast<std::uint64_t>(a.w[i]) * b.w[j] + r.w[i + j];
      r.w[i + j] = static_cast<std::uint32_t>(retenue);
      retenue >>= 32;
    }
  }
  return r;
}

// a / b (b not zero), by shifts and subtractions.
Grand Quotient(const Grand& a, const Grand& b) {
  Grand q, r;
  for (int bit = NB_MOTS * 32 - 1; bit >= 0; --bit) {
    for (int i = NB_MOTS - 1; i > 0; --i) r.w[i] = r.w[i] << 1 | r.w[i - 1] >> 31;
    r.w[0] = r.w[0] << 1 | (a.w[bit / 32] >> (bit % 32) & 1);
    if (nCompare(r, b) >= 0) {
      Retranche(&r, b);
      q.w[bit / 32] |= 1u << (bit % 32);
    }
  }
  return q;
}

std::uint32_t Puissance10(int n) {
  std::uint32_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// The decimal reading shared by the 8-bit and 16-bit forms.
template <class C>
CMoney* pstLit(CMoney* pst, const C* p) {
  while (*p == ' ') ++p;
  bool bNeg = false;
  if (*p == '+' || *p == '-') bNeg = *p++ == '-';
  Grand g, limite;
  limite.w[2] = 0x8000;
  auto chiffre = [](C c) { return c >= '0' && c <= '9'; };
  for (; chiffre(*p); ++p) {
    MulPetit(&g, 10);
    Grand d;
    d.w[0] = static_cast<std::uint32_t>(*p - '0');
    Ajoute(&g, d);
    if (nCompare(g, limite) >= 0) return nullptr;
  }
  int nDecimales = 0;
  if (*p == '.') {
    for (++p; chiffre(*p); ++p) {
      if (nDecimales == 6) continue;  // further digits are dropped
      MulPetit(&g, 10);
      Grand d;
      d.w[0] = static_cast<std::uint32_t>(*p - '0');
      Ajoute(&g, d);
      ++nDecimales;
    }
  }
  MulPetit(&g, Puissance10(6 - nDecimales));
  return bDepuisMagnitude(pst, g, bNeg) ? pst : nullptr;
}

int nChiffreHexa(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

CMoney* pstLongVersMonetaire(CMoney* pst, LONG n) { return pstTresLongVersMonetaire(pst, n); }

CMoney* pstTresLongVersMonetaire(CMoney* pst, long long n) {
  const bool bNeg = n < 0;
  const unsigned long long m = bNeg ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
  if (pstTresLongSansSigneVersMonetaire(pst, m) == nullptr) return nullptr;
  if (bNeg) Negue(pst);
  return pst;
}

CMoney* pstTresLongSansSigneVersMonetaire(CMoney* pst, unsigned long long n) {
  Grand g;
  g.w[0] = static_cast<std::uint32_t>(n);
  g.w[1] = static_cast<std::uint32_t>(n >> 32);
  MulPetit(&g, MILLION);
  return bDepuisMagnitude(pst, g, false) ? pst : nullptr;
}

CMoney* pstDoubleVersMonetaire(CMoney* pst, double d) {
  if (!std::isfinite(d)) return nullptr;
  char sz[400];
  std::snprintf(sz, sizeof sz, "%.6f", d);
  return pstChaineVersMonetaire(pst, sz);
}

double dMonetaireVersDouble(const CMoney* pst) {
  char sz[32];
  return std::strtod(pszMonetaireVersChaineC(sz, pst), nullptr);
}

CMoney* pstChaineVersMonetaire(CMoney* pst, const char* psz) { return psz != nullptr ? pstLit(pst, psz) : nullptr; }

CMoney* pstChaineVersMonetaire(CMoney* pst, const WORD* pwsz) { return pwsz != nullptr ? pstLit(pst, pwsz) : nullptr; }

char* pszMonetaireVersChaineC(char* psz, const CMoney* pst) {
  Grand g = Magnitude(pst);
  std::string chiffres;
  do {
    chiffres.insert(chiffres.begin(), static_cast<char>('0' + DivPetit(&g, 10)));
  } while (!bNul(g));
  if (chiffres.size() < 7) chiffres.insert(0, 7 - chiffres.size(), '0');
  chiffres.insert(chiffres.size() - 6, 1, '.');
  while (chiffres.back() == '0') chiffres.pop_back();
  if (chiffres.back() == '.') chiffres.pop_back();
  if (bNegatif(pst) && chiffres != "0") chiffres.insert(0, 1, '-');
  std::memcpy(psz, chiffres.c_str(), chiffres.size() + 1);
  return psz;
}

char* pszMonetaireVersChaineHexa(char* psz, const CMoney* pst) {
  char sz[24];
  std::snprintf(sz, sizeof sz, "%04X%04X%04X%04X%04X", pst->m_aw[4], pst->m_aw[3], pst->m_aw[2], pst->m_aw[1],
                pst->m_aw[0]);
  const char* p = sz;
  while (*p == '0' && p[1] != '\0') ++p;
  std::memmove(psz, p, std::strlen(p) + 1);
  return psz;
}

char* pszMonetaireVersChaineOctale(char* psz, const CMoney* pst) {
  Grand g = Brut(pst);
  std::string s;
  do {
    s.insert(s.begin(), static_cast<char>('0' + DivPetit(&g, 8)));
  } while (!bNul(g));
  std::memcpy(psz, s.c_str(), s.size() + 1);
  return psz;
}

CMoney* pstChaineHexaVersMonetaire(CMoney* pst, const char* psz) {
  if (psz == nullptr) return nullptr;
  const std::size_t n = std::strlen(psz);
  if (n == 0 || n > 20) return nullptr;
  CMoney r = gclMoneyNULL;
  for (std::size_t i = 0; i < n; ++i) {
    const int v = nChiffreHexa(psz[n - 1 - i]);
    if (v < 0) return nullptr;
    r.m_aw[i / 4] = static_cast<WORD>(r.m_aw[i / 4] | v << (4 * (i % 4)));
  }
  *pst = r;
  return pst;
}

CMoney* pstAddMonetaire(CMoney* a, const CMoney* b) {
  CMoney r;
  std::uint32_t retenue = 0;
  for (int i = 0; i < 5; ++i) {
    const std::uint32_t v = static_cast<std::uint32_t>(a->m_aw[i]) + b->m_aw[i] + retenue;
    r.m_aw[i] = static_cast<WORD>(v);
    retenue = v >> 16;
  }
  if (bNegatif(a) == bNegatif(b) && bNegatif(&r) != bNegatif(a)) return nullptr;
  if (bEstMarqueInvalide(r)) return nullptr;  // -2^79 has no text form; it marks invalid amounts
  *a = r;
  return a;
}

CMoney* pstSubMonetaire(CMoney* a, const CMoney* b) {
  CMoney r;
  std::int32_t emprunt = 0;
  for (int i = 0; i < 5; ++i) {
    const std::int32_t v = static_cast<std::int32_t>(a->m_aw[i]) - b->m_aw[i] - emprunt;
    r.m_aw[i] = static_cast<WORD>(v);
    emprunt = v < 0 ? 1 : 0;
  }
  if (bNegatif(a) != bNegatif(b) && bNegatif(&r) != bNegatif(a)) return nullptr;
  if (bEstMarqueInvalide(r)) return nullptr;  // -2^79 has no text form; it marks invalid amounts
  *a = r;
  return a;
}

CMoney* pstMulMonetaire(CMoney* a, const CMoney* b) {
  Grand p = Produit(Magnitude(a), Magnitude(b));
  DivPetit(&p, MILLION);
  return bDepuisMagnitude(a, p, bNegatif(a) != bNegatif(b)) ? a : nullptr;
}

CMoney* pstDivMonetaire(CMoney* a, const CMoney* b) {
  const Grand d = Magnitude(b);
  if (bNul(d)) return nullptr;
  Grand n = Magnitude(a);
  MulPetit(&n, MILLION);
  return bDepuisMagnitude(a, Quotient(n, d), bNegatif(a) != bNegatif(b)) ? a : nullptr;
}

void NegMonetaire(CMoney* pst) { Negue(pst); }

CMoney* pstAbsMonetaire(CMoney* pst) {
  if (bNegatif(pst)) {
    if (std::memcmp(pst, &gstInvalide, sizeof *pst) == 0) return nullptr;
    Negue(pst);
  }
  return pst;
}

CMoney* pstEntMonetaire(CMoney* pst) {
  Grand g = Magnitude(pst);
  DivPetit(&g, MILLION);
  MulPetit(&g, MILLION);
  return bDepuisMagnitude(pst, g, bNegatif(pst)) ? pst : nullptr;
}

CMoney* pstDecMonetaire(CMoney* pst) {
  Grand g = Magnitude(pst), r;
  r.w[0] = DivPetit(&g, MILLION);
  return bDepuisMagnitude(pst, r, bNegatif(pst)) ? pst : nullptr;
}

CMoney* pstArrMonetaire(CMoney* pst, short d) {
  if (d < 0 || d > 5) return pst;
  Grand g = Magnitude(pst), demi;
  demi.w[0] = 5 * Puissance10(5 - d);
  Ajoute(&g, demi);
  const std::uint32_t unite = Puissance10(6 - d);
  DivPetit(&g, unite);
  MulPetit(&g, unite);
  return bDepuisMagnitude(pst, g, bNegatif(pst)) ? pst : nullptr;
}

bool bIncrementeMonetaire(CMoney* pst) { return pstAddMonetaire(pst, &gstMillion) != nullptr; }

bool bDecrementeMonetaire(CMoney* pst) { return pstSubMonetaire(pst, &gstMillion) != nullptr; }

bool bMul10Monetaire(CMoney* pst) {
  Grand g = Magnitude(pst);
  MulPetit(&g, 10);
  return bDepuisMagnitude(pst, g, bNegatif(pst));
}

bool bMonetaireVersTresLong(const CMoney* pst, long long* pn) {
  // The integer part of any amount is below 2^79 / 10^6 < 2^60: it fits.
  Grand g = Magnitude(pst);
  DivPetit(&g, MILLION);
  const long long n = static_cast<long long>(static_cast<std::uint64_t>(g.w[1]) << 32 | g.w[0]);
  *pn = bNegatif(pst) ? -n : n;
  return true;
}

long long lMonetaireVersTresLong(const CMoney* pst) {
  long long n = 0;
  bMonetaireVersTresLong(pst, &n);
  return n;
}

bool bMonetaireVersLong(const CMoney* pst, LONG* pn) {
  const long long n = lMonetaireVersTresLong(pst);
  *pn = static_cast<LONG>(n);
  return n >= INT32_MIN && n <= INT32_MAX;
}

LONG lMonetaireVersLong(const CMoney* pst) { return static_cast<LONG>(lMonetaireVersTresLong(pst)); }

bool bMonetaireVersTresLongSansSigne(const CMoney* pst, unsigned long long* pn) {
  const long long n = lMonetaireVersTresLong(pst);
  *pn = static_cast<unsigned long long>(n);
  return n >= 0;
}

int nCmpMonetaire(const CMoney* a, const CMoney* b) {
  if (a == nullptr) return 1;
  if (b == nullptr) return -1;
  if (bNegatif(a) != bNegatif(b)) return bNegatif(a) ? -1 : 1;
  for (int i = 4; i >= 0; --i)
    if (a->m_aw[i] != b->m_aw[i]) return a->m_aw[i] < b->m_aw[i] ? -1 : 1;
  return 0;
}

int nCmpMonetaireEtLong(const CMoney* a, LONG n) {
  CMoney b;
  pstLongVersMonetaire(&b, n);
  return nCmpMonetaire(a, &b);
}

void MonetaireVersCleIndex(void* pCle, const CMoney* pst) {
  auto* p = static_cast<unsigned char*>(pCle);
  for (int i = 0; i < 5; ++i) {
    p[2 * i] = static_cast<unsigned char>(pst->m_aw[4 - i] >> 8);
    p[2 * i + 1] = static_cast<unsigned char>(pst->m_aw[4 - i]);
  }
  p[0] ^= 0x80;
}

namespace {

CMoney Taux(unsigned dwTaux) {
  CMoney cl = gclMoneyNULL;
  cl.m_aw[0] = static_cast<WORD>(dwTaux);
  cl.m_aw[1] = static_cast<WORD>(dwTaux >> 16);
  return cl;
}

}  // namespace

bool bVersEuro_MONETAIRE(const CMoney& clMontant, CMoney* pclResultat, unsigned dwTaux) {
  if (dwTaux == MILLION) {
    *pclResultat = clMontant;
    return true;
  }
  CMoney r = clMontant;
  const CMoney t = Taux(dwTaux);
  if (pstDivMonetaire(&r, &t) == nullptr) return false;
  *pclResultat = r;
  return true;
}

bool bVersDevise_MONETAIRE(const CMoney& clMontant, CMoney* pclResultat, unsigned dwTaux) {
  CMoney r = clMontant;
  const CMoney t = Taux(dwTaux);
  if (pstMulMonetaire(&r, &t) == nullptr) return false;
  *pclResultat = r;
  return true;
}

bool bChangeDevise_MONETAIRE(const CMoney& clMontant, CMoney* pclResultat, unsigned dwTauxDe, unsigned dwTauxVers) {
  CMoney euro;
  return bVersEuro_MONETAIRE(clMontant, &euro, dwTauxDe) && bVersDevise_MONETAIRE(euro, pclResultat, dwTauxVers);
}

bool CMonetaireConvertible::bEstInvalide() const { return std::memcmp(m_aw, gstInvalide.m_aw, sizeof m_aw) == 0; }

bool CMonetaireConvertible::bVersChaine(char* psz) const {
  if (bEstInvalide()) return false;
  pszMonetaireVersChaineC(psz, this);
  return true;
}

bool CMonetaireConvertible::bDepuisChaine(const char* psz) {
  if (pstChaineVersMonetaire(this, psz) != nullptr) return true;
  static_cast<CMoney&>(*this) = gstInvalide;
  return false;
}

CMonetaireConvertible CMonetaireConvertible::Converti(unsigned dwTauxDe, unsigned dwTauxVers) const {
  CMonetaireConvertible r;
  if (!bEstInvalide() && !bChangeDevise_MONETAIRE(*this, &r, dwTauxDe, dwTauxVers))
    static_cast<CMoney&>(r) = gstInvalide;
  return r;
}

void CMonetaireConvertible::Soustrait(const CMonetaireConvertible* pcl) {
  if (bEstInvalide() || pcl == nullptr || pcl->bEstInvalide() || pstSubMonetaire(this, pcl) == nullptr)
    static_cast<CMoney&>(*this) = gstInvalide;
}
