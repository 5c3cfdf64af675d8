// TableVersTexte on controls of the stand-in page library: title line,
// separators, row ranges, hidden columns, selected rows, loopers, cells of
// other types and the errors.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "PageLibrary.h"
#include "support/HostTest.h"

namespace {

using kvhost::PageObject;
using kvhost::Value;

class TableVersTexte : public HostTest {
protected:
  std::shared_ptr<PageObject> table = std::make_shared<PageObject>();
  void SetUp() override {
    table->columns = {{"Nom", true}, {"Age", true}, {"Code", false}};
    table->rows = {{T("Ana"), I(31), T("a")}, {T("Bob"), Value::none(), T("b")}, {T("Cy"), Value::realValue(2.5), T("c")}};
  }
  std::string text(std::vector<Value> args) {
    args.insert(args.begin(), Value::pageObject(table));
    return call("TableVersTexte", std::move(args)).bytes;
  }
};

TEST_F(TableVersTexte, LinesAndSeparators) {
  struct Case {
    std::vector<Value> args;
    const char* expected;
  } cases[] = {
      {{}, "Nom\tAge\r\nAna\t31\r\nBob\t\r\nCy\t2.5"},
      {{I(1)}, "Ana\t31\r\nBob\t\r\nCy\t2.5"},
      {{I(2), T(";")}, "Nom;Age;Code\r\nAna;31;a\r\nBob;;b\r\nCy;2.5;c"},
      {{I(1), T(";"), T("|"), I(3), I(2)}, "Bob;|Cy;2.5"},
      {{I(1), T(";"), T("|"), I(2), I(99)}, "Bob;|Cy;2.5"},
      {{I(1), T(";"), T("|"), I(2)}, "Bob;|Cy;2.5"},
      {{I(0), T(","), T("\n"), I(1), I(1)}, "Nom,Age\nAna,31"},
      {{I(0x82), T(",")}, "Nom,Age\r\nAna,31\r\nBob,\r\nCy,2.5"},
      {{I(8 | 1)}, "Ana\t31\r\nBob\t\r\nCy\t2.5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text(c.args), c.expected) << c.expected;
    EXPECT_FALSE(last.isError());
  }
}

TEST_F(TableVersTexte, SelectedRowsAndLoopers) {
  table->selected = {3, 1};
  EXPECT_EQ(text({I(0x10 | 1), T(","), T("|")}), "Cy,2.5|Ana,31");
  table->selected = {};
  EXPECT_EQ(text({I(0x10 | 1)}), "");
  table->type = 11;
  EXPECT_EQ(text({I(0), T(","), T("|")}), "Nom,Age|Ana,31|Bob,|Cy,2.5");
  table->rows.clear();
  EXPECT_EQ(text({I(1)}), "") << "no line at all";
  table->rows = {{Value::none(), Value::none(), Value::none()}};
  table->columns.resize(1);
  EXPECT_EQ(text({I(1)}), "") << "one empty cell without title";
  EXPECT_FALSE(last.isError());
}

// Without rows to export, the result is the title line alone (nothing
// without titles), whatever the row range or the kind of control.
TEST_F(TableVersTexte, NoRows) {
  table->rows.clear();
  const struct {
    std::vector<Value> args;
    const char* expected;
  } cases[] = {
      {{}, "Nom\tAge"},
      {{I(0), T(","), T("|"), I(1), I(5)}, "Nom,Age"},
      {{I(0), T(","), T("|"), I(2), I(-1)}, "Nom,Age"},
      {{I(1)}, ""},
      {{I(0x10)}, "Nom\tAge"},
  };
  for (int type : {9, 11}) {
    table->type = type;
    for (const auto& c : cases) {
      EXPECT_EQ(text(c.args), c.expected) << type << " " << c.expected;
      EXPECT_FALSE(last.isError());
    }
  }
  table->rows = {{T("Ana"), I(31), T("a")}};
  table->selected = {};
  table->type = 9;
  EXPECT_EQ(text({I(0x10)}), "Nom\tAge") << "no row selected";
}

TEST_F(TableVersTexte, Errors) {
  EXPECT_EQ(text({I(4)}), "");
  EXPECT_EQ(last.code, 80254u);
  EXPECT_EQ(text({I(0x100)}), "");
  EXPECT_EQ(last.code, 80254u);
  table->type = 3;  // a page object that is neither a table nor a looper
  EXPECT_EQ(text({}), "");
  EXPECT_EQ(last.code, 80253u);
}

}  // namespace
