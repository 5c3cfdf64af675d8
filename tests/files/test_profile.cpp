// INI files: reading and writing rules on small files, the home-directory
// rule for relative names, concurrent writers and a write failing part-way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "TempDir.h"
#include "files/Profil.h"
#include "support/HostTest.h"

namespace {

std::string lit(const char* section, const char* key, const char* def, const std::string& file,
                DWORD size = 4096) {
  std::string buf(size, '\x7f');
  const DWORD n = GetPrivateProfileString(section, key, def, buf.data(), size, file.c_str());
  EXPECT_EQ(n, std::strlen(buf.c_str()));
  return buf.substr(0, n);
}

TEST(Profile, ReadingRules) {
  TempDir dir;
  const std::string f = dir / "a.ini";
  TempDir::write(f,
                 "[Users]\n  Name =  Dupont\r\n: Name = comment\nPortNumber=12\nPort\t= 8080 \nnoequals\n"
                 "[B]\nx=1\n");
  struct Case {
    const char *section, *key, *def, *expected;
  } cases[] = {
      {"users", "name", nullptr, "Dupont"},      // case-blind section and key, blanks and CR dropped
      {"Users", "Port", nullptr, "8080 "},       // not PortNumber; trailing spaces kept
      {"Users", "Missing", "dflt", "dflt"},      // default when not found
      {"Users", nullptr, nullptr, "Name\r\nPortNumber\r\nPort\r\n"},  // keys, comments skipped
      {nullptr, nullptr, nullptr, "Users\r\nB\r\n"},                  // every section
      {"B", "x", nullptr, "1"},
      {"C", "x", nullptr, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(lit(c.section, c.key, c.def, f), c.expected) << c.section << "/" << c.key;
  // Cut to the buffer, with its 0; lists hold whole names only.
  EXPECT_EQ(lit("Users", "Name", nullptr, f, 4), "Dup");
  EXPECT_EQ(lit("Users", nullptr, nullptr, f, 11), "Name\r\n");
  EXPECT_EQ(lit("Users", "Name", nullptr, dir / "missing.ini"), "");
  EXPECT_EQ(lit("Users", "Name", "none", dir / "missing.ini"), "none");
  EXPECT_EQ(GetPrivateProfileInt("Users", "Port", 5, f.c_str()), 8080);
  EXPECT_EQ(GetPrivateProfileInt("Users", "Nope", -42, f.c_str()), -42);
}

TEST(Profile, WritingRules) {
  TempDir dir;
  const std::string f = dir / "w.ini";
  struct Case {
    const char *before, *section, *key, *value, *after;
  } cases[] = {
      {"", "S", "k", "v", "[S]\nk = v\n"},
      {"", "S", nullptr, nullptr, ""},
      {"[S]\nk = 1\n\n[T]\n", "S", "j", "2", "[S]\nk = 1\nj = 2\n\n[T]\n"},  // before the empty line
      {"[S]\nk = 1\n[T]\n", "S", "j", "2", "[S]\nk = 1\nj = 2\n[T]\n"},      // before the next section
      {"[S]\nk = 1", "S", "j", "2", "[S]\nk = 1\nj = 2\n"},                 // to the end, LF added
      {"[S]\nPortNumber=12\nPort =8080\n", "S", "Port", "9", "[S]\nPortNumber=12\nPort = 9\n"},
      {"[S]\nk = 1\nj = 2\n", "S", "k", nullptr, "[S]\nj = 2\n"},            // no value: removed
      {"[S]\nk = 1\n", "S", "K", nullptr, "[S]\nk = 1\n"},                  // case matters when writing
      {"[A]\na=1\n[S]\nk = 1\n\n[T]\nt=2\n", "S", nullptr, nullptr, "[A]\na=1\n[T]\nt=2\n"},
      {"[A]\na=1", "S", "k", "v", "[A]\na=1\n[S]\nk = v\n"},
      {"[A]\n", "S", "k", nullptr, "[A]\n[S]\n"},
  };
  for (const auto& c : cases) {
    TempDir::write(f, c.before);
    EXPECT_TRUE(WritePrivateProfileString(c.section, c.key, c.value, f.c_str()));
    EXPECT_EQ(TempDir::read(f), c.after) << c.before << " | " << c.section << "/" << (c.key ? c.key : "-");
  }
  // A missing file is created; backslashes are slashes.
  const std::string g = dir / "sub\\new.ini";
  ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
  EXPECT_TRUE(WritePrivateProfileString("S", "k", "v", g.c_str()));
  EXPECT_EQ(TempDir::read(dir / "sub/new.ini"), "[S]\nk = v\n");
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", (dir / "nodir/x.ini").c_str()));
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", std::string(300, 'a').c_str()));
  // The permissions of the file survive its replacement.
  ASSERT_EQ(chmod(f.c_str(), 0640), 0);
  EXPECT_TRUE(WritePrivateProfileString("S", "z", "1", f.c_str()));
  struct stat st {};
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(Profile, RelativeNamesReadFromHomeAndWriteFromCurrentDirectory) {
  TempDir cwd;
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(cwd.path().c_str()), 0);
  TempDir::write(cwd / "r.ini", "[S]\nk=cwd\n");
  // The home directory is the one of the default file's path.
  char sz[PROFIL_MAX_CHEMIN + 1];
  ASSERT_TRUE(bGetORXCONFPath(sz));
  const std::string defaut = sz, home = defaut.substr(0, defaut.size() - 10);
  ASSERT_EQ(defaut.substr(home.size()), "/.ORX.conf");
  TempDir::write(home + "/kv_profil_test.ini", "[S]\nk=home\n");
  EXPECT_EQ(lit("S", "k", nullptr, "kv_profil_test.ini"), "home");
  std::remove((home + "/kv_profil_test.ini").c_str());
  EXPECT_EQ(lit("S", "k", nullptr, "./r.ini"), "cwd");
  EXPECT_TRUE(WritePrivateProfileString("S", "k", "written", "r.ini"));
  EXPECT_EQ(TempDir::read(cwd / "r.ini"), "[S]\nk = written\n");
  ASSERT_EQ(chdir(here), 0);
}

TEST(Profile, ConcurrentWritersKeepEveryKey) {
  TempDir dir;
  const std::string f = dir / "c.ini";
  TempDir::write(f, "[S]\n\n[T]\nt = 1\n");
  constexpr int kProcesses = 8, kKeys = 25;
  for (int p = 0; p < kProcesses; ++p) {
    if (fork() == 0) {
      bool ok = true;
      for (int k = 0; k < kKeys; ++k) {
        const std::string key = "p" + std::to_string(p) + "k" + std::to_string(k);
        ok = WritePrivateProfileString(p % 2 ? "S" : "U", key.c_str(), "x", f.c_str()) && ok;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (int p = 0; p < kProcesses; ++p) {
    int status = 0;
    wait(&status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < kProcesses; ++p) {
    for (int k = 0; k < kKeys; ++k) {
      const std::string key = "p" + std::to_string(p) + "k" + std::to_string(k);
      EXPECT_EQ(lit(p % 2 ? "S" : "U", key.c_str(), nullptr, f), "x") << key;
    }
  }
  EXPECT_EQ(lit("T", "t", nullptr, f), "1");
}

TEST(Profile, AWriteFailingPartWayLeavesThePreviousFile) {
  TempDir dir;
  const std::string f = dir / "full.ini";
  const std::string before = "[S]\nk = 1\n[T]\nt = 2\n";
  TempDir::write(f, before);
  // The child may write 64 bytes per file: the new text does not fit.
  if (fork() == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl {64, 64};
    setrlimit(RLIMIT_FSIZE, &rl);
    const bool ok = WritePrivateProfileString("S", "big", std::string(200, 'v').c_str(), f.c_str());
    _exit(ok ? 1 : 0);
  }
  int status = 0;
  wait(&status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write must report its failure";
  EXPECT_EQ(TempDir::read(f), before);
  EXPECT_EQ(std::system(("test $(ls " + dir.path() + " | wc -l) -eq 1").c_str()), 0) << "no scratch file left";
}

class INI : public HostTest {};

TEST_F(INI, ThroughTheLanguage) {
  TempDir dir;
  const std::string f = dir / "lang.ini";
  EXPECT_TRUE(call("INIEcrit", {T("S"), T("k"), T("v"), T(f)}).integer);
  EXPECT_TRUE(call("INIEcrit", {T("S"), T("j"), T("w"), T(f)}).integer);
  EXPECT_EQ(call("INILit", {T("S"), T("k"), T(""), T(f)}).bytes, "v");
  EXPECT_EQ(call("INILit", {T("S"), T(""), T(""), T(f)}).bytes, "k\r\nj\r\n");
  EXPECT_EQ(call("INILit", {T("S"), T("zz"), T("def"), T(f)}).bytes, "def");
  // The integer forms delete, and take 0 only.
  EXPECT_TRUE(call("INIEcrit", {T("S"), T("k"), I(0), T(f)}).integer);
  EXPECT_EQ(TempDir::read(f), "[S]\nj = w\n");
  EXPECT_FALSE(call("INIEcrit", {T("S"), T("j"), I(3), T(f)}).integer);
  EXPECT_EQ(last.code, 80290u);
  EXPECT_TRUE(call("INIEcrit", {T("S"), I(0), I(0), T(f)}).integer);
  EXPECT_EQ(TempDir::read(f), "");
  EXPECT_FALSE(call("INIEcrit", {T("S"), T("k"), T("v"), T(dir / "missing/x.ini")}).integer);
  EXPECT_EQ(last.code, 80294u);
  EXPECT_NE(last.message.find("missing/x.ini"), std::string::npos) << last.message;
}

}  // namespace
