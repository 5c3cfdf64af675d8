// The file-handle functions called through the stand-in VM as a program
// would: handle numbering, open modes, reads and writes, lines, positions,
// locks held by another process, files past 4 GiB, whole-file text,
// temporary files, and the files closed at the last component stop.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Host.h"
#include "LibShop.h"
#include "TempDir.h"
#include "core/XError.h"
#include "files/TableFichiers.h"
#include "frame/Standard.h"
#include "support/TestHost.h"

namespace {

using kvhost::Value;

constexpr int foLecture = 1, foEcriture = 2, foLectureEcriture = 3, foBloqueLecture = 4, foBloqueEcriture = 8,
              foCreationSiInexistant = 0x100, foCreation = 0x200, foAjout = 0x800, foUnicode = 0x1000,
              foSuppressionAutomatique = 0x4000000;

Value I(int n) { return Value::integer32(n); }
Value I8(long long n) { return Value::integer64(n); }
Value T(const std::string& s) { return Value::text(s); }
Value B(const std::string& s) { return Value::buffer(s); }

class Files : public ::testing::Test {
protected:
  TempDir dir;
  kvhost::Host host{optionsWithElements()};
  kvhost::ErrorInfo last;

  kvhost::HostOptions optionsWithElements() {
    auto o = testOptions();
    o.elementDirectory = dir.path();
    return o;
  }
  Value call(const char* name, std::vector<Value> args = {}) {
    auto r = host.call(name, args);
    last = r.error;
    return r.value;
  }
  int open(const std::string& name, int mode) { return static_cast<int>(call("fOuvre", {T(name), I(mode)}).integer); }
  std::string line(int h) { return call("fLitLigne", {I(h)}).bytes; }
  long long pos(int h) { return call("fPositionne", {I(h), I8(0), I(1)}).integer; }
  // The first message identifier of the component's error.
  DWORD messageId() { return host.component()->pclGetError()->nGetErrorId(0); }
};

TEST_F(Files, HandlesStartAtTwoAndTheLastFreedIsReusedFirst) {
  for (const char* n : {"a", "b", "c"}) TempDir::write(dir / n, "");
  EXPECT_EQ(open(dir / "a", foLecture), 2);
  EXPECT_EQ(open(dir / "b", foLecture), 3);
  EXPECT_EQ(open(dir / "c", foLecture), 4);
  EXPECT_EQ(call("fFerme", {I(3)}).integer, 0);
  EXPECT_EQ(call("fFerme", {I(4)}).integer, 0);
  EXPECT_EQ(open(dir / "a", foLecture), 4);
  EXPECT_EQ(open(dir / "a", foLecture), 3);
  EXPECT_EQ(open(dir / "a", foLecture), 5);
  EXPECT_EQ(call("fNomFichier", {I(5)}).bytes, dir / "a");
}

TEST_F(Files, InvalidHandlesGiveTheirErrorAndTheFailureValue) {
  TempDir::write(dir / "f", "x");
  int h = open(dir / "f", foLecture);
  call("fFerme", {I(h)});
  struct Case {
    const char* name;
    std::vector<Value> args;
    Value expected;
  };
  std::vector<Case> cases = {
      {"fFerme", {I(0)}, I(-1)},
      {"fFerme", {I(1)}, I(-1)},
      {"fFerme", {I(h)}, I(-1)},
      {"fFerme", {I(-7)}, I(-1)},
      {"fLit", {I(1), I(3)}, T("")},
      {"fEcrit", {I(99), T("abc")}, I(-1)},
      {"fLitLigne", {I(0)}, T("")},
      {"fEcritLigne", {I(h), T("x")}, Value::boolean(false)},
      {"fPositionne", {I(h), I8(0), I(0)}, I8(-1)},
      {"fBloque", {I(h)}, Value::boolean(false)},
      {"fChangeTaille", {I(h), I8(0)}, Value::boolean(false)},
      {"fNomFichier", {I(h)}, T("")},
  };
  for (const auto& c : cases) {
    auto v = call(c.name, c.args);
    EXPECT_EQ(last.code, 80022u) << c.name;
    EXPECT_EQ(last.level, 2u) << c.name;
    EXPECT_NE(last.message.find(std::to_string(c.args[0].integer)), std::string::npos) << c.name << last.message;
    if (c.expected.isText()) {
      EXPECT_EQ(v.bytes, c.expected.bytes) << c.name;
    } else {
      EXPECT_EQ(v.integer, c.expected.integer) << c.name;
    }
  }
}

TEST_F(Files, OpenModes) {
  // A missing file is not created without a creation bit.
  EXPECT_EQ(open(dir / "absent", foLecture), -1);
  EXPECT_EQ(last.level, 2u);
  EXPECT_EQ(last.systemCode, static_cast<DWORD>(ENOENT));
  EXPECT_EQ(messageId(), 28139u);
  EXPECT_NE(last.message.find(dir / "absent"), std::string::npos);
  EXPECT_FALSE(TempDir::exists(dir / "absent"));
  // In a missing directory, and with an empty name: an error, nothing made.
  EXPECT_EQ(open(dir / "nul/part", foLectureEcriture | foCreation), -1);
  EXPECT_EQ(messageId(), 28140u);
  EXPECT_EQ(open("", foLecture), -1);
  EXPECT_TRUE(last.isError());
  EXPECT_EQ(open(std::string(5000, 'n'), foLecture | foCreationSiInexistant), -1);
  EXPECT_EQ(last.systemCode, static_cast<DWORD>(ENAMETOOLONG));

  // Create if missing: made once, then opened with its content kept.
  int h = open(dir / "n", foLectureEcriture | foCreationSiInexistant);
  ASSERT_GE(h, 2);
  call("fEcrit", {I(h), T("hello")});
  call("fFerme", {I(h)});
  h = open(dir / "n", foLectureEcriture | foCreationSiInexistant | foCreation);
  EXPECT_EQ(call("fLit", {I(h), I(10)}).bytes, "hello") << "create-if-missing wins over create";
  call("fFerme", {I(h)});
  // fCrée truncates and allows reading back.
  h = static_cast<int>(call("fCreate", {T(dir / "n")}).integer);
  EXPECT_EQ(call("fLit", {I(h), I(10)}).bytes, "");
  call("fEcrit", {I(h), T("abc")});
  call("fFerme", {I(h)});
  // Append: at the end; read only: writing fails.
  h = open(dir / "n", foLectureEcriture | foAjout);
  EXPECT_EQ(pos(h), 3);
  call("fFerme", {I(h)});
  h = open(dir / "n", foLecture);
  EXPECT_EQ(call("fEcrit", {I(h), T("zz")}).integer, -1);
  EXPECT_EQ(messageId(), 28008u);
  call("fFerme", {I(h)});
  // Create alone gives a write-only handle.
  h = open(dir / "w", foCreation);
  call("fEcrit", {I(h), T("q")});
  call("fPositionne", {I(h), I8(0), I(0)});
  EXPECT_EQ(call("fLit", {I(h), I(1)}).bytes, "");
  EXPECT_EQ(messageId(), 28003u);
  call("fFerme", {I(h)});
  EXPECT_EQ(TempDir::read(dir / "n"), "abc");
}

TEST_F(Files, ReadsAndWrites) {
  TempDir::write(dir / "f", "0123456789");
  int h = open(dir / "f", foLectureEcriture);
  EXPECT_EQ(call("fLit", {I(h), I(-5)}).bytes, "");
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(call("fLit", {I(h), I(4)}).bytes, "0123");
  EXPECT_EQ(call("fLit", {I(h), I(100)}).bytes, "456789");
  EXPECT_EQ(call("fLit", {I(h), I(100)}).bytes, "");
  // A count too large for memory: either read whole, or refused with its error.
  call("fPositionne", {I(h), I8(0), I(0)});
  auto big = call("fLit", {I(h), I(0x7FFFFFF0)});
  if (last.isError()) {
    EXPECT_EQ(last.code, 80041u);
  } else {
    EXPECT_EQ(big.bytes, "0123456789");
  }
  // Writes: whole value, a count, a count beyond the value (capped), bad counts.
  call("fPositionne", {I(h), I8(0), I(0)});
  EXPECT_EQ(call("fEcrit", {I(h), T("ab")}).integer, 2);
  EXPECT_EQ(call("fEcrit", {I(h), B(std::string("\0\1", 2)), I(1)}).integer, 1);
  EXPECT_EQ(call("fEcrit", {I(h), T("cd"), I(50)}).integer, 2);
  EXPECT_EQ(call("fEcrit", {I(h), T("ef"), I(-1)}).integer, 2);
  EXPECT_EQ(call("fEcrit", {I(h), T("gh"), I(-3)}).integer, -1);
  EXPECT_EQ(last.code, 80025u);
  // The address forms: this process's own memory, and an address the system refuses.
  static const char source[] = "XY";
  // Whole addresses: 64 bits wide on x86-64.
  auto adresse = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(source));
  EXPECT_EQ(call("fEcrit", {I(h), I8(adresse), I(2)}).integer, 2);
  EXPECT_EQ(call("fEcrit", {I(h), I(16), I(2)}).integer, -1);
  EXPECT_EQ(last.systemCode, static_cast<DWORD>(EFAULT));
  char cible[4] = {};
  call("fPositionne", {I(h), I8(1), I(0)});
  EXPECT_EQ(call("fLit", {I(h), I(3), I8(reinterpret_cast<std::intptr_t>(cible))}).integer, 3);
  EXPECT_STREQ(cible, std::string("b\0c", 3).c_str());
  EXPECT_EQ(std::string(cible, 3), std::string("b\0c", 3));
  call("fFerme", {I(h)});
  EXPECT_EQ(TempDir::read(dir / "f"), std::string("ab\0cdefXY9", 10));
}

TEST_F(Files, LinesAndTheirTerminators) {
  struct Case {
    std::string content;
    std::vector<std::string> lines;
  };
  std::string longue(120, 'L');
  std::vector<Case> cases = {
      {"ab\r\nc", {"ab", "c"}},
      {"x\r\r\ny\n", {"x\r", "y"}},
      {"a\rb\n\n", {"a\rb", ""}},
      {longue + "\r\n" + longue, {longue, longue}},
      {"", {}},
      {"\r", {"\r"}},
  };
  for (const auto& c : cases) {
    TempDir::write(dir / "l", c.content);
    int h = open(dir / "l", foLecture);
    for (const auto& l : c.lines) EXPECT_EQ(line(h), l);
    auto eof = call("fLitLigne", {I(h)});
    EXPECT_EQ(eof.bytes, "\x04");
    EXPECT_EQ(eof.type, VXT_CHAINE);
    EXPECT_EQ(pos(h), static_cast<long long>(c.content.size()));
    call("fFerme", {I(h)});
  }
  // Writing lines: CR LF after the text, a count capped at the text.
  int h = open(dir / "w", foLectureEcriture | foCreation);
  EXPECT_EQ(call("fEcritLigne", {I(h), T("un")}).integer, 1);
  EXPECT_EQ(call("fEcritLigne", {I(h), T("deux"), I(2)}).integer, 1);
  EXPECT_EQ(call("fEcritLigne", {I(h), T("trois"), I(99)}).integer, 1);
  call("fFerme", {I(h)});
  EXPECT_EQ(TempDir::read(dir / "w"), "un\r\nde\r\ntrois\r\n");
}

TEST_F(Files, LinesSeeWhatAnotherHandleWrote) {
  TempDir::write(dir / "f", "one\ntwo\nthree\n");
  int lecteur = open(dir / "f", foLecture);
  int ecrivain = open(dir / "f", foLectureEcriture);
  EXPECT_EQ(line(lecteur), "one");
  call("fPositionne", {I(ecrivain), I8(4), I(0)});
  call("fEcrit", {I(ecrivain), T("TWO")});
  EXPECT_EQ(line(lecteur), "TWO");
  call("fChangeTaille", {I(ecrivain), I8(8)});
  EXPECT_EQ(call("fLitLigne", {I(lecteur)}).bytes, "\x04");
}

TEST_F(Files, UnicodeHandles) {
  int h = open(dir / "u", foLectureEcriture | foCreation | foUnicode);
  EXPECT_EQ(pos(h), 2);
  EXPECT_EQ(call("fEcritLigne", {I(h), T("\xE9t\xE9")}).integer, 1);
  call("fEcritLigne", {I(h), T("")});
  call("fFerme", {I(h)});
  EXPECT_EQ(TempDir::read(dir / "u"), std::string("\xFF\xFE\xE9\0t\0\xE9\0\r\0\n\0\r\0\n\0", 16));
  // Read back: wide strings of 4-byte characters, then the end marker.
  h = open(dir / "u", foLecture | foUnicode);
  EXPECT_EQ(pos(h), 2);
  auto l = call("fLitLigne", {I(h)});
  EXPECT_EQ(l.type, VXT_CHAINEUNICODE);
  std::wstring attendu = L"\u00e9t\u00e9";
  EXPECT_EQ(l.bytes, std::string(reinterpret_cast<const char*>(attendu.data()), attendu.size() * sizeof(wchar_t)));
  EXPECT_EQ(call("fLitLigne", {I(h)}).bytes, "");
  auto eof = call("fLitLigne", {I(h)});
  EXPECT_EQ(eof.type, VXT_CHAINEUNICODE);
  wchar_t quatre = 4;
  EXPECT_EQ(eof.bytes, std::string(reinterpret_cast<const char*>(&quatre), sizeof quatre));
  call("fFerme", {I(h)});
  // An existing file without a byte-order mark stays at 0; with foAjout nothing is read.
  TempDir::write(dir / "s", "AB");
  h = open(dir / "s", foLecture | foUnicode);
  EXPECT_EQ(pos(h), 0);
  call("fFerme", {I(h)});
  h = open(dir / "u", foLectureEcriture | foUnicode | foAjout);
  EXPECT_EQ(pos(h), 16);
  call("fFerme", {I(h)});
}

TEST_F(Files, PositionSizeAndResize) {
  TempDir::write(dir / "f", "0123456789");
  int h = open(dir / "f", foLectureEcriture);
  EXPECT_EQ(call("fPositionne", {I(h), I8(0), I(3)}).integer, -1);
  EXPECT_EQ(last.code, 80023u);
  EXPECT_EQ(call("fPositionne", {I(h), I8(-2), I(2)}).integer, 8);
  EXPECT_EQ(call("fPositionne", {I(h), I8(-3), I(1)}).integer, 5);
  EXPECT_EQ(call("fPositionne", {I(h), I8(-30), I(1)}).integer, -1);
  EXPECT_EQ(messageId(), 28005u);
  // After a resize the position is kept, moved to the new end, or kept at 0.
  struct Case {
    long long before, size, after;
  };
  for (auto c : std::vector<Case>{{5, 8, 5}, {8, 3, 3}, {0, 2, 0}, {6, 20, 6}, {4, 4, 4}}) {
    call("fPositionne", {I(h), I8(c.before), I(0)});
    EXPECT_EQ(call("fChangeTaille", {I(h), I8(c.size)}).integer, 1);
    EXPECT_EQ(pos(h), c.after) << c.before << " " << c.size;
    EXPECT_EQ(call("fTaille", {T(dir / "f")}).integer, c.size);
  }
  EXPECT_EQ(call("fChangeTaille", {I(h), I8(-1)}).integer, 0);
  EXPECT_EQ(last.code, 80029u);
  call("fFerme", {I(h)});
  // fTaille: an empty name quietly, a directory or a missing file with 80067.
  EXPECT_EQ(call("fTaille", {T("")}).integer, -1);
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(call("fTaille", {T(dir.path())}).integer, -1);
  EXPECT_EQ(last.code, 80067u);
  EXPECT_EQ(last.level, 2u);
  EXPECT_EQ(call("fTaille", {T(dir / "none")}).integer, -1);
  EXPECT_EQ(last.code, 80067u);
}

TEST_F(Files, OffsetsPastFourGigabytesOnASparseFile) {
  int h = open(dir / "sparse", foLectureEcriture | foCreation);
  const long long loin = 5LL << 30;
  EXPECT_EQ(call("fPositionne", {I(h), I8(loin), I(0)}).integer, loin);
  EXPECT_EQ(call("fEcrit", {I(h), T("x")}).integer, 1);
  EXPECT_EQ(call("fTaille", {T(dir / "sparse")}).integer, loin + 1);
  EXPECT_EQ(call("fPositionne", {I(h), I8(-1), I(2)}).integer, loin);
  EXPECT_EQ(call("fLit", {I(h), I(5)}).bytes, "x");
  EXPECT_EQ(call("fLitLigne", {I(h)}).bytes, "\x04");
  call("fPositionne", {I(h), I8(loin - 2), I(0)});
  EXPECT_EQ(call("fLitLigne", {I(h)}).bytes, std::string("\0\0x", 3));
  EXPECT_TRUE(call("fBloque", {I(h), I8(loin), I(1)}).integer);
  EXPECT_TRUE(call("fUnlock", {I(h), I8(loin), I(1)}).integer);
  EXPECT_EQ(call("fChangeTaille", {I(h), I8((4LL << 30) + 10)}).integer, 1);
  EXPECT_EQ(pos(h), (4LL << 30) + 10);
  call("fFerme", {I(h)});
}

// A second process holds a write lock on the whole file until told to go.
class Locker {
public:
  explicit Locker(const std::string& file) {
    int ready[2], go[2];
    if (pipe(ready) != 0 || pipe(go) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(go[1]);
      close(ready[0]);
      int fd = ::open(file.c_str(), O_RDWR);
      struct flock64 l {};
      l.l_type = F_WRLCK;
      l.l_whence = SEEK_SET;
      char c = fcntl(fd, F_SETLK64, &l) == 0 ? 'y' : 'n';
      if (write(ready[1], &c, 1) != 1) _exit(1);
      if (read(go[0], &c, 1) < 0) _exit(1);
      _exit(0);
    }
    close(ready[1]);
    close(go[0]);
    go_ = go[1];
    char c = 0;
    locked_ = read(ready[0], &c, 1) == 1 && c == 'y';
    close(ready[0]);
  }
  ~Locker() {
    close(go_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  bool locked() const { return locked_; }

private:
  pid_t pid_ = -1;
  int go_ = -1;
  bool locked_ = false;
};

TEST_F(Files, LocksHeldByAnotherProcess) {
  TempDir::write(dir / "f", "content");
  // Our own range locks, before the other process comes.
  int h = open(dir / "f", foLectureEcriture);
  EXPECT_TRUE(call("fBloque", {I(h)}).integer);
  EXPECT_TRUE(call("fUnlock", {I(h)}).integer);
  call("fFerme", {I(h)});
  Locker other(dir / "f");
  ASSERT_TRUE(other.locked());
  // Opening with both lock bits fails at once with the locked marker.
  EXPECT_EQ(open(dir / "f", foLectureEcriture | foBloqueLecture | foBloqueEcriture), -1);
  EXPECT_EQ(last.systemCode, 0x80000000u);
  EXPECT_EQ(last.level, 2u);
  // Either bit alone takes no lock: the open works, locking a range does not.
  h = open(dir / "f", foLectureEcriture | foBloqueEcriture);
  ASSERT_GE(h, 2);
  EXPECT_FALSE(call("fBloque", {I(h), I8(0), I(3)}).integer);
  EXPECT_EQ(last.systemCode, 0x80000000u);
  EXPECT_EQ(messageId(), 28145u);
  // Nothing was lost: the handle still reads.
  EXPECT_EQ(call("fLit", {I(h), I(7)}).bytes, "content");
  call("fFerme", {I(h)});
}

TEST_F(Files, WholeFileText) {
  std::string octets("a\0b\r\n\xFF", 6);
  EXPECT_EQ(call("fSauveTexte", {T(dir / "t"), B(octets)}).integer, 1);
  EXPECT_EQ(call("fChargeTexte", {T(dir / "t")}).bytes, octets);
  EXPECT_EQ(call("fSauveTexte", {T(dir / "t"), T("")}).integer, 1);
  EXPECT_EQ(TempDir::read(dir / "t"), "");
  EXPECT_EQ(call("fChargeTexte", {T(dir / "t")}).bytes, "");
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(call("fChargeTexte", {T(dir / "absent")}).bytes, "");
  EXPECT_EQ(messageId(), 28139u);
  EXPECT_EQ(call("fSauveTexte", {T(dir / "no/dir/t"), T("x")}).integer, 0);
  EXPECT_EQ(messageId(), 28140u);
  // Elements of the application's own library.
  TempDir::write(dir / "element.txt", "served by the VM");
  EXPECT_EQ(call("fChargeTexte", {T("KVL:element.txt")}).bytes, "served by the VM");
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(call("fChargeTexte", {T("KVL:missing.txt")}).bytes, "");
  EXPECT_TRUE(last.isError());
  EXPECT_EQ(last.systemCode, static_cast<DWORD>(ENOENT));
}

TEST_F(Files, TemporaryFiles) {
  // The default: write-only, deleted at close.
  int h = static_cast<int>(call("fOuvreFichierTemp").integer);
  ASSERT_GE(h, 2);
  std::string nom = call("fNomFichier", {I(h)}).bytes;
  EXPECT_TRUE(TempDir::exists(nom));
  EXPECT_EQ(call("fEcrit", {I(h), T("data")}).integer, 4);
  EXPECT_EQ(call("fFerme", {I(h)}).integer, 0);
  EXPECT_FALSE(TempDir::exists(nom));
  // A prefix and a directory; without automatic deletion the file stays.
  h = static_cast<int>(call("fOuvreFichierTemp", {I(foLectureEcriture), T("pre"), T(dir.path())}).integer);
  nom = call("fNomFichier", {I(h)}).bytes;
  EXPECT_EQ(nom.rfind(dir / "pre", 0), 0u) << nom;
  EXPECT_EQ(nom.size(), (dir / "pre").size() + 6);
  call("fFerme", {I(h)});
  EXPECT_TRUE(TempDir::exists(nom));
  // A directory that does not exist.
  EXPECT_EQ(call("fOuvreFichierTemp", {I(0), T("p"), T(dir / "none")}).integer, -1);
  EXPECT_EQ(messageId(), 28134u);
}

TEST_F(Files, PatternFormAssignsTheGroups) {
  TempDir::write(dir / "p", "2024-05\rno match here\r\n\nlast-1");
  int h = open(dir / "p", foLecture);
  auto a = Value::byReference(T("?"));
  auto b = Value::byReference(T("?"));
  EXPECT_EQ(call("fLitLigne", {I(h), T("([0-9]+)-([0-9]+)"), a, b}).integer, 1);
  EXPECT_EQ(a.variable->bytes, "2024");
  EXPECT_EQ(b.variable->bytes, "05");
  // No match: the first variable is emptied, the result is still true.
  EXPECT_EQ(call("fLitLigne", {I(h), T("([0-9]+)-([0-9]+)"), a, b}).integer, 1);
  EXPECT_EQ(a.variable->bytes, "");
  EXPECT_EQ(b.variable->bytes, "05");
  // An empty pattern takes the whole line (here empty); fewer groups than variables stop early.
  EXPECT_EQ(call("fLitLigne", {I(h), T(""), a}).integer, 1);
  EXPECT_EQ(call("fLitLigne", {I(h), T("([a-z]+)-[0-9]"), a, b}).integer, 1);
  EXPECT_EQ(a.variable->bytes, "last");
  // At the end of the file: false with no error, every time.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(call("fLitLigne", {I(h), T("(.*)"), a}).integer, 0);
    EXPECT_FALSE(last.isError());
  }
  EXPECT_EQ(a.variable->bytes, "last");
  call("fFerme", {I(h)});
  // A pattern that does not compile: false, no error.
  h = open(dir / "p", foLecture);
  EXPECT_EQ(call("fLitLigne", {I(h), T("(["), a}).integer, 0);
  EXPECT_FALSE(last.isError());
  call("fFerme", {I(h)});
}

// while fLitLigne(h, pattern, v) reads every line once and stops.
TEST_F(Files, PatternFormLoopStopsAtTheEnd) {
  for (const char* contenu : {"", "a", "a\r\nb\r\n", "a\nb\n\nc"}) {
    TempDir::write(dir / "l", contenu);
    int h = open(dir / "l", foLecture);
    auto v = Value::byReference(T("?"));
    std::string lu;
    int n = 0;
    while (n < 10 && call("fLitLigne", {I(h), T("(.*)"), v}).integer != 0) lu += v.variable->bytes + "|", ++n;
    std::string attendu;
    for (const char* p = contenu; *p != '\0';) {
      const char* f = std::strpbrk(p, "\r\n");
      attendu += std::string(p, f != nullptr ? f : p + std::strlen(p)) + "|";
      if (f == nullptr) break;
      p = f + (f[0] == '\r' && f[1] == '\n' ? 2 : 1);
    }
    EXPECT_EQ(lu, attendu) << contenu;
    EXPECT_FALSE(last.isError());
    call("fFerme", {I(h)});
  }
}

// Two components started and one stopped keep the files open; the last stop
// closes them all and deletes the temporary ones.
TEST(FileModule, TheLastStopClosesEveryFile) {
  TempDir dir;
  TempDir::write(dir / "garde", "x");
  kvhost::LibShop shop(KV_LIBRARY_PATH);
  auto* premier = new CComposanteStandard;
  auto* second = new CComposanteStandard;
  premier->SetLibShop(&shop);
  second->SetLibShop(&shop);
  ASSERT_TRUE(premier->bFinInit());
  ASSERT_TRUE(second->bFinInit());
  int h = premier->fOuvre((dir / "garde").c_str(), foLecture);
  EXPECT_EQ(h, 2);
  int t = second->fOuvre((dir / "temp").c_str(), foLectureEcriture | foCreation | foSuppressionAutomatique);
  EXPECT_EQ(t, 3);
  premier->TermCompo();
  CVXDSTR nom = second->fNomFichier(h);
  EXPECT_EQ(std::string(nom.pszGet()), dir / "garde");
  EXPECT_TRUE(TempDir::exists(dir / "temp"));
  second->TermCompo();
  EXPECT_FALSE(TempDir::exists(dir / "temp"));
  EXPECT_TRUE(TempDir::exists(dir / "garde"));
  EXPECT_EQ(FIC_Table().clPrend(h), nullptr);
  // A component started afterwards finds the reserved handles again.
  ASSERT_TRUE(premier->bFinInit());
  EXPECT_EQ(premier->fOuvre((dir / "garde").c_str(), foLecture), 2);
  premier->TermCompo();
  premier->Release();
  second->Release();
}

}  // namespace
