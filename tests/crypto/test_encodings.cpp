// Base 64 (both forms), the UU-style form and URL encoding: the published
// examples, the base64 tool on the same bytes, streaming against one call,
// and damaged texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Host.h"
#include "crypto/Encodeurs.h"
#include "support/TestHost.h"

namespace {

std::string encode(int encoding, const std::string& s, unsigned groups = 20) {
  std::unique_ptr<CEncodeBase> e(pclGetEncodeur(encoding));
  const auto* p = reinterpret_cast<const BYTE*>(s.data());
  std::string out(e->nEncode(p, s.size(), groups, nullptr), '?');
  EXPECT_EQ(e->nEncode(p, s.size(), groups, out.data()), out.size());
  return out;
}

std::string decode(int encoding, const std::string& t) {
  std::unique_ptr<CEncodeBase> e(pclGetEncodeur(encoding));
  std::string out(e->nDecode(t.c_str(), nullptr), '?');
  EXPECT_EQ(e->nDecode(t.c_str(), reinterpret_cast<BYTE*>(out.data())), out.size());
  return out;
}

std::string randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 g(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(g());
  return s;
}

TEST(Base64, PublishedExamples) {
  struct {
    const char* in;
    const char* orx;
    const char* b64;
  } cases[] = {{"abc", "YWJj", "YWJj"}, {"ab", "YWI", "YWI="}, {"a", "YQ", "YQ=="}, {"", "", ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(encode(1, c.in), c.orx);
    EXPECT_EQ(encode(2, c.in), c.b64);
    EXPECT_EQ(decode(1, c.orx), c.in);
    EXPECT_EQ(decode(2, c.b64), c.in);
  }
  // 60 bytes with 20 groups a line: one full line and its CR LF.
  const std::string t = encode(2, std::string(60, 'x'));
  ASSERT_EQ(t.size(), 82u);
  EXPECT_EQ(t.substr(80), "\r\n");
  EXPECT_EQ(std::unique_ptr<CEncodeBase>(pclGetEncodeur(7)), nullptr);
}

TEST(Base64, SameTextAsTheBase64Tool) {
  const std::string data = randomBytes(10000, 3);
  char name[] = "/tmp/kvb64XXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  close(fd);
  std::string cmd = std::string("base64 -w0 ") + name;
  FILE* f = popen(cmd.c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string tool;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) tool.append(buf, n);
  pclose(f);
  std::remove(name);
  EXPECT_EQ(encode(2, data, 0), tool);
  EXPECT_EQ(decode(2, tool), data);
}

TEST(Base64, RoundTripsStreamingAndLines) {
  for (int enc : {1, 2, 3}) {
    for (std::size_t n : {0u, 1u, 2u, 3u, 4u, 59u, 60u, 61u, 134u, 135u, 136u, 5000u}) {
      const std::string data = randomBytes(n, static_cast<unsigned>(n + enc));
      for (unsigned groups : {0u, 1u, 20u}) {
        const std::string whole = encode(enc, data, groups);
        ASSERT_EQ(decode(enc, whole), data) << enc << " " << n << " " << groups;
        // Pieces of awkward sizes give the same text.
        std::unique_ptr<CEncodeBase> e(pclGetEncodeur(enc));
        STEtatEncodage etat;
        std::string pieces;
        std::mt19937 g(static_cast<unsigned>(n));
        for (std::size_t pos = 0; pos < n;) {
          const std::size_t k = std::min<std::size_t>(n - pos, g() % 7);
          const auto* p = reinterpret_cast<const BYTE*>(data.data()) + pos;
          std::string out(e->nTailleMorceau(etat, k, groups), '?');
          out.resize(e->nEncodeMorceau(etat, p, k, groups, out.data()));
          pieces += out;
          pos += k;
        }
        std::string fin(CEncodeBase::nTailleFin, '?');
        fin.resize(e->nEncodeFin(etat, groups, fin.data()));
        EXPECT_EQ(pieces + fin, whole) << enc << " " << n << " " << groups;
      }
    }
  }
}

// Runs f with the base-64 path imposed, then puts back the one in use.
template <class F>
auto withPath(eCHEMINBASE64 path, F f) {
  const eCHEMINBASE64 before = BASE64_eChemin();
  EXPECT_TRUE(BASE64_bImposeChemin(path));
  auto r = f();
  BASE64_bImposeChemin(before);
  return r;
}

// Decoding into a buffer of exactly the announced size (so that a write past
// it shows under the sanitizers).
std::vector<BYTE> decodeExact(int encoding, const std::string& t) {
  std::unique_ptr<CEncodeBase> e(pclGetEncodeur(encoding));
  std::vector<BYTE> out(e->nDecode(t.c_str(), nullptr));
  EXPECT_EQ(e->nDecode(t.c_str(), out.data()), out.size());
  return out;
}

TEST(Base64, EveryPathAgreesWithTheScalarOne) {
  std::vector<eCHEMINBASE64> paths;
  for (auto p : {BASE64_SSSE3, BASE64_AVX2})
    if (BASE64_bCheminDisponible(p)) paths.push_back(p);
  ASSERT_TRUE(BASE64_bCheminDisponible(BASE64_SCALAIRE));
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 200; ++n) lengths.push_back(n);
  for (std::size_t n : {1000u, 4097u, 100000u}) lengths.push_back(n);
  for (int enc : {1, 2}) {
    for (std::size_t n : lengths) {
      const std::string data = randomBytes(n, static_cast<unsigned>(n * 3 + enc));
      for (unsigned groups : {0u, 1u, 3u, 20u, 45u}) {
        const std::string ref = withPath(BASE64_SCALAIRE, [&] { return encode(enc, data, groups); });
        for (auto p : paths) {
          ASSERT_EQ(withPath(p, [&] { return encode(enc, data, groups); }), ref)
              << "path " << p << " enc " << enc << " n " << n << " groups " << groups;
          const auto back = withPath(p, [&] { return decodeExact(enc, ref); });
          ASSERT_EQ(std::string(back.begin(), back.end()), data) << "path " << p << " enc " << enc << " n " << n;
        }
      }
    }
  }
  // A NUL ends the text even when a longer length is given, wherever it falls.
  const std::string longText = encode(2, randomBytes(60000, 13), 20);
  for (std::size_t nul : {0u, 5u, 81u, 32767u, 32768u, 40001u, 79999u}) {
    std::string t = longText;
    t[nul] = '\0';
    const std::string prefix = t.substr(0, nul);
    for (int enc : {1, 2}) {
      const auto ref = withPath(BASE64_SCALAIRE, [&] { return decodeExact(enc, prefix); });
      for (auto p : paths) {
        std::unique_ptr<CEncodeBase> e(pclGetEncodeur(enc));
        std::vector<BYTE> out(t.size());
        out.resize(withPath(p, [&] { return e->nDecode(t.data(), t.size(), out.data()); }));
        ASSERT_EQ(out, ref) << "path " << p << " nul at " << nul;
      }
    }
  }
  // Damaged texts: line breaks inside groups, '=' anywhere, characters
  // outside the alphabet, long clean stretches between them.
  std::mt19937 g(11);
  const std::string clean = encode(1, randomBytes(3000, 12), 0);
  for (int i = 0; i < 3000; ++i) {
    std::string t = clean.substr(g() % 1000, g() % 300);
    for (int k = g() % 6; k > 0 && !t.empty(); --k) t[g() % t.size()] = "\r\n=\r\n=-~ \x80\xff*"[g() % 12];
    for (int enc : {1, 2}) {
      const auto ref = withPath(BASE64_SCALAIRE, [&] { return decodeExact(enc, t); });
      for (auto p : paths) ASSERT_EQ(withPath(p, [&] { return decodeExact(enc, t); }), ref) << "path " << p << " " << t;
    }
  }
}

// Decodes t in pieces of random sizes (0 to 9 characters, now and then a
// large one) and ends it.
std::string decodeInPieces(int encoding, const std::string& t, std::mt19937& g) {
  std::unique_ptr<CEncodeBase> e(pclGetEncodeur(encoding));
  STEtatDecodage etat;
  std::string out;
  for (std::size_t pos = 0; pos < t.size();) {
    const std::size_t k = std::min<std::size_t>(t.size() - pos, g() % 10 == 0 ? 500 : g() % 10);
    std::vector<BYTE> b(CEncodeBase::nTailleDecodeMorceau(etat, k));
    b.resize(e->nDecodeMorceau(etat, t.data() + pos, k, b.data()));
    out.append(b.begin(), b.end());
    pos += k;
  }
  BYTE fin[2];
  const std::size_t n = e->nDecodeFin(etat, fin);
  out.append(fin, fin + n);
  return out;
}

TEST(Base64, DecodingInPiecesGivesTheSameBytes) {
  std::mt19937 g(50);
  for (int enc : {1, 2, 3}) {
    std::vector<std::string> texts;
    for (std::size_t n : {0u, 1u, 2u, 3u, 59u, 61u, 1000u, 5000u})
      for (unsigned groups : {0u, 20u}) texts.push_back(encode(enc, randomBytes(n, static_cast<unsigned>(n)), groups));
    // Damaged: line breaks inside groups, '=' anywhere, foreign characters,
    // a NUL (which ends the text), a text shorter than the UU-style frame.
    for (int i = 0; i < 300; ++i) {
      std::string t = texts[g() % texts.size()];
      for (int k = g() % 5; k > 0 && !t.empty(); --k) t[g() % t.size()] = "\r\n=-~ \x80\0"[g() % 9];
      texts.push_back(t);
    }
    texts.push_back("begin 0666 uu\r\n86");
    for (const std::string& t : texts) {
      std::unique_ptr<CEncodeBase> e(pclGetEncodeur(enc));
      std::string whole(t.size() / 4 * 3 + 3, '\0');
      whole.resize(e->nDecode(t.data(), t.size(), reinterpret_cast<BYTE*>(whole.data())));
      ASSERT_EQ(decodeInPieces(enc, t, g), whole) << enc << " " << t;
    }
  }
}

TEST(UUEncode, ExampleAndLayout) {
  EXPECT_EQ(encode(3, "abc"), "begin 0666 uu\r\n86)C\r\nend\r\n");
  EXPECT_EQ(decode(3, "begin 0666 uu\r\n86)C\r\nend\r\n"), "abc");
  // 45 groups a line whatever is asked.
  const std::string t = encode(3, std::string(135, 'z'), 20);
  EXPECT_EQ(t.substr(15 + 180, 2), "\r\n");
  EXPECT_EQ(decode(3, "short"), "");
}

TEST(Base64, PaddingRulesAndDamagedText) {
  // '=' in fourth place: two bytes when the third value's low bits are 0,
  // else the third byte still comes.
  EXPECT_EQ(decode(2, "YWI="), "ab");
  EXPECT_EQ(decode(2, "YWJ=").size(), 3u);
  EXPECT_EQ(decode(2, "YR==").size(), 2u);
  EXPECT_EQ(decode(2, "YQ==YWJj"), "a");
  EXPECT_EQ(decode(2, "=YWJj"), "");
  EXPECT_EQ(decode(1, "YQ=="), decode(1, "YQ//"));  // '=' is 63 in the maker form
  // A line break is skipped only at the start of a step; inside one it is 63.
  EXPECT_EQ(decode(1, "YWJj\r\nYWJj"), "abcabc");
  EXPECT_EQ(decode(1, "YW\r\nJj").size(), 4u);
  // Any text: the bytes written are the bytes announced.
  std::mt19937 g(5);
  for (int i = 0; i < 2000; ++i) {
    std::string t(g() % 40, '\0');
    for (auto& c : t) c = "AZaz09+/=\r\n-~ \x80"[g() % 15];
    for (int enc : {1, 2, 3}) decode(enc, t);
  }
}

TEST(URL, EncodeAndDecode) {
  struct {
    const char* in;
    int mode;
    const char* out;
  } enc[] = {{"a b", 0, "a%20b"}, {"x+y", 0, "x%2By"}, {"@!#$&'()*,-./:;=?_", 0, "@!#$&'()*,-./:;=?_"},
             {"%<>\"~\x7f\xe9", 0, "%25%3C%3E%22%7E%7F%E9"}, {"a-b.c", 1, "a%2Db%2Ec"}};
  for (const auto& c : enc) {
    std::string out(nCalculeLongueurEncodee(c.in, c.mode), '?');
    EncodeURL(c.in, out.data(), c.mode);
    EXPECT_EQ(out, c.out);
  }
  struct {
    const char* in;
    std::string out;
  } dec[] = {{"x+y", "x y"}, {"%26%238364%3B", "\x80"}, {"%4", ""}, {"ab%4", "ab"}, {"%41%62c", "Abc"}};
  for (const auto& c : dec) {
    std::string out(nCalculeLongueurDecodee(c.in), '?');
    EXPECT_EQ(DecodeURL(c.in, out.data()), out.size());
    EXPECT_EQ(out, c.out) << c.in;
  }
  kvhost::Host host{testOptions()};
  EXPECT_EQ(host.call("URLEncode", {kvhost::Value::text("a b")}).value.bytes, "a%20b");
  EXPECT_EQ(host.call("URLDecode", {kvhost::Value::text("x+y")}).value.bytes, "x y");
  EXPECT_EQ(host.call("URLDecode", {kvhost::Value::text("")}).value.bytes, "");
}

}  // namespace
