// Short-string coder: codings checked byte by byte, round trips, capacities
// of the coder and of the decoder, damaged codings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/DataCompressor.h"

namespace {

using Bytes = std::string;

// Two bytes of three base-40 digits: base 255, each byte shifted by one.
Bytes Pair(int d1, int d2, int d3) {
  const int v = (d1 * 40 + d2) * 40 + d3;
  return {static_cast<char>(v / 255 + 1), static_cast<char>(v % 255 + 1)};
}

const unsigned char* U(const Bytes& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// Codes text; checks that the coding fits exactly strlen + 1 bytes (so it
// holds no 0 before its terminator) and that one byte less is refused
// without writing past the capacity.
Bytes Code(const Bytes& text) {
  std::vector<unsigned char> big(4 * text.size() + 16);
  CDataCompressor cl;
  EXPECT_EQ(cl.nCompress(big.data(), static_cast<int>(big.size()), U(text), static_cast<int>(text.size())), 0);
  const Bytes coded(reinterpret_cast<const char*>(big.data()));

  const int nExact = static_cast<int>(coded.size()) + 1;
  std::vector<unsigned char> out(nExact + 4, 0xAA);
  EXPECT_EQ(cl.nCompress(out.data(), nExact, U(text), static_cast<int>(text.size())), 0);
  EXPECT_EQ(0, std::memcmp(out.data(), big.data(), nExact));
  std::fill(out.begin(), out.end(), 0xAA);
  EXPECT_EQ(cl.nCompress(out.data(), nExact - 1, U(text), static_cast<int>(text.size())), CDataCompressor::DC_SORTIE_PLEINE);
  if (nExact > 1) {
    EXPECT_EQ(out[0], 0) << "a refused coding leaves the empty text";
  }
  for (int i = nExact - 1; i < nExact + 4; ++i) EXPECT_EQ(out[i], 0xAA) << "written past the capacity";
  return coded;
}

// Decodes with both forms (NUL-terminated, and explicit length with and
// without the terminator), which must agree.
Bytes Decode(const Bytes& coded, int nCapacity = -1) {
  if (nCapacity < 0) nCapacity = static_cast<int>(coded.size() * 3 / 2 + 2);
  std::vector<unsigned char> out(nCapacity + 1);
  int n = nCapacity;
  CDataCompressor cl;
  EXPECT_EQ(cl.nDeCompress(out.data(), &n, U(coded)), 0);
  const Bytes text(reinterpret_cast<const char*>(out.data()), n);
  EXPECT_EQ(out[n], 0);
  for (int nLength : {static_cast<int>(coded.size()), static_cast<int>(coded.size()) + 1}) {
    std::vector<unsigned char> in(coded.begin(), coded.end());
    in.push_back(0);
    in.resize(nLength); // exact size: a read past the end is caught by the sanitizer build
    n = nCapacity;
    EXPECT_EQ(cl.nDeCompress(out.data(), &n, in.data(), nLength), 0);
    EXPECT_EQ(Bytes(reinterpret_cast<const char*>(out.data()), n), text);
  }
  return text;
}

TEST(DataCompressor, HandCodings) {
  // Digit of a character: 8 + its place in the table in force; 0-3 shift,
  // 4-7 latch; 38/39 mark raw bytes while charset 3 is latched.
  struct Case {
    const char* name;
    Bytes text;
    Bytes coded;
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"one digit left: a single byte", "A", "\x0F"},
      {"two digits left: latch to charset 0 fills", "AB", Pair(14, 15, 4)},
      {"three digits", "ABC", Pair(14, 15, 16)},
      {"last byte: shift to charset 1", "Ab", Pair(14, 1, 11)},
      {"charset 1 cheaper for what follows: latch", "Abc", Pair(14, 5, 11) + "\x0D"},
      {"charsets 0 and 1 tie to the end: the first stays, shift", "Ab,", Pair(14, 1, 11) + "\x0D"},
      {"tie of 1 and 2 after the latch: shift to 2 for the digit", "Ab1c", Pair(14, 5, 11) + Pair(2, 18, 12)},
      {"one raw byte", "A\x01", Pair(14, 7, 38) + "\x01"},
      {"a counted run, padded", "\x01\x02", Pair(7, 39, 39) + "\x02\x01\x02"},
      {"a lone raw byte stops at 3 codable ones", "\x01" "abcd", Pair(7, 38, 39) + "\x01" + Pair(5, 10, 11) + Pair(12, 13, 5)},
      {"up to 2 codable bytes at the end join the run", "\x01" "ab", Pair(7, 39, 39) + "\x03\x01" "ab"},
      {"8 codable bytes between raw ones join the run", "\x01\x01" "abcdefgh\x01",
       Pair(7, 39, 39) + "\x0B\x01\x01" "abcdefgh\x01"},
      {"FE through a shift while charset 0 is latched", "\xFE", Pair(3, 38, 4)},
      // While charset 3 is latched, FE is raw (38 would be a marker); the
      // trailing '#' joins the run.
      {"FE while charset 3 is latched", "#\xFE#", Pair(7, 8, 39) + "\x02\xFE#"},
      // 'Y' is place 30 of charset 0: with charset 3 latched only a latch
      // to charset 0 reaches it.
      {"Y while charset 3 is latched", "##Y", Pair(7, 8, 8) + Pair(4, 38, 4)},
      {"run split at 255 bytes", Bytes(300, '\x01'),
       Pair(7, 39, 39) + "\xFF" + Bytes(255, '\x01') + Pair(39, 39, 39) + "\x2D" + Bytes(45, '\x01')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Code(c.text), c.coded) << c.name;
    EXPECT_EQ(Decode(c.coded), c.text) << c.name;
  }
}

TEST(DataCompressor, CapitalsAndSpacesArePlainPairs) {
  std::mt19937 gen(7);
  for (int nLength = 0; nLength <= 40; ++nLength) {
    Bytes text;
    std::vector<int> digits; // space is place 3 of charset 0, 'A' place 6
    for (int i = 0; i < nLength; ++i) {
      const int k = static_cast<int>(gen() % 27);
      text += k == 26 ? ' ' : static_cast<char>('A' + k);
      digits.push_back(k == 26 ? 11 : 14 + k);
    }
    Bytes expected;
    size_t i = 0;
    for (; i + 3 <= digits.size(); i += 3) expected += Pair(digits[i], digits[i + 1], digits[i + 2]);
    if (digits.size() - i == 1) expected += static_cast<char>(digits[i] + 1);
    if (digits.size() - i == 2) expected += Pair(digits[i], digits[i + 1], 4);

    const Bytes coded = Code(text);
    EXPECT_EQ(coded, expected) << text;
    for (size_t j = 0; j + 1 < coded.size(); j += 2) {
      EXPECT_GE(static_cast<unsigned char>(coded[j]), 1);
      EXPECT_LE(static_cast<unsigned char>(coded[j]), 251);
    }
    // A length of 3n + 1 leaves one digit: a single byte before the 0.
    EXPECT_EQ(coded.size() % 2, nLength % 3 == 1 ? 1u : 0u) << nLength;
    EXPECT_EQ(Decode(coded), text);
  }
}

TEST(DataCompressor, RoundTrips) {
  std::mt19937 gen(2024);
  // Bytes at the ends of the tables, in several tables or in none, where the
  // choices of shift, latch and raw run meet.
  const Bytes awkward = "#$YZ\xE9\xEA\xFE\xFFux\x01\x80" "aA 0\n,.";
  std::vector<Bytes> texts;
  Bytes all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  texts.push_back(all);
  texts.push_back(Bytes(all.rbegin(), all.rend()));
  texts.push_back("Le d\xE9j\xE0-vu co\xFBte 12,5 % : \"\xE9t\xE9\" & <hiver> #42 {x|y} \xFE\xFF!");
  for (int nLength : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 17, 31, 64, 100, 254, 255, 256, 257, 511, 1000, 20000}) {
    for (int nForm = 0; nForm < 4; ++nForm) {
      Bytes text;
      for (int i = 0; i < nLength; ++i) {
        if (nForm == 0) text += static_cast<char>(1 + gen() % 255);
        else if (nForm == 1) text += awkward[gen() % awkward.size()];
        else if (nForm == 2) text += all[(i * 7 + gen() % 3) % 255]; // slow walk through all bytes
        else text += (gen() % 8 == 0) ? awkward[gen() % awkward.size()] : static_cast<char>('a' + gen() % 26);
      }
      texts.push_back(text);
    }
  }
  for (const auto& text : texts) {
    const Bytes coded = Code(text);
    ASSERT_EQ(Decode(coded), text) << "length " << text.size();
  }
}

// The measured size is the size of the coding, for texts where raw bytes
// cost the most: each byte value at each position of texts of 1 to 8 bytes.
TEST(DataCompressor, MeasuredSizeIsTheCodingSize) {
  CDataCompressor cl;
  for (std::size_t n = 1; n <= 8; ++n) {
    for (std::size_t at = 0; at < n; ++at) {
      for (int v = 1; v < 256; ++v) {
        Bytes text = Bytes("xyzABC 1").substr(0, n);
        text[at] = static_cast<char>(v);
        const int nTaille = cl.nTailleCodage(U(text), static_cast<int>(n));
        const Bytes coded = Code(text);
        ASSERT_EQ(nTaille, static_cast<int>(coded.size()) + 1) << n << " " << at << " " << v;
        ASSERT_EQ(Decode(coded), text);
      }
    }
  }
  EXPECT_EQ(cl.nTailleCodage(U(Bytes("A\0B", 3)), 3), -1);
  EXPECT_EQ(cl.nTailleCodage(nullptr, 0), 1);
}

TEST(DataCompressor, NulInInput) {
  CDataCompressor cl;
  unsigned char out[16];
  const Bytes text("AB\0CD", 5);
  out[0] = 0xAA;
  EXPECT_EQ(cl.nCompress(out, sizeof out, U(text), 5), CDataCompressor::DC_OCTET_NUL);
  EXPECT_EQ(out[0], 0);
  // NUL-terminated input stops at the first 0.
  ASSERT_EQ(cl.nCompress(out, sizeof out, U(text), -1), 0);
  EXPECT_EQ(Bytes(reinterpret_cast<char*>(out)), Pair(14, 15, 4));
  // A 0 in the coding ends it, in the explicit-length form too.
  const Bytes coded = Pair(14, 15, 16) + Bytes(1, '\0') + Pair(14, 15, 16);
  int n = sizeof out;
  EXPECT_EQ(cl.nDeCompress(out, &n, U(coded), static_cast<int>(coded.size())), 0);
  EXPECT_EQ(Bytes(reinterpret_cast<char*>(out), n), "ABC");
}

TEST(DataCompressor, DecoderTruncatesWithinCapacity) {
  const Bytes coded = Code("HELLO WORLD");
  struct Case {
    int capacity;
    int result;
    Bytes text;
  };
  const Case cases[] = {
      {0, 2, ""}, {1, 2, ""}, {2, 2, "H"}, {5, 2, "HELL"}, {11, 2, "HELLO WORL"}, {12, 0, "HELLO WORLD"}, {40, 0, "HELLO WORLD"},
  };
  CDataCompressor cl;
  for (const auto& c : cases) {
    std::vector<unsigned char> out(c.capacity + 8, 0xAA);
    int n = c.capacity;
    EXPECT_EQ(cl.nDeCompress(out.data(), &n, U(coded)), c.result) << c.capacity;
    EXPECT_EQ(n, static_cast<int>(c.text.size())) << c.capacity;
    if (c.capacity > 0) {
      EXPECT_EQ(Bytes(reinterpret_cast<char*>(out.data())), c.text) << c.capacity;
    }
    for (int i = std::min<int>(c.capacity, c.text.size() + 1); i < c.capacity + 8; ++i) {
      ASSERT_EQ(out[i], 0xAA) << "capacity " << c.capacity << ", byte " << i;
    }
  }
  int n = 0;
  EXPECT_EQ(cl.nDeCompress(nullptr, &n, U(coded)), 2);
  n = 1;
  unsigned char by = 0xAA;
  EXPECT_EQ(cl.nDeCompress(&by, &n, U(Bytes())), 0) << "the empty text fits in its terminator";
  EXPECT_EQ(by, 0);
}

TEST(DataCompressor, DamagedCodings) {
  struct Case {
    const char* name;
    Bytes coded;
    Bytes text;
  };
  const Case cases[] = {
      {"marker 38 at the end", Pair(7, 8, 38), "#"},
      {"marker 39 without its count", Pair(7, 8, 39), "#"},
      {"count past the end", Pair(7, 8, 39) + "\x05\xFE", "#\xFE"},
      {"shift left pending", Pair(14, 15, 4) + "\x02", "AB"},
      {"single byte above digit 39", "\xC8", ""},
      {"first digit 40 dropped", "\xFC\x01", ""}, // 251*255 = 64005: digits 40, 0, 5
      {"largest pair", "\xFF\xFF", "LK"},          // 65024: digits 40, 25, 24
      {"marker digits outside charset 3 are characters", Pair(39, 38, 4), "ZY"},
  };
  for (const auto& c : cases) EXPECT_EQ(Decode(c.coded), c.text) << c.name;

  // Every prefix of a coding with runs, from an exact-size copy.
  const Bytes coded = Code("ab\x01\x02\x03" "cd#\xFE\xFF" "Y\x01z");
  CDataCompressor cl;
  for (size_t k = 0; k <= coded.size(); ++k) {
    std::vector<unsigned char> in(coded.begin(), coded.begin() + k);
    unsigned char out[64];
    int n = sizeof out;
    EXPECT_EQ(cl.nDeCompress(out, &n, in.data(), static_cast<int>(k)), 0);
    EXPECT_LE(n, static_cast<int>(k * 3 / 2));
  }
}

TEST(DataCompressor, StaticDecoders) {
  const Bytes text = Bytes(3000, 'A') + "#\xFE\x01 fin";
  const Bytes coded = Code(text);
  char* psz = CDataCompressor::s_pszDeCompress(coded.c_str());
  ASSERT_NE(psz, nullptr);
  EXPECT_EQ(Bytes(psz), text);
  std::free(psz);

  // Only capitals: three characters per pair, the densest coding.
  const Bytes dense = Code(Bytes(999, 'A'));
  psz = CDataCompressor::s_pszDeCompress(dense.c_str());
  ASSERT_NE(psz, nullptr);
  EXPECT_EQ(Bytes(psz), Bytes(999, 'A'));
  std::free(psz);
  EXPECT_EQ(CDataCompressor::s_pszDeCompress(nullptr), nullptr);

  char out[8];
  int n = sizeof out;
  EXPECT_EQ(CDataCompressor::s_nDeCompress(out, &n, coded.c_str()), 2);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(Bytes(out), "AAAAAAA");
}

}  // namespace
