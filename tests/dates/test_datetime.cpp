// Date-time and duration values: shifts, texts, comparisons, the RFC forms
// and formatted durations.
#include <gtest/gtest.h>

#include <string>

#include "core/TString.h"
#include "core/VXDSTR.h"
#include "dates/DateHeure.h"

namespace {

CDateTimeBase dt(const char* text) {
  CDateTimeBase d;
  EXPECT_EQ(d.nFromString(text), 0) << text;
  return d;
}

TEST(DateTime, TextsAndFractions) {
  EXPECT_EQ(dt("20240105133045123").VersChaine(), "20240105133045123");
  EXPECT_EQ(dt("2024010513304512").VersChaine(), "20240105133045120") << "two digits are hundredths";
  EXPECT_EQ(dt("202401051330451").VersChaine(), "20240105133045100") << "one digit is tenths";
  EXPECT_EQ(dt("20240105").VersChaine(), "20240105000000000");
  EXPECT_EQ(dt("20240105133045123").VersChaineFormate(), "2024-1-5 13:30:45,123");
  CDateTimeBase d;
  EXPECT_EQ(d.nFromString("20241305"), 110);
  EXPECT_EQ(dt("20240105").nGetJourDeLaSemaine(), 5) << "a Friday";
}

TEST(DateTime, ShiftsKeepTheDayValid) {
  struct Case {
    const char* start;
    int months, years;
    const char* result;
  };
  const Case cases[] = {{"20230131", 1, 0, "20230228"}, {"20240131", 1, 0, "20240229"}, {"20000229", 0, 1, "20010228"},
                        {"20231115", 3, 0, "20240215"}, {"20240315", -3, 0, "20231215"}, {"20240131", -13, 0, "20221231"},
                        {"20240131", 25, 0, "20260228"}};
  for (const auto& c : cases) {
    CDateTimeBase d = dt(c.start);
    ASSERT_TRUE(d.bDecaleMois(c.months));
    ASSERT_TRUE(d.bDecaleAnnee(c.years));
    char buf[16];
    d.nVersDate(buf, sizeof buf);
    EXPECT_STREQ(buf, c.result) << c.start << " + " << c.months << " months, " << c.years << " years";
  }
  CDateTimeBase d = dt("20231231235959999");
  ASSERT_TRUE(d.bDecaleMilli(1));
  EXPECT_EQ(d.VersChaine(), "20240101000000000");
  ASSERT_TRUE(d.bDecaleMilli(-1));
  EXPECT_EQ(d.VersChaine(), "20231231235959999");
  ASSERT_TRUE(d.bDecaleMilli(-3 * MS_PAR_JOUR - 1000));
  EXPECT_EQ(d.VersChaine(), "20231228235958999");
  ASSERT_TRUE(d.bDecaleJour(366));
  EXPECT_EQ(d.VersChaine(), "20241228235958999");
  CDateTimeBase fin = dt("99991231");
  EXPECT_FALSE(fin.bDecaleJour(1));
  EXPECT_EQ(fin.VersChaine(), "99991231000000000") << "a refused shift changes nothing";
  char heure[10] = "235900000";
  ASSERT_TRUE(CDateTimeBase::s_bDecaleMilliHeure(heure, 120000));
  EXPECT_STREQ(heure, "000100000");
  char bad[10] = "256000000";
  EXPECT_FALSE(CDateTimeBase::s_bDecaleMilliHeure(bad, 1));
}

TEST(DateTime, SettersAndComparisons) {
  CDateTimeBase d = dt("20240331");
  EXPECT_TRUE(d.bModifieMois(4));
  EXPECT_EQ(d.m_byJour, 30) << "clamped to April";
  EXPECT_FALSE(d.bModifieMois(13));
  EXPECT_FALSE(d.bModifieHeure(24));
  EXPECT_TRUE(d.bModifieMinute(59));
  char text[18] = "20240105133045123";
  EXPECT_TRUE(CDateTimeBase::s_bModifie(text, 4, 7));
  EXPECT_STREQ(text, "20240105130745123");
  EXPECT_FALSE(CDateTimeBase::s_bModifie(text, 1, 13));
  CDateTimeBase a = dt("20240105"), b = dt("20240106");
  EXPECT_LT(CDateTimeBase::nCompare(&a, &b), 0);
  EXPECT_EQ(CDateTimeBase::nCompareDate("", ""), 0);
  EXPECT_LT(CDateTimeBase::nCompareDate("", "2024"), 0);
  EXPECT_EQ(CDateTimeBase::nCompareDate("2024", "20240105"), 0) << "over the shorter length";
  int days = 0;
  ASSERT_TRUE(CDateTimeBase::bCalculeDiffJour(&b, &a, &days));
  EXPECT_EQ(days, 1);
  CDureeBase duree;
  CDateTimeBase c = dt("20240106120000000");
  ASSERT_EQ(CDateTimeBase::nCalculeDuree(&c, &a, &duree), 0);
  EXPECT_EQ(duree.m_llMillis, MS_PAR_JOUR + 12 * 3600000LL);
}

TEST(DateTime, InternetForms) {
  CDateTimeBase d;
  ASSERT_EQ(d.nVersDate_RFC822("Tue, 3 Jun 2008 11:05:30 +0200"), 0);
  EXPECT_EQ(d.VersChaine(), "20080603090530000");
  ASSERT_EQ(d.nVersDate_RFC822("3 Jun 2008 11:05 EST"), 0);
  EXPECT_EQ(d.VersChaine(), "20080603160500000");
  ASSERT_EQ(d.nVersDate_RFC822("1 Jan 2000 00:30:00 -0100"), 0);
  EXPECT_EQ(d.VersChaine(), "20000101013000000");
  EXPECT_EQ(d.nVersDate_RFC822("3 Juin 2008 11:05:30 GMT"), 110);
  EXPECT_EQ(d.nVersDate_RFC822("nonsense"), 110);
  CTString s;
  dt("20080603090530000").nVersChaine_RFC822(s);
  EXPECT_STREQ(s.pszGet(), "3 Jun 2008 09:05:30 Z");
  CTString r;
  dt("20080603090530000").nVersChaine_RFC3339(r);
  EXPECT_STREQ(r.pszGet(), "2008-06-03T09:05:30Z");
  ASSERT_EQ(d.nVersDate_RFC3339("2008-06-03T11:05:30.5+02:00", true), 0);
  EXPECT_EQ(d.VersChaine(), "20080603090530500");
  ASSERT_EQ(d.nVersDate_RFC3339("2008-06-03T11:05:30+02:00", false), 0);
  EXPECT_EQ(d.VersChaine(), "20080603110530000") << "the offset only when UTC is asked";
  ASSERT_EQ(d.nVersDate_RFC3339("2008-06-03T23:30:00-01:00", true), 0);
  EXPECT_EQ(d.VersChaine(), "20080604003000000");
  ASSERT_EQ(d.nVersDate_RFC3339("", true), 0);
  EXPECT_EQ(d.m_wAnnee, 0);
}

TEST(Durations, TextForms) {
  struct Case {
    long long ms;
    const char* text;
    const char* hundredths;
  };
  const Case cases[] = {{-1, "-0000000001", "-000000000"},
                        {0, "0000000000", "000000000"},
                        {90061001, "1010101001", "101010100"},
                        {-90061001, "-1010101001", "-101010100"},
                        {100 * MS_PAR_JOUR + 999, "100000000999", "10000000099"}};
  for (const auto& c : cases) {
    CDureeBase d{c.ms};
    EXPECT_EQ(d.VersChaine(), c.text);
    EXPECT_EQ(d.VersChaineCentieme(), c.hundredths);
    CDureeBase back;
    ASSERT_EQ(back.nDepuisChaine(c.text), 0) << c.text;
    EXPECT_EQ(back.m_llMillis, c.ms);
  }
  CDureeBase d;
  EXPECT_EQ(d.nDepuisChaine("000000000"), 112) << "9 characters in the milliseconds form";
  EXPECT_EQ(d.nDepuisChaineCentieme("000000000"), 0);
  EXPECT_EQ(d.nDepuisChaine("+0010000000"), 0);
  EXPECT_EQ(d.m_llMillis, 3600000);
  EXPECT_EQ(d.nDepuisChaine("00100000a0"), 112);
}

TEST(Durations, FormattedTexts) {
  // French letters: J, H, M, S, L.
  CDureeBase d{-(2 * MS_PAR_JOUR + 3 * 3600000LL + 4 * 60000 + 5 * 1000 + 678)};
  CVXDSTR s;
  ASSERT_EQ(nDureeVersChaine(&d, &s, "+J j HH:MM:SS.LLL"), 0);
  EXPECT_STREQ(s.pszGet(), "-2 j 03:04:05.678");
  nDureeVersChaine(&d, &s, "HH:MM:SS,LL");
  EXPECT_STREQ(s.pszGet(), "03:04:05,67");
  nDureeVersChaine(&d, &s, "SS.L");
  EXPECT_STREQ(s.pszGet(), "05.6");
  CDureeBase back;
  ASSERT_EQ(nChaineVersDuree(&back, "-2 j 03:04:05.678", "+J j HH:MM:SS.LLL"), 0);
  EXPECT_EQ(back.m_llMillis, d.m_llMillis);
  ASSERT_EQ(nChaineVersDuree(&back, "12345 03:04", "J HH:MM"), 0);
  EXPECT_EQ(back.m_llMillis, 12345 * MS_PAR_JOUR + 3 * 3600000LL + 4 * 60000);
  ASSERT_EQ(nChaineVersDuree(&back, "05,6", "SS,L"), 0);
  EXPECT_EQ(back.m_llMillis, 5600);
  nDureeVersChaine(&d, &s, "");
  EXPECT_STREQ(s.pszGet(), "-2030405678");
}

TEST(SystemTime, FileTimesRoundTrip) {
  SYSTEMTIME st{2024, 2, 0, 29, 23, 59, 58, 999}, back{};
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(back.wYear, 2024);
  EXPECT_EQ(back.wMonth, 2);
  EXPECT_EQ(back.wDay, 29);
  EXPECT_EQ(back.wDayOfWeek, 4) << "a Thursday";
  EXPECT_EQ(back.wMilliseconds, 999);
  // 1601-01-01 is the origin; 1970-01-01 is 116444736000000000.
  SYSTEMTIME epoch{1970, 1, 0, 1, 0, 0, 0, 0};
  ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
  EXPECT_EQ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, 116444736000000000ULL);
  SYSTEMTIME bad{2023, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
}

}  // namespace

#include "dates/XTime.h"

namespace {

TEST(XTime, TextsAndOutputForms) {
  CXTime t;
  ASSERT_TRUE(t.bSetVXDateTime("20240105 13304512"));
  EXPECT_EQ(t.sDateHeureVX(), "20240105133045120");
  ASSERT_TRUE(t.bSetVXDateTime("20240105133045123"));
  EXPECT_EQ(t.sLisible(), "05/01/2024 13:30:45,123");
  EXPECT_EQ(t.sLisible(false), "05/01/2024 13:30:45");
  EXPECT_EQ(t.sDateHeure(), "20240105 133045");
  EXPECT_EQ(t.sHeureMinute(), "1330");
  EXPECT_EQ(t.sODBCDate(), "{d '2024-01-05'}");
  EXPECT_EQ(t.sODBCHeure(), "{t '13:30:45.123'}");
  EXPECT_EQ(t.sODBCDateHeure(), "{ts '2024-01-05 13:30:45.123'}");
  EXPECT_FALSE(t.bSetVXDateTime("20240105133045")) << "at least 16 characters";
  EXPECT_FALSE(t.bSetVXDateTime("20241305133045123"));
  ASSERT_TRUE(t.bSetVXTime("235959"));
  EXPECT_EQ(t.sHeureVX(), "235959000");
  ASSERT_TRUE(t.bSetVXDateTimeMin("2024"));
  EXPECT_EQ(t.sDateHeureVX(), "20240101000000000");
  ASSERT_TRUE(t.bSetVXDateTimeMax("202402"));
  EXPECT_EQ(t.sDateHeureVX(), "20240229235959999");
  ASSERT_TRUE(t.bSetVXDateTimeMax("2023"));
  EXPECT_EQ(t.sDateHeureVX(), "20231231235959999");
  EXPECT_FALSE(t.bSetVXDateTimeMax("20xx"));
}

TEST(XTime, ClockFormsAndComparisons) {
  CXTime a, b;
  ASSERT_TRUE(a.bSetDOS(static_cast<WORD>((2024 - 1980) << 9 | 1 << 5 | 5), static_cast<WORD>(13 << 11 | 30 << 5 | 22)));
  EXPECT_EQ(a.sDateHeure(), "20240105 133044");
  EXPECT_EQ(a.wGetDOSDate(), (2024 - 1980) << 9 | 1 << 5 | 5);
  EXPECT_EQ(a.wGetDOSTime(), 13 << 11 | 30 << 5 | 22);
  ASSERT_TRUE(b.bSetUTC(0));
  EXPECT_EQ(b.sDateHeure(), "19700101 000000");
  ASSERT_TRUE(b.bSetUTC(4102444800));  // past 2038
  EXPECT_EQ(b.sDate(), "21000101");
  EXPECT_TRUE(b > a);
  EXPECT_TRUE(a >= a);
  CDateTimeBase d;
  ASSERT_EQ(d.nFromString("20240105133044500"), 0);
  CXTime c;
  ASSERT_TRUE(c.bSet(d));
  EXPECT_TRUE(c > a) << "milliseconds count last";
  SYSTEMTIME st;
  ASSERT_TRUE(c.bGetAsSystemTime(&st));
  EXPECT_EQ(st.wMilliseconds, 500);
  EXPECT_EQ(st.wDayOfWeek, 5);
  EXPECT_FALSE(c.bSet(2023, 2, 29, 0, 0, 0));
  EXPECT_TRUE(c.bEstVide());
  EXPECT_EQ(CXTime::nGetDayInMonth(2, 1500), 29);
}

}  // namespace
