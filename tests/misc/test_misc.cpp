// Random numbers, parity, colours, the phonetic key and the smallest or
// largest value, called through the stand-in VM as a program would; and a
// failing call read back in both languages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Host.h"
#include "support/HostTest.h"

namespace {

using kvhost::Value;

class Misc : public HostTest {};

TEST_F(Misc, RandomDraws) {
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(call("Hasard", {I(1)}).integer, 1);
    EXPECT_EQ(call("Random", {I(5), I(5)}).integer, 5);
    auto r = call("Hasard");
    EXPECT_EQ(r.type, VXT_REEL);
    EXPECT_GE(r.real, 0.0);
    EXPECT_LE(r.real, 1.0);
    auto d = call("Hasard", {I(-3), I(3)}).integer;
    EXPECT_GE(d, -3);
    EXPECT_LE(d, 3);
  }
  // A seed gives the same sequence again.
  auto draw = [&] {
    std::vector<std::int64_t> v;
    for (int i = 0; i < 10; ++i) v.push_back(call("Hasard", {I(1000)}).integer);
    return v;
  };
  call("InitHasard", {I(42)});
  auto a = draw();
  call("InitRandom", {I(42)});
  EXPECT_EQ(draw(), a);
  // The formula, written out: srand(42), one draw discarded, then (r * n) / 32768 + 1.
  std::srand(42);
  std::rand();
  std::vector<std::int64_t> expected;
  for (int i = 0; i < 10; ++i) expected.push_back(((std::rand() & 0x7FFF) * 1000) / 32768 + 1);
  EXPECT_EQ(a, expected);
  call("InitHasard");
  EXPECT_FALSE(last.isError());
  // The whole 32-bit span does not overflow.
  auto wide = call("Hasard", {I(INT32_MIN), I(INT32_MAX)});
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(wide.type, VXT_ENTIER);
}

TEST_F(Misc, RandomBoundsAreChecked) {
  auto r = call("Hasard", {I(0)});
  EXPECT_EQ(r.integer, 0);
  EXPECT_EQ(last.code, 80260u);
  EXPECT_EQ(last.level, 2u);
  EXPECT_FALSE(last.message.empty());
  call("Hasard", {I(5), I(1)});
  EXPECT_EQ(last.code, 80210u);
  EXPECT_EQ(last.level, 3u);
}

TEST_F(Misc, ParityAndColours) {
  EXPECT_EQ(call("EstPair", {I(-4)}).integer, 1);
  EXPECT_EQ(call("IsOdd", {I(-3)}).integer, 1);
  EXPECT_EQ(call("EstImpair", {I(0)}).integer, 0);
  EXPECT_EQ(call("RVB", {I(255), I(0), I(0)}).integer, 255);
  EXPECT_EQ(call("RGB", {I(1), I(2), I(3)}).integer, 0x030201);
  EXPECT_EQ(call("RVBBleu", {I(16711680)}).integer, 255);
  EXPECT_EQ(call("RGBGreen", {I(0x123456)}).integer, 0x34);
  EXPECT_EQ(call("RVBRouge", {I(0x123456)}).integer, 0x56);
  EXPECT_EQ(call("CouleurTeinte", {I(0xFF0000)}).integer, 240) << "pure blue";
  EXPECT_EQ(call("ColorHue", {I(0x0000FF)}).integer, 0) << "pure red";
  EXPECT_EQ(call("CouleurLuminosit\xE9", {I(0xFFFFFF)}).integer, 100);
  EXPECT_EQ(call("CouleurSaturation", {I(0xFFFFFF)}).integer, 0);
  EXPECT_EQ(call("ColorHue", {I(0x00FF00)}).integer, 120);
  EXPECT_EQ(call("TSL", {I(0), I(100), I(50)}).integer, 255);
  EXPECT_EQ(call("HSL", {I(120), I(0), I(50)}).integer, 0x7F7F7F);
  EXPECT_EQ(call("TSL", {I(240), I(100), I(50)}).integer, 0xFF0000);
  // Round trips of the fully saturated hues through both conversions.
  for (int hue = 0; hue < 360; hue += 30) {
    auto rgb = call("TSL", {I(hue), I(100), I(50)}).integer;
    EXPECT_EQ(call("CouleurTeinte", {I(static_cast<int>(rgb))}).integer, hue) << hue;
  }
  struct Bad {
    int h, s, l;
    unsigned code;
  };
  for (auto b : {Bad{361, 0, 0, 80202}, Bad{0, 101, 0, 80204}, Bad{0, 0, 101, 80203}, Bad{-1, 0, 0, 80202}}) {
    EXPECT_EQ(call("TSL", {I(b.h), I(b.s), I(b.l)}).integer, 0);
    EXPECT_EQ(last.code, b.code);
  }
  EXPECT_EQ(call("ZigouigouiARoulette", {I(0)}).integer, 24053);
}

// Hues and saturations exactly half-way (worked out in exact fractions)
// round away from zero, and components that are exactly whole keep their
// value, where the formulas in binary floating point fall just short.
TEST_F(Misc, ColoursAtExactHalves) {
  const struct {
    int colour, hue;
  } hues[] = {{1227303, 113}, {6149, 108},      {6155, 93},       {10243, 116}, {3089468, 333},
              {10257559, 288}, {14347717, 152}, {587982, 71},     {8624208, 163}};
  for (const auto& c : hues) EXPECT_EQ(call("CouleurTeinte", {I(c.colour)}).integer, c.hue) << c.colour;
  const struct {
    int colour, saturation;
  } saturations[] = {{460649, 88}, {901928, 88}, {3011000, 88}, {4728042, 83}, {10277581, 38}};
  for (const auto& c : saturations)
    EXPECT_EQ(call("CouleurSaturation", {I(c.colour)}).integer, c.saturation) << c.colour;
  const struct {
    int h, s, l, r, g, b;
  } hsl[] = {{0, 50, 40, 153, 51, 51}, {0, 100, 57, 255, 35, 35}, {0, 60, 50, 204, 51, 51},
             {200, 70, 30, 22, 94, 130}, {77, 25, 20, 56, 63, 38}};
  for (const auto& c : hsl)
    EXPECT_EQ(call("TSL", {I(c.h), I(c.s), I(c.l)}).integer, c.r + c.g * 256 + c.b * 65536) << c.h << " " << c.s << " " << c.l;
}

TEST_F(Misc, PhoneticKey) {
  struct Case {
    const char* word;
    const char* key;
  };
  for (auto c : {Case{"Pharmacie", "FARMASI"}, Case{"Chateau", "KATO"}, Case{"Thomas", "TOMA"}, Case{"Bonne", "BON"},
                 Case{"  quand ", "KA"}, Case{"", ""}, Case{"Moineau", "MOANO"}, Case{"rose", "ROS"},
                 Case{"Lambert", "LABERT"}, Case{"Payen", "PEA"}, Case{"Maison", "MEZO"}})
    EXPECT_EQ(call("Phon\xE9tique", {T(c.word)}).bytes, c.key) << c.word;
}

TEST_F(Misc, SmallestAndLargestFetchExtraArguments) {
  EXPECT_EQ(call("Max", {T("pomme"), T("poire"), T("abricot")}).bytes, "pomme");
  EXPECT_EQ(call("Min", {T("pomme"), T("poire"), T("abricot")}).bytes, "abricot");
  EXPECT_EQ(call("Min", {T("seul")}).bytes, "seul");
  auto r = call("Max", {Value::realValue(1.5), I(7), Value::realValue(-2), I(3), Value::realValue(6.5)});
  EXPECT_EQ(r.type, VXT_REEL);
  EXPECT_EQ(r.real, 7.0);
  EXPECT_EQ(call("Min", {Value::realValue(1.5), I(7), Value::realValue(-2)}).real, -2.0);
}

TEST_F(Misc, NumericValues) {
  struct Case {
    Value v;
    bool numeric;
  };
  const Case cases[] = {{I(0), true}, {Value::realValue(0.5), true}, {T("0"), true},     {T("0.0"), true},
                        {T("12.5"), true}, {T("abc"), false},           {T(""), false},    {Value::buffer("12"), false}};
  for (const auto& c : cases) EXPECT_EQ(call("EstNum\xE9rique", {c.v}).integer, c.numeric) << c.v.describe();
}

// A failing call leaves its numbered error, read in the VM's language.
TEST(MiscLanguages, ErrorMessagesInFrenchAndEnglish) {
  std::string fr, en;
  {
    kvhost::Host host(testOptions(kvhost::Language::French));
    auto r = host.call("TSL", {Value::integer32(361), Value::integer32(0), Value::integer32(0)});
    EXPECT_EQ(r.error.code, 80202u);
    fr = r.error.message;
  }
  {
    kvhost::Host host(testOptions(kvhost::Language::English));
    auto r = host.call("HSL", {Value::integer32(361), Value::integer32(0), Value::integer32(0)});
    EXPECT_EQ(r.error.code, 80202u);
    en = r.error.message;
  }
  EXPECT_NE(fr.find("Teinte"), std::string::npos) << fr;
  EXPECT_NE(en.find("hue"), std::string::npos) << en;
}

}  // namespace
