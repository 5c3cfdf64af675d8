// Whole-file writers: a failed write leaves the destination as it was (old
// contents kept, an absent file still absent, no temporary file left), the
// old file's permissions survive a replacement, a symbolic link keeps
// leading to the replaced file, and a destination that is the source under
// another name (link, hard link) is the in-place case.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <functional>
#include <random>
#include <set>
#include <string>

#include "TempDir.h"
#include "support/HostTest.h"

namespace {

std::string Aleatoire(std::size_t n, unsigned graine) {
  std::mt19937 g(graine);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(g());
  return s;
}

std::set<std::string> Contenu(const std::string& rep) {
  std::set<std::string> noms;
  if (DIR* d = opendir(rep.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") noms.insert(n);
    }
    closedir(d);
  }
  return noms;
}

class Replacement : public HostTest {
protected:
  TempDir dir;
  long long n(const char* name, std::vector<kvhost::Value> args) { return call(name, std::move(args)).integer; }

  // Runs f in a child whose files may not grow past 4096 bytes (SIGXFSZ
  // ignored): true when f reported a failure there.
  bool EchoueSousLimite(const std::function<bool()>& f) {
    // The library's SIGCHLD reaper would take the child's status first.
    struct sigaction saDefaut {}, saAvant {};
    saDefaut.sa_handler = SIG_DFL;
    sigaction(SIGCHLD, &saDefaut, &saAvant);
    const pid_t pid = fork();
    if (pid == 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit r{4096, 4096};
      setrlimit(RLIMIT_FSIZE, &r);
      _exit(f() ? 1 : 0);
    }
    int st = 0;
    const pid_t r = waitpid(pid, &st, 0);
    sigaction(SIGCHLD, &saAvant, nullptr);
    return r == pid && WIFEXITED(st) && WEXITSTATUS(st) == 0;
  }
};

// Each writer once with an existing destination and once with none, cut
// short by a file-size limit.
TEST_F(Replacement, FailedWritesLeaveTheDestinationAsItWas) {
  const std::string gros = Aleatoire(200000, 1);
  const std::string src = dir / "src", dst = dir / "dst";
  TempDir::write(src, gros);
  // Sources that expand beyond the limit, made beforehand.
  ASSERT_EQ(n("fCompacte", {T(src), T(dir / "src.cmp")}), 0);
  ASSERT_EQ(n("fCrypte", {T(src), T(dir / "src.cry"), T("secret")}), 1);
  ASSERT_EQ(n("fCrypte", {T(src), T(dir / "src.b64"), T("-"), I(0), I(2)}), 1);
  struct Cas {
    const char* nom;
    std::function<bool()> ecrit;  // true: success
  } cas[] = {
      {"fSauveTexte", [&] { return n("fSauveTexte", {T(dst), T(gros)}) != 0; }},
      {"fCopieFichier", [&] { return n("fCopieFichier", {T(src), T(dst)}) != 0; }},
      {"fCompacte", [&] { return n("fCompacte", {T(src), T(dst)}) == 0; }},
      {"fDecompacte", [&] { return n("fDecompacte", {T(dir / "src.cmp"), T(dst)}) == 0; }},
      {"fCrypte", [&] { return n("fCrypte", {T(src), T(dst), T("secret")}) != 0; }},
      {"fDecrypte", [&] { return n("fDecrypte", {T(dir / "src.cry"), T(dst), T("secret")}) != 0; }},
      {"fEncode", [&] { return n("fCrypte", {T(src), T(dst), T("-"), I(0), I(2)}) != 0; }},
      {"fDecode", [&] { return n("fDecrypte", {T(dir / "src.b64"), T(dst), T("-"), I(0), I(2)}) != 0; }},
      {"fCrypte and fEncode", [&] { return n("fCrypte", {T(src), T(dst), T("pw"), I(1), I(2)}) != 0; }},
  };
  const auto avant = Contenu(dir.path());
  for (const auto& c : cas) {
    for (bool bExiste : {true, false}) {
      SCOPED_TRACE(std::string(c.nom) + (bExiste ? " over an existing file" : " to a new file"));
      if (bExiste) TempDir::write(dst, "OLD");
      EXPECT_TRUE(EchoueSousLimite(c.ecrit));
      if (bExiste) {
        EXPECT_EQ(TempDir::read(dst), "OLD");
        unlink(dst.c_str());
      } else {
        EXPECT_FALSE(TempDir::exists(dst));
      }
      EXPECT_EQ(Contenu(dir.path()), avant) << "a temporary file was left";
      EXPECT_TRUE(TempDir::read(src) == gros);
    }
  }
}

TEST_F(Replacement, PermissionsAndLinksAreKept) {
  const std::string reel = dir / "reel", lien = dir / "lien";
  TempDir::write(reel, "old");
  ASSERT_EQ(chmod(reel.c_str(), 0640), 0);
  ASSERT_EQ(symlink("reel", lien.c_str()), 0);
  EXPECT_EQ(n("fSauveTexte", {T(lien), T("new")}), 1);
  struct stat st {};
  ASSERT_EQ(lstat(lien.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
  EXPECT_EQ(TempDir::read(reel), "new");
  ASSERT_EQ(stat(reel.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // A file that may not be written is not replaced either.
  ASSERT_EQ(chmod(reel.c_str(), 0440), 0);
  if (geteuid() != 0) {
    EXPECT_EQ(n("fSauveTexte", {T(reel), T("newer")}), 0);
    EXPECT_EQ(TempDir::read(reel), "new");
  }
  // A name as long as the system allows is replaced too.
  const std::string sLong = dir / std::string(NAME_MAX, 'n');
  TempDir::write(sLong, "old");
  EXPECT_EQ(n("fSauveTexte", {T(sLong), T("new")}), 1);
  EXPECT_EQ(TempDir::read(sLong), "new");
  unlink(sLong.c_str());
  // A device is written in place.
  EXPECT_EQ(n("fSauveTexte", {T("/dev/null"), T("x")}), 1);
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

// The destination is the source under another name: the in-place case.
TEST_F(Replacement, TwoNamesOneFile) {
  std::string texte;
  for (int i = 0; texte.size() < 35000; ++i) texte += "line " + std::to_string(i) + " of the file\n";
  texte.resize(35000);
  const std::string reel = dir / "real.txt", lien = dir / "link.txt", dur = dir / "hard.txt";
  TempDir::write(reel, texte);
  ASSERT_EQ(symlink("real.txt", lien.c_str()), 0);
  // Compacted into itself: the compacted form replaces it whole.
  EXPECT_EQ(n("fCompacte", {T(reel), T(lien)}), 0);
  EXPECT_EQ(n("fTailleDecompacte", {T(reel)}), 35000);
  EXPECT_EQ(n("fDecompacte", {T(reel), T(dir / "back.txt")}), 0);
  EXPECT_TRUE(TempDir::read(dir / "back.txt") == texte);
  // Expanded into itself.
  EXPECT_EQ(n("fDecompacte", {T(lien), T(reel)}), 0);
  EXPECT_TRUE(TempDir::read(reel) == texte);
  // Enciphered into itself and back; copied onto itself.
  EXPECT_EQ(n("fCrypte", {T(reel), T(lien), T("pw")}), 1);
  EXPECT_NE(TempDir::read(reel), texte);
  EXPECT_EQ(n("fDecrypte", {T(lien), T(reel), T("pw")}), 1);
  EXPECT_TRUE(TempDir::read(reel) == texte);
  EXPECT_EQ(n("fCopieFichier", {T(reel), T(lien)}), 1);
  EXPECT_TRUE(TempDir::read(reel) == texte);
  // A hard link is a second name of the file: the name written to gets the
  // new file, the other keeps the old contents; nothing is lost.
  ASSERT_EQ(link(reel.c_str(), dur.c_str()), 0);
  EXPECT_EQ(n("fCompacte", {T(reel), T(dur)}), 0);
  EXPECT_TRUE(TempDir::read(reel) == texte);
  EXPECT_EQ(n("fDecompacte", {T(dur), T(dir / "back.txt")}), 0);
  EXPECT_TRUE(TempDir::read(dir / "back.txt") == texte);
  EXPECT_EQ(n("fDecompacte", {T(dur)}), 0) << "the stored name is real.txt";
  EXPECT_TRUE(TempDir::read(reel) == texte);
  EXPECT_EQ(Contenu(dir.path()), (std::set<std::string>{"real.txt", "link.txt", "hard.txt", "back.txt"}));
}

}  // namespace
