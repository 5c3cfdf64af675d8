// Writers against a really full disk (a small tmpfs), real permissions (as
// "nobody") and symbolic links that loop: the old file is kept and the space
// given back, no permission is widened, links stay as they are, moves cross
// file systems safely, and every failure names its file and system error.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "SmallDisk.h"
#include "TempDir.h"
#include "core/XError.h"
#include "frame/Standard.h"
#include "support/HostTest.h"

namespace {

std::string Random(std::size_t n, unsigned seed) {
  std::mt19937 g(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(g());
  return s;
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> v;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") v.emplace_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(v.begin(), v.end());
  return v;
}

unsigned Mode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFFu;
}

std::string Link(const std::string& path) {
  char sz[4096];
  const ssize_t n = readlink(path.c_str(), sz, sizeof sz);
  return n < 0 ? std::string("(not a link)") : std::string(sz, static_cast<std::size_t>(n));
}

class SafeWrites : public HostTest {
protected:
  TempDir dir;
  DWORD messageId() { return host.component()->pclGetError()->nGetErrorId(0); }
  bool b(const char* name, std::vector<kvhost::Value> args) { return call(name, std::move(args)).integer != 0; }
  // The last error names the file and carries the system error.
  void ExpectNamed(const std::string& file, int systemError, unsigned code = 0) {
    EXPECT_TRUE(last.isError());
    EXPECT_EQ(last.systemCode, static_cast<DWORD>(systemError)) << last.message;
    EXPECT_NE(last.message.find(file), std::string::npos) << last.message;
    if (code != 0) {
      EXPECT_EQ(last.code, code) << last.message;
    }
  }
};

// A copy over a file on a disk too small for it, by every path of the copy
// (the cp option included): the old file stays and the space comes back.
TEST_F(SafeWrites, CopyOntoAFullDiskKeepsTheOldFile) {
  SmallDisk m(512);
  if (!m.unavailable().empty()) GTEST_SKIP() << m.unavailable();
  TempDir::write(dir / "big", Random(1 << 20, 1));
  const std::string old = Random(64 << 10, 2);
  for (int option : {0, 1, 2}) {
    SCOPED_TRACE(option);
    TempDir::write(m / "dst", old);
    const long long free = m.free();
    EXPECT_FALSE(b("fCopieFichier", {T(dir / "big"), T(m / "dst"), I(option)}));
    ExpectNamed(m / "dst", ENOSPC, 80065);
    EXPECT_EQ(TempDir::read(m / "dst"), old);
    EXPECT_EQ(m.free(), free);
    EXPECT_EQ(Names(m.path()), std::vector<std::string>{"dst"});
  }
  // Into a folder made for it: the folder goes again.
  EXPECT_FALSE(b("fCopieFichier", {T(dir / "big"), T(m / "new/sub/"), I(2)}));
  EXPECT_EQ(Names(m.path()), std::vector<std::string>{"dst"});
}

// fDeplaceFichier and fRenomme to another file system: the file arrives
// whole with its mode and date, and the source goes only then.
TEST_F(SafeWrites, MovesToAnotherFileSystem) {
  SmallDisk m(512);
  if (!m.unavailable().empty()) GTEST_SKIP() << m.unavailable();
  const std::string data = Random(100 << 10, 3);
  TempDir::write(dir / "a", data);
  ASSERT_EQ(chmod((dir / "a").c_str(), 0640), 0);
  const utimbuf date{1000000000, 1000000000};
  ASSERT_EQ(utime((dir / "a").c_str(), &date), 0);
  for (const char* function : {"fDeplaceFichier", "fRenomme"}) {
    SCOPED_TRACE(function);
    EXPECT_TRUE(b(function, {T(dir / "a"), T(m / "a")})) << last.message;
    EXPECT_FALSE(TempDir::exists(dir / "a"));
    EXPECT_EQ(TempDir::read(m / "a"), data);
    EXPECT_EQ(Mode(m / "a"), 0640u);
    struct stat st {};
    ASSERT_EQ(stat((m / "a").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, date.modtime);
    EXPECT_EQ(Names(m.path()), std::vector<std::string>{"a"});
    // And back.
    EXPECT_TRUE(b(function, {T(m / "a"), T(dir / "a")})) << last.message;
    EXPECT_EQ(TempDir::read(dir / "a"), data);
    EXPECT_TRUE(Names(m.path()).empty());
  }
  // The new name is taken: nothing moves.
  TempDir::write(m / "taken", "T");
  EXPECT_FALSE(b("fDeplaceFichier", {T(dir / "a"), T(m / "taken")}));
  ExpectNamed(m / "taken", EEXIST);
  EXPECT_EQ(TempDir::read(m / "taken"), "T");
  EXPECT_EQ(TempDir::read(dir / "a"), data);
  // No room: the source stays, nothing is left on the disk, the space comes back.
  const std::string big = Random(1 << 20, 4);
  TempDir::write(dir / "big", big);
  const long long free = m.free();
  EXPECT_FALSE(b("fDeplaceFichier", {T(dir / "big"), T(m / "big")}));
  ExpectNamed(m / "big", ENOSPC);
  EXPECT_NE(last.message.find(dir / "big"), std::string::npos) << last.message;
  EXPECT_EQ(TempDir::read(dir / "big"), big);
  EXPECT_EQ(Names(m.path()), std::vector<std::string>{"taken"});
  EXPECT_EQ(m.free(), free);
}

// As an ordinary user: a read-only file may be copied over, and stays
// read-only; a new file gets the umask's mode; a failed call changes no mode.
TEST_F(SafeWrites, PermissionsAreNeverWidened) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const std::string u = dir / "u", ro = dir / "ro";
  for (const std::string& d : {u, ro}) {
    ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
    TempDir::write(d + "/src.bin", "new");
    TempDir::write(d + "/ro.txt", "old");
    TempDir::write(d + "/private.txt", "old");
    ASSERT_EQ(chmod((d + "/ro.txt").c_str(), 0444), 0);
    ASSERT_EQ(chmod((d + "/private.txt").c_str(), 0600), 0);
    for (const char* n : {"", "/src.bin", "/ro.txt", "/private.txt"}) ASSERT_EQ(chown((d + n).c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(chmod(ro.c_str(), 0555), 0);
  struct Case {
    const char* function;
    std::string source, destination;
    bool ok;
    unsigned mode;  // of the destination afterwards
    std::string contents;
  } cases[] = {
      {"fCopieFichier", u + "/src.bin", u + "/ro.txt", true, 0444, "new"},
      {"fCopieFichier", u + "/src.bin", u + "/private.txt", true, 0600, "new"},
      {"fCopieFichier", u + "/src.bin", u + "/fresh.txt", true, 0644, "new"},
      {"fSauveTexte", "", u + "/ro.txt", false, 0444, "new"},  // as opening it would: refused
      {"fSauveTexte", "", u + "/private.txt", true, 0600, "saved"},
      {"fSauveTexte", "", u + "/fresh2.txt", true, 0644, "saved"},
      {"fCopieFichier", ro + "/src.bin", ro + "/ro.txt", false, 0444, "old"},
      {"fCopieFichier", ro + "/src.bin", ro + "/private.txt", false, 0600, "old"},
      {"fSauveTexte", "", ro + "/private.txt", false, 0600, "old"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " -> " + c.destination);
    const int status = AsNobody([&] {
      umask(022);
      const bool ok = *c.source.c_str() != '\0' ? b(c.function, {T(c.source), T(c.destination)})
                                                 : b(c.function, {T(c.destination), T("saved")});
      if (ok) return last.isError() ? 3 : 1;
      // A refusal names the file and the permission error.
      return last.systemCode == EACCES && last.message.find(c.destination) != std::string::npos ? 0 : 2;
    });
    EXPECT_EQ(status, c.ok ? 1 : 0);
    EXPECT_EQ(Mode(c.destination), c.mode);
    EXPECT_EQ(TempDir::read(c.destination), c.contents);
  }
  EXPECT_EQ(Names(ro), (std::vector<std::string>{"private.txt", "ro.txt", "src.bin"}));
}

// A destination that is a loop of symbolic links: every writer fails with a
// numbered error naming it, and the links stay as they were.
TEST_F(SafeWrites, SymbolicLinkLoopsAsDestination) {
  TempDir::write(dir / "src", Random(5000, 5));
  ASSERT_EQ(call("fCompacte", {T(dir / "src"), T(dir / "src.cmp")}).integer, 0);
  ASSERT_TRUE(b("fCrypte", {T(dir / "src"), T(dir / "src.cry"), T("pw")}));
  ASSERT_EQ(symlink("lb", (dir / "la").c_str()), 0);
  ASSERT_EQ(symlink("la", (dir / "lb").c_str()), 0);
  const auto before = Names(dir.path());
  const std::string la = dir / "la";
  struct Case {
    const char* function;
    std::vector<kvhost::Value> args;
  } cases[] = {
      {"fSauveTexte", {T(la), T("x")}},
      {"fCopieFichier", {T(dir / "src"), T(la)}},
      {"fCopieFichier", {T(dir / "src"), T(la), I(1)}},
      {"fCopieFichier", {T(dir / "src"), T(la), I(2)}},
      {"fCompacte", {T(dir / "src"), T(la)}},
      {"fDecompacte", {T(dir / "src.cmp"), T(la)}},
      {"fCrypte", {T(dir / "src"), T(la), T("pw")}},
      {"fCrypte", {T(dir / "src"), T(la), T("pw"), I(2), I(1)}},
      {"fDecrypte", {T(dir / "src.cry"), T(la), T("pw")}},
      {"fDeplaceFichier", {T(dir / "src"), T(la)}},
      {"fRenomme", {T(dir / "src"), T(la)}},
      {"INIEcrit", {T("S"), T("k"), T("v"), T(la)}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.function + std::string(" ") + std::to_string(c.args.size()));
    call(c.function, c.args);
    EXPECT_TRUE(last.isError());
    // A library number, or the file layer's numbered message with the system
    // error; compaction's own messages name no file.
    if (last.code == 0) {
      EXPECT_NE(messageId(), 0u);
      EXPECT_EQ(last.systemCode, static_cast<DWORD>(ELOOP)) << last.message;
    }
    if (std::string(c.function).find("ompacte") == std::string::npos) {
      EXPECT_NE(last.message.find(la), std::string::npos) << last.message;
    }
    EXPECT_EQ(Link(dir / "la"), "lb");
    EXPECT_EQ(Link(dir / "lb"), "la");
    EXPECT_EQ(Names(dir.path()), before);
  }
}

// A name too long for the system: the message names it, with nothing else
// where the name belongs.
TEST_F(SafeWrites, NameTooLongIsNamedInTheMessage) {
  TempDir::write(dir / "src", "plain");
  ASSERT_TRUE(b("fCrypte", {T(dir / "src"), T(dir / "src.cry"), T("pw")}));
  const std::string longName = dir / std::string(256, 'm');
  struct Case {
    const char* function;
    std::vector<kvhost::Value> args;
  } cases[] = {
      {"fSauveTexte", {T(longName), T("x")}},
      {"fCrypte", {T(dir / "src"), T(longName), T("pw")}},
      {"fDecrypte", {T(dir / "src.cry"), T(longName), T("pw")}},
      {"fCopieFichier", {T(dir / "src"), T(longName)}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.function);
    EXPECT_FALSE(call(c.function, c.args).integer);
    ExpectNamed(longName, ENAMETOOLONG);
    // Every name quoted in the message is one of ours.
    for (std::size_t i = last.message.find('<'); i != std::string::npos; i = last.message.find('<', i + 1)) {
      EXPECT_EQ(last.message.compare(i + 1, dir.path().size(), dir.path()), 0) << last.message;
    }
  }
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"src", "src.cry"}));
}

// Each failure carries its system error and its file name, and the library
// number its function defines.
TEST_F(SafeWrites, EveryFailureSaysWhy) {
  TempDir::write(dir / "src", "plain");
  ASSERT_TRUE(b("fCrypte", {T(dir / "src"), T(dir / "src.cry"), T("pw")}));
  const std::string none = dir / "none/x";
  struct Case {
    const char* function;
    std::vector<kvhost::Value> args;
    std::string file;
    int systemError;
    unsigned code;
  } cases[] = {
      {"fSauveTexte", {T(none), T("y")}, none, ENOENT, 0},
      {"fCrypte", {T(dir / "src"), T(none), T("pw")}, none, ENOENT, 0},
      {"fDecrypte", {T(dir / "src.cry"), T(none), T("pw")}, none, ENOENT, 0},
      {"fCrypte", {T(dir / "absent"), T(dir / "out"), T("pw")}, dir / "absent", ENOENT, 0},
      {"fRenomme", {T(dir / "absent"), T(dir / "out")}, dir / "absent", ENOENT, 0},
      {"fDeplaceFichier", {T(dir / "src"), T(none)}, none, ENOENT, 0},
      {"fCree", {T(none)}, none, ENOENT, 0},
      {"fOuvreFichierTemp", {I(0x4000000), T("p"), T(dir / "none")}, dir / "none", ENOENT, 0},
      {"fCopieFichier", {T(dir / "src"), T(dir / "src/x")}, dir / "src", ENOTDIR, 80065},
      {"fCopieFichier", {T(dir / "src"), T("/proc/none/x"), I(2)}, "/proc/none", ENOENT, 80065},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.function + std::string(" ") + c.file);
    call(c.function, c.args);
    ExpectNamed(c.file, c.systemError, c.code);
  }
  // Writing through a handle that cannot write.
  const int h = static_cast<int>(call("fOuvre", {T(dir / "src"), I(1)}).integer);
  ASSERT_GE(h, 2);
  EXPECT_EQ(call("fEcrit", {I(h), T("more")}).integer, -1);
  ExpectNamed(dir / "src", EBADF);
  EXPECT_FALSE(call("fEcritLigne", {I(h), T("more")}).integer);
  ExpectNamed(dir / "src", EBADF);
  call("fFerme", {I(h)});
}

// Writing through a handle onto a full disk: ENOSPC and the name.
TEST_F(SafeWrites, HandleWritesOnAFullDisk) {
  SmallDisk m(64);
  if (!m.unavailable().empty()) GTEST_SKIP() << m.unavailable();
  const int h = static_cast<int>(call("fOuvre", {T(m / "f"), I(0x103)}).integer);
  ASSERT_GE(h, 2);
  m.fill("filler");
  const std::string block(8192, 'x');
  EXPECT_EQ(call("fEcrit", {I(h), T(block)}).integer, -1);
  ExpectNamed(m / "f", ENOSPC);
  EXPECT_FALSE(call("fEcritLigne", {I(h), T(block)}).integer);
  ExpectNamed(m / "f", ENOSPC);
  call("fFerme", {I(h)});
}

}  // namespace
