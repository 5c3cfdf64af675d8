// CRegExp: a pattern compiled by the C library's GNU regex engine with the
// library's syntax (extended style: unescaped ( ) { } |, [:class:] names,
// intervals, '.' matching newline, a lone ')' taken literally), matched
// anchored at a start position, with the groups in its registers.
#pragma once

#include <regex.h>

class CRegExp {
public:
  // RE_CHAR_CLASSES | RE_DOT_NEWLINE | RE_INTERVALS | RE_NO_BK_BRACES |
  // RE_NO_BK_PARENS | RE_NO_BK_VBAR | RE_UNMATCHED_RIGHT_PAREN_ORD
  static constexpr unsigned long SYNTAXE = 0x2B244;

  CRegExp();
  ~CRegExp();
  CRegExp(const CRegExp&) = delete;
  CRegExp& operator=(const CRegExp&) = delete;

  // 0 on success, -1 when the pattern does not compile, or would cost the
  // engine more than about 10 MB (very long texts, wide optional intervals).
  int nCompile(const char* pszMotif);
  int nCompile(const char* pMotif, int nLongueur);
  // Anchored match at nDebut over nLongueur bytes (0: the whole
  // zero-terminated text): bytes matched, -1 no match, -2 nothing compiled.
  int nMatch(const char* pszTexte, int nDebut, int nLongueur);
  // True when the anchored match covers the whole text (nLongueur bytes;
  // -1: zero-terminated).
  bool bMatch(const char* pTexte, int nLongueur = -1);
  // Group i of the last match (0: the whole match): start and end, -1 when
  // it took no part.
  int nDebutGroupe(int i) const;
  int nFinGroupe(int i) const;
  // Number of groups of the compiled pattern.
  int nGetNbGroupes() const { return m_bCompile ? static_cast<int>(m_stMotif.re_nsub) : 0; }

private:
  void _Libere();
  re_pattern_buffer m_stMotif{};
  re_registers m_stRegistres{};
  bool m_bCompile = false;
};
