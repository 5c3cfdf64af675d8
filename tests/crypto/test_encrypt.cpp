// Crypte and Décrypte through the stand-in VM: every cipher, pack method
// and encoding round trip, the failure table, and the cases the modes
// single out.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Host.h"
#include "support/TestHost.h"

namespace {

using kvhost::Value;

class Crypte : public ::testing::Test {
protected:
  kvhost::Host host{testOptions()};
  kvhost::ErrorInfo last;
  std::string crypt(Value src, const char* pwd, int mode, int enc) {
    auto r = host.call("Crypte", {std::move(src), Value::text(pwd), Value::integer32(mode), Value::integer32(enc)});
    last = r.error;
    return r.value.bytes;
  }
  std::string uncrypt(const std::string& t, const char* pwd, int mode, int enc) {
    auto r = host.call("Decrypte", {Value::text(t), Value::text(pwd), Value::integer32(mode), Value::integer32(enc)});
    last = r.error;
    return r.value.bytes;
  }
};

std::string text(std::size_t n, unsigned seed) {
  static const char* words[] = {"le ", "chat ", "dort ", "sur ", "la ", "table ", "\xe9t\xe9 ", "2024 ", "\r\n"};
  std::mt19937 g(seed);
  std::string s;
  while (s.size() < n) s += words[g() % 9];
  s.resize(n);
  return s;
}

TEST_F(Crypte, EveryModeRoundTrips) {
  for (std::size_t n : {0u, 1u, 19u, 20u, 8191u, 8192u, 65537u}) {
    const std::string s = text(n, static_cast<unsigned>(n));
    for (int cipher = 0; cipher <= 3; ++cipher) {
      for (int pack = 0; pack <= 2; ++pack) {
        for (int enc = 0; enc <= 3; ++enc) {
          const int mode = cipher | (pack << 16);
          const std::string c = crypt(Value::text(s), "mot de passe", mode, enc);
          ASSERT_FALSE(last.isError()) << last.message;
          ASSERT_EQ(uncrypt(c, "mot de passe", mode, enc), s) << n << " " << cipher << " " << pack << " " << enc;
          ASSERT_FALSE(last.isError()) << last.message;
        }
      }
    }
  }
}

// The short-string pack method keeps every text without NUL, whatever its
// length: each byte value at each position of short texts (where raw bytes
// cost the most), and random texts.
TEST_F(Crypte, ShortStringPackKeepsEveryText) {
  const int mode = 0x20000;  // short-string packing, no cipher
  std::vector<std::string> texts;
  for (std::size_t n = 1; n <= 8; ++n) {
    for (std::size_t at = 0; at < n; ++at) {
      for (int v = 1; v < 256; ++v) {
        std::string s = std::string("xyzABC 1").substr(0, n);
        s[at] = static_cast<char>(v);
        texts.push_back(s);
      }
    }
  }
  std::mt19937 g(13);
  for (int i = 0; i < 2000; ++i) {
    std::string s(1 + g() % 40, '\0');
    for (auto& c : s) c = static_cast<char>(1 + g() % 255);
    texts.push_back(s);
  }
  for (const auto& s : texts) {
    const std::string c = crypt(Value::text(s), "pw", mode, 0);
    ASSERT_FALSE(last.isError()) << last.message;
    ASSERT_EQ(uncrypt(c, "pw", mode, 0), s) << testing::PrintToString(s);
  }
}

TEST_F(Crypte, BuffersAndTheDefaultSyntax) {
  std::mt19937 g(9);
  std::string b(3000, '\0');
  for (auto& c : b) c = static_cast<char>(g());
  for (int cipher = 1; cipher <= 3; ++cipher)
    EXPECT_EQ(uncrypt(crypt(Value::buffer(b), "k", cipher, 2), "k", cipher, 2), b);
  // Compression takes a buffer as a text: up to its first 0 byte.
  EXPECT_EQ(uncrypt(crypt(Value::buffer(std::string("ab\0cd", 5)), "k", 0x10001, 1), "k", 0x10001, 1), "ab");
  auto r = host.call("Crypt", {Value::text("bonjour"), Value::text("k")});
  EXPECT_EQ(host.call("Uncrypt", {r.value, Value::text("k")}).value.bytes, "bonjour");
  EXPECT_EQ(crypt(Value::text("abc"), "k", 0x4000001, 2), crypt(Value::text("abc"), "k", 1, 2));
  EXPECT_EQ(crypt(Value::text("abc\xff"), "k", 0, 0), "abc\xff");
  EXPECT_EQ(crypt(Value::text(""), "k", 1, 2), "");
  // A wrong password gives other bytes, not an error.
  EXPECT_NE(uncrypt(crypt(Value::text("secret data"), "k", 2, 2), "K", 2, 2), "secret data");
}

TEST_F(Crypte, FailureTable) {
  struct {
    int mode;
    const char* pwd;
    DWORD code;
  } cases[] = {{4, "k", 80280}, {0x30001, "k", 80550}, {1, "", 80282}, {2, "", 80282}};
  for (const auto& c : cases) {
    EXPECT_EQ(crypt(Value::text("abc"), c.pwd, c.mode, 1), "");
    EXPECT_EQ(last.code, c.code);
    EXPECT_EQ(uncrypt("YWJj", c.pwd, c.mode, 1), "");
    EXPECT_EQ(last.code, c.code);
  }
  // Compressed data cut short.
  const std::string c = crypt(Value::text(std::string(3000, 'q') + "fin"), "k", 0x10000, 1);
  EXPECT_EQ(uncrypt(c.substr(0, c.size() - 8), "k", 0x10000, 1), "");
  EXPECT_EQ(last.code, 80551u);
}

}  // namespace
