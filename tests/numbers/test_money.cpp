// The currency type: text forms, exact arithmetic against 64-bit integer
// arithmetic done independently, rounding, overflow, keys and hexadecimal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "numbers/Monetaire.h"

namespace {

// Millionths that fit 64 bits, as a CMoney (two's complement, sign-extended).
CMoney M(std::int64_t n) {
  CMoney c;
  const auto u = static_cast<std::uint64_t>(n);
  for (int i = 0; i < 4; ++i) c.m_aw[i] = static_cast<WORD>(u >> (16 * i));
  c.m_aw[4] = n < 0 ? 0xFFFF : 0;
  return c;
}

std::int64_t I64(const CMoney& c) {
  std::uint64_t u = 0;
  for (int i = 0; i < 4; ++i) u |= static_cast<std::uint64_t>(c.m_aw[i]) << (16 * i);
  return static_cast<std::int64_t>(u);
}

std::string Text(const CMoney& c) {
  char sz[40];
  return pszMonetaireVersChaineC(sz, &c);
}

CMoney Parse(const char* s) {
  CMoney c{};
  EXPECT_NE(pstChaineVersMonetaire(&c, s), nullptr) << s;
  return c;
}

constexpr const char* kMax = "604462909807314587.353087";  // (2^79 - 1) millionths

TEST(Money, TextForms) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"  -12.3456789", "-12.345678"}, {"1.5", "1.5"},   {"1.50", "1.5"},       {"0", "0"},
      {"0.000001", "0.000001"},        {"2", "2"},       {"+3.", "3"},          {"-0", "0"},
      {"12abc", "12"},                 {"abc", "0"},     {".25", "0.25"},       {kMax, kMax},
      {"-604462909807314587.353087", "-604462909807314587.353087"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(Parse(c.in)), c.out) << c.in;
  CMoney c;
  EXPECT_EQ(pstChaineVersMonetaire(&c, "604462909807314587.353088"), nullptr) << "2^79 millionths";
  EXPECT_EQ(pstChaineVersMonetaire(&c, "1000000000000000000"), nullptr);
  const WORD wide[] = {' ', '-', '4', '.', '2', 0};
  ASSERT_NE(pstChaineVersMonetaire(&c, wide), nullptr);
  EXPECT_EQ(Text(c), "-4.2");
  ASSERT_NE(pstDoubleVersMonetaire(&c, 0.1), nullptr);
  EXPECT_EQ(Text(c), "0.1");
  EXPECT_DOUBLE_EQ(dMonetaireVersDouble(&c), 0.1);
  EXPECT_EQ(pstDoubleVersMonetaire(&c, 1e30), nullptr);
  EXPECT_EQ(pstDoubleVersMonetaire(&c, std::nan("")), nullptr);
}

// Round half away from zero to d decimals, in plain integers.
std::int64_t Rounded(std::int64_t n, int d) {
  std::int64_t unit = 1;
  for (int i = d; i < 6; ++i) unit *= 10;
  const std::int64_t a = n < 0 ? -n : n;
  const std::int64_t r = (a + unit / 2) / unit * unit;
  return n < 0 ? -r : r;
}

TEST(Money, ArithmeticAgreesWithIntegers) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<std::int64_t> small(-3000000000LL, 3000000000LL);
  std::uniform_int_distribution<std::int64_t> large(-(1LL << 52), 1LL << 52);
  for (int i = 0; i < 20000; ++i) {
    const std::int64_t a = small(rng), b = small(rng), c = large(rng), d = large(rng);
    CMoney r = M(c);
    ASSERT_NE(pstAddMonetaire(&r, &(const CMoney&)M(d)), nullptr);
    EXPECT_EQ(I64(r), c + d);
    r = M(c);
    ASSERT_NE(pstSubMonetaire(&r, &(const CMoney&)M(d)), nullptr);
    EXPECT_EQ(I64(r), c - d);
    r = M(a);
    ASSERT_NE(pstMulMonetaire(&r, &(const CMoney&)M(b)), nullptr);
    EXPECT_EQ(I64(r), a * b / 1000000) << a << " * " << b;
    if (b != 0) {
      r = M(a);
      ASSERT_NE(pstDivMonetaire(&r, &(const CMoney&)M(b)), nullptr);
      EXPECT_EQ(I64(r), a * 1000000 / b) << a << " / " << b;
    }
    r = M(c);
    pstEntMonetaire(&r);
    EXPECT_EQ(I64(r), c / 1000000 * 1000000);
    r = M(c);
    pstDecMonetaire(&r);
    EXPECT_EQ(I64(r), c % 1000000);
    const int dec = i % 6;
    r = M(c);
    ASSERT_NE(pstArrMonetaire(&r, static_cast<short>(dec)), nullptr);
    EXPECT_EQ(I64(r), Rounded(c, dec)) << c << " at " << dec;
    EXPECT_EQ(nCmpMonetaire(&(const CMoney&)M(c), &(const CMoney&)M(d)), (c > d) - (c < d));
    EXPECT_EQ(Text(M(c)), Text(Parse(Text(M(c)).c_str())));
  }
}

TEST(Money, RoundingHalvesAwayFromZero) {
  struct Case {
    const char* in;
    short d;
    const char* out;
  } cases[] = {{"2.345", 2, "2.35"}, {"-2.345", 2, "-2.35"}, {"1.005", 2, "1.01"}, {"2.5", 0, "3"},
               {"-2.5", 0, "-3"},    {"2.4999", 0, "2"},     {"1.23456", 7, "1.23456"}, {"1.25", -1, "1.25"}};
  for (const auto& c : cases) {
    CMoney m = Parse(c.in);
    ASSERT_NE(pstArrMonetaire(&m, c.d), nullptr);
    EXPECT_EQ(Text(m), c.out) << c.in << " at " << c.d;
  }
}

TEST(Money, OverflowFailsAndLeavesTheOperand) {
  const CMoney max = Parse(kMax), un = Parse("0.000001"), deux = Parse("2"), zero = Parse("0");
  CMoney r = max;
  EXPECT_EQ(pstAddMonetaire(&r, &un), nullptr);
  EXPECT_EQ(Text(r), kMax);
  r = Parse("-604462909807314587.353087");
  EXPECT_EQ(pstSubMonetaire(&r, &un), nullptr) << "-2^79 is the invalid marker, never a result";
  r = max;
  EXPECT_EQ(pstMulMonetaire(&r, &deux), nullptr);
  r = max;
  EXPECT_NE(pstMulMonetaire(&r, &un), nullptr) << "tiny products truncate";
  EXPECT_EQ(Text(r), "604462909807.314587");
  r = deux;
  EXPECT_EQ(pstDivMonetaire(&r, &zero), nullptr);
  r = max;
  EXPECT_FALSE(bMul10Monetaire(&r));
  EXPECT_FALSE(bIncrementeMonetaire(&r));
  r = Parse("1.5");
  EXPECT_TRUE(bIncrementeMonetaire(&r));
  EXPECT_EQ(Text(r), "2.5");
  EXPECT_TRUE(bDecrementeMonetaire(&r) && bDecrementeMonetaire(&r) && bDecrementeMonetaire(&r));
  EXPECT_EQ(Text(r), "-0.5");
  EXPECT_NE(pstAbsMonetaire(&r), nullptr);
  EXPECT_EQ(Text(r), "0.5");
  NegMonetaire(&r);
  EXPECT_EQ(Text(r), "-0.5");
}

TEST(Money, IntegersKeysAndRawForms) {
  CMoney m;
  ASSERT_NE(pstTresLongVersMonetaire(&m, -9000000000000LL), nullptr);
  EXPECT_EQ(Text(m), "-9000000000000");
  EXPECT_EQ(pstTresLongVersMonetaire(&m, 1LL << 62), nullptr) << "2^62 units need more than 79 bits";
  ASSERT_NE(pstLongVersMonetaire(&m, -7), nullptr);
  EXPECT_EQ(nCmpMonetaireEtLong(&m, -7), 0);
  EXPECT_EQ(nCmpMonetaire(nullptr, &m), 1);
  EXPECT_EQ(nCmpMonetaire(&m, nullptr), -1);
  LONG n = 0;
  m = Parse("-3000000000.9");
  EXPECT_FALSE(bMonetaireVersLong(&m, &n));
  EXPECT_EQ(lMonetaireVersTresLong(&m), -3000000000LL);
  unsigned long long u = 0;
  EXPECT_FALSE(bMonetaireVersTresLongSansSigne(&m, &u));
  m = Parse("-0.5");
  EXPECT_TRUE(bMonetaireVersTresLongSansSigne(&m, &u));
  EXPECT_EQ(u, 0u);

  char sz[40];
  m = Parse("-0.000001");
  EXPECT_STREQ(pszMonetaireVersChaineHexa(sz, &m), "FFFFFFFFFFFFFFFFFFFF");
  m = Parse("1.5");
  EXPECT_STREQ(pszMonetaireVersChaineHexa(sz, &m), "16E360");
  EXPECT_STREQ(pszMonetaireVersChaineOctale(sz, &m), "5561540");
  m = Parse("0");
  EXPECT_STREQ(pszMonetaireVersChaineHexa(sz, &m), "0");
  CMoney h;
  ASSERT_NE(pstChaineHexaVersMonetaire(&h, "16E360"), nullptr);
  EXPECT_EQ(Text(h), "1.5");
  ASSERT_NE(pstChaineHexaVersMonetaire(&h, "FFFFFFFFFFFFFFFFFFFF"), nullptr);
  EXPECT_EQ(Text(h), "-0.000001");
  for (const char* bad : {"", "12G", "123456789012345678901"}) EXPECT_EQ(pstChaineHexaVersMonetaire(&h, bad), nullptr);

  // Keys sort as the amounts do.
  std::vector<std::string> texts = {"-5", "3.25", "0", "-0.000001", kMax, "-604462909807314587.353087", "17", "-17.5"};
  std::vector<std::pair<std::string, std::string>> keyed;
  for (const auto& t : texts) {
    unsigned char key[10];
    const CMoney v = Parse(t.c_str());
    MonetaireVersCleIndex(key, &v);
    keyed.emplace_back(std::string(reinterpret_cast<char*>(key), 10), t);
  }
  std::sort(keyed.begin(), keyed.end());
  for (std::size_t i = 1; i < keyed.size(); ++i) {
    const CMoney a = Parse(keyed[i - 1].second.c_str()), b = Parse(keyed[i].second.c_str());
    EXPECT_EQ(nCmpMonetaire(&a, &b), -1) << keyed[i - 1].second << " before " << keyed[i].second;
  }
}

TEST(Money, ConvertibleAndRates) {
  CMonetaireConvertible c;
  EXPECT_TRUE(c.bEstInvalide());
  char sz[40];
  EXPECT_FALSE(c.bVersChaine(sz));
  EXPECT_TRUE(c.bDepuisChaine("100"));
  CMonetaireConvertible euro = c.Converti(6559570, 1000000);
  ASSERT_TRUE(euro.bVersChaine(sz));
  EXPECT_STREQ(sz, "15.244901");
  EXPECT_TRUE(c.Converti(0, 1000000).bEstInvalide()) << "a zero rate";
  c.Soustrait(&euro);
  ASSERT_TRUE(c.bVersChaine(sz));
  EXPECT_STREQ(sz, "84.755099");
  CMonetaireConvertible invalide;
  c.Soustrait(&invalide);
  EXPECT_TRUE(c.bEstInvalide());
  EXPECT_FALSE(c.bDepuisChaine("99999999999999999999999"));
  EXPECT_TRUE(c.bEstInvalide());

  CMoney r;
  ASSERT_TRUE(bVersDevise_MONETAIRE(Parse("15.24"), &r, 6559570));
  EXPECT_EQ(Text(r), "99.967846");
  ASSERT_TRUE(bChangeDevise_MONETAIRE(Parse("100"), &r, 6559570, 1955830));
  EXPECT_EQ(Text(r), "29.816434");
}

}  // namespace
