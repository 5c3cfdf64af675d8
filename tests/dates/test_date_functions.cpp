// The language's date, time and duration functions through the stand-in VM:
// results, error numbers, both languages, and UTC across a change of
// daylight saving time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "Host.h"
#include "support/HostTest.h"

namespace {

using kvhost::Value;

class DateFunctions : public HostTest {
protected:
  std::string text(const char* name, std::vector<Value> args) { return call(name, std::move(args)).bytes; }
};

TEST_F(DateFunctions, IntegersAndDates) {
  EXPECT_EQ(text("EntierVersDate", {I(1)}), "18000101");
  EXPECT_EQ(text("IntegerToDate", {I(73109), T("M")}), "03");
  EXPECT_EQ(text("EntierVersDate", {I(73109), T("annee")}), "2000");
  EXPECT_EQ(text("EntierVersDate", {I(73109), T("d")}), "01");
  EXPECT_EQ(text("EntierVersDate", {I(73109), T("x")}), "20000301");
  EXPECT_EQ(text("EntierVersDate", {I(-700000)}), "");
  EXPECT_EQ(last.code, 80132u);
  EXPECT_EQ(call("DateVersEntier", {T("20000301")}).integer, 73109);
  EXPECT_EQ(call("DateToInteger", {T("20000301"), Value::boolean(true)}).integer, 61);
  EXPECT_EQ(call("DateVersEntier", {T("20001301")}).integer, -1);
  EXPECT_EQ(last.code, 80125u);
  EXPECT_EQ(call("EntierVersJour", {I(1)}).integer, 3) << "a Wednesday";
  EXPECT_EQ(call("DateVersJour", {T("20240107")}).integer, 7) << "Sunday is 7";
  EXPECT_EQ(call("NumeroDeSemaine", {T("20230101")}).integer, 0);
  EXPECT_EQ(call("DateToWeekNumber", {T("20150101")}).integer, 1);
  EXPECT_EQ(call("EntierVersNumeroDeSemaine", {I(0)}).integer, 53) << "1799-12-31";
  EXPECT_EQ(call("DateValide", {T("20010229")}).integer, 0);
  EXPECT_FALSE(last.isError()) << "validation does not raise";
  EXPECT_EQ(call("DateEstValide", {T("20000229")}).integer, 1);
}

TEST_F(DateFunctions, Times) {
  EXPECT_EQ(text("EntierVersHeure", {I(8640000)}), "24000000") << "hours are not wrapped";
  EXPECT_EQ(text("EntierVersHeure", {I(4530012)}), "12350012");
  EXPECT_EQ(text("EntierVersHeure", {I(-1)}), "");
  EXPECT_EQ(last.code, 80120u);
  EXPECT_EQ(call("HeureVersEntier", {T("12350012")}).integer, 4530012);
  EXPECT_EQ(call("HeureVersEntier", {T("12650012")}).integer, -1);
  EXPECT_EQ(last.code, 80130u);
  EXPECT_EQ(call("HeureValide", {T("2400")}).integer, 0);
  EXPECT_EQ(call("TimeIsValid", {T("2359")}).integer, 1);
  EXPECT_EQ(text("HeureVersChaine", {T("13054500"), T("HH:MM AP")}), "01:05 PM");
  EXPECT_EQ(text("HeureVersChaine", {T("12000000"), T("HH:MM AP")}), "12:00 PM");
  EXPECT_EQ(text("HeureVersChaine", {T("00300000"), T("hh:mm ap")}), "00:30 AM");
  EXPECT_EQ(text("HeureVersChaine", {T("13054512"), T("HHhMM SS.CC")}), "13h05 45.12");
  EXPECT_EQ(text("HeureVersChaine", {T("13054512")}), "13:05:45:12");
  // The one-argument form is the two-argument form with its default mask.
  EXPECT_EQ(text("HeureVersChaine", {T("13054512")}), text("TimeToString", {T("13054512"), T("HH:MM:SS:CC")}));
  EXPECT_EQ(text("HeureVersChaine", {T("1360")}), "");
  EXPECT_EQ(last.code, 80130u);
}

TEST_F(DateFunctions, MasksInBothLanguages) {
  EXPECT_EQ(text("DateVersChaine", {T("20240105")}), "05/01/2024");
  EXPECT_EQ(text("DateVersChaine", {T("")}), "");
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(text("DateVersChaine", {T("20241305")}), "");
  EXPECT_EQ(last.code, 80125u);
  EXPECT_EQ(text("DateVersChaine", {T("20240105"), T("JJJJ JJ MMMM AAAA")}), "vendredi 05 janvier 2024");
  EXPECT_EQ(text("DateVersChaine", {T("20240105"), T("UseSystemMask")}), "05/01/2024");
  EXPECT_EQ(text("ChaineVersDate", {T("05/01/2024")}), "20240105");
  EXPECT_EQ(text("ChaineVersDate", {T("5/1/2024")}), "") << "the plain form is JJ/MM/AAAA";
  EXPECT_EQ(text("ChaineVersDate", {T("5 janvier 2024"), T("j mmmm aaaa")}), "20240101")
      << "a lone j is not raised: a literal, and a mask without day gives the first";
  EXPECT_EQ(text("ChaineVersDate", {T("05 janvier 2024"), T("jj mmmm aaaa")}), "20240105")
      << "mmmm is raised before mm";
  EXPECT_EQ(text("ChaineVersDate", {T("05 jan. 2024"), T("jj mmm. aaaa")}), "20240105");
  EXPECT_EQ(text("ChaineVersDate", {T("05 juil 2024"), T("jj mmm aaaa")}), "20240705");
  EXPECT_EQ(text("EntierVersJourEnLettre", {I(1)}), "mercredi");
  EXPECT_EQ(text("DateVersMoisEnLettre", {T("20240815")}), "ao\xFBt");
  kvhost::Host english(testOptions(kvhost::Language::English));
  EXPECT_EQ(english.call("DateToString", {T("20240105"), T("UseSystemMask")}).value.bytes, "01/05/2024");
  EXPECT_EQ(english.call("DateToString", {T("20240105"), T("DDDD, MMMM D")}).value.bytes, "Friday, January 5");
  EXPECT_EQ(english.call("IntegerToMonthInAlpha", {I(1)}).value.bytes, "January");
  auto err = english.call("DateToString", {T("20241305")});
  EXPECT_EQ(err.error.code, 80125u);
  EXPECT_NE(err.error.message.find("month"), std::string::npos) << err.error.message;
}

TEST_F(DateFunctions, Differences) {
  EXPECT_EQ(call("DateDifference", {T("20240101"), T("20240301")}).integer, 60);
  EXPECT_EQ(call("DateDifference", {T("20240101"), T("2024")}).integer, -1);
  EXPECT_EQ(last.code, 80134u);
  EXPECT_EQ(call("HeureDifference", {T("12000000"), T("11000000")}).integer, -360000);
  EXPECT_EQ(call("HeureDifference", {T("25000000"), T("11000000")}).integer, -1);
  EXPECT_EQ(last.code, 80135u);
  EXPECT_EQ(text("DateHeureDifference", {T("2024010200000000"), T("2024010100000000")}), "-000000100000000");
  EXPECT_EQ(text("DateHeureDifference", {T("2024010112000000"), T("2024010313304512")}), "+000000201304512");
  EXPECT_EQ(text("DateHeureDifference", {T("20240101"), T("x")}), "");
  EXPECT_EQ(last.code, 80134u);
}

TEST_F(DateFunctions, DurationsAgeAndEaster) {
  EXPECT_EQ(text("DureeVersChaine", {Value::duration(-1), I(0)}), "-0000000001");
  EXPECT_EQ(text("DurationToString", {Value::duration(90061001), I(1)}), "101010100");
  EXPECT_EQ(text("DureeVersChaine", {Value::duration(90061001), T("J j HH:MM:SS,LLL")}), "1 j 01:01:01,001");
  EXPECT_EQ(call("ChaineVersDuree", {T("1010101001"), I(0)}).integer, 90061001);
  EXPECT_EQ(call("ChaineVersDuree", {T("101010100"), I(1)}).integer, 90061000);
  EXPECT_EQ(call("StringToDuration", {T("1 j 01:01:01,001"), T("J j HH:MM:SS,LLL")}).integer, 90061001);
  EXPECT_EQ(call("ChaineVersDuree", {T("000000000"), I(0)}).integer, 0);
  EXPECT_FALSE(last.isError()) << "an unreadable text is a zero duration";
  struct Case {
    const char *birth, *reference, *age;
  };
  for (auto c : {Case{"20000229", "20010228", "00001130"}, Case{"20000131", "20000301", "00000101"},
                 Case{"19800615", "20240615", "00440000"}, Case{"19800615", "20240614", "00431130"},
                 Case{"20240315", "20240101", ""}, Case{"20241301", "20240101", ""}, Case{"20230131", "20230301", "00000101"}})
    EXPECT_EQ(text("Age", {T(c.birth), T(c.reference)}), c.age) << c.birth << " " << c.reference;
  EXPECT_EQ(text("Age", {T("30000101")}), "");
  EXPECT_EQ(text("Paques", {I(2024)}), "20240331");
  EXPECT_EQ(text("Easter", {T("2025xyz")}), "20250420");
  EXPECT_EQ(text("Paques", {I(1582)}), "");
  EXPECT_EQ(text("Paques", {I(10000)}), "");
}

TEST_F(DateFunctions, TheClock) {
  std::string today = text("DateSys", {});
  ASSERT_EQ(today.size(), 8u);
  time_t t = time(nullptr);
  tm local{};
  localtime_r(&t, &local);
  char expected[16];
  std::strftime(expected, sizeof expected, "%Y%m%d", &local);
  EXPECT_EQ(today, expected);
  EXPECT_EQ(text("Maintenant", {}).size(), 8u);
  EXPECT_EQ(text("DateDuJour", {}), today);
  // Setting the clock: validation and the failure path only, never a change.
  call("DateSys", {T("20241301")});
  EXPECT_EQ(last.code, 80125u);
  call("HeureSys", {T("2500")});
  EXPECT_EQ(last.code, 80131u);
  call("DateSys", {T("99991231")});  // beyond what the system clock can hold
  EXPECT_TRUE(last.isError());
  EXPECT_NE(last.systemCode, 0u);
  EXPECT_EQ(text("DateSys", {}), today);
}

// UTC and local time with Paris rules across the change of 31 March 2024
// (02:00 local becomes 03:00).
TEST(DateFunctionsUtc, AcrossDaylightSaving) {
  const char* old = std::getenv("TZ");
  std::string saved = old != nullptr ? old : "";
  setenv("TZ", "Europe/Paris", 1);
  tzset();
  {
    kvhost::Host host(testOptions());
    auto toLocal = [&](const char* utc) { return host.call("DateHeureUTCVersLocale", {T(utc)}).value.bytes; };
    auto toUtc = [&](const char* local) { return host.call("DateHeureLocaleVersUTC", {T(local)}).value.bytes; };
    EXPECT_EQ(toLocal("20240331005959999"), "20240331015959999") << "winter: one hour";
    EXPECT_EQ(toLocal("20240331010000000"), "20240331030000000") << "summer: two hours";
    EXPECT_EQ(toLocal("20240115120000000"), "20240115130000000");
    EXPECT_EQ(toLocal("20240715120000000"), "20240715140000000");
    EXPECT_EQ(toLocal("20991231230000000"), "21000101000000000") << "past 2038";
    EXPECT_EQ(toUtc("20240715140000000"), "20240715120000000");
    EXPECT_EQ(toUtc("20241027013000000"), "20241026233000000");
    auto bad = host.call("DateHeureUTCVersLocale", {T("20240115250000000")});
    EXPECT_EQ(bad.error.code, 80051u);
    EXPECT_EQ(bad.value.bytes, "");
  }
  if (old != nullptr) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace
