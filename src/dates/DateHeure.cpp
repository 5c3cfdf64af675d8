// Date-time and duration values, their texts, and the system-time
// conversions.
#include "dates/DateHeure.h"

#include <sys/time.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/Environnement.h"
#include "core/TString.h"
#include "core/VXDSTR.h"
#include "core/accesdllres.h"
#include "dates/Calendrier.h"

namespace {

const char* const gtabMoisRFC822[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct STZone {
  const char* pszNom;
  int nHeures;
};
const STZone gtabZonesRFC822[40] = {
    {"UT", 0},   {"GMT", 0},  {"A", -1},   {"B", -2},    {"C", -3},   {"D", -4},   {"E", -5},   {"F", -6},
    {"G", -7},   {"H", -8},   {"J", -9},   {"K", -10},   {"L", -11},  {"M", -12},  {"N", 1},    {"O", 2},
    {"P", 3},    {"Q", 4},    {"R", 5},    {"S", 6},     {"T", 7},    {"U", 8},    {"V", 9},    {"W", 10},
    {"X", 11},   {"Y", 12},   {"Z", 0},    {"EST", -5},  {"EDT", -4}, {"CST", -6}, {"CDT", -5}, {"MST", -7},
    {"MDT", -6}, {"PST", -8}, {"PDT", -7}, {"CET", 1},   {"CEST", 2}, {"MET", 1},  {"MEST", 2}, {"MEDST", 2}};

// Digits at `nPos` for `nLongueur` characters; a shorter text gives 0, or,
// when `bCourt` and the position lies inside it, the digits present times
// 10 for each one missing ("5" read on 3 digits is 500).
int nGetPropDateTime(const char* psz, int nPos, int nLongueur, bool bCourt) {
  int n = static_cast<int>(std::strlen(psz));
  if (n >= nPos + nLongueur) {
    char buf[16] = {};
    std::memcpy(buf, psz + nPos, static_cast<std::size_t>(nLongueur));
    return static_cast<int>(std::strtol(buf, nullptr, 10));
  }
  if (!bCourt || nPos >= n) return 0;
  int presents = n - nPos;
  char buf[16] = {};
  std::memcpy(buf, psz + nPos, static_cast<std::size_t>(presents));
  int v = static_cast<int>(std::strtol(buf, nullptr, 10));
  for (int i = presents; i < nLongueur; ++i) v *= 10;
  return v;
}

long long llAbs(long long v) { return v < 0 ? -v : v; }

// The letters of the formatted duration texts.
std::string sLettre(unsigned nId, const char* pszDefaut) {
  char buf[8];
  int n = DLLRES_nLoadString(nId, buf, sizeof buf);
  return n > 0 && n <= 4 ? std::string(buf, static_cast<std::size_t>(n)) : std::string(pszDefaut);
}

void RemplaceTout(std::string& s, const std::string& a, const std::string& b) {
  if (a.empty()) return;
  for (std::size_t p = s.find(a); p != std::string::npos; p = s.find(a, p + b.size())) s.replace(p, a.size(), b);
}

bool bFinitPar(const std::string& s, std::size_t fin, const std::string& suffixe) {
  return fin >= suffixe.size() && s.compare(fin - suffixe.size(), suffixe.size(), suffixe) == 0;
}

// 64-bit seconds between 1970 and a date-time, counted in the calendar (UTC).
long long llSecondesUTC(const SYSTEMTIME* pst) {
  long n = 0;
  if (!bJourGregorien(pst->wDay, pst->wMonth, pst->wYear, &n)) return 0;
  long n1970 = 0;
  bJourGregorien(1, 1, 1970, &n1970);
  return (static_cast<long long>(n) - n1970) * 86400 + pst->wHour * 3600LL + pst->wMinute * 60LL + pst->wSecond;
}

constexpr long long FT_PAR_SECONDE = 10000000LL;
constexpr long long SECONDES_1601_1970 = 11644473600LL;

long long llFileTime(const FILETIME* pft) {
  return static_cast<long long>((static_cast<unsigned long long>(pft->dwHighDateTime) << 32) | pft->dwLowDateTime);
}

void SetFileTime(FILETIME* pft, long long v) {
  pft->dwLowDateTime = static_cast<DWORD>(static_cast<unsigned long long>(v) & 0xFFFFFFFFu);
  pft->dwHighDateTime = static_cast<DWORD>(static_cast<unsigned long long>(v) >> 32);
}

}  // namespace

// ---- CDateTimeBase ---------------------------------------------------------------

void CDateTimeBase::InitDate() {
  m_byJour = m_byMois = 0;
  m_wAnnee = 0;
  m_dwHeure = 0;
}

void CDateTimeBase::InitDateCourante() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  InitDate(&st);
}

void CDateTimeBase::InitDate(const SYSTEMTIME* pst) {
  m_byJour = static_cast<BYTE>(pst->wDay);
  m_byMois = static_cast<BYTE>(pst->wMonth);
  m_wAnnee = pst->wYear;
  m_dwHeure = ((pst->wHour * 60u + pst->wMinute) * 60u + pst->wSecond) * 1000u + pst->wMilliseconds;
}

bool CDateTimeBase::Set(int a, int m, int j, int h, int mi, int s, int ms) {
  if (a < 1 || a > 9999 || m < 1 || m > 12 || j < 1 || j > nJoursDansMois(m, a) || h < 0 || h > 23 || mi < 0 ||
      mi > 59 || s < 0 || s > 59 || ms < 0 || ms > 999)
    return false;
  m_byJour = static_cast<BYTE>(j);
  m_byMois = static_cast<BYTE>(m);
  m_wAnnee = static_cast<WORD>(a);
  m_dwHeure = static_cast<DWORD>(((h * 60 + mi) * 60 + s) * 1000 + ms);
  return true;
}

void CDateTimeBase::_RectifieFinMois() {
  if (m_byJour == 0 || m_byMois == 0 || m_wAnnee == 0) return;
  int n = nJoursDansMois(m_byMois, m_wAnnee);
  if (m_byJour > n) m_byJour = static_cast<BYTE>(n);
}

bool CDateTimeBase::bModifieAnnee(int n) {
  if (n < 1 || n > 9999) return false;
  m_wAnnee = static_cast<WORD>(n);
  _RectifieFinMois();
  return true;
}

bool CDateTimeBase::bModifieMois(int n) {
  if (n < 1 || n > 12) return false;
  m_byMois = static_cast<BYTE>(n);
  _RectifieFinMois();
  return true;
}

bool CDateTimeBase::bModifieJour(int n) {
  if (n < 1 || n > 31) return false;
  m_byJour = static_cast<BYTE>(n);
  return true;
}

bool CDateTimeBase::bModifieHeure(int n) {
  if (n < 0 || n > 23) return false;
  m_dwHeure = m_dwHeure % 3600000u + static_cast<DWORD>(n) * 3600000u;
  return true;
}

bool CDateTimeBase::bModifieMinute(int n) {
  if (n < 0 || n > 59) return false;
  m_dwHeure = m_dwHeure - (m_dwHeure / 60000u % 60u) * 60000u + static_cast<DWORD>(n) * 60000u;
  return true;
}

bool CDateTimeBase::bModifieSeconde(int n) {
  if (n < 0 || n > 59) return false;
  m_dwHeure = m_dwHeure - (m_dwHeure / 1000u % 60u) * 1000u + static_cast<DWORD>(n) * 1000u;
  return true;
}

bool CDateTimeBase::bModifieMilli(int n) {
  if (n < 0 || n > 999) return false;
  m_dwHeure = m_dwHeure - m_dwHeure % 1000u + static_cast<DWORD>(n);
  return true;
}

bool CDateTimeBase::s_bModifie(char* psz17, int nChamp, int nValeur) {
  struct Champ {
    int pos, len, min, max;
  };
  static const Champ champs[7] = {{0, 4, 1, 9999}, {4, 2, 1, 12},  {6, 2, 1, 31}, {8, 2, 0, 23},
                                  {10, 2, 0, 59},  {12, 2, 0, 59}, {14, 3, 0, 999}};
  if (psz17 == nullptr || nChamp < 0 || nChamp > 6 || std::strlen(psz17) < 17) return false;
  const Champ& c = champs[nChamp];
  if (nValeur < c.min || nValeur > c.max) return false;
  char buf[8];
  std::snprintf(buf, sizeof buf, "%0*d", c.len, nValeur);
  std::memcpy(psz17 + c.pos, buf, static_cast<std::size_t>(c.len));
  return true;
}

bool CDateTimeBase::bDecaleAnnee(int n) {
  if (m_wAnnee < 1 || m_wAnnee > 9999) return false;
  long a = static_cast<long>(m_wAnnee) + n;
  if (a < 1 || a > 9999) return false;
  m_wAnnee = static_cast<WORD>(a);
  _RectifieFinMois();
  return true;
}

bool CDateTimeBase::bDecaleMois(int n) {
  if (m_wAnnee < 1 || m_wAnnee > 9999 || m_byMois < 1 || m_byMois > 12) return false;
  long total = static_cast<long>(m_wAnnee) * 12 + (m_byMois - 1) + n;
  long a = total / 12, m = total % 12 + 1;
  if (a < 1 || a > 9999) return false;
  m_wAnnee = static_cast<WORD>(a);
  m_byMois = static_cast<BYTE>(m);
  _RectifieFinMois();
  return true;
}

bool CDateTimeBase::bDecaleJour(long n) {
  long jour = 0;
  if (!bJourGregorien(m_byJour, m_byMois, m_wAnnee, &jour)) return false;
  int j, m, a;
  if (!bNumEnDate(jour + n, &j, &m, &a)) return false;
  m_byJour = static_cast<BYTE>(j);
  m_byMois = static_cast<BYTE>(m);
  m_wAnnee = static_cast<WORD>(a);
  return true;
}

bool CDateTimeBase::bDecaleMilli(long long n) {
  long long t = static_cast<long long>(m_dwHeure) + n % MS_PAR_JOUR;
  long long jours = n / MS_PAR_JOUR;
  if (t < 0) {
    t += MS_PAR_JOUR;
    --jours;
  } else if (t >= MS_PAR_JOUR) {
    t -= MS_PAR_JOUR;
    ++jours;
  }
  CDateTimeBase copie = *this;
  if (jours != 0 && !copie.bDecaleJour(static_cast<long>(jours))) return false;
  copie.m_dwHeure = static_cast<DWORD>(t);
  *this = copie;
  return true;
}

bool CDateTimeBase::s_bDecaleMilliHeure(char* psz9, long long n) {
  if (psz9 == nullptr || std::strlen(psz9) < 9) return false;
  int h = nGetPropDateTime(psz9, 0, 2, false), m = nGetPropDateTime(psz9, 2, 2, false),
      s = nGetPropDateTime(psz9, 4, 2, false), ms = nGetPropDateTime(psz9, 6, 3, false);
  if (h > 23 || m > 59 || s > 59 || ms > 999) return false;
  long long t = ((h * 60LL + m) * 60 + s) * 1000 + ms + n;
  t %= MS_PAR_JOUR;
  if (t < 0) t += MS_PAR_JOUR;
  std::snprintf(psz9, 10, "%02d%02d%02d%03d", static_cast<int>(t / 3600000), static_cast<int>(t / 60000 % 60),
                static_cast<int>(t / 1000 % 60), static_cast<int>(t % 1000));
  return true;
}

int CDateTimeBase::nVersEntier(int* pnJour) const {
  long n = 0;
  if (!bJourGregorien(m_byJour, m_byMois, m_wAnnee, &n)) return DH_DATE_INVALIDE;
  *pnJour = static_cast<int>(n);
  return DH_OK;
}

bool CDateTimeBase::bDateValide() const {
  long n;
  return bJourGregorien(m_byJour, m_byMois, m_wAnnee, &n);
}

std::string CDateTimeBase::VersChaine() const {
  return sFormat("%04u%02u%02u%02u%02u%02u%03u", m_wAnnee, m_byMois, m_byJour, m_dwHeure / 3600000u,
                 m_dwHeure / 60000u % 60u, m_dwHeure / 1000u % 60u, m_dwHeure % 1000u);
}

int CDateTimeBase::nVersChaine(CVXDSTR* pcl) const {
  std::string s = VersChaine();
  return pcl->nAssign(s.data(), static_cast<DWORD>(s.size()));
}

std::string CDateTimeBase::VersChaineFormate() const {
  return sFormat("%d-%d-%d %d:%d:%d,%d", m_wAnnee, m_byMois, m_byJour, static_cast<int>(m_dwHeure / 3600000u),
                 static_cast<int>(m_dwHeure / 60000u % 60u), static_cast<int>(m_dwHeure / 1000u % 60u),
                 static_cast<int>(m_dwHeure % 1000u));
}

int CDateTimeBase::nFromString(const char* psz) {
  InitDate();
  if (psz == nullptr || *psz == '\0') return DH_OK;
  if (std::strlen(psz) < 8) return DH_DATE_INVALIDE;
  char date[9];
  std::memcpy(date, psz, 8);
  date[8] = '\0';
  int a, m, j;
  if (!bDateVerif(date, &a, &m, &j)) return DH_DATE_INVALIDE;
  int h = nGetPropDateTime(psz, 8, 2, false), mi = nGetPropDateTime(psz, 10, 2, false),
      s = nGetPropDateTime(psz, 12, 2, false), ms = nGetPropDateTime(psz, 14, 3, true);
  if (!Set(a, m, j, h, mi, s, ms)) return DH_DATE_INVALIDE;
  return DH_OK;
}

int CDateTimeBase::nVersBinaire(CVXBIN* pcl) const {
  std::string s = VersChaine();
  return pcl->nAssign(s.data(), static_cast<DWORD>(s.size()));
}

int CDateTimeBase::nDepuisBinaire(const CVXBIN* pcl) {
  DWORD n = pcl->nGetSize() < 17 ? pcl->nGetSize() : 17;
  std::string s(pcl->pGetData() != nullptr ? pcl->pGetData() : "", n);
  return nFromString(s.c_str());
}

int CDateTimeBase::nVersSysteme(SYSTEMTIME* pst) const {
  pst->wYear = m_wAnnee;
  pst->wMonth = m_byMois;
  pst->wDay = m_byJour;
  pst->wDayOfWeek = static_cast<WORD>(bDateValide() ? nGetJourDeLaSemaine() : 0);
  pst->wHour = static_cast<WORD>(m_dwHeure / 3600000u);
  pst->wMinute = static_cast<WORD>(m_dwHeure / 60000u % 60u);
  pst->wSecond = static_cast<WORD>(m_dwHeure / 1000u % 60u);
  pst->wMilliseconds = static_cast<WORD>(m_dwHeure % 1000u);
  return DH_OK;
}

int CDateTimeBase::nVersDate(char* psz, int nTaille) const {
  std::snprintf(psz, static_cast<std::size_t>(nTaille), "%04u%02u%02u", m_wAnnee, m_byMois, m_byJour);
  return DH_OK;
}

int CDateTimeBase::nVersHeure(char* psz, int nTaille) const {
  std::snprintf(psz, static_cast<std::size_t>(nTaille), "%02u%02u%02u%03u", m_dwHeure / 3600000u,
                m_dwHeure / 60000u % 60u, m_dwHeure / 1000u % 60u, m_dwHeure % 1000u);
  return DH_OK;
}

int CDateTimeBase::nGetJourDeLaSemaine() const {
  long n = 0;
  bJourGregorien(m_byJour, m_byMois, m_wAnnee, &n);
  return NumToNumSemaine(n);
}

int CDateTimeBase::nDateVersEntier(const char* pszDate, int* pnJour) {
  long n = 0;
  if (!bNbJour(pszDate, &n)) return DH_DATE_INVALIDE;
  *pnJour = static_cast<int>(n);
  return DH_OK;
}

int CDateTimeBase::nHeureVersEntier(const char* pszHeure, int* pnCentiemes) {
  long n = 0;
  if (!bNbCentieme(pszHeure, &n)) return DH_DATE_INVALIDE;
  *pnCentiemes = static_cast<int>(n);
  return DH_OK;
}

int CDateTimeBase::nEntierVersDate(char* psz, int nJour, int nTaille) {
  int j, m, a;
  psz[0] = '\0';
  if (!bNumEnDate(nJour, &j, &m, &a)) return DH_DATE_INVALIDE;
  std::snprintf(psz, static_cast<std::size_t>(nTaille), "%04d%02d%02d", a, m, j);
  return DH_OK;
}

int CDateTimeBase::nEntierVersHeure(char* psz, int nCentiemes, int nTaille) {
  psz[0] = '\0';
  if (nCentiemes < 0) return DH_HEURE_NEGATIVE;
  std::snprintf(psz, static_cast<std::size_t>(nTaille), "%02d%02d%02d%02d", nCentiemes / 360000,
                nCentiemes % 360000 / 6000, nCentiemes % 6000 / 100, nCentiemes % 100);
  return DH_OK;
}

int CDateTimeBase::nChaineVersDate(char* psz, const char* pszSource, int nTaille) {
  char buf[9] = "00000000";
  std::size_t n = pszSource != nullptr ? strnlen(pszSource, 8) : 0;
  if (n > 0) std::memcpy(buf, pszSource, n);
  std::snprintf(psz, static_cast<std::size_t>(nTaille), "%s", buf);
  return DH_OK;
}

int CDateTimeBase::nChaineVersHeure(char* psz, const char* pszSource, int nTaille) {
  char buf[10] = "000000000";
  std::size_t n = pszSource != nullptr ? strnlen(pszSource, 9) : 0;
  if (n > 0) std::memcpy(buf, pszSource, n);
  std::snprintf(psz, static_cast<std::size_t>(nTaille), "%s", buf);
  return DH_OK;
}

int CDateTimeBase::nCompare(const CDateTimeBase* a, const CDateTimeBase* b) {
  DWORD da = a->m_byJour | static_cast<DWORD>(a->m_byMois) << 8 | static_cast<DWORD>(a->m_wAnnee) << 16;
  DWORD db = b->m_byJour | static_cast<DWORD>(b->m_byMois) << 8 | static_cast<DWORD>(b->m_wAnnee) << 16;
  if (da != db) return da < db ? -1 : 1;
  if (a->m_dwHeure != b->m_dwHeure) return a->m_dwHeure < b->m_dwHeure ? -1 : 1;
  return 0;
}

int CDateTimeBase::nCompareDate(const char* a, const char* b) {
  bool va = a == nullptr || *a == '\0', vb = b == nullptr || *b == '\0';
  if (va || vb) return vb - va;
  std::size_t n = std::strlen(a) < std::strlen(b) ? std::strlen(a) : std::strlen(b);
  return std::strncmp(a, b, n);
}

int CDateTimeBase::nCompareHeure(const char* a, const char* b) { return nCompareDate(a, b); }

int CDateTimeBase::nCompare(const CDateTimeBase* a, const char* b) {
  std::string s = a->VersChaine();
  return nCompareDate(s.c_str(), b);
}

bool CDateTimeBase::bCalculeDiffJour(const CDateTimeBase* a, const CDateTimeBase* b, int* pnJours) {
  int na, nb;
  if (a->nVersEntier(&na) != DH_OK || b->nVersEntier(&nb) != DH_OK) return false;
  *pnJours = na - nb;
  return true;
}

int CDateTimeBase::nCalculeDuree(const CDateTimeBase* a, const CDateTimeBase* b, CDureeBase* pclDuree) {
  int na, nb;
  if (a->nVersEntier(&na) != DH_OK || b->nVersEntier(&nb) != DH_OK) return DH_DATE_INVALIDE;
  pclDuree->m_llMillis = static_cast<long long>(na - nb) * MS_PAR_JOUR + static_cast<long long>(a->m_dwHeure) -
                         static_cast<long long>(b->m_dwHeure);
  return DH_OK;
}

int CDateTimeBase::s_nGetNbJourMois(int nMois, int nAnnee) { return nJoursDansMois(nMois, nAnnee); }

int CDateTimeBase::s_nDateVersEntier(int nJour, int nMois, int nAnnee) {
  long n = 0;
  return bJourGregorien(nJour, nMois, nAnnee, &n) ? static_cast<int>(n) : 0;
}

int CDateTimeBase::nVersChaine_RFC3339(CTString& s) const {
  s.AddFormat("%02d-%02d-%02dT%02d:%02d:%02dZ", m_wAnnee, m_byMois, m_byJour, static_cast<int>(m_dwHeure / 3600000u),
              static_cast<int>(m_dwHeure / 60000u % 60u), static_cast<int>(m_dwHeure / 1000u % 60u));
  return DH_OK;
}

int CDateTimeBase::nVersDate_RFC3339(const char* psz, bool bVersUTC) {
  InitDate();
  if (psz == nullptr || *psz == '\0') return DH_OK;
  std::string texte = psz;
  std::size_t t = texte.find('T');
  std::string date = texte.substr(0, t), heure = t == std::string::npos ? "" : texte.substr(t + 1);
  int a = 0, m = 0, j = 0;
  std::sscanf(date.c_str(), "%d-%d-%d", &a, &m, &j);
  int h = 0, mi = 0, s = 0, ms = 0;
  std::string zone;
  int signe = 0;
  std::size_t pz = heure.find_first_of("+-");
  if (pz != std::string::npos) {
    signe = heure[pz] == '+' ? 1 : -1;
    zone = heure.substr(pz + 1);
    heure.resize(pz);
  }
  std::string fraction;
  std::size_t point = heure.find('.');
  if (point != std::string::npos) {
    fraction = heure.substr(point + 1);
    heure.resize(point);
  }
  std::sscanf(heure.c_str(), "%d:%d:%d", &h, &mi, &s);
  if (!fraction.empty()) ms = nGetPropDateTime(fraction.c_str(), 0, 3, true);
  if (!Set(a, m, j, h, mi, s, ms)) {
    InitDate();
    return DH_DATE_INVALIDE;
  }
  if (bVersUTC && signe != 0) {
    int zh = 0, zm = 0;
    std::sscanf(zone.c_str(), "%d:%d", &zh, &zm);
    bDecaleMilli(-signe * ((zh * 60LL + zm) * 60000LL));
  }
  return DH_OK;
}

int CDateTimeBase::nVersChaine_RFC822(CTString& s) const {
  int m = m_byMois < 1 ? 1 : m_byMois > 12 ? 12 : m_byMois;
  s.AddFormat("%d %s %04d %02d:%02d:%02d Z", m_byJour, gtabMoisRFC822[m - 1], m_wAnnee,
              static_cast<int>(m_dwHeure / 3600000u), static_cast<int>(m_dwHeure / 60000u % 60u),
              static_cast<int>(m_dwHeure / 1000u % 60u));
  return DH_OK;
}

int CDateTimeBase::nVersDate_RFC822(const char* psz) {
  InitDate();
  if (psz == nullptr) return DH_DATE_INVALIDE;
  if (const char* virgule = std::strchr(psz, ',')) psz = virgule + 1;
  while (*psz == ' ') ++psz;
  int j = 0, a = 0, h = 0, mi = 0, s = 0;
  char mois[5] = {}, zone[7] = {};
  // The zone is read on 5 characters so that a numeric one ("+0200") fits.
  int n = std::sscanf(psz, "%d %4s %d %02d:%02d:%02d %5s", &j, mois, &a, &h, &mi, &s, zone);
  if (n < 7) {
    s = 0;
    std::memset(zone, 0, sizeof zone);
    n = std::sscanf(psz, "%d %4s %d %02d:%02d %6s", &j, mois, &a, &h, &mi, zone);
    if (n < 6) return DH_DATE_INVALIDE;
  }
  int m = 0;
  for (int i = 0; i < 12; ++i) {
    if (std::strcmp(mois, gtabMoisRFC822[i]) == 0) m = i + 1;
  }
  if (m == 0 || !Set(a, m, j, h, mi, s, 0)) {
    InitDate();
    return DH_DATE_INVALIDE;
  }
  long long decalage = 0;  // minutes east of UT
  bool connue = false;
  if ((zone[0] == '+' || zone[0] == '-') && std::strlen(zone) == 5) {
    int hh = (zone[1] - '0') * 10 + (zone[2] - '0'), mm = (zone[3] - '0') * 10 + (zone[4] - '0');
    decalage = (zone[0] == '-' ? -1 : 1) * (hh * 60LL + mm);
    connue = true;
  } else {
    for (const auto& z : gtabZonesRFC822) {
      if (std::strcmp(zone, z.pszNom) == 0) {
        decalage = z.nHeures * 60LL;
        connue = true;
      }
    }
  }
  if (connue) bDecaleMilli(-decalage * 60000LL);
  return DH_OK;
}

// ---- CDureeBase --------------------------------------------------------------------------

int CDureeBase::nCompare(const CDureeBase* a, const CDureeBase* b) {
  return (a->m_llMillis > b->m_llMillis) - (a->m_llMillis < b->m_llMillis);
}

std::string CDureeBase::VersChaine() const {
  long long jours = m_llMillis / MS_PAR_JOUR, reste = llAbs(m_llMillis % MS_PAR_JOUR);
  return sFormat("%s%lld%02lld%02lld%02lld%03lld", m_llMillis < 0 ? "-" : "", llAbs(jours), reste / 3600000,
                 reste / 60000 % 60, reste / 1000 % 60, reste % 1000);
}

std::string CDureeBase::VersChaineCentieme() const {
  long long jours = m_llMillis / MS_PAR_JOUR, reste = llAbs(m_llMillis % MS_PAR_JOUR);
  return sFormat("%s%lld%02lld%02lld%02lld%02lld", m_llMillis < 0 ? "-" : "", llAbs(jours), reste / 3600000,
                 reste / 60000 % 60, reste / 1000 % 60, reste % 1000 / 10);
}

int CDureeBase::nVersChaine(CVXDSTR* pcl) const {
  std::string s = VersChaine();
  return pcl->nAssign(s.data(), static_cast<DWORD>(s.size()));
}

int CDureeBase::nVersChaineCentieme(CVXDSTR* pcl) const {
  std::string s = VersChaineCentieme();
  return pcl->nAssign(s.data(), static_cast<DWORD>(s.size()));
}

namespace {

int nLitDuree(const char* psz, bool bCentiemes, long long* pll) {
  *pll = 0;
  if (psz == nullptr) return DH_DUREE_INVALIDE;
  bool negatif = false;
  if (*psz == '+' || *psz == '-') negatif = *psz++ == '-';
  std::size_t n = std::strlen(psz), fraction = bCentiemes ? 2 : 3;
  if (n < fraction + 7) return DH_DUREE_INVALIDE;
  for (std::size_t i = 0; i < n; ++i) {
    if (psz[i] < '0' || psz[i] > '9') return DH_DUREE_INVALIDE;
  }
  auto lit = [&](std::size_t debut, std::size_t longueur) {
    long long v = 0;
    for (std::size_t i = debut; i < debut + longueur; ++i) v = v * 10 + (psz[i] - '0');
    return v;
  };
  std::size_t f = n - fraction;
  long long ms = lit(f, fraction) * (bCentiemes ? 10 : 1);
  long long s = lit(f - 2, 2), m = lit(f - 4, 2), h = lit(f - 6, 2), j = lit(0, f - 6);
  long long total = ((j * 24 + h) * 60 + m) * 60000 + s * 1000 + ms;
  *pll = negatif ? -total : total;
  return DH_OK;
}

}  // namespace

int CDureeBase::nDepuisChaine(const char* psz) { return nLitDuree(psz, false, &m_llMillis); }

int CDureeBase::nDepuisChaineCentieme(const char* psz) { return nLitDuree(psz, true, &m_llMillis); }

int CDureeBase::nVersBinaire(CVXBIN* pcl) const {
  std::string s = VersChaine();
  return pcl->nAssign(s.data(), static_cast<DWORD>(s.size()));
}

int CDureeBase::nDepuisBinaire(const CVXBIN* pcl) {
  DWORD n = pcl->nGetSize() < 24 ? pcl->nGetSize() : 24;
  std::string s(pcl->pGetData() != nullptr ? pcl->pGetData() : "", n);
  return nDepuisChaine(s.c_str());
}

char* CDureeBase::pszCreeChaine() const { return strdup(VersChaine().c_str()); }

int nDureeVersChaine(const CDureeBase* pclDuree, CVXDSTR* pclSortie, const char* pszFormat) {
  if (pszFormat == nullptr || *pszFormat == '\0') return pclDuree->nVersChaine(pclSortie);
  std::string lj = sLettre(28577, "J"), lh = sLettre(28578, "H"), lm = sLettre(28579, "M"), ls = sLettre(28580, "S"),
              ll = sLettre(28581, "L");
  long long total = pclDuree->m_llMillis;
  long long jours = llAbs(total / MS_PAR_JOUR), reste = llAbs(total % MS_PAR_JOUR);
  std::string s = pszFormat;
  RemplaceTout(s, lj, sFormat("%lld", jours));
  RemplaceTout(s, lh + lh, sFormat("%02lld", reste / 3600000));
  RemplaceTout(s, lm + lm, sFormat("%02lld", reste / 60000 % 60));
  RemplaceTout(s, ls + ls, sFormat("%02lld", reste / 1000 % 60));
  std::string millis = sFormat("%03lld", reste % 1000);
  if (s.find(ll + ll + ll) != std::string::npos) {
    RemplaceTout(s, ll + ll + ll, millis);
  } else if (s.find(ll + ll) != std::string::npos) {
    RemplaceTout(s, ll + ll, millis.substr(0, 2));
  } else {
    RemplaceTout(s, ll, millis.substr(0, 1));
  }
  RemplaceTout(s, "+", total < 0 ? "-" : "");
  return pclSortie->nAssign(s.data(), static_cast<DWORD>(s.size()));
}

int nChaineVersDuree(CDureeBase* pclDuree, const char* pszTexte, const char* pszFormat) {
  pclDuree->m_llMillis = 0;
  if (pszTexte == nullptr) return DH_DUREE_INVALIDE;
  if (pszFormat == nullptr || *pszFormat == '\0') return pclDuree->nDepuisChaine(pszTexte);
  std::string lj = sLettre(28577, "J"), lh = sLettre(28578, "H"), lm = sLettre(28579, "M"), ls = sLettre(28580, "S"),
              ll = sLettre(28581, "L");
  std::string f = pszFormat, t = pszTexte;
  std::size_t i = f.size(), k = t.size();
  long long jours = 0, h = 0, m = 0, s = 0, ms = 0;
  bool negatif = false;
  // Digits ending at k (at most n, at least one); false when there are none.
  auto chiffres = [&](std::size_t n, long long* pv) {
    std::size_t debut = k;
    while (debut > 0 && k - debut < n && t[debut - 1] >= '0' && t[debut - 1] <= '9') --debut;
    if (debut == k) return false;
    *pv = std::atoll(t.substr(debut, k - debut).c_str());
    k = debut;
    return true;
  };
  while (i > 0) {
    long long v = 0;
    if (bFinitPar(f, i, ll + ll + ll)) {
      if (!chiffres(3, &v)) return DH_DUREE_INVALIDE;
      ms = v;
      i -= 3 * ll.size();
    } else if (bFinitPar(f, i, ll + ll)) {
      if (!chiffres(2, &v)) return DH_DUREE_INVALIDE;
      ms = v * 10;
      i -= 2 * ll.size();
    } else if (bFinitPar(f, i, ll)) {
      if (!chiffres(1, &v)) return DH_DUREE_INVALIDE;
      ms = v * 100;
      i -= ll.size();
    } else if (bFinitPar(f, i, ls + ls)) {
      if (!chiffres(2, &s)) return DH_DUREE_INVALIDE;
      i -= 2 * ls.size();
    } else if (bFinitPar(f, i, lm + lm)) {
      if (!chiffres(2, &m)) return DH_DUREE_INVALIDE;
      i -= 2 * lm.size();
    } else if (bFinitPar(f, i, lh + lh)) {
      if (!chiffres(2, &h)) return DH_DUREE_INVALIDE;
      i -= 2 * lh.size();
    } else if (bFinitPar(f, i, lj)) {
      if (!chiffres(19, &jours)) return DH_DUREE_INVALIDE;
      i -= lj.size();
    } else if (f[i - 1] == '+') {
      if (k > 0 && t[k - 1] == '-') {
        negatif = true;
        --k;
      }
      --i;
    } else {
      --i;
      if (k > 0) --k;
    }
  }
  long long total = jours * MS_PAR_JOUR + h * 3600000 + m * 60000 + s * 1000 + ms;
  pclDuree->m_llMillis = negatif ? -total : total;
  return DH_OK;
}

// ---- System time ---------------------------------------------------------------------------

bool SystemTimeToFileTime(const SYSTEMTIME* pst, FILETIME* pft) {
  long n = 0;
  if (pst == nullptr || pft == nullptr || pst->wYear < 1601 || !bJourGregorien(pst->wDay, pst->wMonth, pst->wYear, &n) ||
      pst->wHour > 23 || pst->wMinute > 59 || pst->wSecond > 59 || pst->wMilliseconds > 999)
    return false;
  long long secondes = llSecondesUTC(pst) + SECONDES_1601_1970;
  SetFileTime(pft, secondes * FT_PAR_SECONDE + pst->wMilliseconds * 10000LL);
  return true;
}

bool FileTimeToSystemTime(const FILETIME* pft, SYSTEMTIME* pst) {
  if (pft == nullptr || pst == nullptr) return false;
  long long v = llFileTime(pft);
  if (v < 0) return false;
  long long secondes = v / FT_PAR_SECONDE - SECONDES_1601_1970;
  long long ms = v % FT_PAR_SECONDE / 10000;
  long long jours = secondes >= 0 ? secondes / 86400 : -((-secondes + 86399) / 86400);
  long long reste = secondes - jours * 86400;
  long n1970 = 0;
  bJourGregorien(1, 1, 1970, &n1970);
  int j, m, a;
  if (!bNumEnDate(static_cast<long>(n1970 + jours), &j, &m, &a)) return false;
  pst->wYear = static_cast<WORD>(a);
  pst->wMonth = static_cast<WORD>(m);
  pst->wDay = static_cast<WORD>(j);
  pst->wDayOfWeek = static_cast<WORD>(NumToNumSemaine(n1970 + jours));
  pst->wHour = static_cast<WORD>(reste / 3600);
  pst->wMinute = static_cast<WORD>(reste / 60 % 60);
  pst->wSecond = static_cast<WORD>(reste % 60);
  pst->wMilliseconds = static_cast<WORD>(ms);
  return true;
}

bool FileTimeToLocalFileTime(const FILETIME* pftUTC, FILETIME* pftLocal) {
  if (pftUTC == nullptr || pftLocal == nullptr) return false;
  long long v = llFileTime(pftUTC);
  time_t t = static_cast<time_t>(v / FT_PAR_SECONDE - SECONDES_1601_1970);
  tm local{};
  if (ENV_pstLocalTime(&t, &local) == nullptr) return false;
  SetFileTime(pftLocal, v + static_cast<long long>(local.tm_gmtoff) * FT_PAR_SECONDE);
  return true;
}

bool LocalFileTimeToFileTime(const FILETIME* pftLocal, FILETIME* pftUTC) {
  if (pftLocal == nullptr || pftUTC == nullptr) return false;
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(pftLocal, &st)) return false;
  tm local{};
  local.tm_year = st.wYear - 1900;
  local.tm_mon = st.wMonth - 1;
  local.tm_mday = st.wDay;
  local.tm_hour = st.wHour;
  local.tm_min = st.wMinute;
  local.tm_sec = st.wSecond;
  local.tm_isdst = -1;
  errno = 0;
  time_t t = ENV_tMkTime(&local);
  if (t == static_cast<time_t>(-1) && errno != 0) return false;
  SetFileTime(pftUTC, (static_cast<long long>(t) + SECONDES_1601_1970) * FT_PAR_SECONDE + st.wMilliseconds * 10000LL);
  return true;
}

void GetLocalTime(SYSTEMTIME* pst) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  tm t{};
  time_t s = tv.tv_sec;
  ENV_pstLocalTime(&s, &t);
  pst->wYear = static_cast<WORD>(t.tm_year + 1900);
  pst->wMonth = static_cast<WORD>(t.tm_mon + 1);
  pst->wDayOfWeek = static_cast<WORD>(t.tm_wday);
  pst->wDay = static_cast<WORD>(t.tm_mday);
  pst->wHour = static_cast<WORD>(t.tm_hour);
  pst->wMinute = static_cast<WORD>(t.tm_min);
  pst->wSecond = static_cast<WORD>(t.tm_sec);
  pst->wMilliseconds = static_cast<WORD>(tv.tv_usec / 1000);
}

bool SetLocalTime(const SYSTEMTIME* pst) {
  tm t{};
  t.tm_year = pst->wYear - 1900;
  t.tm_mon = pst->wMonth - 1;
  t.tm_mday = pst->wDay;
  t.tm_hour = pst->wHour;
  t.tm_min = pst->wMinute;
  t.tm_sec = pst->wSecond;
  t.tm_isdst = -1;
  errno = 0;
  time_t s = ENV_tMkTime(&t);
  if (s == static_cast<time_t>(-1) && errno != 0) return false;
  timeval tv{s, static_cast<suseconds_t>(pst->wMilliseconds) * 1000};
  return settimeofday(&tv, nullptr) == 0;
}
