// Number formatting with the language's formats, thousands separators and
// the disk-size display.
#include "numbers/FormatNumerique.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Results round at exact halves as plain IEEE doubles do; the x87 unit's
// extended registers would make them depend on where the compiler spills.
#if !defined(__FLT_EVAL_METHOD__) || __FLT_EVAL_METHOD__ != 0
#error "build with SSE2 double arithmetic (-msse2 -mfpmath=sse)"
#endif

namespace {

bool bTypeFormat(char c) { return std::strchr("eEfFxXdDoO", c) != nullptr && c != '\0'; }

}  // namespace

bool CHAINE_bAnalyseFormat(const char* pszFormat, _stFMTINFO* pst) {
  *pst = _stFMTINFO{};
  const char* p = pszFormat != nullptr ? pszFormat : "";
  if (*p == '%') ++p;
  int etat = 0;
  bool bValide = true, bPrecision = false;
  for (int lus = 0; *p != '\0' && lus < 16; ++p, ++lus) {
    char c = *p;
    if (etat == 3) {
      if (c == 's' || c == 'S') {
        pst->wFlags |= FMT_MILLIERS;
        break;
      }
      if (c == 'l' || c == 'L') {
        pst->wFlags |= FMT_LONG;
        continue;
      }
      break;  // the format ends after its type
    }
    if (c >= '0' && c <= '9' && etat <= 1) {
      if (etat == 0 && c == '0') pst->wFlags |= FMT_ZEROS;
      pst->nLargeur = pst->nLargeur * 10 + (c - '0');
      if (pst->nLargeur > 1000) pst->nLargeur = 1000;
      etat = 1;
    } else if (c >= '0' && c <= '9' && etat == 2) {
      pst->nPrecision = pst->nPrecision * 10 + (c - '0');
      if (pst->nPrecision > 1000) pst->nPrecision = 1000;
    } else if (etat == 0 && c == '-') {
      pst->wFlags |= FMT_GAUCHE;
    } else if (etat == 0 && c == '+') {
      pst->wFlags |= FMT_SIGNE;
    } else if ((c == '.' || c == ',') && etat <= 1) {
      if (c == ',') pst->wFlags |= FMT_VIRGULE;
      pst->nPrecision = 0;
      bPrecision = true;
      etat = 2;
    } else if (c == 'l' || c == 'L') {
      pst->wFlags |= FMT_LONG;
    } else if (bTypeFormat(c)) {
      pst->cType = c;
      etat = 3;
    } else if (c == 's' || c == 'S') {
      pst->wFlags |= FMT_MILLIERS;
      break;
    } else {
      bValide = false;
      break;
    }
  }
  if (pst->cType == 'F') pst->cType = 'f';
  if (pst->cType == 'D') pst->cType = 'd';
  if (std::strchr("xXoO", pst->cType) != nullptr) pst->wFlags &= static_cast<WORD>(~FMT_MILLIERS);
  if (!bPrecision) pst->nPrecision = (pst->cType == 'e' || pst->cType == 'E' || pst->cType == 'f') ? 6 : 0;
  if (pst->wFlags & FMT_GAUCHE) pst->wFlags &= static_cast<WORD>(~FMT_ZEROS);
  return bValide;
}

int CHAINE_nFmtInfo2Format(char* pszSortie, const _stFMTINFO* pst) {
  std::string f = "%";
  if (pst->wFlags & FMT_GAUCHE) f += '-';
  if (pst->wFlags & FMT_SIGNE) f += '+';
  if (pst->wFlags & FMT_ZEROS) f += '0';
  char buf[48];
  if (pst->cType == 'f' || pst->cType == 'e' || pst->cType == 'E') {
    if (pst->nLargeur > 0) {
      std::snprintf(buf, sizeof buf, "%d.%d%c", pst->nLargeur, pst->nPrecision, pst->cType);
    } else {
      std::snprintf(buf, sizeof buf, ".%d%c", pst->nPrecision, pst->cType);
    }
  } else {
    // Integers go to printf as 64-bit values only when the value is one
    // (or a currency value); otherwise as 32 bits, so that -1 in hexadecimal
    // is ffffffff ("O" prints in octal).
    char type = pst->cType == 'O' ? 'o' : pst->cType;
    const char* longueur = (pst->wFlags & (FMT_64BITS | FMT_ENTIER_EXACT)) ? "ll" : "";
    if (pst->nLargeur > 0) {
      std::snprintf(buf, sizeof buf, "%d%s%c", pst->nLargeur, longueur, type);
    } else {
      std::snprintf(buf, sizeof buf, "%s%c", longueur, type);
    }
  }
  f += buf;
  std::strcpy(pszSortie, f.c_str());
  return static_cast<int>(f.size());
}

char cVirguleLocale() {
  const lconv* l = std::localeconv();
  return l != nullptr && l->decimal_point != nullptr && *l->decimal_point != '\0' ? *l->decimal_point : '.';
}

char cPointLocale() {
  const lconv* l = std::localeconv();
  return l != nullptr && l->thousands_sep != nullptr && *l->thousands_sep != '\0' ? *l->thousands_sep : ' ';
}

std::string CHAINE_SeparateurMillier(const _stFMTINFO* pst, const std::string& texte, char cMillier, char cDecimal) {
  // The integer digits: up to the decimal character (else an exponent, else
  // the end, past trailing spaces).
  std::size_t fin = texte.find(cDecimal);
  if (fin == std::string::npos) fin = texte.find_first_of("eE");
  if (fin == std::string::npos) {
    fin = texte.size();
    while (fin > 0 && texte[fin - 1] == ' ') --fin;
  }
  std::size_t debut = fin;
  while (debut > 0 && texte[debut - 1] >= '0' && texte[debut - 1] <= '9') --debut;
  std::string chiffres = texte.substr(debut, fin - debut), groupes;
  int nSeparateurs = 0;
  for (std::size_t i = 0; i < chiffres.size(); ++i) {
    if (i > 0 && (chiffres.size() - i) % 3 == 0) {
      groupes += cMillier;
      ++nSeparateurs;
    }
    groupes += chiffres[i];
  }
  std::string s = texte.substr(0, debut) + groupes + texte.substr(fin);
  // Each separator takes the place of a leading space (or a padding "0"),
  // so that the width is kept; otherwise the text grows.
  for (int k = 0; k < nSeparateurs && !s.empty(); ++k) {
    if (s[0] == ' ' || (s[0] == '0' && s.size() > 1 && s[1] >= '0' && s[1] <= '9')) {
      s.erase(0, 1);
    } else if (s[0] == '0' && s.size() > 1 && s[1] == cMillier) {
      s.erase(0, 2);  // a padding group reduced to nothing
    }
  }
  // A sign left before a separator goes next to the digits.
  for (std::size_t i = 0; i + 2 < s.size(); ++i) {
    if ((s[i] == '+' || s[i] == '-') && s[i + 1] == cMillier && s[i + 2] >= '0' && s[i + 2] <= '9') std::swap(s[i], s[i + 1]);
  }
  while (static_cast<int>(s.size()) > pst->nLargeur && !s.empty() && s[0] == ' ') s.erase(0, 1);
  return s;
}

bool bFormateNombre(double dValeur, long long llEntier, bool bEntier, bool b64Bits, const char* pszFormat,
                    std::string* pSortie) {
  _stFMTINFO info;
  if (!CHAINE_bAnalyseFormat(pszFormat, &info) || info.nLargeur > 100 || info.nPrecision > 100) return false;
  if (b64Bits) info.wFlags |= FMT_64BITS;
  if (bEntier) info.wFlags |= FMT_ENTIER_EXACT;
  bool bEntierExact = bEntier || (std::fabs(dValeur) < 9.2e18 && dValeur == std::floor(dValeur));
  if (info.cType == 'd' && !bEntierExact) {
    // Not a whole number: printed rounded, with no decimals.
    info.cType = 'f';
    info.nPrecision = 0;
  }
  // An integer that does not fit in 32 bits keeps its 64 bits, whatever its kind.
  long long n32 = 0;
  bool bEntierType = info.cType != 'f' && info.cType != 'e' && info.cType != 'E';
  if (bEntierType && !(info.wFlags & (FMT_64BITS | FMT_ENTIER_EXACT))) {
    if (std::fabs(dValeur) < 4294967296.0) n32 = std::llround(dValeur);
    if (!(std::fabs(dValeur) < 4294967296.0) || n32 < INT32_MIN || n32 > static_cast<long long>(UINT32_MAX))
      info.wFlags |= FMT_64BITS;
  }
  char format[64];
  CHAINE_nFmtInfo2Format(format, &info);
  char buf[512];
  if (info.cType == 'f' || info.cType == 'e' || info.cType == 'E') {
    double v = bEntier ? static_cast<double>(llEntier) : dValeur;
    double a = std::fabs(v);
    if (v != std::floor(v) && info.nPrecision <= 13 && a >= 1e-9 && std::floor(std::log10(a)) <= 13)
      v += v > 0 ? 1e-9 : -1e-9;  // decimals stored inexactly round as written
    std::snprintf(buf, sizeof buf, format, v);
  } else if (info.wFlags & (FMT_64BITS | FMT_ENTIER_EXACT)) {
    std::snprintf(buf, sizeof buf, format, bEntier ? llEntier : std::llround(dValeur));
  } else {
    // A 32-bit value: printed through its 32 bits (-1 is ffffffff in "x").
    std::snprintf(buf, sizeof buf, format, static_cast<int>(static_cast<unsigned>(n32)));
  }
  std::string s = buf;
  // A real 3-digit exponent beginning with 0 loses that digit, the width
  // kept (the padding after a 2-digit exponent is not a digit).
  auto chiffre = [&](std::size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };
  std::size_t e = info.cType == 'e' || info.cType == 'E' ? s.find(info.cType) : std::string::npos;
  if (e != std::string::npos && chiffre(e + 2) && s[e + 2] == '0' && chiffre(e + 3) && chiffre(e + 4) &&
      !chiffre(e + 5)) {
    s.erase(e + 2, 1);
    if (info.nLargeur > 0 && static_cast<int>(s.size()) < info.nLargeur) {
      if (info.wFlags & FMT_GAUCHE) {
        s += ' ';
      } else if (info.wFlags & FMT_ZEROS) {
        s.insert((s[0] == '+' || s[0] == '-') ? 1 : 0, 1, '0');
      } else {
        s.insert(0, 1, ' ');
      }
    }
  }
  // A "0" right after a leading sign and before a digit goes.
  if (s.size() >= 3 && (s[0] == '+' || s[0] == '-') && s[1] == '0' && s[2] >= '0' && s[2] <= '9') s.erase(1, 1);
  char cDecimal = '.';
  if (info.wFlags & FMT_VIRGULE) {
    cDecimal = cVirguleLocale();
    std::size_t point = s.find('.');
    if (point != std::string::npos) s[point] = cDecimal;
  }
  if (info.wFlags & FMT_MILLIERS) s = CHAINE_SeparateurMillier(&info, s, cPointLocale(), cDecimal);
  for (auto& c : s) {
    if (static_cast<unsigned char>(c) == 0xA0) c = ' ';
  }
  *pSortie = s;
  return true;
}

bool bFormateTailleDisque(double dTaille, int nUnite, const char* pszNoms, char cDecimal, std::string* pSortie) {
  if (nUnite < 0 || nUnite > 5) return false;
  std::string noms[5];
  const char* p = pszNoms != nullptr ? pszNoms : "";
  for (int i = 0; i < 5; ++i) {
    const char* fin = std::strchr(p, ';');
    noms[i] = fin != nullptr ? std::string(p, static_cast<std::size_t>(fin - p)) : std::string(p);
    p = fin != nullptr ? fin + 1 : p + std::strlen(p);
  }
  int unite = 0;
  if (nUnite == 0) {
    while (dTaille >= 1024 && unite < 4) {
      dTaille *= 0.0009765625;
      ++unite;
    }
  } else {
    unite = nUnite - 1;
    for (int i = 0; i < unite; ++i) dTaille *= 0.0009765625;
  }
  char buf[128];
  if (unite == 0) {
    std::snprintf(buf, sizeof buf, "%lld %s", static_cast<long long>(dTaille), noms[0].c_str());
  } else {
    std::snprintf(buf, sizeof buf, "%#.2f %s", dTaille, noms[unite].c_str());
    if (char* point = std::strchr(buf, '.')) *point = cDecimal;
  }
  *pSortie = buf;
  return true;
}

bool bCaractereNumerique(char c, bool bMoinsPermis) { return (c >= '0' && c <= '9') || (bMoinsPermis && c == '-'); }

bool bChaineNumerique(const char* psz, unsigned n, bool bSignePermis) {
  for (unsigned i = 0; i < n; ++i) {
    if (psz[i] == '\0' || !bCaractereNumerique(psz[i], bSignePermis && i == 0)) return false;
  }
  return true;
}

bool bChaineVersEntier(const char* psz, int* pn, bool bSignePermis) {
  if (psz == nullptr || !bCaractereNumerique(psz[0], bSignePermis)) return false;
  *pn = static_cast<int>(std::strtol(psz, nullptr, 10));
  return true;
}
