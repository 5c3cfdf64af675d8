// CXTime: broken-down local times.
#include "dates/XTime.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/Environnement.h"
#include "dates/Calendrier.h"

namespace {

bool bChiffres(const char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(p[i]))) return false;
  }
  return true;
}

int nLit(const char* p, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) v = v * 10 + (p[i] - '0');
  return v;
}

// The fraction after the seconds: 2 digits are hundredths, 3 milliseconds.
bool bLitFraction(const char* p, int* pnMillis) {
  std::size_t n = std::strlen(p);
  if (n == 0) {
    *pnMillis = 0;
    return true;
  }
  if ((n != 2 && n != 3) || !bChiffres(p, n)) return false;
  *pnMillis = n == 2 ? nLit(p, 2) * 10 : nLit(p, 3);
  return true;
}

}  // namespace

void CXTime::Vide() {
  std::memset(&m_tm, 0, sizeof m_tm);
  m_nMillis = 0;
}

bool CXTime::bSet(time_t t) {
  Vide();
  if (t == static_cast<time_t>(-1)) return false;
  return ENV_pstLocalTime(&t, &m_tm) != nullptr;
}

bool CXTime::bSetUTC(time_t t) {
  Vide();
  return gmtime_r(&t, &m_tm) != nullptr;
}

bool CXTime::bSet(int a, int m, int j, int h, int mi, int s, int ms) {
  long n = 0;
  if (!bJourGregorien(j, m, a, &n) || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) {
    Vide();
    return false;
  }
  Vide();
  m_tm.tm_year = a - 1900;
  m_tm.tm_mon = m - 1;
  m_tm.tm_mday = j;
  m_tm.tm_hour = h;
  m_tm.tm_min = mi;
  m_tm.tm_sec = s;
  m_tm.tm_wday = NumToNumSemaine(n);
  long premier = 0;
  bJourGregorien(1, 1, a, &premier);
  m_tm.tm_yday = static_cast<int>(n - premier);
  m_tm.tm_isdst = -1;
  m_nMillis = ms;
  return true;
}

bool CXTime::bSetDOS(WORD wDate, WORD wHeure) {
  return bSet(1980 + (wDate >> 9), (wDate >> 5) & 15, wDate & 31, wHeure >> 11, (wHeure >> 5) & 63, (wHeure & 31) * 2);
}

bool CXTime::bSet(const SYSTEMTIME& st) {
  return bSet(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

bool CXTime::bSet(const FILETIME& ft) {
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) {
    Vide();
    return false;
  }
  return bSet(st);
}

bool CXTime::bSet(const struct tm& t, int nMillis) {
  return bSet(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, nMillis);
}

bool CXTime::bSet(const CDateTimeBase& dt) {
  return bSet(dt.m_wAnnee, dt.m_byMois, dt.m_byJour, static_cast<int>(dt.m_dwHeure / 3600000u),
              static_cast<int>(dt.m_dwHeure / 60000u % 60u), static_cast<int>(dt.m_dwHeure / 1000u % 60u),
              static_cast<int>(dt.m_dwHeure % 1000u));
}

void CXTime::SetMaintenant() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  bSet(st);
}

bool CXTime::bSetVXDateTime(const char* psz, int bHeureEte) {
  Vide();
  if (psz == nullptr || std::strlen(psz) < 16 || !bChiffres(psz, 8)) return false;
  const char* p = psz + 8;
  if (*p == ' ') ++p;
  if (std::strlen(p) < 6 || !bChiffres(p, 6)) return false;
  int ms = 0;
  if (!bLitFraction(p + 6, &ms)) return false;
  if (!bSet(nLit(psz, 4), nLit(psz + 4, 2), nLit(psz + 6, 2), nLit(p, 2), nLit(p + 2, 2), nLit(p + 4, 2), ms)) return false;
  m_tm.tm_isdst = bHeureEte;
  return true;
}

bool CXTime::bSetVXDate(const char* psz) {
  Vide();
  if (psz == nullptr || std::strlen(psz) != 8 || !bChiffres(psz, 8)) return false;
  return bSet(nLit(psz, 4), nLit(psz + 4, 2), nLit(psz + 6, 2), 0, 0, 0, 0);
}

bool CXTime::bSetVXTime(const char* psz) {
  Vide();
  if (psz == nullptr || std::strlen(psz) < 6 || !bChiffres(psz, 6)) return false;
  int ms = 0;
  if (!bLitFraction(psz + 6, &ms)) return false;
  int h = nLit(psz, 2), m = nLit(psz + 2, 2), s = nLit(psz + 4, 2);
  if (h > 23 || m > 59 || s > 59) return false;
  m_tm.tm_hour = h;
  m_tm.tm_min = m;
  m_tm.tm_sec = s;
  m_nMillis = ms;
  return true;
}

namespace {

// Completes a beginning of "AAAAMMJJHHMMSSLLL" with the earliest or latest
// values of the period it names; false when what is given is not digits.
bool bComplete(const char* psz, bool bMax, char* pszSortie) {
  std::size_t n = psz != nullptr ? std::strlen(psz) : 0;
  if (n < 4 || n > 17 || !bChiffres(psz, n)) return false;
  static const char* const debut = "00000101000000000";
  static const char* const fin = "99991231235959999";
  std::memcpy(pszSortie, psz, n);
  std::memcpy(pszSortie + n, (bMax ? fin : debut) + n, 17 - n);
  pszSortie[17] = '\0';
  if (bMax && n < 8) {
    // The last day of the month given (or of December).
    int a = nLit(pszSortie, 4), m = nLit(pszSortie + 4, 2);
    if (m < 1 || m > 12) return false;
    char jour[3];
    std::snprintf(jour, sizeof jour, "%02d", nJoursDansMois(m, a));
    std::memcpy(pszSortie + 6, jour, 2);
  }
  return true;
}

}  // namespace

bool CXTime::bSetVXDateTimeMin(const char* psz) {
  char complet[18];
  Vide();
  if (!bComplete(psz, false, complet)) return false;
  return bSet(nLit(complet, 4), nLit(complet + 4, 2), nLit(complet + 6, 2), nLit(complet + 8, 2), nLit(complet + 10, 2),
              nLit(complet + 12, 2), nLit(complet + 14, 3));
}

bool CXTime::bSetVXDateTimeMax(const char* psz) {
  char complet[18];
  Vide();
  if (!bComplete(psz, true, complet)) return false;
  return bSet(nLit(complet, 4), nLit(complet + 4, 2), nLit(complet + 6, 2), nLit(complet + 8, 2), nLit(complet + 10, 2),
              nLit(complet + 12, 2), nLit(complet + 14, 3));
}

time_t CXTime::nGetTime_t() const {
  struct tm t = m_tm;
  return ENV_tMkTime(&t);
}

bool CXTime::bGetAsSystemTime(SYSTEMTIME* pst) const {
  if (bEstVide() || pst == nullptr) return false;
  pst->wYear = static_cast<WORD>(nGetAnnee());
  pst->wMonth = static_cast<WORD>(nGetMois());
  pst->wDayOfWeek = static_cast<WORD>(m_tm.tm_wday);
  pst->wDay = static_cast<WORD>(nGetJour());
  pst->wHour = static_cast<WORD>(nGetHeures());
  pst->wMinute = static_cast<WORD>(nGetMinutes());
  pst->wSecond = static_cast<WORD>(nGetSecondes());
  pst->wMilliseconds = static_cast<WORD>(m_nMillis);
  return true;
}

bool CXTime::bGetAsFileTime(FILETIME* pft) const {
  SYSTEMTIME st;
  return bGetAsSystemTime(&st) && SystemTimeToFileTime(&st, pft);
}

WORD CXTime::wGetDOSDate() const {
  int a = nGetAnnee() - 1980;
  if (a < 0) a = 0;
  if (a > 127) a = 127;
  return static_cast<WORD>(a << 9 | nGetMois() << 5 | nGetJour());
}

WORD CXTime::wGetDOSTime() const { return static_cast<WORD>(nGetHeures() << 11 | nGetMinutes() << 5 | nGetSecondes() / 2); }

bool CXTime::bSetMillis(int n) {
  if (n < 0 || n > 999) return false;
  m_nMillis = n;
  return true;
}

int CXTime::nCompare(const CXTime& b) const {
  const int a1[] = {m_tm.tm_year, m_tm.tm_mon, m_tm.tm_mday, m_tm.tm_hour, m_tm.tm_min, m_tm.tm_sec, m_nMillis};
  const int b1[] = {b.m_tm.tm_year, b.m_tm.tm_mon, b.m_tm.tm_mday, b.m_tm.tm_hour, b.m_tm.tm_min, b.m_tm.tm_sec, b.m_nMillis};
  for (int i = 0; i < 7; ++i) {
    if (a1[i] != b1[i]) return a1[i] < b1[i] ? -1 : 1;
  }
  return 0;
}

bool CXTime::bBissextile(int nAnnee) { return nBissextille(nAnnee) != 0; }

int CXTime::nGetDayInMonth(int nMois, int nAnnee) { return nJoursDansMois(nMois, nAnnee); }

std::string CXTime::sDate() const { return sFormat("%04d%02d%02d", nGetAnnee(), nGetMois(), nGetJour()); }
std::string CXTime::sHeureMinute() const { return sFormat("%02d%02d", nGetHeures(), nGetMinutes()); }
std::string CXTime::sHeure() const { return sFormat("%02d%02d%02d", nGetHeures(), nGetMinutes(), nGetSecondes()); }
std::string CXTime::sDateHeure() const { return sDate() + " " + sHeure(); }
std::string CXTime::sDateHeureVX() const { return sDate() + sHeure() + sFormat("%03d", m_nMillis); }
std::string CXTime::sHeureVX() const { return sHeure() + sFormat("%03d", m_nMillis); }

std::string CXTime::sLisible(bool bMillis) const {
  std::string s = sFormat("%02d/%02d/%04d %02d:%02d:%02d", nGetJour(), nGetMois(), nGetAnnee(), nGetHeures(),
                          nGetMinutes(), nGetSecondes());
  return bMillis ? s + sFormat(",%03d", m_nMillis) : s;
}

std::string CXTime::sODBCDate() const {
  return sFormat("{d '%04d-%02d-%02d'}", nGetAnnee(), nGetMois(), nGetJour());
}

std::string CXTime::sODBCHeure() const {
  return sFormat("{t '%02d:%02d:%02d.%03d'}", nGetHeures(), nGetMinutes(), nGetSecondes(), m_nMillis);
}

std::string CXTime::sODBCDateHeure() const {
  return sFormat("{ts '%04d-%02d-%02d %02d:%02d:%02d.%03d'}", nGetAnnee(), nGetMois(), nGetJour(), nGetHeures(),
                 nGetMinutes(), nGetSecondes(), m_nMillis);
}
