// Comparisons of texts under the case and accent options, in Windows-1252
// and in UTF-8.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/CodePage.h"
#include "core/STR.h"

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

TEST(StrCompare, OptionsTable) {
  struct Case {
    const char* a;
    const char* b;
    unsigned options;
    int expected;
  };
  const Case cases[] = {
      {"abc", "abc", 0, 0},
      {"abc", "abd", 0, -1},
      {"abc", "ab", 0, 1},
      {"", "", 0, 0},
      {"ABC", "abc", 0, -1},
      {"ABC", "abc", STR_IGNORE_CASSE, 0},
      {"\xC9t\xE9", "ete", STR_IGNORE_ACCENTS, -1},          // case still counts: E < e
      {"\xC9t\xE9", "ete", STR_IGNORE_ACCENTS | STR_IGNORE_CASSE, 0},
      {"\xC9t\xE9", "\xE9t\xE9", STR_IGNORE_CASSE, 0},       // É and é differ only by case
      {"\xE9t\xE9", "ete", STR_IGNORE_CASSE, 1},             // accents still count
      {"Fran\xE7ois", "FRANCOIS", 3, 0},
      {"\x8A" "a", "sa", 3, 0},                               // Š
      {"\x9C" "uvre", "OUVRE", 3, 0},                         // œ folds to o
      {"caf\xE9", "cafe ", 3, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sign(STR_nCompare(c.a, c.b, c.options)), c.expected) << c.a << " / " << c.b << " options " << c.options;
    EXPECT_EQ(sign(STR_nCompare(c.b, c.a, c.options)), -c.expected) << "antisymmetric";
  }
}

TEST(StrCompare, NullSortsFirst) {
  EXPECT_EQ(STR_nNullCompare(nullptr, nullptr, 3), 0);
  EXPECT_LT(STR_nNullCompare(nullptr, "", 3), 0);
  EXPECT_GT(STR_nNullCompare("", nullptr, 3), 0);
  EXPECT_EQ(STR_nNullCompare("/tmp/A\xC9", "/TMP/ae", 3), 0);
}

// The library's text in UTF-8 for one test; Windows-1252 again after it.
struct PageUtf8 {
  PageUtf8() { CP_SetPageCourante(CP_UTF8); }
  ~PageUtf8() { CP_SetPageCourante(1252); }
};

// UTF-8 to Windows-1252 and back with the C library's iconv (the oracle).
std::string iconvText(const std::string& s, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  std::string out(s.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(s.data());
  char* o = out.data();
  std::size_t nIn = s.size(), nOut = out.size();
  std::size_t r = iconv(cd, &in, &nIn, &o, &nOut);
  iconv_close(cd);
  EXPECT_NE(r, static_cast<std::size_t>(-1)) << s;
  out.resize(out.size() - nOut);
  return out;
}
std::string to1252(const std::string& s) { return iconvText(s, "CP1252", "UTF-8"); }
std::string toUtf8(const std::string& s) { return iconvText(s, "UTF-8", "CP1252"); }

// Every text Windows-1252 can hold sorts and matches in UTF-8 exactly as its
// Windows-1252 form does, under every option.
TEST(StrCompareUtf8, SameAnswersAsWindows1252) {
  const std::vector<std::string> words = {"été",    "Été",   "ete",   "ETE",      "œuvre", "OEUVRE", "ouvre",
                                          "Ša",     "sa",    "Šb",    "François", "FRANCOIS", "café", "cafe ",
                                          "€uro",   "euro",  "zèbre", "Zèbre",    "ÿ",     "Ÿ",      "a",
                                          "",       "Ærø",   "aero",  "naïve",    "NAÏVE", "½"};
  for (unsigned options = 0; options < 4; ++options) {
    for (const auto& a : words) {
      for (const auto& b : words) {
        int expected = sign(STR_nCompare(to1252(a).c_str(), to1252(b).c_str(), options));
        PageUtf8 utf8;
        EXPECT_EQ(sign(STR_nCompare(a.c_str(), b.c_str(), options)), expected) << a << " / " << b << " options " << options;
      }
    }
  }
}

TEST(StrCompareUtf8, LettersBeyondWindows1252) {
  struct Case {
    const char* a;
    const char* b;
    unsigned options;
    int expected;
  };
  const Case cases[] = {
      {"Ωμέγα", "ΩΜΈΓΑ", STR_IGNORE_CASSE, 0},
      {"Ωμέγα", "ωμεγα", STR_IGNORE_CASSE, -1},      // accents still count: έ (U+03AD) before ε (U+03B5)
      {"Ωμέγα", "ωμεγα", STR_IGNORE_CASSE | STR_IGNORE_ACCENTS, 0},
      {"Ωμέγα", "ωμέγα", 0, -1},                    // Ω (U+03A9) before ω (U+03C9)
      {"σοφός", "ΣΟΦΟΣ", STR_IGNORE_CASSE | STR_IGNORE_ACCENTS, 0},
      {"οδός", "οδοσ", STR_IGNORE_CASSE | STR_IGNORE_ACCENTS, 0},  // final sigma
      {"Москва", "МОСКВА", STR_IGNORE_CASSE, 0},
      {"Ёлка", "ёлка", STR_IGNORE_CASSE, 0},
      {"Łódź", "lodz", STR_IGNORE_CASSE | STR_IGNORE_ACCENTS, 0},
      {"Łódź", "Lodz", STR_IGNORE_ACCENTS, 0},
      {"Łódź", "łódź", STR_IGNORE_CASSE, 0},
      {"Łódź", "lodz", STR_IGNORE_CASSE, 1},
      {"α", "ÿ", 3, 1},                              // beyond Windows-1252 sorts after it
      {"\xE9t\xE9", "\xE9t\xE9", 0, 0},            // bytes that are not UTF-8 compare as bytes
      {"\xE9t\xE9", "été", 3, 1},                   // and never as the letters they stand for
      {"\xE9", "\xEA", 0, -1},
  };
  PageUtf8 utf8;
  for (const auto& c : cases) {
    EXPECT_EQ(sign(STR_nCompare(c.a, c.b, c.options)), c.expected) << c.a << " / " << c.b << " options " << c.options;
    EXPECT_EQ(sign(STR_nCompare(c.b, c.a, c.options)), -c.expected) << "antisymmetric";
  }
}

// Mapping for loose comparisons: in UTF-8 the Windows-1252 result in UTF-8,
// characters never cut by the size of the destination.
TEST(StrCompareUtf8, MapStringEx) {
  const char* texts[] = {"Été, Œuvre !", "François-Xavier", "€ 12,50", "  Zoë  ", "ÀÉÎÕÜ àéîõü"};
  for (const char* t : texts) {
    for (unsigned options = 0; options < 8; ++options) {
      char ansi[64], utf8[64];
      STR_nMapStringEx(to1252(t).c_str(), ansi, sizeof ansi, options);
      PageUtf8 page;
      int n = STR_nMapStringEx(t, utf8, sizeof utf8, options);
      EXPECT_EQ(std::string(utf8), toUtf8(ansi)) << t << " options " << options;
      EXPECT_EQ(n, static_cast<int>(std::strlen(utf8)));
    }
  }
  PageUtf8 page;
  char out[32];
  STR_nMapStringEx("Ωμέγα, Łódź!", out, sizeof out, 7);
  EXPECT_STREQ(out, "ωμεγαlodz");
  STR_nMapStringEx("éé", out, 4, 0);  // room for one é and a half: one é
  EXPECT_STREQ(out, "é");
}

TEST(CodePage, DecodeAndEncodeGiveEveryByteBack) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  for (unsigned page : {1252u, CP_UTF8}) {
    CP_SetPageCourante(page);
    EXPECT_EQ(CP_sEncode(CP_sDecode(all.data(), all.size())), all) << page;
    const std::string mixed = "é\xE9€\x80\xF0\x9F\x98\x80\xF0\x9F\xC3";
    EXPECT_EQ(CP_sEncode(CP_sDecode(mixed.data(), mixed.size())), mixed) << page;
  }
  CP_SetPageCourante(CP_UTF8);
  EXPECT_EQ(CP_sDecode("é€😀", 9), std::u32string(U"é€😀"));
  EXPECT_EQ(CP_nLongueurCaractere("€"), 3);
  EXPECT_EQ(CP_nLongueurCaractere("\xE2\x82"), 1);  // cut short: one byte
  EXPECT_EQ(CP_nLongueurCaractere("\xC0\x80"), 1);  // overlong
  EXPECT_EQ(CP_nLongueurCaractere("\xED\xA0\x80"), 1);  // surrogate
  CP_SetPageCourante(1252);
  EXPECT_EQ(CP_nLongueurCaractere("€"), 1);
  for (int c = 0x80; c < 0xA0; ++c) {
    char32_t u = CP_c1252VersUnicode(static_cast<unsigned char>(c));
    EXPECT_EQ(CP_n1252DepuisUnicode(u), c);
    std::string one(1, static_cast<char>(c));
    if (u >= 0xA0) {
      EXPECT_EQ(iconvText(one, "UTF-32LE", "CP1252").substr(0, 4), std::string(reinterpret_cast<const char*>(&u), 4));
    }
  }
  EXPECT_EQ(CP_n1252DepuisUnicode(0x3A9), -1);
}

}  // namespace
