// The calendar against independent oracles: day numbers over the whole
// range, days of the week, week numbers, Easter, and the validation of date
// and time strings with their error numbers.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/XError.h"
#include "dates/Calendrier.h"

namespace {

// Proleptic Gregorian ordinal (0001-01-01 = 1), written with the
// civil-from-days method, independent of the library's formula.
long ordinal(long y, long m, long d) {
  y -= m <= 2;
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 305;  // 0001-01-01 -> 1
}

int monthLength(int m, int y, bool julian) {
  static const int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = julian ? y % 4 == 0 : (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0));
  return len[m - 1] + (m == 2 && leap);
}

TEST(Calendar, LeapYears) {
  EXPECT_EQ(nBissextille(1900), 0);
  EXPECT_EQ(nBissextille(2000), 1);
  EXPECT_EQ(nBissextille(1500), 1) << "every fourth year before the reform";
  EXPECT_EQ(nBissextille(1582), 0);
  EXPECT_EQ(nBissextille(1600), 1);
  EXPECT_EQ(nBissextille(1700), 0);
  EXPECT_EQ(nBissextille(2024), 1);
}

TEST(Calendar, KnownDayNumbers) {
  long n = -1;
  ASSERT_TRUE(bJourGregorien(1, 1, 1800, &n));
  EXPECT_EQ(n, 1);
  ASSERT_TRUE(bJourGregorien(31, 12, 1799, &n));
  EXPECT_EQ(n, 0);
  ASSERT_TRUE(bJourGregorien(1, 3, 2000, &n));
  EXPECT_EQ(n, 73109);
  EXPECT_EQ(NumToNumSemaine(1), 3) << "1800-01-01 is a Wednesday";
  EXPECT_FALSE(bJourGregorien(29, 2, 2001, &n));
  EXPECT_FALSE(bJourGregorien(1, 1, 0, &n));
  EXPECT_FALSE(bJourGregorien(1, 1, 10000, &n));
}

// Every day from 1583-01-01 to 9999-12-31: the day number is the proleptic
// ordinal minus 657071, the day of the week follows the ordinal, and the
// number converts back to the same date.
TEST(Calendar, EveryDayFrom1583To9999) {
  long expected = ordinal(1583, 1, 1) - 657071;
  for (int y = 1583; y <= 9999; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= monthLength(m, y, false); ++d, ++expected) {
        long n = 0;
        ASSERT_TRUE(bJourGregorien(d, m, y, &n)) << y << "-" << m << "-" << d;
        ASSERT_EQ(n, expected) << y << "-" << m << "-" << d;
        ASSERT_EQ(NumToNumSemaine(n), static_cast<int>(ordinal(y, m, d) % 7)) << y << "-" << m << "-" << d;
        int dd, mm, yy;
        ASSERT_TRUE(bNumEnDate(n, &dd, &mm, &yy));
        ASSERT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + d);
      }
    }
  }
}

// Before 1583 the count goes on day after day with a leap year every fourth
// year, and stays the exact inverse of the dates.
TEST(Calendar, EveryDayBefore1583IsConsecutive) {
  long n0 = 0;
  ASSERT_TRUE(bJourGregorien(1, 1, 1, &n0));
  long expected = n0;
  for (int y = 1; y <= 1583; ++y) {
    for (int m = 1; m <= 12 && !(y == 1583 && m > 1); ++m) {
      for (int d = 1; d <= monthLength(m, y, y < 1583) && !(y == 1583 && d > 1); ++d, ++expected) {
        long n = 0;
        ASSERT_TRUE(bJourGregorien(d, m, y, &n)) << y << "-" << m << "-" << d;
        ASSERT_EQ(n, expected) << y << "-" << m << "-" << d;
        int dd, mm, yy;
        ASSERT_TRUE(bNumEnDate(n, &dd, &mm, &yy));
        ASSERT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + d);
      }
    }
  }
  int d, m, y;
  EXPECT_FALSE(bNumEnDate(n0 - 1, &d, &m, &y));
  long last = 0;
  bJourGregorien(31, 12, 9999, &last);
  EXPECT_FALSE(bNumEnDate(last + 1, &d, &m, &y));
}

TEST(Calendar, WeekNumbers) {
  struct Case {
    int y, m, d, week;
  };
  // 2023-01-01 is a Sunday (week 0 until the first Monday); 2015-01-01 a
  // Thursday (week 1); 2021-01-01 a Friday; 2020-12-31 ends week 53.
  const Case cases[] = {{2023, 1, 1, 0}, {2023, 1, 2, 1}, {2015, 1, 1, 1}, {2015, 12, 31, 53},
                        {2021, 1, 1, 0}, {2021, 1, 3, 0}, {2021, 1, 4, 1}, {2020, 12, 31, 53},
                        {2024, 1, 1, 1}, {2024, 12, 30, 53}};
  for (const auto& c : cases) {
    long n = 0;
    ASSERT_TRUE(bJourGregorien(c.d, c.m, c.y, &n));
    EXPECT_EQ(nNumeroSemaine(n), c.week) << c.y << "-" << c.m << "-" << c.d;
  }
}

TEST(Calendar, EasterSundays) {
  // Known Gregorian Easter dates.
  const char* known[][2] = {{"1583", "15830410"}, {"1818", "18180322"}, {"1943", "19430425"}, {"2000", "20000423"},
                            {"2008", "20080323"}, {"2011", "20110424"}, {"2024", "20240331"}, {"2025", "20250420"},
                            {"2038", "20380425"}, {"2285", "22850322"}};
  char out[16];
  for (auto& k : known) {
    ASSERT_TRUE(bPaques(std::stoi(k[0]), out));
    EXPECT_STREQ(out, k[1]);
  }
  EXPECT_FALSE(bPaques(1582, out));
  EXPECT_STREQ(out, "");
  EXPECT_FALSE(bPaques(10000, out));
  // Always a Sunday between 22 March and 25 April.
  for (int y = 1583; y <= 9999; y += 7) {
    ASSERT_TRUE(bPaques(y, out));
    int m = (out[4] - '0') * 10 + (out[5] - '0'), d = (out[6] - '0') * 10 + (out[7] - '0');
    long n = 0;
    ASSERT_TRUE(bJourGregorien(d, m, y, &n));
    EXPECT_EQ(NumToNumSemaine(n), 0) << out;
    EXPECT_TRUE((m == 3 && d >= 22) || (m == 4 && d <= 25)) << out;
  }
}

TEST(Calendar, DateValidationErrors) {
  struct Case {
    const char* date;
    unsigned code;
    const char* insert;
  };
  const Case cases[] = {{"2024010", 80121, nullptr},  {"202401011", 80121, nullptr}, {"2024O101", 80122, nullptr},
                        {"00000101", 80123, nullptr}, {"20241301", 80125, nullptr},  {"20240001", 80125, nullptr},
                        {"20010229", 80127, "2001"},  {"20240431", 80126, "30"},     {"20240100", 80126, "31"}};
  for (const auto& c : cases) {
    CXError e;
    int a, m, j;
    EXPECT_FALSE(bDateVerif(c.date, &a, &m, &j, &e)) << c.date;
    EXPECT_EQ(e.nGetUserErrorCode(), c.code) << c.date;
    if (c.insert != nullptr) {
      EXPECT_NE(std::string(e.pszGetUserMessage()).find(c.insert), std::string::npos) << e.pszGetUserMessage();
    }
  }
  int a, m, j;
  EXPECT_TRUE(bDateVerif("20000229", &a, &m, &j));
  EXPECT_EQ(a * 10000 + m * 100 + j, 20000229);
  EXPECT_TRUE(bDateValide("15821010")) << "no gap: the calendar runs on through 1582";
}

TEST(Calendar, TimeValidationErrors) {
  struct Case {
    const char* time;
    bool valid;
    unsigned code;
  };
  const Case cases[] = {{"23595999", true, 0}, {"", true, 0},           {"1230", true, 0},       {"123456789", true, 0},
                        {"12a0", false, 80128}, {"12306000", false, 80129}, {"12600000", false, 80130},
                        {"24000000", false, 80131}, {"99999999", false, 80129}};
  for (const auto& c : cases) {
    CXError e;
    int h, m, s, cc;
    EXPECT_EQ(bHeureVerif(c.time, &h, &m, &s, &cc, &e), c.valid) << c.time;
    EXPECT_EQ(e.nGetUserErrorCode(), c.code) << c.time;
  }
  long n = 0;
  ASSERT_TRUE(bNbCentieme("1230", &n));
  EXPECT_EQ(n, 12 * 360000 + 30 * 6000);
}

TEST(Calendar, SimpleDateFormats) {
  char out[64];
  ASSERT_TRUE(bDateVersChaine("20240105", "JJ/MM/AAAA", out));
  EXPECT_STREQ(out, "05/01/2024");
  ASSERT_TRUE(bDateVersChaine("20240105", "yy-mm-dd", out));
  EXPECT_STREQ(out, "24-01-05");
  ASSERT_TRUE(bChaineVersDate("05/01/2024", "JJ/MM/AAAA", out));
  EXPECT_STREQ(out, "20240105");
  ASSERT_TRUE(bChaineVersDate("05.01.51", "dd.mm.yy", out));
  EXPECT_STREQ(out, "19510105");
  ASSERT_TRUE(bChaineVersDate("05.01.50", "dd.mm.yy", out));
  EXPECT_STREQ(out, "20500105");
  EXPECT_FALSE(bChaineVersDate("05/01", "JJ/MM", out)) << "a year is needed";
  EXPECT_FALSE(bChaineVersDate("31/02/2024", "JJ/MM/AAAA", out)) << "not a date";
  EXPECT_FALSE(bChaineVersDate("5/1/2024", "JJ/MM/AAAA", out));
}

}  // namespace
