// Line reading mixed with reads, writes, seeks and resizes on one handle,
// against a model of the file that reads lines piece by piece (80-byte
// reads, at most 50 bytes taken, the position moved back after each piece)
// as the unbuffered algorithm does.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Host.h"
#include "TempDir.h"
#include "support/TestHost.h"

namespace {

using kvhost::Value;

// The file as bytes and a position, with the unbuffered line reader.
struct Modele {
  std::string octets;
  long long pos = 0;

  std::string litPiece(std::size_t n) {
    std::string s = pos < static_cast<long long>(octets.size()) ? octets.substr(static_cast<std::size_t>(pos), n) : "";
    pos += static_cast<long long>(s.size());
    return s;
  }
  std::string litLigne() {
    if (pos >= static_cast<long long>(octets.size())) return "\x04";
    std::string ligne;
    for (;;) {
      long long debut = pos;
      std::string piece = litPiece(80);
      std::size_t lf = piece.find('\n');
      if (lf != std::string::npos) {
        std::size_t contenu = lf > 0 && piece[lf - 1] == '\r' ? lf - 1 : lf;
        if (contenu <= 50) {
          ligne += piece.substr(0, contenu);
          pos = debut + static_cast<long long>(lf) + 1;
          return ligne;
        }
        ligne += piece.substr(0, 50);
        pos = debut + 50;
        continue;
      }
      if (piece.size() == 80) {
        ligne += piece.substr(0, 50);
        pos = debut + 50;
        continue;
      }
      return ligne + piece;
    }
  }
  void ecrit(const std::string& s) {
    if (static_cast<long long>(octets.size()) < pos) octets.resize(static_cast<std::size_t>(pos), '\0');
    octets.replace(static_cast<std::size_t>(pos), std::min(s.size(), octets.size() - static_cast<std::size_t>(pos)), s);
    pos += static_cast<long long>(s.size());
  }
  void changeTaille(long long n) {
    long long avant = pos;
    octets.resize(static_cast<std::size_t>(n), '\0');
    pos = avant <= 0 ? 0 : avant < n ? avant : n;
  }
};

// Text with every awkward terminator and line lengths around 50 and 80.
std::string texte(std::mt19937& g, std::size_t n) {
  static const std::vector<std::string> fins = {"\n", "\r\n", "\r", "\r\r\n", "\n\n"};
  std::string s;
  std::uniform_int_distribution<int> longueur(0, 170), choix(0, 4), lettre('a', 'z');
  while (s.size() < n) {
    int l = longueur(g);
    if (l > 40 && l < 60) l = 48 + l % 5;  // 48..52 often
    if (l > 75 && l < 90) l = 78 + l % 5;  // 78..82 often
    for (int i = 0; i < l; ++i) s += static_cast<char>(lettre(g));
    s += fins[static_cast<std::size_t>(choix(g))];
  }
  if (choix(g) < 2) s += "tail without terminator";
  return s;
}

TEST(Lines, MixedOperationsMatchTheUnbufferedReader) {
  TempDir dir;
  kvhost::Host host{testOptions()};
  std::mt19937 g(1234);
  for (int tour = 0; tour < 6; ++tour) {
    Modele m;
    m.octets = texte(g, 200000);
    TempDir::write(dir / "f", m.octets);
    auto r = host.call("fOuvre", {Value::text(dir / "f"), Value::integer32(3)});
    auto h = Value::integer32(static_cast<int>(r.value.integer));
    std::uniform_int_distribution<int> op(0, 99), petit(0, 200);
    for (int i = 0; i < 4000; ++i) {
      int o = op(g);
      if (o < 80) {
        ASSERT_EQ(host.call("fLitLigne", {h}).value.bytes, m.litLigne()) << "operation " << i;
      } else if (o < 87) {
        int n = petit(g);
        ASSERT_EQ(host.call("fLit", {h, Value::integer32(n)}).value.bytes, m.litPiece(static_cast<std::size_t>(n)));
      } else if (o < 93) {
        long long p = std::uniform_int_distribution<long long>(0, static_cast<long long>(m.octets.size()) + 10)(g);
        host.call("fPositionne", {h, Value::integer64(p), Value::integer32(0)});
        m.pos = p;
      } else if (o < 97) {
        std::string s = texte(g, static_cast<std::size_t>(petit(g)));
        host.call("fEcrit", {h, Value::text(s)});
        m.ecrit(s);
      } else {
        long long n = std::uniform_int_distribution<long long>(0, static_cast<long long>(m.octets.size()))(g);
        host.call("fChangeTaille", {h, Value::integer64(n)});
        m.changeTaille(n);
      }
      ASSERT_EQ(host.call("fPositionne", {h, Value::integer64(0), Value::integer32(1)}).value.integer, m.pos)
          << "operation " << i << " kind " << o;
    }
    host.call("fFerme", {h});
    EXPECT_EQ(TempDir::read(dir / "f"), m.octets);
  }
}

}  // namespace
