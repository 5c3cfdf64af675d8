// Faults the hostile-argument test found, one row each: the call, the result
// it must give and the error it must raise (0: none). Run in the sanitizer
// build, a row that overflows again is a failure even when the value is right.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "PageLibrary.h"
#include "support/HostTest.h"

namespace {

using kvhost::Value;

std::shared_ptr<kvhost::PageObject> twoByThree() {
  auto t = std::make_shared<kvhost::PageObject>();
  t->columns = {{"Nom", true}, {"Age", true}};
  t->rows = {{T("Ana"), I(31)}, {T("Bob"), I(4)}, {T("Cy"), I(7)}};
  return t;
}

class HostileRegressions : public HostTest {};

TEST_F(HostileRegressions, EachMendedFault) {
  struct Row {
    const char* function;
    std::vector<Value> args;
    Value expected;
    unsigned error;
  };
  const Row rows[] = {
      // Day numbers at the limits of the integer: the weekday is exact (by
      // (n + 657071) mod 7), the conversions to a date refuse with 80132.
      {"EntierVersJour", {I(INT_MAX)}, I(3), 0},
      {"EntierVersJour", {I(INT_MIN)}, I(7), 0},
      {"EntierVersJour", {I(INT_MIN + 1)}, I(1), 0},
      {"EntierVersDate", {I(INT_MAX)}, T(""), 80132},
      {"EntierVersDate", {I(INT_MIN)}, T(""), 80132},
      {"EntierVersDate", {I(INT_MAX), T("A")}, T(""), 80132},
      {"EntierVersJourEnLettre", {I(INT_MAX)}, T(""), 80132},
      {"EntierVersMoisEnLettre", {I(INT_MAX)}, T(""), 80132},
      {"EntierVersMoisEnLettre", {I(INT_MIN)}, T(""), 80132},
      {"EntierVersNumeroDeSemaine", {I(INT_MAX)}, I(-1), 80132},
      {"EntierVersNumeroDeSemaine", {I(INT_MIN)}, I(-1), 80132},
      // A last row of INT_MIN swaps with the first: the rows are walked from
      // INT_MIN, none skipped, until the table ends.
      {"TableVersTexte", {Value::pageObject(twoByThree()), I(1), T(";"), T("|"), I(1), I(INT_MIN)},
       T("Ana;31|Bob;4|Cy;7"), 0},
      {"TableVersTexte", {Value::pageObject(twoByThree()), I(1), T(";"), T("|"), I(INT_MIN), I(INT_MIN)},
       T("Ana;31"), 0},
      // Patterns whose compilation would take the regex engine gigabytes.
      {"VerifieExpressionReguliere", {T("a"), T("a{1,32767}")}, Value::boolean(false), 80500},
      {"VerifieExpressionReguliere", {T("a"), T(std::string(1 << 20, 'a'))}, Value::boolean(false), 80500},
  };
  for (const auto& r : rows) {
    Value got = call(r.function, r.args);
    std::string what = std::string(r.function) + " " + (r.args.empty() ? "" : r.args.back().describe().substr(0, 20));
    if (r.expected.isText()) {
      EXPECT_EQ(got.bytes, r.expected.bytes) << what;
    } else {
      EXPECT_EQ(got.integer, r.expected.integer) << what;
    }
    EXPECT_EQ(last.code, r.error) << what;
  }
}

}  // namespace
