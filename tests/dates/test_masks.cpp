// Date-time masks: formatting zone by zone, names from the language
// information or the messages, AM/PM, fixed width, and reading back.
#include <gtest/gtest.h>

#include <string>

#include "InfoLangue.h"
#include "core/TString.h"
#include "dates/DateHeure.h"
#include "dates/MasqueDateHeure.h"

namespace {

std::string format(const char* mask, const char* value, int date = 1, IInfoLangue* info = nullptr, int flags = 0,
                   const char* ret = nullptr) {
  CMasqueDateHeure m(mask, date, ret);
  m.SetInfoLangue(info);
  CTString out;
  m.FormateEx(value, &out, flags);
  return out.pszGet();
}

std::string read(const char* mask, const char* text, int date = 1, IInfoLangue* info = nullptr, const char* ret = nullptr) {
  CMasqueDateHeure m(mask, date, ret);
  m.SetInfoLangue(info);
  CTString out;
  m.DeformateDateHeure(text, &out);
  return out.pszGet();
}

TEST(Masks, DatesZoneByZone) {
  kvhost::InfoLangue fr(false), en(true);
  EXPECT_EQ(format("JJ/MM/AAAA", "20240105"), "05/01/2024");
  EXPECT_EQ(format("J/M/AA", "20240105"), "5/1/24");
  EXPECT_EQ(format("JJJJ JJ MMMM AAAA", "20240105", 1, &fr), "vendredi 05 janvier 2024");
  EXPECT_EQ(format("DDDD, MMMM D, YYYY", "20240105", 1, &en), "Friday, January 5, 2024");
  EXPECT_EQ(format("JJJJ JJ MMMM AAAA", "20240105"), "vendredi 05 janvier 2024") << "from the messages";
  EXPECT_EQ(format("JJJ MMM", "20240705", 1, &fr), "ven juil") << "jui keeps 4 letters";
  EXPECT_EQ(format("MMM", "20240605", 1, &fr), "juin");
  EXPECT_EQ(format("JJ \\J MM", "20240105"), "05 J 01") << "an escaped letter is a literal";
  EXPECT_EQ(format("JJ/MM/AAAA", "202401__"), "__/01/2024") << "an unknown day";
  EXPECT_EQ(format("J/M/AA", "20240105", 1, nullptr, 1), "05/01/24") << "fixed width";
  EXPECT_EQ(format("MMMM AAAA", "20240105", 1, &fr, 1), "01 2024") << "a name as digits in fixed width";
}

TEST(Masks, TimesAndAmPm) {
  kvhost::InfoLangue en(true);
  EXPECT_EQ(format("HH:mm AM", "13050000", 0, &en), "01:05 PM");
  EXPECT_EQ(format("HH:mm AM", "00100000", 0, &en), "12:10 AM");
  EXPECT_EQ(format("HH:mm AM", "12000000", 0, &en), "12:00 PM");
  EXPECT_EQ(format("H:MM:SS", "09050700", 0), "9:05:07");
  EXPECT_EQ(format("HH:MM:SS,CC", "09050712", 0), "09:05:07,12");
  EXPECT_EQ(format("HH:MM:SS.CCC", "09050712", 0), "09:05:07.120");
}

TEST(Masks, DateAndTimeMasks) {
  // With a date-and-time return format, MM is the month and mm the minutes.
  EXPECT_EQ(format("AAAA-MM-JJ HH:mm:SS", "20240105133045", 1, nullptr, 0, "AAAAMMJJHHmmSS"), "2024-01-05 13:30:45");
  EXPECT_EQ(read("JJ/MM/AAAA HH:mm", "05/01/2024 13:30", 1, nullptr, "AAAAMMJJHHmmSS"), "20240105133000");
}

TEST(Masks, ReadingBack) {
  kvhost::InfoLangue fr(false), en(true);
  EXPECT_EQ(read("JJ/MM/AAAA", "05/01/2024"), "20240105");
  EXPECT_EQ(read("J/M/AA", "5/1/24"), "20240105") << "a 2-digit year is in the 2000s";
  EXPECT_EQ(read("J MMMM AAAA", "5 janvier 2024", 1, &fr), "20240105");
  EXPECT_EQ(read("J MMM AAAA", "5 juil 2024", 1, &fr), "20240705");
  EXPECT_EQ(read("MMMM AAAA", "March 2024", 1, &en), "20240301") << "no day zone: the first";
  EXPECT_EQ(read("JJ/MM/AAAA", "35/14/2024"), "20241231") << "kept within the zones' bounds";
  EXPECT_EQ(read("JJ/MM/AAAA", "__/01/2024"), "") << "a day zone not given";
  EXPECT_EQ(read("JJ/MM/AAA_", "05/01/202_"), "20200105");
  // Only the day: this month and year (not checked in the rare run where
  // the month turns during the call).
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  std::string onlyDay = read("JJ/MM/AAAA", "05");
  GetLocalTime(&after);
  if (before.wMonth == after.wMonth && before.wYear == after.wYear) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "%04d%02d05", before.wYear, before.wMonth);
    EXPECT_EQ(onlyDay, expected) << "only the day: this month and year";
  }
  EXPECT_EQ(read("HH:MM AM", "01:05 PM", 0, &en), "13050000");
  EXPECT_EQ(read("HH:MM AM", "12:10 am", 0, &en), "00100000");
  EXPECT_EQ(read("HH:MM", "09", 0), "09000000") << "minutes default to 0";
  EXPECT_EQ(read("HH:MM", "xx", 0), "");
}

TEST(Masks, SystemMasks) {
  kvhost::InfoLangue fr(false), en(true);
  EXPECT_EQ(format("UseSystemMask", "20240105", 1, &fr), "05/01/2024");
  EXPECT_EQ(format("usesystemmask", "20240105", 1, &en), "01/05/2024");
  EXPECT_EQ(format("UseSystemMask", "20240105"), "05/01/2024") << "dd/MM/yyyy without language information";
  EXPECT_EQ(format("UseSystemMask", "13050700", 0, &en), "01:05:07 PM");
  CMasqueDateHeure m("x", 1, "AAAAMMJJHHmmSS");
  m.SetInfoLangue(&en);
  CTString s;
  m.GetMasqueSysteme(&s);
  EXPECT_STREQ(s.pszGet(), "MM/JJ/AAAA HH:mm:SS AM");
}

}  // namespace
