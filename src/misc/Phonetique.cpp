// The phonetic key: a French word rewritten by fixed rules, in order, so
// that words that sound alike get the same key. The rules work on
// characters (code points), so a word in Windows-1252 and the same word in
// UTF-8 get the same key, each in its own code page.
#include "misc/Phonetique.h"

#include <cstring>

#include "core/CodePage.h"

namespace {

using Texte = std::u32string;

bool bVoyelle(char32_t c) { return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U' || c == 'Y'; }

bool bFinit(const Texte& s, char32_t c) { return !s.empty() && s.back() == c; }

// Letter i, or 0 outside the word.
char32_t at(const Texte& s, std::size_t i) { return i < s.size() ? s[i] : U'\0'; }

void RemplaceTout(Texte& s, const char32_t* pszAncien, const char32_t* pszNouveau) {
  std::size_t na = std::char_traits<char32_t>::length(pszAncien), nn = std::char_traits<char32_t>::length(pszNouveau);
  for (std::size_t p = s.find(pszAncien); p != Texte::npos; p = s.find(pszAncien, p + nn)) s.replace(p, na, pszNouveau);
}

// A vowel `premieres` followed by N, then by neither a vowel nor N (or by
// the end), becomes `resultat` alone.
void Nasale(Texte& s, const char* premieres, char32_t resultat) {
  for (std::size_t i = 0; i + 1 < s.size(); ++i) {
    if (s[i] < 0x80 && s[i] != 0 && std::strchr(premieres, static_cast<char>(s[i])) != nullptr && s[i + 1] == 'N') {
      char32_t suivante = at(s, i + 2);
      if (suivante == '\0' || (!bVoyelle(suivante) && suivante != 'N')) s.replace(i, 2, 1, resultat);
    }
  }
}

}  // namespace

std::string PHON_sCle(const char* pszMot) {
  if (pszMot == nullptr) return {};
  Texte s = CP_sDecode(pszMot, std::strlen(pszMot));
  for (auto& c : s) {
    // Upper case over the letters of Windows-1252 (a to z, à to þ).
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c -= 32;
  }
  std::size_t debut = s.find_first_not_of(U' ');
  if (debut == Texte::npos) return {};
  s = s.substr(debut, s.find_last_not_of(U' ') - debut + 1);

  // 1 to 5: final letters.
  if (bFinit(s, 'S')) {
    s.pop_back();
  } else if (bFinit(s, 'X') && s.size() >= 2 && s[s.size() - 2] == 'U') {
    s.pop_back();
  }
  if (s.size() >= 2) {
    char32_t avant = s[s.size() - 2];
    if (bFinit(s, 'T') && (bVoyelle(avant) || avant == 'N' || avant == 'M')) {
      s.pop_back();
    } else if (bFinit(s, 'P') && (avant == 'A' || avant == 'O')) {
      s.pop_back();
    }
  }
  if (bFinit(s, 'Z') && s.size() >= 2 && s[s.size() - 2] == 'E') s.pop_back();
  if (bFinit(s, 'D') && s.size() >= 2) {
    char32_t avant = s[s.size() - 2];
    char32_t troisieme = s.size() >= 3 ? s[s.size() - 3] : U'\0';
    if (avant == 'E' || avant == 'I' || avant == 'N' || avant == 'R' || avant == 'O' || troisieme == 'A' || troisieme == 'U')
      s.pop_back();
  }
  if (bFinit(s, 'R') && s.size() >= 2 && s[s.size() - 2] == 'E') s.pop_back();
  // 6 and 7.
  RemplaceTout(s, U"QU", U"K");
  if (bFinit(s, 'E')) s.pop_back();
  // 8: M between a vowel and B or P.
  for (std::size_t i = 1; i + 1 < s.size(); ++i) {
    if (s[i] == 'M' && bVoyelle(s[i - 1]) && (s[i + 1] == 'B' || s[i + 1] == 'P')) s[i] = 'N';
  }
  // 9 to 12.
  for (auto& c : s) {
    if (c == 'Y') c = 'I';
    if (c == '-') c = ' ';
  }
  RemplaceTout(s, U"OI", U"OA");
  RemplaceTout(s, U"EU", U"E");
  RemplaceTout(s, U"EAU", U"O");
  RemplaceTout(s, U"AU", U"O");
  // 13: S between two vowels.
  for (std::size_t i = 1; i + 1 < s.size(); ++i) {
    if (s[i] == 'S' && bVoyelle(s[i - 1]) && bVoyelle(s[i + 1])) s[i] = 'Z';
  }
  // 14: C.
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == 'C') s[i] = (at(s, i + 1) == 'E' || at(s, i + 1) == 'I') ? 'S' : 'K';
  }
  // 15 to 17: AN and EN become A, ON becomes O; AI becomes E.
  Nasale(s, "AE", 'A');
  Nasale(s, "O", 'O');
  RemplaceTout(s, U"AI", U"E");
  // 18: H deleted, a P just before it becoming F.
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == 'H') {
      if (i > 0 && s[i - 1] == 'P') s[i - 1] = 'F';
      s.erase(i, 1);
    } else {
      ++i;
    }
  }
  // 19: runs collapse to one letter.
  Texte cle;
  for (char32_t c : s) {
    if (cle.empty() || cle.back() != c) cle += c;
  }
  return CP_sEncode(cle);
}
