// fCrypte and fDécrypte on files: the encrypted layout (sum, then pieces of
// 64000 bytes enciphered one by one), round trips through every method and
// encoding, the same file as source and destination, and the errors.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "crypto/Crypt.h"
#include "files/TempDir.h"
#include "support/HostTest.h"

namespace {

std::string randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// Standard base 64, 20 groups (80 characters) per line, written here.
std::string base64Lines(const std::string& in) {
  static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t groups = 0;
  for (std::size_t i = 0; i < in.size(); i += 3) {
    const unsigned b0 = static_cast<unsigned char>(in[i]);
    const unsigned b1 = i + 1 < in.size() ? static_cast<unsigned char>(in[i + 1]) : 0;
    const unsigned b2 = i + 2 < in.size() ? static_cast<unsigned char>(in[i + 2]) : 0;
    out += a[b0 >> 2];
    out += a[((b0 & 3) << 4) | (b1 >> 4)];
    out += i + 1 < in.size() ? a[((b1 & 15) << 2) | (b2 >> 6)] : '=';
    out += i + 2 < in.size() ? a[b2 & 63] : '=';
    if (i + 3 <= in.size() && ++groups % 20 == 0) out += "\r\n";
  }
  return out;
}

class EncryptedFiles : public HostTest {
protected:
  TempDir dir;
  bool crypte(const std::string& a, const std::string& b, const char* pw, int method, int encoding) {
    return call("fCrypte", {T(a), T(b), T(pw), I(method), I(encoding)}).integer != 0;
  }
  bool decrypte(const std::string& a, const std::string& b, const char* pw, int method, int encoding) {
    return call("fD\xE9" "crypte", {T(a), T(b), T(pw), I(method), I(encoding)}).integer != 0;
  }
};

TEST_F(EncryptedFiles, LayoutIsTheSumThenPiecesEncipheredOneByOne) {
  const std::string plain = randomBytes(64001, 1);
  TempDir::write(dir / "p", plain);
  ASSERT_TRUE(crypte(dir / "p", dir / "c", "secret", 2, 0)) << last.message;
  const std::string coded = TempDir::read(dir / "c");
  ASSERT_EQ(coded.size(), plain.size() + 4);
  unsigned sum = 0;
  for (unsigned char c : plain) sum += c;
  EXPECT_EQ(coded.substr(0, 4), std::string({static_cast<char>(sum), static_cast<char>(sum >> 8),
                                             static_cast<char>(sum >> 16), static_cast<char>(sum >> 24)}));
  CCryptRC5 rc5(8);
  ASSERT_TRUE(rc5.bSetPassword("secret"));
  std::string first = plain.substr(0, 64000), second = plain.substr(64000);
  rc5.Crypt(reinterpret_cast<BYTE*>(first.data()), 64000);
  rc5.Crypt(reinterpret_cast<BYTE*>(second.data()), 1);
  EXPECT_EQ(coded.substr(4), first + second);

  TempDir::write(dir / "vide", "");
  ASSERT_TRUE(crypte(dir / "vide", dir / "c0", "pw", 1, 0));
  EXPECT_EQ(TempDir::read(dir / "c0"), std::string(4, '\0'));
}

TEST_F(EncryptedFiles, RoundTripsThroughEveryMethodAndEncoding) {
  for (std::size_t size : {0u, 1u, 19u, 64000u, 64001u, 130001u}) {
    const std::string plain = randomBytes(size, static_cast<unsigned>(size));
    TempDir::write(dir / "p", plain);
    for (int method = 0; method <= 3; ++method) {
      for (int encoding = 0; encoding <= 3; ++encoding) {
        SCOPED_TRACE(std::to_string(size) + " bytes, method " + std::to_string(method) + ", encoding " +
                     std::to_string(encoding));
        ASSERT_TRUE(crypte(dir / "p", dir / "c", "mot de passe", method, encoding)) << last.message;
        ASSERT_TRUE(decrypte(dir / "c", dir / "d", "mot de passe", method, encoding)) << last.message;
        EXPECT_EQ(TempDir::read(dir / "d"), plain);
      }
    }
  }
  // Encoding alone is the text a single encoder call gives.
  const std::string plain = randomBytes(70000, 9);
  TempDir::write(dir / "p", plain);
  ASSERT_TRUE(crypte(dir / "p", dir / "b64", "", 0, 2));
  EXPECT_EQ(TempDir::read(dir / "b64"), base64Lines(plain));
  // Decoding does not depend on where the lines break: one long line.
  std::string oneLine = base64Lines(plain);
  for (std::size_t i; (i = oneLine.find("\r\n")) != std::string::npos;) oneLine.erase(i, 2);
  TempDir::write(dir / "ligne", oneLine);
  ASSERT_TRUE(decrypte(dir / "ligne", dir / "d", "", 0, 2));
  EXPECT_EQ(TempDir::read(dir / "d"), plain);
}

TEST_F(EncryptedFiles, SameFileAsSourceAndDestination) {
  const std::string plain = randomBytes(100000, 3);
  TempDir::write(dir / "f", plain);
  ASSERT_TRUE(crypte(dir / "f", dir / "f", "pw", 3, 1)) << last.message;
  EXPECT_NE(TempDir::read(dir / "f"), plain);
  ASSERT_TRUE(decrypte(dir / "f", dir / "f", "pw", 3, 1)) << last.message;
  EXPECT_EQ(TempDir::read(dir / "f"), plain);
}

TEST_F(EncryptedFiles, Errors) {
  TempDir::write(dir / "p", "some plain text");
  ASSERT_TRUE(crypte(dir / "p", dir / "c", "right", 1, 0));
  EXPECT_FALSE(decrypte(dir / "c", dir / "d", "wrong", 1, 0));
  EXPECT_NE(last.message.find("Mot de passe incorrect"), std::string::npos) << last.message;
  EXPECT_FALSE(crypte(dir / "p", dir / "c", "pw", 4, 0));
  EXPECT_EQ(last.code, 80280u);
  EXPECT_FALSE(crypte(dir / "p", dir / "c", "pw", -1, 0));
  EXPECT_EQ(last.code, 80280u);
  EXPECT_FALSE(crypte(dir / "p", dir / "c", "", 1, 0));
  EXPECT_EQ(last.code, 80282u);
  EXPECT_FALSE(crypte(dir / "p", dir / "c", "pw", 1, 7));
  EXPECT_EQ(last.code, 80280u);
  EXPECT_FALSE(crypte(dir / "absent", dir / "c", "pw", 2, 0));
  EXPECT_TRUE(last.isError());
  TempDir::write(dir / "court", "ab");
  EXPECT_FALSE(decrypte(dir / "court", dir / "d", "pw", 1, 0));
  EXPECT_NE(last.message.find("trop court"), std::string::npos) << last.message;
  // Method 0 without encoding copies.
  ASSERT_TRUE(crypte(dir / "p", dir / "copie", "", 0, 0));
  EXPECT_EQ(TempDir::read(dir / "copie"), "some plain text");
}

}  // namespace
