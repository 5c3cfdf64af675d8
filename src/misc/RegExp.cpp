// CRegExp over the GNU regex interface (re_compile_pattern, re_match).
#include "misc/RegExp.h"

#include <cstdlib>
#include <cstring>

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
