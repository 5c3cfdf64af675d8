// The ciphers: the fast cipher's one-, two- and three-byte rules written out,
// RC5 against the published vectors and against a CBC and nibble cipher
// written here from their description.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "crypto/Crypt.h"

namespace {

std::vector<BYTE> randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 g(seed);
  std::vector<BYTE> v(n);
  for (auto& b : v) b = static_cast<BYTE>(g());
  return v;
}

TEST(FastCipher, SmallCasesWrittenOut) {
  BYTE K[16];
  for (int i = 0; i < 16; ++i) K[i] = static_cast<BYTE>(i * 37 + 5);
  CCryptHomeMade c;
  c.bSetCryptKey(K);
  // One byte: (d + 203) XOR low byte of s + (s >> 16), s the sum of the words.
  DWORD s = 0;
  for (int w = 0; w < 4; ++w) {
    DWORD word;
    std::memcpy(&word, K + 4 * w, 4);
    s += word;
  }
  BYTE one[1] = {0x41};
  c.Crypt(one, 1);
  EXPECT_EQ(one[0], static_cast<BYTE>((0x41 + 203) ^ static_cast<BYTE>(s + (s >> 16))));
  // Two bytes: no middle byte.
  BYTE two[2] = {10, 20};
  c.Crypt(two, 2);
  const BYTE d0 = static_cast<BYTE>((20 + 10) ^ K[15]);
  const BYTE d1 = static_cast<BYTE>((d0 + 20 + d0) ^ K[15]);
  EXPECT_EQ(two[1], d1);
  EXPECT_EQ(two[0], static_cast<BYTE>((d1 + d0) ^ K[0]));
  // Three bytes: step 1 is the middle byte.
  BYTE three[3] = {1, 2, 3};
  c.Crypt(three, 3);
  const BYTE e0 = static_cast<BYTE>((3 + 1) ^ K[15]);
  BYTE e1 = static_cast<BYTE>((e0 + 2) ^ K[15]);
  e1 = static_cast<BYTE>((e1 + 17) ^ K[0]);
  const BYTE e2 = static_cast<BYTE>((e1 + 3 + e0) ^ K[14]);
  const BYTE e0b = static_cast<BYTE>((e2 + e0) ^ K[1]);
  EXPECT_EQ(three[0], e0b);
  EXPECT_EQ(three[1], e1);
  EXPECT_EQ(three[2], e2);
}

TEST(FastCipher, RoundTripsAndKeys) {
  CCryptHomeMade c;
  BYTE k[16];
  c.BuildCryptKeyAnsi(k, "");
  EXPECT_EQ(std::memcmp(k, CCryptHomeMade::s_abyCleInitiale, 16), 0);
  ASSERT_TRUE(c.bSetPassword("mot de passe"));
  EXPECT_NE(std::memcmp(c.pGetCryptKey(), CCryptHomeMade::s_abyCleInitiale, 16), 0);
  // Passwords starting with a byte above 127 (signed remainder) and long ones.
  for (const char* pwd : {"a", "\xe9t\xe9", "0123456789abcdefghijklmnopqrstuvwxyz"}) {
    ASSERT_TRUE(c.bSetPassword(pwd));
    for (std::size_t n : {0u, 1u, 2u, 3u, 4u, 5u, 16u, 17u, 33u, 1000u}) {
      auto data = randomBytes(n, static_cast<unsigned>(n));
      auto copy = data;
      c.Crypt(copy.data(), static_cast<unsigned>(n));
      if (n > 1) {
        EXPECT_NE(copy, data);
      }
      c.Uncrypt(copy.data(), static_cast<unsigned>(n));
      EXPECT_EQ(copy, data) << pwd << " " << n;
    }
  }
}

// RC5-32/r/16 in its published byte order, written from the description.
struct Rc5Reference {
  int r;
  std::vector<DWORD> S;
  static DWORD rotl(DWORD x, DWORD n) { return (x << (n & 31)) | (x >> ((32 - (n & 31)) & 31)); }
  Rc5Reference(const BYTE key[16], int rounds) : r(rounds), S(2 * rounds + 2) {
    DWORD L[4];
    std::memcpy(L, key, 16);
    S[0] = 0xB7E15163;
    for (std::size_t i = 1; i < S.size(); ++i) S[i] = S[i - 1] + 0x9E3779B9;
    DWORD A = 0, B = 0;
    for (std::size_t k = 0, i = 0, j = 0; k < 3 * S.size(); ++k, i = (i + 1) % S.size(), j = (j + 1) % 4) {
      A = S[i] = rotl(S[i] + A + B, 3);
      B = L[j] = rotl(L[j] + A + B, A + B);
    }
  }
  // Published order: A from bytes 0-3, B from bytes 4-7.
  void block(BYTE b[8]) const {
    DWORD A, B;
    std::memcpy(&A, b, 4);
    std::memcpy(&B, b + 4, 4);
    A += S[0];
    B += S[1];
    for (int i = 1; i <= r; ++i) {
      A = rotl(A ^ B, B) + S[2 * i];
      B = rotl(B ^ A, A) + S[2 * i + 1];
    }
    std::memcpy(b, &A, 4);
    std::memcpy(b + 4, &B, 4);
  }
  // The library's order: the halves swapped on the way in and out.
  void blockSwapped(BYTE b[8]) const {
    BYTE t[8];
    std::memcpy(t, b + 4, 4);
    std::memcpy(t + 4, b, 4);
    block(t);
    std::memcpy(b, t + 4, 4);
    std::memcpy(b + 4, t, 4);
  }
  BYTE nibble(BYTE x) const {
    unsigned A = ((x >> 4) + S[0]) % 16, B = ((x % 16) + S[1]) % 16;
    auto rot4 = [](unsigned v, unsigned n) { n %= 4; return ((v << n) | (v >> (4 - n))) % 16; };
    for (int i = 1; i <= r; ++i) {
      A = (rot4(A ^ B, B % 4) + (S[2 * i] & 0xFF)) % 16;
      B = (rot4(B ^ A, A % 4) + (S[2 * i + 1] & 0xFF)) % 16;
    }
    return static_cast<BYTE>(A * 16 + B);
  }
  void encrypt(std::vector<BYTE>& d) const {
    BYTE iv[8] = {};
    std::size_t n = d.size() / 8 * 8;
    for (std::size_t o = 0; o < n; o += 8) {
      for (int k = 0; k < 8; ++k) d[o + k] ^= iv[k];
      blockSwapped(&d[o]);
      std::memcpy(iv, &d[o], 8);
    }
    BYTE c = n > 0 ? d[n - 8] : 0;
    for (std::size_t i = n; i < d.size(); ++i) c = d[i] = nibble(static_cast<BYTE>(d[i] ^ c));
  }
};

TEST(RC5, PublishedVectors) {
  // RC5-32/12/16 vectors (key, plaintext, ciphertext in the published byte order).
  struct {
    const char* key;
    const char* pt;
    const char* ct;
  } v[] = {{"00000000000000000000000000000000", "0000000000000000", "21A5DBEE154B8F6D"},
           {"915F4619BE41B2516355A50110A9CE91", "21A5DBEE154B8F6D", "F7C013AC5B2B8952"}};
  auto hex = [](const char* s, BYTE* out) {
    for (std::size_t i = 0; s[2 * i]; ++i) out[i] = static_cast<BYTE>(std::stoi(std::string(s + 2 * i, 2), nullptr, 16));
  };
  for (const auto& c : v) {
    BYTE key[16], pt[8], ct[8];
    hex(c.key, key);
    hex(c.pt, pt);
    hex(c.ct, ct);
    Rc5Reference ref(key, 12);
    BYTE b[8];
    std::memcpy(b, pt, 8);
    ref.block(b);
    EXPECT_EQ(std::memcmp(b, ct, 8), 0);
    // The library takes the halves the other way round.
    CCryptRC5 rc5(12);
    ASSERT_TRUE(rc5.bSetCryptKey(key));
    BYTE s[8];
    std::memcpy(s, pt + 4, 4);
    std::memcpy(s + 4, pt, 4);
    rc5.__CryptBlock(s);
    EXPECT_EQ(std::memcmp(s, ct + 4, 4), 0);
    EXPECT_EQ(std::memcmp(s + 4, ct, 4), 0);
  }
}

TEST(RC5, MatchesTheReferenceAndRoundTrips) {
  for (int rounds : {8, 16}) {
    CCryptRC5 rc5(rounds);
    ASSERT_TRUE(rc5.bSetPassword("secret"));
    Rc5Reference ref(rc5.pGetCryptKey(), rounds);
    for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 100u}) {
      auto data = randomBytes(n, static_cast<unsigned>(n * rounds));
      auto expected = data, got = data;
      ref.encrypt(expected);
      rc5.Crypt(got.data(), static_cast<unsigned>(n));
      EXPECT_EQ(got, expected) << rounds << " " << n;
      rc5.Uncrypt(got.data(), static_cast<unsigned>(n));
      EXPECT_EQ(got, data);
    }
  }
  // A key given with the call does not replace the object's.
  CCryptRC5 rc5(8);
  ASSERT_TRUE(rc5.bSetPassword("a"));
  BYTE other[16] = {1, 2, 3};
  auto data = randomBytes(20, 1), a = data, b = data;
  rc5.Crypt(a.data(), 20, &other);
  rc5.Crypt(b.data(), 20);
  EXPECT_NE(a, b);
  rc5.Uncrypt(a.data(), 20, &other);
  EXPECT_EQ(a, data);
}

TEST(RC5, PasswordKeyDependsOnEveryByte) {
  CCryptRC5 rc5;
  BYTE k1[16], k2[16], k3[16];
  rc5.BuildCryptKeyAnsi(k1, "abc");
  rc5.BuildCryptKeyAnsi(k2, "abd");
  rc5.BuildCryptKeyAnsi(k3, std::string(60, 'x').c_str());  // length + 4 = 64: one block, no 0x01
  EXPECT_NE(std::memcmp(k1, k2, 16), 0);
  BYTE k4[16];
  rc5.BuildCryptKeyAnsi(k4, std::string(61, 'x').c_str());  // two blocks
  EXPECT_NE(std::memcmp(k3, k4, 16), 0);
}

}  // namespace
