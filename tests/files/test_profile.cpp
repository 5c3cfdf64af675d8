// INI files: reading and writing rules on small files, the home-directory
// rule for relative names, concurrent writers and a write failing part-way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
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
      // Found as a read finds them: case and leading blanks do not matter; a
      // replaced line keeps its indent, its key's spelling and its CR.
      {"[S]\nk = 1\n", "S", "K", nullptr, "[S]\n"},
      {"[Journal]\r\nNiveau=INFO\r\n", "journal", "niveau", "DEBUG", "[Journal]\r\nNiveau = DEBUG\r\n"},
      {"  [S]\n\tk=1\n", "s", "K", "2", "  [S]\n\tk = 2\n"},
      {"[S]\n:k = c\nk\nkx = 0\n  k = 1\n", "S", "k", "2", "[S]\n:k = c\nk\nkx = 0\n  k = 2\n"},
      {"[S]\n[no header\nk = 1\n[T]\n", "S", "k", "2", "[S]\n[no header\nk = 2\n[T]\n"},
      {"[A]\n  [s]\nk=1\n\n[T]\n", "S", nullptr, nullptr, "[A]\n[T]\n"},
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

// One name, one file: a relative name is the home directory's for reading
// and writing alike; "./" names the current directory for both.
TEST(Profile, RelativeNamesReachOneFileForReadingAndWriting) {
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
  const std::string name = "kv_profil_test_" + std::to_string(getpid()) + ".ini";
  TempDir::write(home + "/" + name, "[S]\nk=home\n");
  EXPECT_EQ(lit("S", "k", nullptr, name), "home");
  EXPECT_TRUE(WritePrivateProfileString("S", "k", "written", name.c_str()));
  EXPECT_EQ(lit("S", "k", nullptr, name), "written");
  EXPECT_EQ(TempDir::read(home + "/" + name), "[S]\nk = written\n");
  EXPECT_FALSE(TempDir::exists(cwd / name));
  std::remove((home + "/" + name).c_str());
  EXPECT_EQ(lit("S", "k", nullptr, "./r.ini"), "cwd");
  EXPECT_TRUE(WritePrivateProfileString("S", "k", "here", ".\\r.ini"));
  EXPECT_EQ(lit("S", "k", nullptr, "./r.ini"), "here");
  EXPECT_EQ(TempDir::read(cwd / "r.ini"), "[S]\nk = here\n");
  ASSERT_EQ(chdir(here), 0);
}

// Random files (sections and keys in mixed case, indented or not, comments,
// CR LF or LF lines) and random writes and deletions in other spellings:
// every read returns what the last write of that entry put, and an entry
// never written keeps its first value.
TEST(Profile, WhatIsWrittenIsWhatIsRead) {
  TempDir dir;
  const std::string f = dir / "r.ini";
  std::mt19937 g(11);
  const char* sections[] = {"Alpha", "Beta", "Gamma"};
  const char* keys[] = {"port", "Port2", "name", "x"};
  auto spell = [&](std::string s) {
    for (char& c : s) c = g() % 2 ? static_cast<char>(std::toupper(c)) : static_cast<char>(std::tolower(c));
    return s;
  };
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(c));
    return s;
  };
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    std::map<std::string, std::map<std::string, std::string>> model;
    std::string text;
    const char* eol = g() % 2 ? "\r\n" : "\n";
    for (const char* sec : sections) {
      if (g() % 4 == 0) continue;
      text += std::string(g() % 3 == 0 ? "  " : "") + "[" + spell(sec) + "]" + eol;
      auto& entries = model[lower(sec)];
      for (const char* key : keys) {
        if (g() % 3 == 0) text += std::string(": ") + key + " = comment" + eol;
        if (g() % 3 == 0) continue;
        const std::string value = "v" + std::to_string(g() % 1000);
        text += std::string(g() % 3 == 0 ? "\t" : "") + spell(key) + (g() % 2 ? "=" : " = ") + value + eol;
        entries[lower(key)] = value;
      }
      if (g() % 2) text += eol;
    }
    TempDir::write(f, text);
    for (int op = 0; op < 6; ++op) {
      const std::string sec = sections[g() % 3], key = keys[g() % 4];
      const int kind = static_cast<int>(g() % 6);
      if (kind == 0) {
        ASSERT_TRUE(WritePrivateProfileString(spell(sec).c_str(), nullptr, nullptr, f.c_str()));
        model.erase(lower(sec));
      } else if (kind == 1) {
        ASSERT_TRUE(WritePrivateProfileString(spell(sec).c_str(), spell(key).c_str(), nullptr, f.c_str()));
        if (model.count(lower(sec))) model[lower(sec)].erase(lower(key));
      } else {
        const std::string value = "w" + std::to_string(g() % 1000);
        ASSERT_TRUE(WritePrivateProfileString(spell(sec).c_str(), spell(key).c_str(), value.c_str(), f.c_str()));
        model[lower(sec)][lower(key)] = value;
      }
      for (const char* s2 : sections) {
        for (const char* k2 : keys) {
          auto it = model.find(lower(s2));
          const std::string expected =
              it != model.end() && it->second.count(lower(k2)) ? it->second.at(lower(k2)) : "?";
          EXPECT_EQ(lit(spell(s2).c_str(), spell(k2).c_str(), "?", f), expected)
              << s2 << "/" << k2 << " after op " << op << " in\n" << TempDir::read(f);
        }
      }
      if (HasFailure()) return;
    }
  }
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
  EXPECT_EQ(last.systemCode, static_cast<DWORD>(ENOENT));
  EXPECT_NE(last.message.find("missing/x.ini"), std::string::npos) << last.message;
}

// Written in another spelling, read back in the file's own.
TEST_F(INI, AWriteIsReadBack) {
  TempDir dir;
  const std::string f = dir / "j.ini";
  TempDir::write(f, "[Journal]\r\nNiveau=INFO\r\n");
  EXPECT_TRUE(call("INIEcrit", {T("journal"), T("niveau"), T("DEBUG"), T(f)}).integer);
  EXPECT_EQ(call("INILit", {T("Journal"), T("Niveau"), T("?"), T(f)}).bytes, "DEBUG");
  EXPECT_EQ(TempDir::read(f), "[Journal]\r\nNiveau = DEBUG\r\n");
}

}  // namespace
