// Comparisons of Windows-1252 texts under the case and accent options.
#include <gtest/gtest.h>

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

}  // namespace
