// The library in the character set a VM declares: Windows-1252 or UTF-8.
// Accented and non-Latin file names from the shell and from Lua, what the
// library's own texts look like in UTF-8, and the default kvrun chooses.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Host.h"
#include "support/TestHost.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs kvrun in `dir` with the locale variables given (all others unset).
Outcome kvrunIn(const std::string& dir, const std::vector<std::string>& args,
            const std::vector<std::pair<const char*, const char*>>& locale = {}) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    if (chdir(dir.c_str()) != 0) _exit(126);
    for (const char* v : {"LANG", "LC_ALL", "LC_CTYPE", "LC_MESSAGES"}) unsetenv(v);
    for (const auto& [k, v] : locale) setenv(k, v, 1);
    std::string exe = std::string(KV_BINARY_DIR) + "/bin/kvrun";
    std::vector<char*> argv{exe.data()};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  Outcome r;
  auto drain = [](int fd, std::string* to) {
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) to->append(buf, static_cast<std::size_t>(n));
    close(fd);
  };
  drain(out[0], &r.out);
  drain(err[0], &r.err);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// UTF-8 to Windows-1252 (the C library's iconv as the oracle); "" when the
// text has no Windows-1252 form.
std::string to1252(const std::string& s) {
  iconv_t cd = iconv_open("CP1252", "UTF-8");
  std::string out(s.size() + 4, '\0');
  char* in = const_cast<char*>(s.data());
  char* o = out.data();
  std::size_t nIn = s.size(), nOut = out.size();
  bool ok = iconv(cd, &in, &nIn, &o, &nOut) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  out.resize(out.size() - nOut);
  return ok ? out : std::string();
}

std::string fromLatin(const std::string& s) {
  iconv_t cd = iconv_open("UTF-8", "CP1252");
  std::string out(s.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(s.data());
  char* o = out.data();
  std::size_t nIn = s.size(), nOut = out.size();
  iconv(cd, &in, &nIn, &o, &nOut);
  iconv_close(cd);
  out.resize(out.size() - nOut);
  return out;
}

// A fresh directory for one test.
struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/kv_charset_XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
};

std::vector<std::string> outputLines(const std::string& text) {
  std::vector<std::string> v;
  std::string line;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      if (!line.empty()) v.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) v.push_back(line);
  return v;
}

// The names of the table: as typed in a UTF-8 terminal (the last one is
// not UTF-8: Latin-1 bytes, as an old archive leaves them).
struct Name {
  const char* label;
  std::string typed;
};
const std::vector<Name> kNames = {
    {"e acute", "é.txt"},          {"OE ligature", "Œuvre.txt"},
    {"euro sign", "€uro.txt"},     {"Greek", "Ωμέγα.txt"},
    {"not UTF-8", "\xE9t\xE9.txt"},
};

// What the file system holds after the library created `typed`: the same
// bytes in UTF-8; in Windows-1252 the terminal's text converted (bytes that
// are not UTF-8 kept), "" when Windows-1252 cannot name it.
std::string diskName(const Name& n, bool utf8) {
  if (utf8 || n.typed[0] == '\xE9') return n.typed;
  return to1252(n.typed);
}

// Shell: create, list, reopen the listed name, compact it, delete it.
void shellRoundTrip(const Name& n, bool utf8) {
  SCOPED_TRACE(std::string(n.label) + (utf8 ? " in UTF-8" : " in Windows-1252"));
  TempDir dir;
  const std::string charset = utf8 ? "utf-8" : "1252";
  const std::string disk = diskName(n, utf8);
  Outcome r = kvrunIn(dir.path, {"--charset", charset, "fCrée", n.typed});
  if (disk.empty()) {
    // Never replaced by '?' (a wildcard, or another file's name).
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("Windows-1252 does not have"), std::string::npos) << r.err;
    EXPECT_EQ(kvrunIn(dir.path, {"--charset", charset, "fSupprime", n.typed}).status, 2);
    return;
  }
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(exists(dir.path + "/" + disk)) << "created under its name in the library's character set";
  r = kvrunIn(dir.path, {"--charset", charset, "fListeFichier", "*"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto listed = outputLines(r.out);
  ASSERT_EQ(listed.size(), 1u) << r.out;
  std::string shown = utf8 ? disk : fromLatin(disk);
  ASSERT_GE(listed[0].size(), shown.size());
  EXPECT_EQ(listed[0].substr(listed[0].size() - shown.size()), shown);
  const std::string again = listed[0];
  r = kvrunIn(dir.path, {"--charset", charset, "fOuvre", again});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2\n");
  r = kvrunIn(dir.path, {"--charset", charset, "fCompacte", again, "out.kvc"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(exists(dir.path + "/out.kvc"));
  r = kvrunIn(dir.path, {"--charset", charset, "fSupprime", again});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");
  EXPECT_FALSE(exists(dir.path + "/" + disk));
  EXPECT_TRUE(exists(dir.path + "/out.kvc")) << "only the one file deleted";
}

TEST(Charset, FileNamesFromTheShellInBothModes) {
  for (bool utf8 : {true, false}) {
    for (const auto& n : kNames) shellRoundTrip(n, utf8);
  }
}

// Files already named in UTF-8 on the disk, listed by a Windows-1252 kvrun:
// the listing shows the bytes as Windows-1252 characters, and that text
// names the same file again.
TEST(Charset, UtfNamesListedInWindows1252CanBeReopened) {
  for (const auto& n : kNames) {
    SCOPED_TRACE(n.label);
    TempDir dir;
    std::ofstream(dir.path + "/" + n.typed) << "hi\n";
    Outcome r = kvrunIn(dir.path, {"--charset", "1252", "fListeFichier", "*"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto listed = outputLines(r.out);
    ASSERT_EQ(listed.size(), 1u);
    r = kvrunIn(dir.path, {"--charset", "1252", "fTaille", listed[0]});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3\n");
  }
}

// The same steps from Lua, where strings are the library's bytes as they
// stand: a listed name is a name, in either mode.
TEST(Charset, FileNamesFromLuaInBothModes) {
  const std::string script = R"(
local dir, name = arg[1], arg[2]
local path = dir .. "/" .. name
local function why() local e = kv.error(); return e and e.message or "" end
local h = kv["fCrée"](path)
assert(h >= 2, "fCrée: " .. why())
kv.fFerme(h)
local listed = {}
for line in kv.fListeFichier(dir .. "/*"):gmatch("[^\r\n]+") do listed[#listed + 1] = line end
assert(#listed == 1 and listed[1]:sub(-#name) == name, "listed: " .. table.concat(listed, "|"))
h = kv.fOuvre(listed[1])
assert(h >= 2, "fOuvre: " .. why())
kv.fFerme(h)
assert(kv.fCompacte(listed[1], dir .. "/out.kvc"), "fCompacte")
assert(kv.fSupprime(listed[1]), "fSupprime")
assert(not kv.fFichierExiste(path), "deleted")
print("ok")
)";
  TempDir scripts;
  std::string file = scripts.path + "/names.lua";
  std::ofstream(file) << script;
  for (const char* charset : {"utf-8", "1252"}) {
    for (const auto& n : kNames) {
      SCOPED_TRACE(std::string(n.label) + " in " + charset);
      TempDir dir;
      Outcome r = kvrunIn(dir.path, {"--charset", charset, file, dir.path, n.typed});
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, "ok\n");
      EXPECT_FALSE(exists(dir.path + "/" + n.typed));
    }
  }
  // kv.fromutf8 refuses what Windows-1252 cannot hold rather than making
  // '?' of it; in UTF-8 it changes nothing.
  Outcome r = kvrunIn("/", {"--charset", "1252", "-e", "print(pcall(kv.fromutf8, 'Ωμέγα.txt'))"});
  EXPECT_EQ(r.out.rfind("false\t", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("Windows-1252 does not have"), std::string::npos) << r.out;
  r = kvrunIn("/", {"--charset", "utf-8", "-e", "print(kv.fromutf8('Ωμέγα.txt') == 'Ωμέγα.txt', kv.toutf8('\xE9'))"});
  EXPECT_EQ(r.out, "true\t\xE9\n");
  r = kvrunIn("/", {"--charset", "1252", "-e", "print(kv.toutf8(kv.fromutf8('é€Œ\xC2\x81')))"});
  EXPECT_EQ(r.out, "é€Œ\xC2\x81\n") << "every Windows-1252 byte, unassigned ones too, goes and comes back";
}

// A Windows-1252 kvrun that fails on a name that exists in UTF-8 says so in
// one line; the same call in UTF-8 works. The default follows the locale.
TEST(Charset, HintAndDefault) {
  TempDir dir;
  std::ofstream(dir.path + "/é.txt") << "hi\n";
  Outcome r = kvrunIn(dir.path, {"--charset", "1252", "fCompacte", "é.txt", "out.kvc"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error 80300"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("'é.txt' exists in UTF-8"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--charset utf-8"), std::string::npos) << r.err;
  r = kvrunIn(dir.path, {"--charset", "1252", "fCompacte", "absent-é.txt", "out.kvc"});
  EXPECT_EQ(r.err.find("--charset"), std::string::npos) << "no hint when the UTF-8 name does not exist either";
  struct Locale {
    std::vector<std::pair<const char*, const char*>> vars;
    bool utf8;
  };
  const Locale locales[] = {
      {{}, false},
      {{{"LANG", "fr_FR.UTF-8"}}, true},
      {{{"LANG", "C.utf8"}}, true},
      {{{"LANG", "fr_FR.ISO-8859-15"}}, false},
      {{{"LANG", "fr_FR.UTF-8"}, {"LC_ALL", "C"}}, false},
      {{{"LANG", "C"}, {"LC_CTYPE", "en_US.UTF-8"}}, true},
  };
  for (const auto& l : locales) {
    r = kvrunIn(dir.path, {"fFichierExiste", "é.txt"}, l.vars);
    EXPECT_EQ(r.out, l.utf8 ? "1\n" : "0\n") << (l.vars.empty() ? "no locale" : l.vars.back().second);
  }
  r = kvrunIn(dir.path, {"fCompacte", "é.txt", "out.kvc"}, {{"LANG", "fr_FR.UTF-8"}});
  EXPECT_EQ(r.status, 0) << r.err;
  r = kvrunIn(dir.path, {"fListeFichier", "*.txt"}, {{"LANG", "fr_FR.UTF-8"}});
  EXPECT_EQ(r.out, dir.path + "/./é.txt\n") << "no mojibake";
  EXPECT_EQ(kvrunIn(dir.path, {"--charset", "latin9", "fFichierExiste", "x"}).status, 2);
}

// What a user reads in UTF-8 is what a Windows-1252 kvrun shows after its
// conversion: messages, names of months and days, units, phonetic keys.
TEST(Charset, LibraryTextsReadTheSameInBothModes) {
  const std::vector<std::vector<std::string>> calls = {
      {"--lang", "fr", "fCompacte", "absent.txt", "out.kvc"},
      {"--lang", "fr", "fOuvre", "absent-é.txt"},
      {"--lang", "fr", "DateVersChaîne", "20241305"},
      {"--lang", "en", "fOuvre", "absent-é.txt"},
      {"--lang", "fr", "DateVersChaîne", "20240815", "JJJJ JJ MMMM AAAA"},
      {"--lang", "fr", "DateVersChaîne", "20240215", "JJJ JJ MMM AAAA"},
      {"--lang", "fr", "DateVersChaîne", "20241215", "MMM"},
      {"--lang", "fr", "DateVersChaîne", "20240815", "MMM"},
      {"--lang", "fr", "EntierVersMoisEnLettre", "81300"},
      {"--lang", "fr", "TailleVersChaîne", "1536"},
      {"Phonétique", "Éléphant"},
      {"Phonétique", "Cœur de lion"},
      {"Phonétique", "Noël"},
      {"Max", "zèbre", "Zoé", "éte"},
      {"Min", "zèbre", "Zoé", "€uro"},
  };
  for (const auto& c : calls) {
    std::vector<std::string> ansi = {"--charset", "1252"}, utf8 = {"--charset", "utf-8"};
    ansi.insert(ansi.end(), c.begin(), c.end());
    utf8.insert(utf8.end(), c.begin(), c.end());
    Outcome a = kvrunIn("/", ansi), u = kvrunIn("/", utf8);
    std::string label = c[c.size() > 3 && c[0] == "--lang" ? 2 : 0];
    EXPECT_EQ(u.status, a.status) << label;
    EXPECT_EQ(u.out, a.out) << label;
    EXPECT_EQ(u.err, a.err) << label;
  }
  // Some of the texts compared above, spelled out.
  EXPECT_EQ(kvrunIn("/", {"--charset", "utf-8", "--lang", "fr", "DateVersChaîne", "20240815", "JJJJ JJ MMMM AAAA"}).out,
            "jeudi 15 août 2024\n");
  EXPECT_EQ(kvrunIn("/", {"--charset", "utf-8", "--lang", "fr", "DateVersChaîne", "20240815", "MMM"}).out, "aoû\n");
  Outcome r = kvrunIn("/", {"--charset", "utf-8", "--lang", "fr", "fCompacte", "absent.txt", "out.kvc"});
  EXPECT_NE(r.err.find("error 80300: Impossible d'ouvrir le fichier source"), std::string::npos) << r.err;
  r = kvrunIn("/", {"--charset", "utf-8", "--lang", "fr", "--raw", "fOuvre", "absent-é.txt"});
  EXPECT_NE(r.err.find("absent-é.txt"), std::string::npos) << "the name inserted as it was given: " << r.err;
  EXPECT_EQ(kvrunIn("/", {"--charset", "utf-8", "--hex", "Phonétique", "Éléphant"}).out, "c3894cc3894641\n");  // ÉLÉFA
  // Bytes stay bytes: a percent-encoded UTF-8 letter is that letter in UTF-8.
  EXPECT_EQ(kvrunIn("/", {"--charset", "utf-8", "URLDécode", "%C3%A9"}).out, "é\n");
  EXPECT_EQ(kvrunIn("/", {"--charset", "utf-8", "URLEncode", "é"}).out, "%C3%A9\n");
}

// '?' of a file pattern is one character in UTF-8, one byte in Windows-1252.
TEST(Charset, PatternsCountCharacters) {
  TempDir dir;
  std::ofstream(dir.path + "/é.txt") << "";
  std::ofstream(dir.path + "/ab.txt") << "";
  const std::string e = dir.path + "/./é.txt", ab = dir.path + "/./ab.txt";
  EXPECT_EQ(kvrunIn(dir.path, {"--charset", "utf-8", "fListeFichier", "?.txt"}).out, e + "\n");
  EXPECT_EQ(kvrunIn(dir.path, {"--charset", "utf-8", "fListeFichier", "??.txt"}).out, ab + "\n");
  EXPECT_EQ(kvrunIn(dir.path, {"--charset", "utf-8", "fListeFichier", "*é*"}).out, e + "\n");
  // In Windows-1252 the UTF-8 name is two characters (Ã©).
  EXPECT_EQ(outputLines(kvrunIn(dir.path, {"--charset", "1252", "fListeFichier", "??.txt"}).out).size(), 2u);
  EXPECT_EQ(kvrunIn(dir.path, {"--charset", "1252", "fListeFichier", "?.txt"}).out, "\n");
}

}  // namespace
