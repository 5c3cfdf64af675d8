// Files by name through the stand-in VM: existence tests, delete with and
// without wildcards, rename and move.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "TempDir.h"
#include "support/HostTest.h"

namespace {

class FilesByName : public HostTest {
protected:
  TempDir dir;
  bool b(const char* name, std::vector<kvhost::Value> args) { return call(name, std::move(args)).integer != 0; }
};

TEST_F(FilesByName, ExistenceTests) {
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

TEST_F(FilesByName, DeleteWithWildcards) {
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

TEST_F(FilesByName, RenameAndMove) {
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

TEST_F(FilesByName, PathParts) {
  struct Case {
    const char* path;
    int parts;
    const char* expected;
  } cases[] = {
      {"/a/b/c.txt", 2 | 4, "/a/b/c"}, {"/a/b/c.txt", 8, ".txt"},     {"/a/b/c.txt", 15, "/a/b/c.txt"},
      {"/a/b/c.txt", 1, ""},           {"c.tar.gz", 4, "c.tar"},      {"\\a\\b.txt", 2, "/a/"},
  };
  for (const auto& c : cases) EXPECT_EQ(call("fExtraitChemin", {T(c.path), I(c.parts)}).bytes, c.expected) << c.path;
  call("fExtraitChemin", {T("/a"), I(16)});
  EXPECT_EQ(last.code, 80042u);
  call("fExtraitChemin", {T(std::string(261, 'a')), I(4)});
  EXPECT_EQ(last.code, 80058u);
}

TEST_F(FilesByName, TemporaryNamesAndDirectories) {
  const std::string name = call("fFichierTemp", {T("kv"), T(dir.path())}).bytes;
  EXPECT_EQ(name.rfind(dir / "kv", 0), 0u) << name;
  EXPECT_EQ(name.size(), (dir / "kv").size() + 6);
  EXPECT_FALSE(TempDir::exists(name)) << "the name is free";
  EXPECT_EQ(call("fRepertoireTemp").bytes.back(), '/');
  EXPECT_TRUE(b("fRepCree", {T(dir / "x/y/z/")}));
  EXPECT_TRUE(b("fRepertoireExiste", {T(dir / "x/y/z")}));
  EXPECT_TRUE(b("fRepCree", {T(dir / "x/y")})) << "an existing directory is success";
  EXPECT_EQ(call("fRepCree_55", {T(dir / "x")}).integer, -1);
  EXPECT_EQ(call("fRepCree_55", {T(dir / "w")}).integer, 0);
  EXPECT_EQ(call("fRepEnCours", {T(dir / "nowhere")}).bytes, "-1");
  EXPECT_EQ(last.code, 80048u);
}

TEST_F(FilesByName, Compare) {
  std::string block(8000, 'q');
  block[4321] = 'r';
  TempDir::write(dir / "a", block);
  TempDir::write(dir / "b", block);
  TempDir::write(dir / "c", block + "x");
  TempDir::write(dir / "d", std::string(block).replace(7999, 1, "s"));
  struct Case {
    std::string first, second;
    int expected;
    unsigned error;
  } cases[] = {
      {dir / "a", dir / "b", 0, 0},      {dir / "a", dir / "c", 1, 0},        {dir / "a", dir / "d", 1, 0},
      {dir / "a", dir / "A", 0, 0},      {dir / "none", dir / "a", -1, 80060}, {dir / "a", dir / "none", -2, 80060},
      {"", dir / "a", -3, 80059},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(call("fCompare", {T(c.first), T(c.second)}).integer, c.expected) << c.first << " " << c.second;
    EXPECT_EQ(last.code, c.error);
  }
}

TEST_F(FilesByName, CopyIntoADirectoryCreatedOnTheWay) {
  TempDir::write(dir / "a.txt", "A");
  EXPECT_TRUE(b("fCopieFichier", {T(dir / "a.txt"), T(dir / "new/sub/")}));
  EXPECT_EQ(TempDir::read(dir / "new/sub/a.txt"), "A");
  EXPECT_TRUE(b("fCopieFichier", {T(dir / "a.txt"), T(dir / "new")}));
  EXPECT_EQ(TempDir::read(dir / "new/a.txt"), "A");
  // A read-only destination is copied over, and stays read-only.
  TempDir::write(dir / "ro.txt", "old");
  ASSERT_EQ(chmod((dir / "ro.txt").c_str(), 0444), 0);
  EXPECT_TRUE(b("fCopieFichier", {T(dir / "a.txt"), T(dir / "ro.txt")}));
  EXPECT_EQ(TempDir::read(dir / "ro.txt"), "A");
  struct stat st {};
  ASSERT_EQ(stat((dir / "ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  struct Case {
    std::string source, destination;
    unsigned error;
  } errors[] = {
      {"", dir / "x", 80059}, {dir / "a.txt", "", 80059}, {dir / "a.txt", dir / "*.txt", 80066},
      {dir / "none", dir / "x", 80067},
  };
  for (const auto& c : errors) {
    EXPECT_FALSE(b("fCopieFichier", {T(c.source), T(c.destination)}));
    EXPECT_EQ(last.code, c.error) << c.source << " -> " << c.destination;
  }
}

// Names a shell would interpret are copied as they are, by every path: the
// plain copy, the cp program (option 2), a pattern, a directory.
TEST_F(FilesByName, CopyNamesWithShellCharacters) {
  const char* names[] = {"with space.txt", "quote'\"s.txt", "semi;colon.txt", "$HOME.txt", "back`tick`.txt",
                         "-leading.txt"};
  ASSERT_EQ(mkdir((dir / "src dir;").c_str(), 0755), 0);
  for (const char* n : names) TempDir::write(dir / (std::string("src dir;/") + n), n);
  const std::string out = dir / "out $(touch pwned)";
  int i = 0;
  for (const char* n : names) {
    const int option = i++ % 2 ? 2 : 0;
    EXPECT_TRUE(b("fCopieFichier", {T(dir / (std::string("src dir;/") + n)), T(out + "/" + n), I(option)})) << n;
    EXPECT_EQ(TempDir::read(out + "/" + n), n) << n << " option " << option;
  }
  EXPECT_TRUE(b("fCopieFichier", {T(dir / "src dir;/*.txt"), T(out + "/pattern/")}));
  for (const char* n : names) EXPECT_EQ(TempDir::read(out + "/pattern/" + n), n) << n;
  EXPECT_TRUE(b("fCopieFichier", {T(dir / "src dir;"), T(out + "/tree/"), I(1)}));
  for (const char* n : names) EXPECT_EQ(TempDir::read(out + "/tree/src dir;/" + n), n) << n;
  EXPECT_FALSE(TempDir::exists("pwned"));
  EXPECT_FALSE(TempDir::exists(dir / "pwned"));
}

TEST_F(FilesByName, DirectoryCopyMoveAndAccess) {
  ASSERT_EQ(mkdir((dir / "s; x").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "s; x/in").c_str(), 0755), 0);
  TempDir::write(dir / "s; x/a b.txt", "A");
  TempDir::write(dir / "s; x/in/c", "C");
  EXPECT_TRUE(b("fRepCopie", {T(dir / "s; x"), T(dir / "copy $x/"), I(1)}));
  EXPECT_EQ(TempDir::read(dir / "copy $x/a b.txt"), "A");
  EXPECT_EQ(TempDir::read(dir / "copy $x/in/c"), "C");
  EXPECT_FALSE(b("fRepCopie", {T(dir / "s; x/a b.txt"), T(dir / "y")}));
  EXPECT_EQ(last.code, 80062u);
  // A directory that is not empty moves only when asked to.
  EXPECT_FALSE(b("fRepDeplace", {T(dir / "s; x"), T(dir / "moved")}));
  EXPECT_EQ(last.code, 80068u);
  EXPECT_TRUE(b("fRepDeplace", {T(dir / "s; x"), T(dir / "moved"), I(1)}));
  EXPECT_EQ(TempDir::read(dir / "moved/in/c"), "C");
  EXPECT_FALSE(b("fRepertoireExiste", {T(dir / "s; x")}));
  // A failed move keeps the source.
  ASSERT_EQ(mkdir((dir / "keep").c_str(), 0755), 0);
  TempDir::write(dir / "keep/k", "K");
  EXPECT_FALSE(b("fRepDeplace", {T(dir / "keep"), T(dir / "no/such/place"), I(1)}));
  EXPECT_EQ(last.code, 80064u);
  EXPECT_EQ(TempDir::read(dir / "keep/k"), "K");
  // Access: read-write here; a probe file already there survives.
  EXPECT_EQ(call("fRepDroit", {T(dir.path() + "/")}).integer, 2);
  TempDir::write(dir / "moved/F_ORX_0X.TFW", "mine");
  EXPECT_EQ(call("fRepDroit", {T(dir / "moved")}).integer, 2);
  EXPECT_EQ(TempDir::read(dir / "moved/F_ORX_0X.TFW"), "mine");
  EXPECT_EQ(call("fRepDroit", {T(dir / "none")}).integer, 0);
  EXPECT_EQ(call("fRepDroit", {T("")}).integer, 0);
  EXPECT_EQ(last.code, 80059u);
}

// Copies of patterns and directories, and directory moves, that cannot be
// made: a failure that names the system's reason; what did not happen is
// never reported as done.
TEST_F(FilesByName, CopiesAndMovesThatFailAreReported) {
  ASSERT_EQ(mkdir((dir / "d").c_str(), 0755), 0);
  TempDir::write(dir / "d/a", "A");
  TempDir::write(dir / "d/b", "B");
  ASSERT_EQ(mkdir((dir / "one").c_str(), 0755), 0);
  TempDir::write(dir / "one/a", "A");
  TempDir::write(dir / "file", "F");
  // A directory copied to a new name becomes that directory, whatever it holds.
  EXPECT_TRUE(b("fRepCopie", {T(dir / "d"), T(dir / "d2")}));
  EXPECT_TRUE(b("fRepertoireExiste", {T(dir / "d2")}));
  EXPECT_EQ(TempDir::read(dir / "d2/a"), "A");
  EXPECT_EQ(TempDir::read(dir / "d2/b"), "B");
  EXPECT_TRUE(b("fRepCopie", {T(dir / "one"), T(dir / "x/one2")}));
  EXPECT_TRUE(b("fRepertoireExiste", {T(dir / "x/one2")}));
  EXPECT_EQ(TempDir::read(dir / "x/one2/a"), "A");
  EXPECT_TRUE(b("fCopieFichier", {T(dir / "d/*"), T(dir / "p")}));
  EXPECT_EQ(TempDir::read(dir / "p/b"), "B");
  struct Case {
    const char* function;
    std::string source, destination;
    int option;
    unsigned error;
    int system;
  } cases[] = {
      {"fCopieFichier", dir / "nomatch*", dir / "out", 0, 80065, ENOENT},
      {"fRepCopie", dir / "nomatch*", dir / "out", 0, 80064, ENOENT},
      {"fCopieFichier", dir / "d/*", dir / "file", 0, 80065, ENOTDIR},  // two files onto one file
      {"fCopieFichier", dir / "d", dir / "dcopy", 0, 80065, EISDIR},    // a directory without -r
      {"fRepDeplace", dir / "d", dir / "x/y/z", 1, 80064, ENOENT},
      {"fRepDeplace", dir / "d", dir / "file", 1, 80064, ENOTDIR},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " " + c.source + " -> " + c.destination);
    EXPECT_FALSE(b(c.function, {T(c.source), T(c.destination), I(c.option)}));
    EXPECT_EQ(last.code, c.error);
    EXPECT_EQ(last.systemCode, static_cast<DWORD>(c.system)) << last.message;
  }
  EXPECT_FALSE(TempDir::exists(dir / "out"));
  EXPECT_FALSE(TempDir::exists(dir / "x/y/z"));
  EXPECT_FALSE(TempDir::exists(dir / "dcopy"));
  EXPECT_EQ(TempDir::read(dir / "file"), "F");
  EXPECT_EQ(TempDir::read(dir / "d/a"), "A");
  EXPECT_EQ(TempDir::read(dir / "d/b"), "B");
}

// Under a file-size limit (SIGXFSZ ignored) cp cannot finish: the copy fails.
TEST_F(FilesByName, CopyCutShortByAFileSizeLimitFails) {
  ASSERT_EQ(mkdir((dir / "big").c_str(), 0755), 0);
  TempDir::write(dir / "big/f", std::string(20000, 'x'));
  // The library's SIGCHLD reaper would take the child's status first.
  struct sigaction saDefaut {}, saAvant {};
  saDefaut.sa_handler = SIG_DFL;
  sigaction(SIGCHLD, &saDefaut, &saAvant);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    struct rlimit limite {4096, 4096};
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limite);
    const bool bOk = b("fRepCopie", {T(dir / "big"), T(dir / "copy")});
    _exit(!bOk && last.code == 80064 ? 0 : 1);
  }
  int status = 0;
  const pid_t r = waitpid(pid, &status, 0);
  sigaction(SIGCHLD, &saAvant, nullptr);
  ASSERT_EQ(r, pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
