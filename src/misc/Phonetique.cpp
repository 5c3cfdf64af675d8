// The phonetic key: a French word rewritten by fixed rules, in order, so
// that words that sound alike get the same key.
#include "misc/Phonetique.h"

#include <cstring>

#include "core/STR.h"

namespace {

bool bVoyelle(char c) { return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U' || c == 'Y'; }

bool bFinit(const std::string& s, char c) { return !s.empty() && s.back() == c; }

// Letter i, or 0 outside the word.
char at(const std::string& s, std::size_t i) { return i < s.size() ? s[i] : '\0'; }

void RemplaceTout(std::string& s, const char* pszAncien, const char* pszNouveau) {
  std::size_t na = std::strlen(pszAncien), nn = std::strlen(pszNouveau);
  for (std::size_t p = s.find(pszAncien); p != std::string::npos; p = s.find(pszAncien, p + nn)) s.replace(p, na, pszNouveau);
}

// A vowel `premieres` followed by N, then by neither a vowel nor N (or by
// the end), becomes `resultat` alone.
void Nasale(std::string& s, const char* premieres, char resultat) {
  for (std::size_t i = 0; i + 1 < s.size(); ++i) {
    if (std::strchr(premieres, s[i]) != nullptr && s[i + 1] == 'N') {
      char suivante = at(s, i + 2);
      if (suivante == '\0' || (!bVoyelle(suivante) && suivante != 'N')) s.replace(i, 2, 1, resultat);
    }
  }
}

}  // namespace

std::string PHON_sCle(const char* pszMot) {
  if (pszMot == nullptr) return {};
  std::string s;
  for (const char* p = pszMot; *p; ++p) {
    auto c = static_cast<unsigned char>(*p);
    // Upper case over the Windows-1252 letters.
    if (c >= 'a' && c <= 'z') {
      c = static_cast<unsigned char>(c - 32);
    } else if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
      c = static_cast<unsigned char>(c - 32);
    }
    s += static_cast<char>(c);
  }
  std::size_t debut = s.find_first_not_of(' ');
  if (debut == std::string::npos) return {};
  s = s.substr(debut, s.find_last_not_of(' ') - debut + 1);

  // 1 to 5: final letters.
  if (bFinit(s, 'S')) {
    s.pop_back();
  } else if (bFinit(s, 'X') && s.size() >= 2 && s[s.size() - 2] == 'U') {
    s.pop_back();
  }
  if (s.size() >= 2) {
    char avant = s[s.size() - 2];
    if (bFinit(s, 'T') && (bVoyelle(avant) || avant == 'N' || avant == 'M')) {
      s.pop_back();
    } else if (bFinit(s, 'P') && (avant == 'A' || avant == 'O')) {
      s.pop_back();
    }
  }
  if (bFinit(s, 'Z') && s.size() >= 2 && s[s.size() - 2] == 'E') s.pop_back();
  if (bFinit(s, 'D') && s.size() >= 2) {
    char avant = s[s.size() - 2];
    char troisieme = s.size() >= 3 ? s[s.size() - 3] : '\0';
    if (avant == 'E' || avant == 'I' || avant == 'N' || avant == 'R' || avant == 'O' || troisieme == 'A' || troisieme == 'U')
      s.pop_back();
  }
  if (bFinit(s, 'R') && s.size() >= 2 && s[s.size() - 2] == 'E') s.pop_back();
  // 6 and 7.
  RemplaceTout(s, "QU", "K");
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
  RemplaceTout(s, "OI", "OA");
  RemplaceTout(s, "EU", "E");
  RemplaceTout(s, "EAU", "O");
  RemplaceTout(s, "AU", "O");
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
  RemplaceTout(s, "AI", "E");
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
  std::string cle;
  for (char c : s) {
    if (cle.empty() || cle.back() != c) cle += c;
  }
  return cle;
}
