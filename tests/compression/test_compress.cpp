// Compresse and Décompresse through the stand-in VM: layouts, round trips,
// the short-string frame, and damaged or foreign data.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "Host.h"
#include "support/TestHost.h"

namespace {

using kvhost::Value;

class Compresse : public ::testing::Test {
protected:
  kvhost::Host host{testOptions()};
  kvhost::ErrorInfo last;
  std::string call(const char* name, Value v) {
    auto r = host.call(name, {std::move(v)});
    last = r.error;
    return r.value.bytes;
  }
};

TEST_F(Compresse, EmptyStringLayout) {
  const std::string c = call("Compresse", Value::text(""));
  EXPECT_EQ(c, std::string("\x01\x01\0\0\0\0\x04\0\0\0\0\0\0\0", 14));
  EXPECT_EQ(call("Decompresse", Value::buffer(c)), "");
  EXPECT_EQ(call("Decompresse", Value::buffer("")), "");
  EXPECT_FALSE(last.isError());
}

TEST_F(Compresse, RoundTrips) {
  std::mt19937 g(1);
  for (std::size_t n : {1u, 19u, 20u, 8191u, 8192u, 65537u, 1000000u}) {
    std::string text, bin(n, '\0');
    while (text.size() < n) text += "Le vieux chat dort pr\xe8s du feu. ";
    text.resize(n);
    for (auto& c : bin) c = static_cast<char>(g() % 7);
    const std::string ct = call("Compresse", Value::text(text));
    EXPECT_EQ(ct[0], 1);
    if (n > 100) {
      EXPECT_LT(ct.size(), n / 2);
    }
    EXPECT_EQ(call("Uncompress", Value::buffer(ct)), text);
    const std::string cb = call("Compress", Value::buffer(bin));
    EXPECT_EQ(cb[0], 0);
    EXPECT_EQ(call("Decompresse", Value::buffer(cb)), bin);
    EXPECT_FALSE(last.isError());
  }
}

// A buffer frame holding an old type-2 block (written by an independent
// coder): its content is the u32 length and the bytes.
TEST_F(Compresse, OldBlockInAFrame) {
  auto read = [](const char* name) {
    std::string s;
    if (FILE* f = std::fopen((std::string(KV_SOURCE_DIR) + "/tests/compression/fixtures/" + name).c_str(), "rb")) {
      for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
      std::fclose(f);
    }
    return s;
  };
  const std::string block = read("type2_block.bin"), content = read("type2_content.bin");
  ASSERT_EQ(content.size(), 3609u);
  EXPECT_EQ(call("Decompresse", Value::buffer(std::string("\0\x01\0\0\0", 5) + block)), content.substr(4));
  EXPECT_FALSE(last.isError());
}

TEST_F(Compresse, DamagedAndForeignData) {
  std::string c = call("Compresse", Value::text(std::string(5000, 'q') + "fin"));
  // Pack method 3 and up.
  std::string bad = c;
  bad[1] = 3;
  EXPECT_EQ(call("Decompresse", Value::buffer(bad)), "");
  EXPECT_EQ(last.code, 80550u);
  // Truncated, or a length beyond the data.
  EXPECT_EQ(call("Decompresse", Value::buffer(c.substr(0, c.size() - 3))), "");
  EXPECT_EQ(last.code, 80551u);
  EXPECT_EQ(call("Decompresse", Value::buffer(std::string("\0\0\0\0\0\x09\0\0\0abc", 12))), "");
  EXPECT_EQ(last.code, 80551u);
  // A stored frame written by hand.
  EXPECT_EQ(call("Decompresse", Value::buffer(std::string("\0\0\0\0\0\x03\0\0\0abc", 12))), "abc");
  EXPECT_FALSE(last.isError());
  // Random data: empty or an error, never a crash.
  std::mt19937 g(2);
  for (int i = 0; i < 500; ++i) {
    std::string r(g() % 64, '\0');
    for (auto& ch : r) ch = static_cast<char>(g() % 6);
    call("Decompresse", Value::buffer(r));
  }
}

}  // namespace
