// Regular expressions: the library's syntax on the GNU engine, and
// VérifieExpressionRégulière through the stand-in VM with its variables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Host.h"
#include "misc/RegExp.h"
#include "support/TestHost.h"

namespace {

using kvhost::Value;

bool couvre(const char* motif, const std::string& texte) {
  CRegExp re;
  if (re.nCompile(motif) != 0) return false;
  return re.bMatch(texte.data(), static_cast<int>(texte.size()));
}

TEST(RegExp, SyntaxOfTheLibrary) {
  struct Case {
    const char* motif;
    std::string texte;
    bool accepte;
  };
  for (const auto& c : std::vector<Case>{
           {"a.c", "abc", true},            {"a.c", "abcd", false},        // the whole text
           {"a|b", "b", true},              {"(a)", "a", true},            // unescaped | and ( )
           {"a{2}", "aa", true},            {"a{2}", "aaa", false},        // intervals
           {"a.c", "a\nc", true},           {"a.c", std::string("a\0c", 3), true},  // newline and NUL
           {"[[:digit:]]+", "123", true},   {"[[:alpha:]]", "1", false},
           {"a)", "a)", true},                                             // a lone ')' is literal
           {"\\(a\\)", "(a)", true},                                       // escaped parentheses are literal
           {"a|ab", "ab", true},                                           // longest alternative
           {"x*", "", true},
       }) {
    EXPECT_EQ(couvre(c.motif, c.texte), c.accepte) << c.motif << " / " << c.texte;
  }
  CRegExp re;
  EXPECT_EQ(re.nMatch("abc", 0, 0), -2) << "nothing compiled";
  EXPECT_EQ(re.nCompile("(["), -1);
  EXPECT_EQ(re.nCompile("b+"), 0);
  EXPECT_EQ(re.nMatch("abbbc", 1, 0), 3);
  EXPECT_EQ(re.nMatch("abbbc", 0, 0), -1) << "anchored at the start";
}

class VerifieExpression : public ::testing::Test {
protected:
  kvhost::Host host{testOptions()};
  kvhost::ErrorInfo last;
  bool match(const std::string& texte, const std::string& motif, std::vector<Value> variables = {}) {
    std::vector<Value> args = {Value::text(texte), Value::text(motif)};
    for (auto& v : variables) args.push_back(v);
    auto r = host.call("MatchRegularExpression", args);
    last = r.error;
    return r.value.integer != 0;
  }
};

TEST_F(VerifieExpression, WholeTextAndGroups) {
  EXPECT_TRUE(match("abc", "a.c"));
  EXPECT_FALSE(match("abcd", "a.c"));
  EXPECT_FALSE(last.isError());
  EXPECT_TRUE(match("anything at all", ""));
  auto an = Value::byReference(Value::text(""));
  auto mois = Value::byReference(Value::text(""));
  EXPECT_TRUE(match("2024-05", "([0-9]+)-([0-9]+)", {an, mois}));
  EXPECT_EQ(an.variable->bytes, "2024");
  EXPECT_EQ(mois.variable->bytes, "05");
  // A group that took no part cannot fill its variable.
  EXPECT_FALSE(match("b", "(a)?(b)", {an, mois}));
  EXPECT_EQ(last.code, 80502u);
}

TEST_F(VerifieExpression, Failures) {
  auto a = Value::byReference(Value::text(""));
  auto b = Value::byReference(Value::text(""));
  auto c = Value::byReference(Value::text(""));
  EXPECT_FALSE(match("2024-05", "([0-9]+)-([0-9]+)", {a}));
  EXPECT_EQ(last.code, 80501u);
  EXPECT_FALSE(match("2024-05", "([0-9]+)-([0-9]+)", {a, b, c}));
  EXPECT_EQ(last.code, 80502u);
  EXPECT_FALSE(match("x", "([", {a}));
  EXPECT_EQ(last.code, 80500u);
  EXPECT_NE(last.debug.find("-1"), std::string::npos) << last.debug;
  // A variable the VM refuses to give (a value, not a variable).
  EXPECT_FALSE(match("ab", "(a)(b)", {a, Value::text("not a variable")}));
  EXPECT_TRUE(last.isError());
}

TEST_F(VerifieExpression, PatternsTooCostlyForTheEngineAreRefused) {
  // Cheap patterns, long or wide, still compile and match.
  const std::string k16(16 * 1024, 'a');
  for (const auto& [motif, texte] : std::vector<std::pair<std::string, std::string>>{
           {k16, k16},
           {"a{1,1000}", "aaa"},
           {"b|a{32767}", "b"},
           {"[0-9]{1,3}(-[0-9]{1,3}){3}", "1-22-333-4"},
           {"((ab){10}){10}", [] { std::string s; for (int i = 0; i < 100; ++i) s += "ab"; return s; }()},
       }) {
    EXPECT_TRUE(match(texte, motif)) << motif.substr(0, 40);
    EXPECT_FALSE(last.isError()) << motif.substr(0, 40);
  }
  // Each of these took the GNU engine seconds and from 0.4 to 4 GB.
  const std::string m1(1 << 20, 'a');
  for (const std::string& motif : {m1, "[" + m1 + "]", std::string("a{1,32767}"), std::string("a{0,32767}"),
                                   std::string("(a{1,1000}){1,1000}"), std::string("((a{1,100}){1,100}){1,100}"),
                                   std::string("(a|b){1,3000}"), std::string("(a{1,300}){1,300}")}) {
    EXPECT_FALSE(match("a", motif)) << motif.substr(0, 40);
    EXPECT_EQ(last.code, 80500u) << motif.substr(0, 40);
  }
}

}  // namespace
