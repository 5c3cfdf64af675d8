// Copies of patterns and directories and directory moves as one change:
// never onto a file, special files recreated and never read, and a failure
// (a full disk among them) that leaves every destination as it was and
// nothing new behind. Whole-file functions refuse anything but a regular
// file at once, and a file-size limit makes writes fail instead of killing.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "TempDir.h"
#include "support/HostTest.h"

namespace {

using kvhost::Value;

// Every entry under a directory: "/" for a directory, "|" a pipe, "=" a
// socket, "@target" a link, the bytes of a file.
void Releve(const std::string& rep, const std::string& prefixe, std::map<std::string, std::string>* p) {
  DIR* d = opendir(rep.c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    const std::string chemin = rep + "/" + n;
    struct stat st {};
    lstat(chemin.c_str(), &st);
    if (S_ISDIR(st.st_mode)) {
      (*p)[prefixe + n] = "/";
      Releve(chemin, prefixe + n + "/", p);
    } else if (S_ISFIFO(st.st_mode)) {
      (*p)[prefixe + n] = "|";
    } else if (S_ISSOCK(st.st_mode)) {
      (*p)[prefixe + n] = "=";
    } else if (S_ISLNK(st.st_mode)) {
      char sz[4096];
      const ssize_t k = readlink(chemin.c_str(), sz, sizeof sz);
      (*p)[prefixe + n] = "@" + std::string(sz, k > 0 ? static_cast<std::size_t>(k) : 0);
    } else {
      (*p)[prefixe + n] = TempDir::read(chemin);
    }
  }
  closedir(d);
}

std::map<std::string, std::string> Etat(const std::string& rep) {
  std::map<std::string, std::string> m;
  Releve(rep, "", &m);
  return m;
}

std::string Aleatoire(std::size_t n, unsigned graine) {
  std::mt19937 g(graine);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(g());
  return s;
}

bool Socket(const std::string& chemin) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s", chemin.c_str());
  const bool b = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (fd >= 0) close(fd);
  return b;
}

// What a call did, run in a child process so that one that never returns
// is stopped (and reported) instead of hanging the suite.
struct Issue {
  bool fini = false;  // returned before the time limit
  long long ms = 0;   // time the call took
  DWORD code = 0;     // user error
  DWORD system = 0;
  long long entier = 0;
  std::string texte;
};

class Copies : public HostTest {
protected:
  TempDir dir;
  bool b(const char* name, std::vector<Value> args) { return call(name, std::move(args)).integer != 0; }

  Issue Borne(const char* name, std::vector<Value> args, int nSecondes = 20) {
    int tube[2];
    if (pipe(tube) != 0) return {};
    // The library's SIGCHLD reaper would take the child's status first.
    struct sigaction saDefaut {}, saAvant {};
    saDefaut.sa_handler = SIG_DFL;
    sigaction(SIGCHLD, &saDefaut, &saAvant);
    const pid_t pid = fork();
    if (pid == 0) {
      close(tube[0]);
      // A reader that never stops reading fails at 16 MiB instead of filling the disk.
      struct rlimit limite {16 << 20, 16 << 20};
      setrlimit(RLIMIT_FSIZE, &limite);
      const auto debut = std::chrono::steady_clock::now();
      const Value v = call(name, args);
      const long long ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - debut).count();
      const std::string s = std::to_string(ms) + " " + std::to_string(last.code) + " " +
                            std::to_string(last.systemCode) + " " + std::to_string(v.integer) + " " + v.bytes;
      if (write(tube[1], s.data(), s.size()) < 0) _exit(2);
      _exit(0);
    }
    close(tube[1]);
    Issue r;
    std::string s;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(nSecondes);
    fcntl(tube[0], F_SETFL, O_NONBLOCK);
    int status = 0;
    for (;;) {
      char buf[4096];
      const ssize_t n = read(tube[0], buf, sizeof buf);
      if (n > 0) s.append(buf, static_cast<std::size_t>(n));
      if (waitpid(pid, &status, WNOHANG) == pid) {
        // What the child wrote after the read above is still in the pipe.
        for (ssize_t m; (m = read(tube[0], buf, sizeof buf)) > 0;) s.append(buf, static_cast<std::size_t>(m));
        break;
      }
      if (std::chrono::steady_clock::now() > limite) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        s.clear();
        break;
      }
      usleep(5000);
    }
    close(tube[0]);
    sigaction(SIGCHLD, &saAvant, nullptr);
    if (s.empty()) return r;
    r.fini = true;
    unsigned long code = 0, system = 0;
    int k = 0;
    std::sscanf(s.c_str(), "%lld %lu %lu %lld %n", &r.ms, &code, &system, &r.entier, &k);
    r.code = static_cast<DWORD>(code);
    r.system = static_cast<DWORD>(system);
    r.texte = s.substr(static_cast<std::size_t>(k));
    return r;
  }
};

// A directory never replaces a file: copied or moved onto one, by any
// route, it fails and changes nothing.
TEST_F(Copies, ADirectoryNeverReplacesAFile) {
  ASSERT_EQ(mkdir((dir / "dir").c_str(), 0755), 0);
  TempDir::write(dir / "dir/inner.txt", "inner file");
  TempDir::write(dir / "f.txt", "the file f.txt");
  const auto avant = Etat(dir.path());
  struct Case {
    const char* function;
    std::string source;
    int option;
    unsigned error;
  } cases[] = {
      {"fRepCopie", dir / "dir", 0, 80064},       {"fRepCopie", dir / "dir", 1, 80064},
      {"fRepCopie", dir / "dir/*", 0, 80064},     {"fCopieFichier", dir / "dir/*", 0, 80065},
      {"fCopieFichier", dir / "dir/*", 1, 80065}, {"fCopieFichier", dir / "dir", 1, 80065},
      {"fRepDeplace", dir / "dir", 1, 80064},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " " + c.source + " option " + std::to_string(c.option));
    EXPECT_FALSE(b(c.function, {T(c.source), T(dir / "f.txt"), I(c.option)}));
    EXPECT_EQ(last.code, c.error);
    EXPECT_EQ(last.systemCode, static_cast<DWORD>(ENOTDIR)) << last.message;
    EXPECT_EQ(Etat(dir.path()), avant);
  }
  // The other way round: a file never replaces a directory of the copy.
  ASSERT_EQ(mkdir((dir / "old").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "old/inner.txt").c_str(), 0755), 0);
  const auto avant2 = Etat(dir.path());
  EXPECT_FALSE(b("fRepCopie", {T(dir / "dir"), T(dir / "old"), I(1)}));
  EXPECT_EQ(last.systemCode, static_cast<DWORD>(EISDIR));
  EXPECT_EQ(Etat(dir.path()), avant2);
}

// Pipes and sockets in a copied tree are recreated, never opened: the copy
// ends even with a writer holding the pipe open.
TEST_F(Copies, SpecialFilesInATreeAreRecreated) {
  ASSERT_EQ(mkdir((dir / "src").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "src/sub").c_str(), 0755), 0);
  TempDir::write(dir / "src/a.txt", "x");
  TempDir::write(dir / "src/.hidden", "h");
  ASSERT_EQ(mkfifo((dir / "src/pipe").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((dir / "src/sub/pipe2").c_str(), 0600), 0);
  ASSERT_TRUE(Socket(dir / "src/sock"));
  ASSERT_EQ(symlink("a.txt", (dir / "src/link").c_str()), 0);
  const int ecrivain = open((dir / "src/pipe").c_str(), O_RDWR);
  ASSERT_GE(ecrivain, 0);
  // The top level only, then the whole tree, then the tree by pattern.
  Issue r = Borne("fRepCopie", {T(dir / "src"), T(dir / "flat")});
  EXPECT_TRUE(r.fini) << "fRepCopie of a directory holding a pipe never ended";
  EXPECT_EQ(r.entier, 1) << r.code;
  auto plat = Etat(dir / "flat");
  EXPECT_EQ(plat, (std::map<std::string, std::string>{
                      {".hidden", "h"}, {"a.txt", "x"}, {"link", "x"}, {"pipe", "|"}, {"sock", "="}}));
  r = Borne("fRepCopie", {T(dir / "src"), T(dir / "tree"), I(1)});
  EXPECT_TRUE(r.fini && r.entier == 1) << r.code;
  auto arbre = Etat(dir / "src");
  EXPECT_EQ(Etat(dir / "tree"), arbre);
  struct stat st {};
  ASSERT_EQ(lstat((dir / "tree/sub/pipe2").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  r = Borne("fCopieFichier", {T(dir / "src/*"), T(dir / "pattern"), I(1)});
  EXPECT_TRUE(r.fini && r.entier == 1) << r.code;
  arbre.erase(".hidden");  // a pattern's star does not match it, as in the shell
  EXPECT_EQ(Etat(dir / "pattern"), arbre);
  close(ecrivain);
}

// A copy of a directory into itself: the plain copy takes the files and
// leaves the directories; the recursive one is refused and leaves nothing.
TEST_F(Copies, IntoItself) {
  TempDir::write(dir / "f.txt", "F");
  ASSERT_EQ(mkdir((dir / "dir").c_str(), 0755), 0);
  TempDir::write(dir / "dir/inner.txt", "I");
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  EXPECT_FALSE(b("fRepCopie", {T("."), T("sub"), I(1)}));
  EXPECT_EQ(last.code, 80064u);
  EXPECT_FALSE(TempDir::exists(dir / "sub"));
  EXPECT_TRUE(b("fRepCopie", {T("."), T("sub")})) << last.message;
  EXPECT_EQ(Etat(dir / "sub"), (std::map<std::string, std::string>{{"f.txt", "F"}}));
  // Every file onto itself.
  const auto avant = Etat(dir.path());
  EXPECT_FALSE(b("fRepCopie", {T("dir"), T("dir")}));
  EXPECT_FALSE(b("fCopieFichier", {T("dir/*"), T("dir")}));
  EXPECT_EQ(last.code, 80065u);
  EXPECT_EQ(Etat(dir.path()), avant);
  ASSERT_EQ(chdir("/"), 0);
}

// A copy over an older copy replaces its files and keeps their modes;
// files of the older copy that the source lacks stay.
TEST_F(Copies, OverAnOlderCopy) {
  ASSERT_EQ(mkdir((dir / "src").c_str(), 0755), 0);
  TempDir::write(dir / "src/a", "new a");
  TempDir::write(dir / "src/run.sh", "#!/bin/sh\n");
  ASSERT_EQ(chmod((dir / "src/run.sh").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "old").c_str(), 0755), 0);
  TempDir::write(dir / "old/a", "old a");
  TempDir::write(dir / "old/keep", "K");
  ASSERT_EQ(chmod((dir / "old/a").c_str(), 0640), 0);
  const mode_t masque = umask(022);
  EXPECT_TRUE(b("fRepCopie", {T(dir / "src"), T(dir / "old")})) << last.message;
  umask(masque);
  EXPECT_EQ(Etat(dir / "old"),
            (std::map<std::string, std::string>{{"a", "new a"}, {"keep", "K"}, {"run.sh", "#!/bin/sh\n"}}));
  struct stat st {};
  ASSERT_EQ(stat((dir / "old/a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "a replaced file keeps its mode";
  ASSERT_EQ(stat((dir / "old/run.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u) << "a new file takes the source's mode less the umask";
}

// A move to another file system copies, syncs and then removes; one that
// fails there leaves the source whole and nothing on the other side. The
// other file system is a small tmpfs, which only root may mount.
class CopiesOnAFullDisk : public Copies {
protected:
  std::string m;
  bool monte = false;
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    m = dir / "m";
    ASSERT_EQ(mkdir(m.c_str(), 0755), 0);
    if (mount("tmpfs", m.c_str(), "tmpfs", 0, "size=512k") != 0)
      GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    monte = true;
    ASSERT_EQ(mkdir((dir / "src").c_str(), 0755), 0);
    TempDir::write(dir / "src/a.bin", Aleatoire(1 << 20, 1));
    TempDir::write(dir / "src/b.bin", Aleatoire(48 << 10, 2));
  }
  void TearDown() override {
    if (monte) umount2(m.c_str(), MNT_DETACH);
  }
};

TEST_F(CopiesOnAFullDisk, AFailedCopyLeavesEveryFileAsItWas) {
  ASSERT_EQ(mkdir((m + "/dir").c_str(), 0755), 0);
  TempDir::write(m + "/dir/a.bin", Aleatoire(64 << 10, 3));
  const auto avant = Etat(m);
  const auto source = Etat(dir / "src");
  struct Case {
    const char* function;
    std::string source, destination;
    int option;
    unsigned error;
  } cases[] = {
      {"fRepCopie", dir / "src", m + "/dir", 0, 80064},
      {"fRepCopie", dir / "src", m + "/dir", 1, 80064},
      {"fCopieFichier", dir / "src/*.bin", m + "/dir", 0, 80065},
      {"fRepCopie", dir / "src", m + "/new", 1, 80064},
      {"fCopieFichier", dir / "src", m + "/new/", 1, 80065},
      {"fRepDeplace", dir / "src", m + "/moved", 1, 80064},
      {"fRepDeplace", dir / "src", m + "/dir", 1, 80064},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " " + c.destination);
    EXPECT_FALSE(b(c.function, {T(c.source), T(c.destination), I(c.option)}));
    EXPECT_EQ(last.code, c.error);
    EXPECT_NE(last.systemCode, 0u) << last.message;
    EXPECT_EQ(Etat(m), avant);
    EXPECT_EQ(Etat(dir / "src"), source);
  }
  // The space is given back: the 48 KiB file fits alone.
  EXPECT_TRUE(b("fCopieFichier", {T(dir / "src/b.bin"), T(m + "/dir/b.bin")})) << last.message;
}

TEST_F(CopiesOnAFullDisk, AMoveToAnotherFileSystem) {
  ASSERT_EQ(mkdir((dir / "small").c_str(), 0750), 0);
  ASSERT_EQ(mkdir((dir / "small/sub").c_str(), 0700), 0);
  TempDir::write(dir / "small/x", "X");
  TempDir::write(dir / "small/sub/y", "Y");
  ASSERT_EQ(chmod((dir / "small/x").c_str(), 0604), 0);
  ASSERT_EQ(symlink("sub/y", (dir / "small/link").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "small/pipe").c_str(), 0600), 0);
  struct stat avant {};
  ASSERT_EQ(stat((dir / "small/x").c_str(), &avant), 0);
  const auto arbre = Etat(dir / "small");
  EXPECT_TRUE(b("fRepDeplace", {T(dir / "small"), T(m), I(1)})) << last.message;
  EXPECT_FALSE(TempDir::exists(dir / "small"));
  EXPECT_EQ(Etat(m + "/small"), arbre);
  struct stat st {};
  ASSERT_EQ(stat((m + "/small/x").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  EXPECT_EQ(st.st_mtime, avant.st_mtime);
  ASSERT_EQ(stat((m + "/small/sub").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  ASSERT_EQ(stat((m + "/small").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
}

// Every function that reads a whole file refuses a pipe (with a writer
// holding it open), a device that never ends, a directory and a socket:
// a numbered error within a second, and nothing created.
TEST_F(Copies, WholeFileFunctionsRefuseSpecialFiles) {
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
  ASSERT_TRUE(Socket(dir / "sock"));
  ASSERT_EQ(mkdir((dir / "d").c_str(), 0755), 0);
  TempDir::write(dir / "f.txt", "text");
  const int ecrivain = open((dir / "pipe").c_str(), O_RDWR);
  ASSERT_GE(ecrivain, 0);
  const std::string out = dir / "out";
  struct Case {
    const char* function;
    std::function<std::vector<Value>(const std::string&)> args;
    unsigned error;      // 0: none, only the default value
    long long failure;   // the failure value of an integer result
  } cases[] = {
      {"fCompacte", [&](const std::string& x) { return std::vector<Value>{T(x), T(out)}; }, 80300, 1},
      {"fDecompacte", [&](const std::string& x) { return std::vector<Value>{T(x), T(out)}; }, 80300, 1},
      {"fDecompacte", [&](const std::string& x) { return std::vector<Value>{T(x)}; }, 80300, 1},
      {"fTailleCompacte", [&](const std::string& x) { return std::vector<Value>{T(x)}; }, 80300, -1},
      {"fTailleDecompacte", [&](const std::string& x) { return std::vector<Value>{T(x)}; }, 80300, -1},
      {"fCrypte", [&](const std::string& x) { return std::vector<Value>{T(x), T(out), T("pw")}; }, 80067, 0},
      {"fCrypte", [&](const std::string& x) { return std::vector<Value>{T(x), T(out), T(""), I(0), I(2)}; }, 80067, 0},
      {"fDecrypte", [&](const std::string& x) { return std::vector<Value>{T(x), T(out), T("pw")}; }, 80067, 0},
      {"fDecrypte", [&](const std::string& x) { return std::vector<Value>{T(x), T(out), T(""), I(0), I(2)}; }, 80067, 0},
      {"fCrypte", [&](const std::string& x) { return std::vector<Value>{T(x), T(out), T(""), I(0)}; }, 80067, 0},
      {"fCompare", [&](const std::string& x) { return std::vector<Value>{T(x), T(dir / "f.txt")}; }, 80060, -1},
      {"fCompare", [&](const std::string& x) { return std::vector<Value>{T(dir / "f.txt"), T(x)}; }, 80060, -2},
      {"fChargeTexte", [&](const std::string& x) { return std::vector<Value>{T(x)}; }, 80067, 0},
      {"fTaille", [&](const std::string& x) { return std::vector<Value>{T(x)}; }, 80067, -1},
      {"ExeInfo", [&](const std::string& x) { return std::vector<Value>{T("MODE"), T(x)}; }, 80067, 0},
      {"ExeInfo", [&](const std::string& x) { return std::vector<Value>{T("VERSION"), T(x)}; }, 80067, 0},
      {"INIEcrit", [&](const std::string& x) { return std::vector<Value>{T("S"), T("k"), T("v"), T(x)}; }, 80294, 0},
      {"INILit", [&](const std::string& x) { return std::vector<Value>{T("S"), T("k"), T("?"), T(x)}; }, 0, 0},
      {"fCopieFichier", [&](const std::string& x) { return std::vector<Value>{T(x), T(out)}; }, 80067, 0},
  };
  for (const std::string& special : {dir / "pipe", std::string("/dev/zero"), dir / "d", dir / "sock"}) {
    for (const auto& c : cases) {
      if (c.function == std::string("fCopieFichier") && special == dir / "d") continue;  // a directory copy
      SCOPED_TRACE(std::string(c.function) + " of " + special);
      const auto avant = Etat(dir.path());
      const Issue r = Borne(c.function, c.args(special));
      ASSERT_TRUE(r.fini) << "never returned";
      EXPECT_LT(r.ms, 1000);
      EXPECT_EQ(r.code, c.error);
      if (c.error == 0) EXPECT_EQ(r.texte, "?");
      else if (c.failure != 0) EXPECT_EQ(r.entier, c.failure);
      else EXPECT_TRUE(r.entier == 0 && r.texte.empty()) << r.entier << " " << r.texte;
      EXPECT_EQ(Etat(dir.path()), avant);
    }
  }
  close(ecrivain);
}

// Under a file-size limit, a write past it fails: the stand-in VM ignores
// SIGXFSZ, so the library reports the failure and leaves no temporary file.
TEST_F(Copies, AFileSizeLimitFailsTheWriteInsteadOfKilling) {
  struct sigaction sa {};
  ASSERT_EQ(sigaction(SIGXFSZ, nullptr, &sa), 0);
  EXPECT_EQ(sa.sa_handler, SIG_IGN) << "the stand-in VM leaves SIGXFSZ to kill the process";
  TempDir::write(dir / "big", Aleatoire(200000, 4));
  struct sigaction saDefaut {}, saAvant {};
  saDefaut.sa_handler = SIG_DFL;
  sigaction(SIGCHLD, &saDefaut, &saAvant);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    struct rlimit limite {65536, 65536};
    setrlimit(RLIMIT_FSIZE, &limite);
    int nEchecs = 0;
    for (const auto& appel : std::vector<std::pair<const char*, std::vector<Value>>>{
             {"fCopieFichier", {T(dir / "big"), T(dir / "copy")}},
             {"fCompacte", {T(dir / "big"), T(dir / "big.kvc")}},
             {"fCrypte", {T(dir / "big"), T(dir / "big.cry"), T("pw")}},
             {"fSauveTexte", {T(dir / "text"), T(Aleatoire(100000, 5))}}}) {
      call(appel.first, appel.second);
      nEchecs += last.isError() ? 1 : 0;
    }
    _exit(nEchecs == 4 && last.systemCode == EFBIG ? 0 : 10 + nEchecs);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  sigaction(SIGCHLD, &saAvant, nullptr);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed calls: " << WEXITSTATUS(status) - 10;
  EXPECT_EQ(Etat(dir.path()).size(), 1u) << "only the source is left";
}

}  // namespace
