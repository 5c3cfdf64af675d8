// Files by name through the stand-in VM: existence tests, delete with and
// without wildcards, rename and move.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "TempDir.h"
#include "support/HostTest.h"

namespace {

class FichiersParNom : public HostTest {
protected:
  TempDir dir;
  bool b(const char* name, std::vector<kvhost::Value> args) { return call(name, std::move(args)).integer != 0; }
};

TEST_F(FichiersParNom, ExistenceTests) {
  TempDir::write(dir / "f.txt", "x");
  ASSERT_EQ(mkdir((dir / "d").c_str(), 0755), 0);
  struct Case {
    const char* function;
    std::string path;
    bool expected;
  } cases[] = {
      {"fFichierExiste", dir / "f.txt", true},  {"fFichierExiste", dir / "d", false},
      {"fFichierExiste", dir / "none", false},  {"fFichierExiste", "", false},
      {"fRepertoireExiste", dir / "d", true},   {"fRepertoireExiste", dir / "f.txt", false},
      {"fRepertoireExiste", "", false},          {"fRepertoireExiste", dir.path() + "\\d", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(b(c.function, {T(c.path)}), c.expected) << c.function << " " << c.path;
    EXPECT_FALSE(last.isError()) << c.function;
  }
}

TEST_F(FichiersParNom, DeleteWithWildcards) {
  for (const char* n : {"a.txt", "b.txt", "c.log"}) TempDir::write(dir / n, "x");
  ASSERT_EQ(mkdir((dir / "d.txt").c_str(), 0755), 0);
  EXPECT_TRUE(b("fSupprime", {T(dir / "*.txt")}));
  EXPECT_FALSE(TempDir::exists(dir / "a.txt"));
  EXPECT_FALSE(TempDir::exists(dir / "b.txt"));
  EXPECT_TRUE(TempDir::exists(dir / "c.log"));
  EXPECT_TRUE(TempDir::exists(dir / "d.txt")) << "directories are never deleted";
  // Nothing matches: false and no error.
  EXPECT_FALSE(b("fSupprime", {T(dir / "*.txt"), I(1)}));
  EXPECT_FALSE(last.isError());
  EXPECT_TRUE(b("fSupprime", {T(dir / "c.log")}));
  EXPECT_FALSE(b("fSupprime", {T(dir / "c.log")}));
  EXPECT_TRUE(last.isError());
  EXPECT_FALSE(b("fSupprime", {T("")}));
  EXPECT_EQ(last.code, 80059u);
}

TEST_F(FichiersParNom, RenameAndMove) {
  TempDir::write(dir / "a", "A");
  TempDir::write(dir / "b", "B");
  EXPECT_FALSE(b("fRenomme", {T(dir / "a"), T(dir / "b")}));
  EXPECT_TRUE(last.isError());
  EXPECT_EQ(TempDir::read(dir / "a"), "A");
  EXPECT_EQ(TempDir::read(dir / "b"), "B");
  EXPECT_TRUE(b("fRenomme", {T(dir / "a"), T(dir / "c")}));
  EXPECT_EQ(TempDir::read(dir / "c"), "A");
  ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
  EXPECT_TRUE(b("fDeplaceFichier", {T(dir / "c"), T(dir / "sub/c")}));
  EXPECT_EQ(TempDir::read(dir / "sub/c"), "A");
  EXPECT_FALSE(b("fDeplaceFichier", {T(""), T(dir / "x")}));
  EXPECT_EQ(last.code, 80059u);
}

}  // namespace
