// Number formatting through the stand-in VM: the language's formats, the
// thousands separators, rounding, and the disk-size display.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Host.h"
#include "numbers/FormatNumerique.h"
#include "support/TestHost.h"

namespace {

using kvhost::Value;

class Numbers : public ::testing::Test {
protected:
  kvhost::Host host{testOptions()};
  std::string num(Value v, const char* format) {
    auto r = host.call("NumeriqueVersChaine", {std::move(v), Value::text(format)});
    last = r.error;
    return r.value.bytes;
  }
  kvhost::ErrorInfo last;
};

TEST_F(Numbers, LanguageFormats) {
  struct Case {
    double value;
    const char* format;
    const char* text;
  };
  const Case cases[] = {
      {3.14159, "%5.2f", " 3.14"},         {1234567.891, "+8.2fS", "+1 234 567.89"},
      {2.7, "d", "3"},                     {-2.7, "d", "-3"},
      {1.5, "12,3f", "       1.500"},      {2.675, ".2f", "2.68"},
      {1.005, ".2f", "1.01"},              {255, "x", "ff"},
      {255, "X", "FF"},                    {8, "o", "10"},
      {123456, "e", "1.234560e+05"},       {-5, "-6d|", "-5    "},
      {1234567, "dS", "1 234 567"},        {1234567, "12dS", "   1 234 567"},
      {42, "%+d", "+42"},                  {0.5, "f", "0.500000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(num(Value::realValue(c.value), c.format), c.text) << c.value << " " << c.format;
    EXPECT_FALSE(last.isError()) << c.format;
  }
  EXPECT_EQ(num(Value::integer64(12345678901234LL), "dS"), "12 345 678 901 234") << "an exact 64-bit integer";
}

// Exact halves and the decimals that binary stores just below a half round
// away from zero, the same in every build.
TEST_F(Numbers, HalvesRoundAwayFromZero) {
  const struct {
    double value;
    const char* format;
    const char* text;
  } cases[] = {
      {0.5, ".0f", "1"},       {1.5, ".0f", "2"},        {2.5, ".0f", "3"},         {-2.5, ".0f", "-3"},
      {0.125, ".2f", "0.13"},  {-0.125, ".2f", "-0.13"}, {0.375, ".2f", "0.38"},    {2.675, ".2f", "2.68"},
      {1.005, ".2f", "1.01"},  {8.345, ".2f", "8.35"},   {1.0005, ".3f", "1.001"},  {1000000.5, ".0f", "1000001"},
      {2.5, "d", "3"},         {-0.5, "d", "-1"},        {1.25, ".1e", "1.3e+00"},  {-1.25, ".1E", "-1.3E+00"},
      {4.5, "6.0f", "     5"}, {-4.5, "+06.0f", "-0005"},
  };
  for (const auto& c : cases) EXPECT_EQ(num(Value::realValue(c.value), c.format), c.text) << c.value << " " << c.format;
}

// Exponents: only a real 3-digit exponent starting with 0 is shortened;
// the padding after a 2-digit exponent stays where it is.
TEST_F(Numbers, ExponentsKeepTheirDigits) {
  const struct {
    double value;
    const char* format;
    const char* text;
  } cases[] = {
      {2.5, "-12.1e", "2.5e+00     "},       {2.5, "-18e", "2.500000e+00      "},
      {2.5, "-+20E", "+2.500000E+00       "}, {2.5e100, "-12.1e", "2.5e+100    "},
      {2.5e-100, "12.1e", "    2.5e-100"},   {-1.5e-7, "-10.1e", "-1.5e-07  "},
      {123456, "e", "1.234560e+05"},          {1.5, "012.1e", "000001.5e+00"},
  };
  for (const auto& c : cases) EXPECT_EQ(num(Value::realValue(c.value), c.format), c.text) << c.format;
}

// An integer goes to the formatter as 64 bits only when it is one (or a
// currency value): a negative 32-bit value prints through its 32 bits.
TEST_F(Numbers, IntegerWidthsInHexAndOctal) {
  const struct {
    Value value;
    const char* format;
    const char* text;
  } cases[] = {
      {Value::integer32(-1), "x", "ffffffff"},
      {Value::integer32(-1), "X", "FFFFFFFF"},
      {Value::integer32(-1), "o", "37777777777"},
      {Value::integer32(-1), "O", "37777777777"},
      {Value::integer32(-2), "10x", "  fffffffe"},
      {Value::realValue(-1), "x", "ffffffff"},
      {Value::integer32(0x1e0050), "x", "1e0050"},
      {Value::integer32(-5), "d", "-5"},
      {Value::integer64(-5000000000LL), "x", "fffffffed5fa0e00"},
      {Value::integer64(5000000000LL), "x", "12a05f200"},
      {Value::realValue(5e9), "x", "12a05f200"},
      {Value::realValue(5e9), "d", "5000000000"},
  };
  for (const auto& c : cases) EXPECT_EQ(num(c.value, c.format), c.text) << c.format;
}

TEST_F(Numbers, EmptyFormatsAndTexts) {
  EXPECT_EQ(host.call("NumToString", {Value::integer32(12)}).value.bytes, "12");
  EXPECT_EQ(host.call("NumToString", {Value::realValue(2.5)}).value.bytes, "2.5");
  EXPECT_EQ(host.call("NumToString", {Value::text("déjà du texte")}).value.bytes, "déjà du texte");
  EXPECT_EQ(num(Value::text("abc"), "5.2f"), "abc") << "a text is returned unchanged";
}

TEST_F(Numbers, InvalidFormats) {
  for (const char* format : {"101f", "5.101f", "5.2q", "abc"}) {
    EXPECT_EQ(num(Value::realValue(1), format), "") << format;
    EXPECT_EQ(last.code, 80270u) << format;
  }
}

TEST_F(Numbers, DiskSizes) {
  auto size = [&](long long n, std::vector<Value> unit = {}) {
    std::vector<Value> args{Value::integer64(n)};
    for (auto& u : unit) args.push_back(u);
    auto r = host.call("TailleVersChaine", args);
    last = r.error;
    return r.value.bytes;
  };
  EXPECT_EQ(size(1023), "1023 octets");
  EXPECT_EQ(size(1536), "1.50 Ko");
  EXPECT_EQ(size(5LL << 30), "5.00 Go");
  EXPECT_EQ(size(5LL << 50), "5120.00 To") << "terabytes at most";
  EXPECT_EQ(size(1536, {Value::integer32(1)}), "1536 octets");
  EXPECT_EQ(size(1536, {Value::integer32(3)}), "0.00 Mo");
  EXPECT_EQ(size(1536, {Value::integer32(6)}), "");
  EXPECT_EQ(last.code, 81507u);
}

TEST(NumberHelpers, DigitsAndFormatAnalysis) {
  int n = 0;
  EXPECT_TRUE(bChaineVersEntier("-12x", &n, true));
  EXPECT_EQ(n, -12);
  EXPECT_FALSE(bChaineVersEntier("-12", &n, false));
  EXPECT_TRUE(bChaineNumerique("-123", 4, true));
  EXPECT_FALSE(bChaineNumerique("1-23", 4, true));
  EXPECT_TRUE(bChaineNumerique("", 0, false));
  _stFMTINFO info;
  ASSERT_TRUE(CHAINE_bAnalyseFormat("-08,3lES", &info));
  EXPECT_EQ(info.cType, 'E');
  EXPECT_EQ(info.nLargeur, 8);
  EXPECT_EQ(info.nPrecision, 3);
  EXPECT_EQ(info.wFlags & (FMT_GAUCHE | FMT_ZEROS | FMT_VIRGULE | FMT_LONG | FMT_MILLIERS),
            FMT_GAUCHE | FMT_VIRGULE | FMT_LONG | FMT_MILLIERS)
      << "left alignment cancels zero padding";
  ASSERT_TRUE(CHAINE_bAnalyseFormat("xS", &info));
  EXPECT_EQ(info.wFlags & FMT_MILLIERS, 0) << "no separators in hexadecimal";
  char format[32];
  ASSERT_TRUE(CHAINE_bAnalyseFormat("+010.2f", &info));
  CHAINE_nFmtInfo2Format(format, &info);
  EXPECT_STREQ(format, "%+010.2f");
}

}  // namespace
