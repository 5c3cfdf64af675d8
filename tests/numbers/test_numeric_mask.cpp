// Numeric display masks: parts, colours, digit positions, separators,
// signs, rounding, percentages, the edit mode and reading a text back.
#include <gtest/gtest.h>

#include <string>

#include "numbers/MasqueNumerique.h"

namespace {

std::string Format(const char* mask, const char* value, bool edit = false) {
  CMasqueNumerique m(mask);
  m.SetSeparateurs(' ', ',');
  CTString out;
  m.MetAuFormat(value, &out, edit);
  return out.pszGet();
}

TEST(NumericMask, Formats) {
  struct Case {
    const char* mask;
    const char* value;
    const char* expected;
  } cases[] = {
      {"999 999.99", "1234.5", "1 234,50"},   {"999 999,99", "5", "5,00"},
      {"000 000", "5", "000 005"},            {"999 000", "5", " 005"},
      {"999", "12345", "###"},                {"9.99", "2.345", "2,35"},
      {"9.99", "-2.345", "-2,35"},            {"-999.99", "-12.5", "-12,50"},
      {"-999.99", "12.5", "12,50"},           {"(999.99)", "-12.5", "(12,50)"},
      {"(999.99)", "12.5", "12,50"},          {"+999;(999)", "-5", "(5)"},
      {"+999;(999)", "5", "+5"},              {"+999", "-5", "-5"},
      {"+999", "5", "5"},                     {"--999", "5", "-5"},
      {"999%", "0.125", "13%"},               {"99.9 $", "3.14", "3,1 $"},
      {"99$$", "5", "5$"},                    {"\\999", "5", "95"},
      {"999;-999;zero", "0", "zero"},         {"999;-999", "0", ""},
      {"999", "###", "###"},                  {"999", "abc", "###"},
      {"9;9;0;n/a", "abc", "n/a"},            {"", "12.5", "12.5"},
      {"0.00", "0.005", "0,01"},              {"999 999 999", "1234567", "1 234 567"},
      {"999,999.999", "1234.5678", "1 234,568"},
  };
  for (const auto& c : cases) EXPECT_EQ(Format(c.mask, c.value), c.expected) << c.mask << " with " << c.value;
}

TEST(NumericMask, EditModeLeavesOutLiteralsAndLeadingZeros) {
  EXPECT_EQ(Format("999 999.99", "1234.5", true), "1234,50");
  EXPECT_EQ(Format("000 000", "5", true), "5");
  EXPECT_EQ(Format("99.99 $", "3.14", true), "3,14");
  EXPECT_EQ(Format("-999", "-7", true), "-7");
}

TEST(NumericMask, ColoursAndProperties) {
  CMasqueNumerique m("[Vert]+999.99;[#FF8000](999.99);[rouge]0");
  EXPECT_EQ(m.dwGetCouleurPourValeur("3"), 0x00FF00u);
  EXPECT_EQ(m.dwGetCouleurPourValeur("-3"), 0x0080FFu) << "#RRGGBB keeps red in the low byte";
  EXPECT_EQ(m.dwGetCouleurPourValeur("0"), 0x0000FFu);
  EXPECT_EQ(CMasqueNumerique("999").dwGetCouleurPourValeur("1"), COULEUR_AUCUNE);
  EXPECT_EQ(CMasqueNumerique("[Mauve]999").dwGetCouleurPourValeur("1"), COULEUR_AUCUNE);
  EXPECT_TRUE(m.bNegatifAccepte());
  EXPECT_EQ(m.nDecimalesMasque(), 2);
  EXPECT_FALSE(CMasqueNumerique("999").bNegatifAccepte());
  EXPECT_TRUE(CMasqueNumerique("999;-999").bNegatifAccepte());
  struct Type {
    const char* mask;
    WORD type;
  } types[] = {{"9999999999", 9}, {"999 999", 8}, {"99.9", 12}, {"99%", 12}, {"DiskSize", 9}};
  for (const auto& t : types) EXPECT_EQ(CMasqueNumerique(t.mask).wGetTypeFromMasque(), t.type) << t.mask;
}

TEST(NumericMask, ReadBack) {
  struct Case {
    const char* mask;
    const char* text;
    const char* expected;
  } cases[] = {{"999 999.99", "1 234,50", "1234.5"}, {"(999.99)", "(12,50)", "-12.5"},
               {"999%", "13%", "0.13"},             {"999", "", "0"},
               {"-999", "-0", "0"},                 {"99.99", "7.", "7"}};
  for (const auto& c : cases) {
    CMasqueNumerique m(c.mask);
    m.SetSeparateurs(' ', ',');
    CTString out;
    m.DeformateNum(c.text, &out);
    EXPECT_STREQ(out.pszGet(), c.expected) << c.mask << " reading " << c.text;
  }
}

TEST(NumericMask, SystemMasksAndDiskSize) {
  EXPECT_EQ(Format("MoneySystemMask", "-1234.5"), "-1 234,50");
  EXPECT_EQ(Format("MoneySystemMask$", "1234567.891"), "1 234 567,89 $");
  EXPECT_EQ(Format("MoneySystemMask", "123456789012345678"), "###") << "17 digits at most";
  CMasqueNumerique d("DiskSize");
  d.SetSeparateurs(' ', ',');
  EXPECT_TRUE(d.bEstMasqueTailleDisque());
  CTString out;
  d.MetAuFormat("1536", &out);
  EXPECT_EQ(std::string(out.pszGet()).substr(0, 5), "1,50 ");
  d.MetAuFormatTailleDisque(1023, &out, 0);
  EXPECT_EQ(std::string(out.pszGet()).substr(0, 5), "1023 ");
  out.Set("untouched");
  d.MetAuFormatTailleDisque(1023, &out, 9);
  EXPECT_STREQ(out.pszGet(), "untouched");
}

}  // namespace
