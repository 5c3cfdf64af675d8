// CXTime: a broken-down local time (the fields of struct tm) with
// milliseconds, built from the system's clock forms and the language's
// date and time texts, and written in the output formats the library uses.
#pragma once

#include <ctime>
#include <string>

#include "dates/DateHeure.h"

class CXTime {
public:
  CXTime() { Vide(); }
  virtual ~CXTime() = default;
  CXTime(const CXTime&) = default;
  CXTime& operator=(const CXTime&) = default;

  void Vide();  // every field 0
  bool bEstVide() const { return m_tm.tm_year == 0 && m_tm.tm_mday == 0; }

  // Setters; each returns false (and leaves the value cleared) when the
  // source is not a valid date-time.
  bool bSet(time_t t);                     // local time; -1 clears
  bool bSetUTC(time_t t);
  bool bSet(int nAnnee, int nMois, int nJour, int nHeures, int nMinutes, int nSecondes, int nMillis = 0);
  bool bSetDOS(WORD wDate, WORD wHeure);   // DOS date and time words
  bool bSet(const SYSTEMTIME& st);
  bool bSet(const FILETIME& ft);           // a UTC file time, shown in local time
  bool bSet(const struct tm& t, int nMillis = 0);
  bool bSet(const CDateTimeBase& dt);
  void SetMaintenant();

  // The language's texts: "AAAAMMJJ[ ]HHMMSS[CC|LLL]" (at least 16
  // characters), "AAAAMMJJ", "HHMMSS[CC|LLL]". The Min and Max forms accept
  // a beginning of the text and complete it with the earliest or the latest
  // moment of the period it names ("2024" -> 2024-01-01 00:00:00.000 or
  // 2024-12-31 23:59:59.999).
  bool bSetVXDateTime(const char* psz, int bHeureEte = -1);
  bool bSetVXDate(const char* psz);
  bool bSetVXTime(const char* psz);
  bool bSetVXDateTimeMin(const char* psz);
  bool bSetVXDateTimeMax(const char* psz);

  time_t nGetTime_t() const;  // via mktime
  bool bGetAsSystemTime(SYSTEMTIME* pst) const;
  bool bGetAsFileTime(FILETIME* pft) const;  // the local time taken as UTC
  WORD wGetDOSDate() const;
  WORD wGetDOSTime() const;

  int nGetAnnee() const { return m_tm.tm_year + 1900; }
  int nGetMois() const { return m_tm.tm_mon + 1; }
  int nGetJour() const { return m_tm.tm_mday; }
  int nGetHeures() const { return m_tm.tm_hour; }
  int nGetMinutes() const { return m_tm.tm_min; }
  int nGetSecondes() const { return m_tm.tm_sec; }
  int nGetMillis() const { return m_nMillis; }
  bool bSetAnnee(int n) { return bSet(n, nGetMois(), nGetJour(), nGetHeures(), nGetMinutes(), nGetSecondes(), m_nMillis); }
  bool bSetMillis(int n);

  // Field by field: year, month, day, hours, minutes, seconds, milliseconds.
  bool operator>(const CXTime& b) const { return nCompare(b) > 0; }
  bool operator>=(const CXTime& b) const { return nCompare(b) >= 0; }
  bool operator<(const CXTime& b) const { return nCompare(b) < 0; }
  bool operator==(const CXTime& b) const { return nCompare(b) == 0; }
  int nCompare(const CXTime& b) const;

  static bool bBissextile(int nAnnee);
  static int nGetDayInMonth(int nMois, int nAnnee);

  // Output formats.
  std::string sDate() const;               // "%Y%m%d"
  std::string sHeureMinute() const;        // "%H%M"
  std::string sHeure() const;              // "%H%M%S"
  std::string sDateHeure() const;          // "%Y%m%d %H%M%S"
  std::string sDateHeureVX() const;        // "%Y%m%d%H%M%S" and milliseconds "%03d"
  std::string sHeureVX() const;            // "%H%M%S" and "%03d"
  std::string sLisible(bool bMillis = true) const;  // "%02d/%02d/%04d %02d:%02d:%02d[,%03d]"
  std::string sODBCDate() const;           // {d '...'}
  std::string sODBCHeure() const;          // {t '...'}
  std::string sODBCDateHeure() const;      // {ts '...'}

private:
  struct tm m_tm {};
  int m_nMillis = 0;
};
