// The calendar and the validation of date and time strings.
#include "dates/Calendrier.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/XError.h"
#include "gen/Erreurs.h"

std::string sFormat(const char* pszFormat, ...) {
  char buf[128];
  va_list args;
  va_start(args, pszFormat);
  std::vsnprintf(buf, sizeof buf, pszFormat, args);
  va_end(args);
  return buf;
}

namespace {

constexpr long DECALAGE = 657083;  // ordinal of 1799-12-31 in our count, so that 1800-01-01 = 1
constexpr int ANNEE_REFORME = 1583;

const int gtabAvantMois[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
const int gtabJoursMois[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Days of the years before `nAnnee`: every fourth year leap before the
// reform, the Gregorian count after it (the two meet at 1583).
long nJoursAvantAnnee(long nAnnee) {
  long y = nAnnee - 1;
  if (nAnnee <= ANNEE_REFORME) return 365 * y + y / 4;
  return 365 * y + y / 4 - y / 100 + y / 400 + 12;
}

int nLit(const char* p, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) v = v * 10 + (p[i] - '0');
  return v;
}

bool bChiffres(const char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(p[i]))) return false;
  }
  return true;
}

void Erreur(CXError* pclErreur, DWORD nCode) {
  if (pclErreur != nullptr) pclErreur->SetUserError(nCode);
}

void Erreur(CXError* pclErreur, DWORD nCode, int nInsert) {
  if (pclErreur != nullptr) pclErreur->SetUserError(nCode, nInsert);
}

bool bEgalSansCasse(const char* p, const char* pszJeton) {
  for (; *pszJeton; ++p, ++pszJeton) {
    if (std::toupper(static_cast<unsigned char>(*p)) != *pszJeton) return false;
  }
  return true;
}

}  // namespace

int nBissextille(int nAnnee) {
  if (nAnnee % 4 != 0) return 0;
  if (nAnnee < ANNEE_REFORME) return 1;
  return (nAnnee % 100 != 0 || nAnnee % 400 == 0) ? 1 : 0;
}

int nJoursDansMois(int nMois, int nAnnee) {
  if (nMois < 1 || nMois > 12) return 0;
  return gtabJoursMois[nMois] + (nMois == 2 ? nBissextille(nAnnee) : 0);
}

int nJoursAvantMois(int nMois) { return nMois >= 1 && nMois <= 12 ? gtabAvantMois[nMois] : 0; }

bool bJourGregorien(int nJour, int nMois, int nAnnee, long* pnNumero) {
  if (pnNumero != nullptr) *pnNumero = 0;
  if (nAnnee < ANNEE_MIN || nAnnee > ANNEE_MAX || nMois < 1 || nMois > 12 || nJour < 1 ||
      nJour > nJoursDansMois(nMois, nAnnee))
    return false;
  long n = nJoursAvantAnnee(nAnnee) + gtabAvantMois[nMois] + (nMois > 2 ? nBissextille(nAnnee) : 0) + nJour - DECALAGE;
  if (pnNumero != nullptr) *pnNumero = n;
  return true;
}

bool bNumEnDate(long nNumero, int* pnJour, int* pnMois, int* pnAnnee) {
  *pnJour = *pnMois = *pnAnnee = 0;
  // In 64 bits: any day number, up to the limits of the integer, is only
  // out of range, never an overflow.
  const long long llT = static_cast<long long>(nNumero) + DECALAGE;  // 1 = 0001-01-01
  if (llT < 1 || llT > nJoursAvantAnnee(ANNEE_MAX + 1)) return false;
  const long t = static_cast<long>(llT);
  long y = t / 366 + 1;
  while (nJoursAvantAnnee(y + 1) < t) ++y;
  while (nJoursAvantAnnee(y) >= t) --y;
  long r = t - nJoursAvantAnnee(y) - 1;  // 0-based day of the year
  int m = 1;
  while (r >= nJoursDansMois(m, static_cast<int>(y))) r -= nJoursDansMois(m++, static_cast<int>(y));
  *pnJour = static_cast<int>(r) + 1;
  *pnMois = m;
  *pnAnnee = static_cast<int>(y);
  return true;
}

int NumToNumSemaine(long nNumero) {
  long long r = (static_cast<long long>(nNumero) + 657071) % 7;  // 64 bits: no overflow near the limits
  return static_cast<int>(r < 0 ? r + 7 : r);
}

int nNumeroSemaine(long nNumero) {
  int jour, mois, annee;
  if (!bNumEnDate(nNumero, &jour, &mois, &annee)) return 0;
  long j = 0;
  bJourGregorien(1, 1, annee, &j);
  int w = NumToNumSemaine(j);
  if (w == 0) w = 7;
  long k = nNumero - j;
  if (w <= 4) return static_cast<int>((w + k - 1) / 7 + 1);
  if (k >= 8 - w) return static_cast<int>((k - (8 - w)) / 7 + 1);
  return 0;
}

bool bPaques(int nAnnee, char* pszSortie) {
  pszSortie[0] = '\0';
  if (nAnnee < ANNEE_REFORME || nAnnee > ANNEE_MAX) return false;
  long Y = nAnnee + 5700000L;
  long a = Y % 19, b = Y / 100, c = Y % 100, d = b / 4, e = b % 4, f = (b + 8) / 25, g = (b - f + 1) / 3;
  long h = (19 * a + b - d - g + 15) % 30, i = c / 4, k = c % 4;
  long l = (32 + 2 * e + 2 * i - h - k) % 7;
  long m = (a + 11 * h + 22 * l) / 451;
  long t = h + l - 7 * m + 114;
  std::snprintf(pszSortie, 9, "%04d%02ld%02ld", nAnnee, t / 31, t % 31 + 1);
  return true;
}

bool bDateVerif(const char* pszDate, int* pnAnnee, int* pnMois, int* pnJour, CXError* pclErreur) {
  int a = 0, m = 0, j = 0;
  *pnAnnee = *pnMois = *pnJour = 0;
  if (pszDate == nullptr || std::strlen(pszDate) != 8) {
    Erreur(pclErreur, ERR_DATE_LONGUEUR);
    return false;
  }
  if (!bChiffres(pszDate, 8)) {
    Erreur(pclErreur, ERR_DATE_CHIFFRE);
    return false;
  }
  a = nLit(pszDate, 4);
  m = nLit(pszDate + 4, 2);
  j = nLit(pszDate + 6, 2);
  if (a == 0) {
    Erreur(pclErreur, ERR_DATE_ANNEE_ZERO);
    return false;
  }
  if (m < 1 || m > 12) {
    Erreur(pclErreur, ERR_DATE_MOIS);
    return false;
  }
  if (m == 2 && j == 29 && !nBissextille(a)) {
    Erreur(pclErreur, ERR_DATE_29_FEVRIER, a);
    return false;
  }
  if (j < 1 || j > nJoursDansMois(m, a)) {
    Erreur(pclErreur, ERR_DATE_JOUR, nJoursDansMois(m, a));
    return false;
  }
  *pnAnnee = a;
  *pnMois = m;
  *pnJour = j;
  return true;
}

bool bDateVerif(const char* pszDate, int* pnAnnee, int* pnMois, int* pnJour) {
  return bDateVerif(pszDate, pnAnnee, pnMois, pnJour, nullptr);
}

bool bHeureVerif(const char* pszHeure, int* pnHeures, int* pnMinutes, int* pnSecondes, int* pnCentiemes,
                 CXError* pclErreur) {
  *pnHeures = *pnMinutes = *pnSecondes = *pnCentiemes = 0;
  if (pszHeure == nullptr) pszHeure = "";
  std::size_t n = std::strlen(pszHeure);
  if (!bChiffres(pszHeure, n)) {
    Erreur(pclErreur, ERR_HEURE_CHIFFRE);
    return false;
  }
  char sz[9] = "00000000";
  std::memcpy(sz, pszHeure, n < 8 ? n : 8);
  int h = nLit(sz, 2), m = nLit(sz + 2, 2), s = nLit(sz + 4, 2), c = nLit(sz + 6, 2);
  if (s > 59) {
    Erreur(pclErreur, ERR_HEURE_SECONDES);
    return false;
  }
  if (m > 59) {
    Erreur(pclErreur, ERR_HEURE_MINUTES);
    return false;
  }
  if (h > 23) {
    Erreur(pclErreur, ERR_HEURE_HEURES);
    return false;
  }
  *pnHeures = h;
  *pnMinutes = m;
  *pnSecondes = s;
  *pnCentiemes = c;
  return true;
}

bool bHeureVerif(const char* pszHeure, int* pnHeures, int* pnMinutes, int* pnSecondes, int* pnCentiemes) {
  return bHeureVerif(pszHeure, pnHeures, pnMinutes, pnSecondes, pnCentiemes, nullptr);
}

bool bDateValide(const char* pszDate) {
  int a, m, j;
  return bDateVerif(pszDate, &a, &m, &j);
}

bool bHeureValide(const char* pszHeure) {
  int h, m, s, c;
  return bHeureVerif(pszHeure, &h, &m, &s, &c);
}

bool bDateHeureValide(const char* pszDateHeure) {
  if (pszDateHeure == nullptr || std::strlen(pszDateHeure) < 8) return false;
  char date[9];
  std::memcpy(date, pszDateHeure, 8);
  date[8] = '\0';
  return bDateValide(date) && bHeureValide(pszDateHeure + 8);
}

bool bNbJour(const char* pszDate, long* pnNumero) {
  int a, m, j;
  *pnNumero = 0;
  return bDateVerif(pszDate, &a, &m, &j) && bJourGregorien(j, m, a, pnNumero);
}

bool bNbCentieme(const char* pszHeure, long* pnCentiemes) {
  int h, m, s, c;
  *pnCentiemes = 0;
  if (!bHeureVerif(pszHeure, &h, &m, &s, &c)) return false;
  *pnCentiemes = h * 360000L + m * 6000L + s * 100L + c;
  return true;
}

bool bJourCentieme(const char* pszDateHeure, long* pnJours, long* pnCentiemes) {
  char date[9], heure[9];
  *pnJours = *pnCentiemes = 0;
  return bExtraitDateHeure(pszDateHeure, date, heure) && bNbJour(date, pnJours) && bNbCentieme(heure, pnCentiemes);
}

bool bDateDifference(const char* pszDate1, const char* pszDate2, long* pnJours) {
  long a, b;
  *pnJours = 0;
  if (!bNbJour(pszDate1, &a) || !bNbJour(pszDate2, &b)) return false;
  *pnJours = b - a;
  return true;
}

bool bHeureDifference(const char* pszHeure1, const char* pszHeure2, long* pnCentiemes) {
  long a, b;
  *pnCentiemes = 0;
  if (!bNbCentieme(pszHeure1, &a) || !bNbCentieme(pszHeure2, &b)) return false;
  *pnCentiemes = b - a;
  return true;
}

bool bExtraitDateHeure(const char* pszDateHeure, char* pszDate, char* pszHeure) {
  pszDate[0] = pszHeure[0] = '\0';
  if (pszDateHeure == nullptr || std::strlen(pszDateHeure) < 8) return false;
  std::memcpy(pszDate, pszDateHeure, 8);
  pszDate[8] = '\0';
  std::size_t n = strnlen(pszDateHeure + 8, 8);
  std::memcpy(pszHeure, pszDateHeure + 8, n);
  pszHeure[n] = '\0';
  return true;
}

bool bDateVersChaine(const char* pszDate, const char* pszFormat, char* pszSortie) {
  pszSortie[0] = '\0';
  int a, m, j;
  if (pszFormat == nullptr || !bDateVerif(pszDate, &a, &m, &j)) return false;
  std::string out;
  char buf[8];
  for (const char* p = pszFormat; *p;) {
    if (bEgalSansCasse(p, "AAAA") || bEgalSansCasse(p, "YYYY")) {
      std::snprintf(buf, sizeof buf, "%04d", a);
      p += 4;
    } else if (bEgalSansCasse(p, "AA") || bEgalSansCasse(p, "YY")) {
      std::snprintf(buf, sizeof buf, "%02d", a % 100);
      p += 2;
    } else if (bEgalSansCasse(p, "MM")) {
      std::snprintf(buf, sizeof buf, "%02d", m);
      p += 2;
    } else if (bEgalSansCasse(p, "JJ") || bEgalSansCasse(p, "DD")) {
      std::snprintf(buf, sizeof buf, "%02d", j);
      p += 2;
    } else {
      buf[0] = *p++;
      buf[1] = '\0';
    }
    out += buf;
  }
  std::snprintf(pszSortie, 64, "%s", out.c_str());
  return true;
}

bool bChaineVersDate(const char* pszTexte, const char* pszFormat, char* pszSortie) {
  pszSortie[0] = '\0';
  if (pszTexte == nullptr || pszFormat == nullptr) return false;
  int a = -1, m = -1, j = -1;
  const char* t = pszTexte;
  auto lit = [&t](int n, int* pv) {
    if (strnlen(t, static_cast<std::size_t>(n)) < static_cast<std::size_t>(n) || !bChiffres(t, static_cast<std::size_t>(n)))
      return false;
    *pv = nLit(t, n);
    t += n;
    return true;
  };
  for (const char* p = pszFormat; *p;) {
    if (bEgalSansCasse(p, "AAAA") || bEgalSansCasse(p, "YYYY")) {
      if (!lit(4, &a)) return false;
      p += 4;
    } else if (bEgalSansCasse(p, "AA") || bEgalSansCasse(p, "YY")) {
      int aa;
      if (!lit(2, &aa)) return false;
      a = aa <= 50 ? 2000 + aa : 1900 + aa;
      p += 2;
    } else if (bEgalSansCasse(p, "MM")) {
      if (!lit(2, &m)) return false;
      p += 2;
    } else if (bEgalSansCasse(p, "JJ") || bEgalSansCasse(p, "DD")) {
      if (!lit(2, &j)) return false;
      p += 2;
    } else {
      if (*t == '\0') return false;
      ++t;
      ++p;
    }
  }
  if (a < 0 || m < 0 || j < 0) return false;
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", a, m, j);
  if (!bDateValide(date)) return false;
  std::memcpy(pszSortie, date, 9);
  return true;
}
