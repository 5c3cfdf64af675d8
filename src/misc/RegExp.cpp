// CRegExp over the GNU regex interface (re_compile_pattern, re_match).
#include "misc/RegExp.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The GNU engine expands every interval into copies of its operand, and the
// optional copies of an interval {m,n} cost it memory in the square of n - m
// (each copy's epsilon closure holds all the following ones): "a{1,32767}"
// asks for gigabytes. A pattern is refused when its estimated cost passes
// COUT_MAX, about 10 MB of the engine's memory and a few hundredths of a
// second: 64 K plain characters, or "a{1,1000}", pass; 1 MiB of text, or
// "a{1,1100}", do not.
constexpr double COUT_MAX = 1 << 20;
constexpr double COUT_NOEUD = 12;  // a node of the expanded pattern

// Size of an operand once expanded (nodes) and the square term of its
// optional copies.
struct STCout {
  double dNoeuds = 0, dCarre = 0;
};

// Reads an interval "{m}", "{m,}", "{m,n}" or "{,n}" at p; false when the
// text is not one (the engine then takes the brace literally).
bool bLitIntervalle(const char* p, const char* pFin, double* pdMin, double* pdMax, const char** ppSuite) {
  if (p >= pFin || *p != '{') return false;
  ++p;
  auto nombre = [&](double* pd) {
    const char* q = p;
    *pd = 0;
    while (p < pFin && *p >= '0' && *p <= '9') *pd = *pd * 10 + (*p++ - '0');
    return p > q;
  };
  double dMin = 0, dMax = 0;
  bool bMin = nombre(&dMin);
  if (p < pFin && *p == ',') {
    ++p;
    if (!nombre(&dMax)) dMax = dMin + 1;  // open: m copies and a star
  } else {
    if (!bMin) return false;
    dMax = dMin;
  }
  if (p >= pFin || *p != '}') return false;
  *pdMin = dMin;
  *pdMax = dMax < dMin ? dMin : dMax;
  *ppSuite = p + 1;
  return true;
}

// End of a bracket expression opened at p ('['), or pFin when it is not
// closed.
const char* pFinCrochets(const char* p, const char* pFin) {
  ++p;
  if (p < pFin && *p == '^') ++p;
  if (p < pFin && *p == ']') ++p;
  while (p < pFin && *p != ']') {
    if (*p == '[' && p + 1 < pFin && (p[1] == ':' || p[1] == '.' || p[1] == '=')) {
      const char cFerme = p[1];
      p += 2;
      while (p + 1 < pFin && !(p[0] == cFerme && p[1] == ']')) ++p;
      p = p + 2 < pFin ? p + 2 : pFin;
      continue;
    }
    ++p;
  }
  return p < pFin ? p + 1 : pFin;
}

// Estimated cost of compiling the pattern: the text's length plus, for the
// expanded pattern, COUT_NOEUD per node and the square terms of the
// optional copies. Alternatives and sequences add up; an interval
// multiplies its operand.
double dCoutEstime(const char* p, int nLongueur) {
  const char* pFin = p + nLongueur;
  struct STNiveau {
    STCout clSomme, clDernier;
  };
  std::vector<STNiveau> pile(1);
  auto ajoute = [](STCout* pclSomme, const STCout& cl) {
    pclSomme->dNoeuds += cl.dNoeuds;
    pclSomme->dCarre += cl.dCarre;
  };
  auto nouveau = [&](const STCout& cl) {
    ajoute(&pile.back().clSomme, pile.back().clDernier);
    pile.back().clDernier = cl;
  };
  auto total = [](const STCout& cl) { return cl.dNoeuds * COUT_NOEUD + cl.dCarre; };
  while (p < pFin) {
    double dMin, dMax;
    const char* pSuite;
    if (*p == '\\') {
      nouveau({1, 0});
      p += 2;
    } else if (*p == '[') {
      nouveau({1, 0});
      p = pFinCrochets(p, pFin);
    } else if (*p == '(') {
      ajoute(&pile.back().clSomme, pile.back().clDernier);
      pile.back().clDernier = {};
      pile.emplace_back();
      ++p;
    } else if (*p == ')' && pile.size() > 1) {
      STCout clGroupe = pile.back().clSomme;
      ajoute(&clGroupe, pile.back().clDernier);
      pile.pop_back();
      pile.back().clDernier = clGroupe;
      ++p;
    } else if (bLitIntervalle(p, pFin, &dMin, &dMax, &pSuite)) {
      STCout& cl = pile.back().clDernier;
      const double dOptionnels = dMax - dMin;
      cl = {cl.dNoeuds * dMax, cl.dCarre * dMax + cl.dNoeuds * dOptionnels * dOptionnels};
      if (total(cl) > COUT_MAX) return total(cl);
      p = pSuite;
    } else {
      if (*p != '*' && *p != '+' && *p != '?' && *p != '|') nouveau({1, 0});
      ++p;
    }
  }
  STCout clTout;
  for (auto& niveau : pile) {
    ajoute(&clTout, niveau.clSomme);
    ajoute(&clTout, niveau.clDernier);
  }
  return total(clTout) + nLongueur;
}

}  // namespace

CRegExp::CRegExp() = default;

CRegExp::~CRegExp() { _Libere(); }

void CRegExp::_Libere() {
  if (m_bCompile) regfree(&m_stMotif);
  m_stMotif = re_pattern_buffer{};
  std::free(m_stRegistres.start);
  std::free(m_stRegistres.end);
  m_stRegistres = re_registers{};
  m_bCompile = false;
}

int CRegExp::nCompile(const char* pszMotif) {
  return nCompile(pszMotif, pszMotif != nullptr ? static_cast<int>(std::strlen(pszMotif)) : 0);
}

int CRegExp::nCompile(const char* pMotif, int nLongueur) {
  _Libere();
  if (nLongueur < 0 || (pMotif != nullptr && dCoutEstime(pMotif, nLongueur) > COUT_MAX)) return -1;
  re_set_syntax(SYNTAXE);
  m_stMotif.regs_allocated = REGS_UNALLOCATED;
  const char* pszErreur = re_compile_pattern(pMotif != nullptr ? pMotif : "", static_cast<size_t>(nLongueur), &m_stMotif);
  if (pszErreur != nullptr) {
    regfree(&m_stMotif);
    m_stMotif = re_pattern_buffer{};
    return -1;
  }
  m_bCompile = true;
  return 0;
}

int CRegExp::nMatch(const char* pszTexte, int nDebut, int nLongueur) {
  if (!m_bCompile) return -2;
  if (pszTexte == nullptr) pszTexte = "";
  if (nLongueur == 0) nLongueur = static_cast<int>(std::strlen(pszTexte));
  if (nDebut < 0 || nDebut > nLongueur) return -1;
  regoff_t r = re_match(&m_stMotif, pszTexte, nLongueur, nDebut, &m_stRegistres);
  return r < 0 ? -1 : static_cast<int>(r);
}

bool CRegExp::bMatch(const char* pTexte, int nLongueur) {
  if (pTexte == nullptr) pTexte = "";
  if (nLongueur < 0) nLongueur = static_cast<int>(std::strlen(pTexte));
  if (!m_bCompile) return false;
  regoff_t r = re_match(&m_stMotif, pTexte, nLongueur, 0, &m_stRegistres);
  return r == nLongueur;
}

int CRegExp::nDebutGroupe(int i) const {
  if (i < 0 || static_cast<unsigned>(i) >= m_stRegistres.num_regs || m_stRegistres.start == nullptr) return -1;
  return static_cast<int>(m_stRegistres.start[i]);
}

int CRegExp::nFinGroupe(int i) const {
  if (i < 0 || static_cast<unsigned>(i) >= m_stRegistres.num_regs || m_stRegistres.end == nullptr) return -1;
  return static_cast<int>(m_stRegistres.end[i]);
}
