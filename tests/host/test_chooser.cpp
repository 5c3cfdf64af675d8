// The syntax chooser that the shell, Lua and the host's own calls share: a
// table of (function, argument kinds, chosen syntax) over functions with
// string and buffer syntaxes, integer and string syntaxes, and repeated
// arguments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Chooser.h"
#include "support/TestHost.h"

namespace {

using kvhost::ArgKind;

class Chooser : public ::testing::Test {
protected:
  kvhost::Host host{testOptions()};

  // Index of the best syntax of `name` for these kinds, -1 for none.
  int choose(const char* name, std::vector<ArgKind> kinds) {
    const auto* f = host.catalog().findFunction(name);
    if (f == nullptr) return -2;
    const kvhost::SyntaxInfo* ranked[kvhost::kMaxSyntaxes];
    std::size_t n = kvhost::rankSyntaxes(*f, kinds.data(), kinds.size(), ranked, kvhost::kMaxSyntaxes);
    return n == 0 ? -1 : ranked[0]->index;
  }
};

TEST_F(Chooser, ExactKindsWinThenTableOrder) {
  constexpr auto Text = ArgKind::Text, Buffer = ArgKind::Buffer, Int = ArgKind::Integer, Real = ArgKind::Real,
                 Proc = ArgKind::Procedure;
  struct Case {
    const char* function;
    std::vector<ArgKind> kinds;
    int syntax;
  };
  const Case cases[] = {
      // 1c(801c); 1c(8012): a string is a string, a buffer a buffer.
      {"Compresse", {Text}, 1},
      {"Compresse", {Buffer}, 0},
      // 13(12); 13(8)
      {"Paques", {Text}, 0},
      {"Paques", {Int}, 1},
      // 1b(12,8); 1b(12,12) and 13(1b,8); 13(1b,12)
      {"ChaineVersDuree", {Text, Int}, 0},
      {"ChaineVersDuree", {Text, Text}, 1},
      {"DureeVersChaine", {Int, Int}, 0},
      {"DureeVersChaine", {Int, Text}, 1},
      // 13(12...); c(800c...): repeated arguments, every one counted.
      {"Max", {Text, Text}, 0},
      {"Max", {Int, Real, Int}, 1},
      {"Max", {Real, Real, Real, Real, Real}, 1},
      {"Max", {Text, Int}, 0},
      {"Max", {Text, Text, Text, Int, Int}, 0},
      {"Max", {Int, Int, Int, Text}, 1},
      // 8(8,804d); 8(8,804d,8008); 8(8,8,8008)
      {"fEcrit", {Int, Text}, 0},
      {"fEcrit", {Int, Buffer}, 0},
      {"fEcrit", {Int, Text, Int}, 1},
      {"fEcrit", {Int, Int, Int}, 2},
      // 8(12,43); 8(12,43,8); 8(12,43,8,8); 13(12); 13(12,8)
      {"fListeFichier", {Text, Proc}, 0},
      {"fListeFichier", {Text, Text}, 0},  // a procedure by name
      {"fListeFichier", {Text, Int}, 4},
      {"fListeFichier", {Text}, 3},
      // a(a); a(a,8); a(a,8,8); a(a,8,8,400a): an empty variable is an output.
      {"eVersEuro", {Real, Int, Int, ArgKind::None}, 3},
      {"eVersEuro", {Int}, 0},
      // 4b(8); 1(8,12...)
      {"fLitLigne", {Int}, 0},
      {"fLitLigne", {Int, Text, Text, Text}, 1},
      // 1f(); 1f(8008); 1f(8008,8008)
      {"Hasard", {}, 0},
      {"Hasard", {Int, Int}, 2},
      // One syntax: a conversion is still a choice; a kind it cannot take is not.
      {"Phonetique", {Int}, 0},
      {"Phonetique", {Proc}, -1},
      {"Phonetique", {Text, Text}, -1},
      {"RVB", {Real, Int, Int}, -1},
  };
  for (const auto& c : cases) {
    std::string kinds;
    for (auto k : c.kinds) kinds += std::to_string(static_cast<int>(k)) + " ";
    EXPECT_EQ(choose(c.function, c.kinds), c.syntax) << c.function << " with kinds " << kinds;
  }
}

TEST_F(Chooser, SyntaxesWithoutEntryPointAreStillFound) {
  // So that the caller can say the function is not available here.
  std::vector<ArgKind> kinds{ArgKind::Text};
  const kvhost::SyntaxInfo* ranked[kvhost::kMaxSyntaxes];
  const auto* absent = host.catalog().findFunction("VersPressePapier");
  ASSERT_NE(absent, nullptr);
  ASSERT_EQ(kvhost::rankSyntaxes(*absent, kinds.data(), 1, ranked, kvhost::kMaxSyntaxes), 1u);
  EXPECT_EQ(ranked[0]->entry, nullptr);
  const auto* present = host.catalog().findFunction("fAttribut");
  ASSERT_NE(present, nullptr);
  ASSERT_EQ(kvhost::rankSyntaxes(*present, kinds.data(), 1, ranked, kvhost::kMaxSyntaxes), 1u);
  EXPECT_NE(ranked[0]->entry, nullptr);
}

}  // namespace
