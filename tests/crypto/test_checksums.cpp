// CRC-32 and CRC-16 against bit-at-a-time forms written here, every CRC-32
// path against the others, and the language functions.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Host.h"
#include "crypto/Crc.h"
#include "support/TestHost.h"

namespace {

// Bitwise reflected CRC-32 (the polynomial division, one bit at a time).
DWORD crc32Bits(const BYTE* p, std::size_t n, DWORD start) {
  DWORD r = ~start;
  for (std::size_t i = 0; i < n; ++i) {
    r ^= p[i];
    for (int k = 0; k < 8; ++k) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1)));
  }
  return ~r;
}

// CRC-16 as a division: each bit of the message shifted into the register
// from the low end, the polynomial subtracted when a one falls off the top.
WORD crc16Division(const std::string& s) {
  unsigned r = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {  // the terminating 0 too
    const unsigned b = i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
    for (int k = 7; k >= 0; --k) {
      const bool top = r & 0x8000;
      r = ((r << 1) | ((b >> k) & 1)) & 0xFFFF;
      if (top) r ^= 0x1021;
    }
  }
  return static_cast<WORD>(r);
}

std::vector<BYTE> randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 g(seed);
  std::vector<BYTE> v(n);
  for (auto& b : v) b = static_cast<BYTE>(g());
  return v;
}

TEST(Crc32, KnownValueAndEveryPathAgrees) {
  const BYTE s[] = "123456789";
  EXPECT_EQ(CCrc2::nCalculeCRC32(s, 9, 0), 0xCBF43926u);
  EXPECT_TRUE(CRC32_bCheminDisponible(CRC32_OCTET));
  EXPECT_TRUE(CRC32_bCheminDisponible(CRC32_TABLES));
  const auto data = randomBytes(70000, 7);
  // Lengths around the 8-, 16-, 32-, 64-, 128- and 256-byte steps and the
  // switch to three chains (1024), the 64-byte alignment of long data (4096), odd offsets, several starts.
  for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u, 63u, 64u, 65u, 127u, 128u, 129u, 255u, 256u,
                        257u, 300u, 383u, 384u, 1000u, 1023u, 1024u, 1025u, 1031u, 4095u, 4096u, 4099u, 65536u, 69990u}) {
    for (std::size_t off : {0u, 1u, 3u, 7u}) {
      for (DWORD start : {0u, 0xFFFFFFFFu, 0x12345678u}) {
        const DWORD expected = crc32Bits(data.data() + off, n, start);
        for (auto chemin : {CRC32_OCTET, CRC32_TABLES, CRC32_PCLMUL, CRC32_VPCLMUL}) {
          if (!CRC32_bCheminDisponible(chemin)) continue;
          ASSERT_EQ(CRC32_dwCalcule(chemin, data.data() + off, n, start), expected)
              << "path " << chemin << " n " << n << " off " << off;
        }
      }
    }
  }
}

TEST(Crc16, MatchesTheDivisionForm) {
  for (const char* s : {"", "a", "123456789", "Bonjour le monde", "\xff\xfe\x80"})
    EXPECT_EQ(CCrc16().CalcCrc16(s, static_cast<int>(std::string(s).size()) + 1), crc16Division(s)) << s;
}

class Checksums : public ::testing::Test {
protected:
  kvhost::Host host{testOptions()};
  std::int64_t call(const char* name, std::vector<kvhost::Value> args) {
    auto r = host.call(name, args);
    EXPECT_FALSE(r.error.isError()) << name << ": " << r.error.message;
    return r.value.integer;
  }
};

TEST_F(Checksums, ThroughTheLanguage) {
  using kvhost::Value;
  EXPECT_EQ(static_cast<DWORD>(call("sCalculeCrc32", {Value::buffer("123456789")})), 0xCBF43926u);
  const auto part1 = call("sCalculeCrc32", {Value::buffer("12345")});
  EXPECT_EQ(static_cast<DWORD>(call("sComputeCrc32", {Value::buffer("6789"), Value::integer32(static_cast<int>(part1))})),
            0xCBF43926u);
  EXPECT_EQ(call("sCalculeCrc32", {Value::buffer("")}), 0);
  EXPECT_EQ(call("sCalculeCrc32", {Value::buffer(""), Value::integer32(1234)}), 1234);
  EXPECT_EQ(call("sCalculeCrc16", {Value::text("")}), 0);
  // A CRC-16 with the top bit set comes back negative.
  std::string negatif;
  for (char c = 'a'; c <= 'z' && negatif.empty(); ++c) {
    for (char d = 'a'; d <= 'z'; ++d) {
      if (crc16Division(std::string{c, d}) & 0x8000) {
        negatif = std::string{c, d};
        break;
      }
    }
  }
  ASSERT_FALSE(negatif.empty());
  EXPECT_EQ(call("sCalculeCrc16", {Value::text(negatif)}), static_cast<std::int16_t>(crc16Division(negatif)));
  EXPECT_LT(call("sCalculeCrc16", {Value::text(negatif)}), 0);
}

}  // namespace
