// Date-time and duration values: CDateTimeBase (day, month, year and
// milliseconds of the day) and CDureeBase (signed milliseconds), their text
// forms ("AAAAMMJJHHMMSSLLL", "[-]D...DHHMMSSLLL"), shifts, comparisons and
// the RFC 822 and RFC 3339 forms; the system-time conversions they use.
//
// Statuses: 0 success, 110 invalid date, 111 negative time, 112 invalid
// duration text.
#pragma once

#include <string>

#include "abi/TypesBase.h"

class CVXDSTR;
class CVXBIN;
class CTString;
struct CDureeBase;

enum : int {
  DH_OK = 0,
  DH_DATE_INVALIDE = 110,
  DH_HEURE_NEGATIVE = 111,
  DH_DUREE_INVALIDE = 112,
};

constexpr long long MS_PAR_JOUR = 86400000LL;

// A date and a time of day; the first three fields form one 32-bit word
// that orders dates chronologically.
struct CDateTimeBase {
  BYTE m_byJour = 0;    // 1-31 (0: no date)
  BYTE m_byMois = 0;    // 1-12
  WORD m_wAnnee = 0;    // 1-9999
  DWORD m_dwHeure = 0;  // milliseconds since midnight

  void InitDate();                       // no date, 00:00
  void InitDateCourante();               // the local clock
  void InitDate(const SYSTEMTIME* pst);
  bool Set(int nAnnee, int nMois, int nJour, int nHeures, int nMinutes, int nSecondes, int nMillis);

  // Field setters: false for a value out of range (nothing changed); the
  // year and month setters clamp the day to the new month's length.
  bool bModifieAnnee(int n);
  bool bModifieMois(int n);
  bool bModifieJour(int n);
  bool bModifieHeure(int n);
  bool bModifieMinute(int n);
  bool bModifieSeconde(int n);
  bool bModifieMilli(int n);
  // The same on a 17-character text, its digits rewritten in place.
  static bool s_bModifie(char* psz17, int nChamp, int nValeur);

  bool bDecaleAnnee(int n);
  bool bDecaleMois(int n);
  bool bDecaleJour(long n);
  bool bDecaleMilli(long long n);
  // A 9-character time "HHMMSSLLL" shifted within the day.
  static bool s_bDecaleMilliHeure(char* psz9, long long n);

  int nVersEntier(int* pnJour) const;  // day number
  std::string VersChaine() const;      // 17 characters
  int nVersChaine(CVXDSTR* pcl) const;
  std::string VersChaineFormate() const;  // "%d-%d-%d %d:%d:%d,%d"
  int nFromString(const char* psz);       // date, then time with 3, 2 or 1 digits of fraction
  int nVersBinaire(CVXBIN* pcl) const;
  int nDepuisBinaire(const CVXBIN* pcl);
  int nVersSysteme(SYSTEMTIME* pst) const;
  int nVersDate(char* psz, int nTaille) const;   // "AAAAMMJJ"
  int nVersHeure(char* psz, int nTaille) const;  // "HHMMSSLLL"
  int nGetJourDeLaSemaine() const;               // 0 Sunday ... 6 Saturday
  bool bDateValide() const;

  static int nDateVersEntier(const char* pszDate, int* pnJour);
  static int nHeureVersEntier(const char* pszHeure, int* pnCentiemes);
  static int nEntierVersDate(char* psz, int nJour, int nTaille);
  static int nEntierVersHeure(char* psz, int nCentiemes, int nTaille);
  // Copy and pad with "0" to the fixed length (8 or 9 characters).
  static int nChaineVersDate(char* psz, const char* pszSource, int nTaille);
  static int nChaineVersHeure(char* psz, const char* pszSource, int nTaille);

  static int nCompare(const CDateTimeBase* a, const CDateTimeBase* b);
  static int nCompareDate(const char* a, const char* b);
  static int nCompareHeure(const char* a, const char* b);
  static int nCompare(const CDateTimeBase* a, const char* b);
  static bool bCalculeDiffJour(const CDateTimeBase* a, const CDateTimeBase* b, int* pnJours);
  static int nCalculeDuree(const CDateTimeBase* a, const CDateTimeBase* b, CDureeBase* pclDuree);
  static int s_nGetNbJourMois(int nMois, int nAnnee);
  static int s_nDateVersEntier(int nJour, int nMois, int nAnnee);

  int nVersChaine_RFC3339(CTString& s) const;
  int nVersDate_RFC3339(const char* psz, bool bVersUTC);
  int nVersChaine_RFC822(CTString& s) const;
  int nVersDate_RFC822(const char* psz);

private:
  void _RectifieFinMois();
};
static_assert(sizeof(CDateTimeBase) == 8);

// A duration: signed milliseconds.
struct CDureeBase {
  long long m_llMillis = 0;

  static int nCompare(const CDureeBase* a, const CDureeBase* b);
  std::string VersChaine() const;           // "[-]D...DHHMMSSLLL"
  std::string VersChaineCentieme() const;   // "[-]D...DHHMMSSCC"
  int nVersChaine(CVXDSTR* pcl) const;
  int nVersChaineCentieme(CVXDSTR* pcl) const;
  int nDepuisChaine(const char* psz);
  int nDepuisChaineCentieme(const char* psz);
  int nVersBinaire(CVXBIN* pcl) const;
  int nDepuisBinaire(const CVXBIN* pcl);
  char* pszCreeChaine() const;  // malloc'ed
};

// Formatted duration texts with the letters of messages 28577 to 28581
// (days, hours, minutes, seconds, milliseconds).
int nDureeVersChaine(const CDureeBase* pclDuree, CVXDSTR* pclSortie, const char* pszFormat);
int nChaineVersDuree(CDureeBase* pclDuree, const char* pszTexte, const char* pszFormat);

// System-time conversions (Windows names) over the C library's clock and
// zone rules. FILETIME: 100-nanosecond intervals since 1601-01-01.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
bool SystemTimeToFileTime(const SYSTEMTIME* pst, FILETIME* pft);
bool FileTimeToSystemTime(const FILETIME* pft, SYSTEMTIME* pst);
bool FileTimeToLocalFileTime(const FILETIME* pftUTC, FILETIME* pftLocal);
bool LocalFileTimeToFileTime(const FILETIME* pftLocal, FILETIME* pftUTC);
void GetLocalTime(SYSTEMTIME* pst);
// Sets the clock (mktime, then settimeofday); false with errno on failure.
bool SetLocalTime(const SYSTEMTIME* pst);
