// Attributes, file times, fRep's enumeration, directory deletion and size,
// and the listings with their call-back procedures, through the stand-in VM.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "TempDir.h"
#include "support/HostTest.h"

namespace {

using kvhost::Value;

class Directories : public HostTest {
protected:
  TempDir dir;
  std::string s(const char* name, std::vector<Value> args) { return call(name, std::move(args)).bytes; }
  long long n(const char* name, std::vector<Value> args) { return call(name, std::move(args)).integer; }
  static mode_t mode(const std::string& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mode & 07777;
  }
  void mkdirs(std::initializer_list<const char*> names) {
    for (const char* d : names) ASSERT_EQ(mkdir((dir / d).c_str(), 0755), 0) << d;
  }
  // Lines of a CR LF separated listing, sorted (the system's order is not fixed).
  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    for (std::size_t i = 0; i < text.size();) {
      std::size_t j = text.find("\r\n", i);
      if (j == std::string::npos) j = text.size();
      v.push_back(text.substr(i, j - i));
      i = j + 2;
    }
    std::sort(v.begin(), v.end());
    return v;
  }
};

TEST_F(Directories, AttributeLetters) {
  TempDir::write(dir / "f", "x");
  TempDir::write(dir / "ro", "x");
  TempDir::write(dir / ".cache", "x");
  chmod((dir / "ro").c_str(), 0444);
  mkdirs({"d", ".hro"});
  chmod((dir / ".hro").c_str(), 0555);
  const bool root = geteuid() == 0;
  struct Case {
    std::string path;
    const char* letters;
  } cases[] = {
      {dir / "ro", "R"}, {dir / ".cache", "H"}, {dir / "d", "D"}, {dir / ".hro", "DHR"},
      {dir / "f", "" },
  };
  for (const auto& c : cases) {
    EXPECT_EQ(s("fAttribut", {T(c.path)}), c.letters) << c.path;
    EXPECT_FALSE(last.isError()) << c.path;
  }
  EXPECT_EQ(s("fRepAttribut", {T(dir / ".hro")}), "DHR");
  (void)root;
  EXPECT_EQ(s("fAttribut", {T(dir / "absent")}), "ERR");
  EXPECT_TRUE(last.isError());
  EXPECT_EQ(s("fAttribut", {T("")}), "ERR");
  EXPECT_EQ(last.code, 80067u);
  EXPECT_EQ(s("fAttribut", {T("C:")}), "ERR");
  EXPECT_FALSE(last.isError()) << "a drive has no attributes, silently";
  EXPECT_EQ(s("fRepAttribut", {T("")}), "ERR");
  EXPECT_EQ(last.code, 80062u);
}

TEST_F(Directories, AttributesChanged) {
  const std::string f = dir / "f";
  TempDir::write(f, "x");
  EXPECT_EQ(s("fAttribut", {T(f), T("R")}), "R");
  EXPECT_EQ(mode(f), 0444u);
  EXPECT_EQ(s("fAttribut", {T(f), T("")}), "");
  EXPECT_EQ(mode(f), 0666u);
  // fAttributLectureSeule answers the state found before the call.
  EXPECT_FALSE(call("fAttributLectureSeule", {T(f), Value::boolean(true)}).integer);
  EXPECT_EQ(mode(f), 0444u);
  EXPECT_TRUE(call("fAttributLectureSeule", {T(f)}).integer);
  EXPECT_TRUE(call("fAttributLectureSeule", {T(f), Value::boolean(false)}).integer);
  EXPECT_EQ(mode(f), 0666u);
  // A directory made read-only stays searchable: what it holds can still be reached.
  mkdirs({"d"});
  TempDir::write(dir / "d/in", "x");
  EXPECT_EQ(s("fRepAttribut", {T(dir / "d"), T("R")}), "DR");
  EXPECT_EQ(mode(dir / "d"), 0555u);
  EXPECT_EQ(TempDir::read(dir / "d/in"), "x");
  EXPECT_EQ(s("fRepAttribut", {T(dir / "d"), T("")}), "D");
  EXPECT_EQ(mode(dir / "d"), 0777u);
}

TEST_F(Directories, TimesSetAndReadBack) {
  const std::string f = dir / "f";
  TempDir::write(f, "x");
  EXPECT_EQ(s("fDate", {T(f), T("20200102")}), "20200102");
  EXPECT_EQ(s("fHeure", {T(f), T("030405")}), "030405");
  EXPECT_EQ(s("fDateHeure", {T(f)}), "20200102030405");
  // The file's own modification time, converted independently.
  struct tm t {};
  t.tm_year = 120, t.tm_mon = 0, t.tm_mday = 2, t.tm_hour = 3, t.tm_min = 4, t.tm_sec = 5, t.tm_isdst = -1;
  struct stat st {};
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, mktime(&t));
  // Last access (2) changes alone; the creation time (1) cannot be set.
  EXPECT_EQ(s("fDateHeure", {T(f), T("19791231235958"), I(2)}), "");
  EXPECT_EQ(last.code, 80051u) << "before 1980";
  EXPECT_EQ(s("fDateHeure", {T(f), T("20011231235958"), I(2)}), "20011231235958");
  EXPECT_EQ(s("fDateHeure", {T(f)}), "20200102030405");
  EXPECT_EQ(s("fDate", {T(dir.path() + "/"), T("20100101")}), "20100101") << "a directory, trailing slash";

  struct Bad {
    const char* function;
    const char* value;
    int which;
    DWORD code;
  } bad[] = {
      {"fDate", "19791231", 0, 80051}, {"fDate", "20201301", 0, 80051}, {"fDate", "20201232", 0, 80051},
      {"fDate", "2020011", 0, 80051},  {"fDate", "2020a101", 0, 80051}, {"fHeure", "240000", 0, 80052},
      {"fHeure", "236000", 0, 80052},  {"fHeure", "23595", 0, 80052},   {"fDateHeure", "20200101", 0, 80052},
      {"fDate", "20200101", 3, 80050}, {"fHeure", "", -1, 80050},
  };
  for (const auto& c : bad) {
    EXPECT_EQ(s(c.function, {T(f), T(c.value), I(c.which)}), "") << c.function << " " << c.value;
    EXPECT_EQ(last.code, c.code) << c.function << " " << c.value;
  }
  EXPECT_EQ(s("fDateHeure", {T(f)}), "20200102030405") << "a refused value changes nothing";
  EXPECT_EQ(s("fDate", {T(dir / "absent")}), "");
  EXPECT_TRUE(last.isError());
}

TEST_F(Directories, EnumerationOneNameAtATime) {
  mkdirs({"vide", "d1", "d2"});
  for (const char* f : {"a", "b", "c"}) TempDir::write(dir / f, "x");
  EXPECT_EQ(s("fRep", {T(dir / "vide/*"), I(0x27)}), "");
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(s("fRep", {T("")}), "");
  EXPECT_EQ(last.code, 80054u) << "the exhausted search is gone";

  auto all = [&](int kind) {
    std::set<std::string> names;
    for (std::string name = s("fRep", {T(dir / "*"), I(kind)}); !name.empty(); name = s("fRep", {T(""), I(kind)}))
      names.insert(name);
    return names;
  };
  EXPECT_EQ(all(0x27), (std::set<std::string>{"a", "b", "c"}));
  EXPECT_EQ(all(0x37), (std::set<std::string>{"d1", "d2", "vide"}));
  EXPECT_EQ(s("fRep", {T(dir / "*"), I(5)}), "");
  EXPECT_EQ(last.code, 80053u);
  // A new pattern replaces a pending search.
  EXPECT_FALSE(s("fRep", {T(dir / "*")}).empty());
  EXPECT_EQ(s("fRep", {T(dir / "d1"), I(0x37)}), "d1");
  EXPECT_EQ(s("fRep", {T("")}), "");
}

TEST_F(Directories, RemoveDirectory) {
  mkdirs({"t", "t/s", "t/s/u", "outside"});
  TempDir::write(dir / "t/f", "x");
  TempDir::write(dir / "t/s/u/g", "x");
  TempDir::write(dir / "outside/keep", "x");
  ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "t/s/link").c_str()), 0);
  ASSERT_EQ(symlink((dir / "missing").c_str(), (dir / "t/dangling").c_str()), 0);

  EXPECT_FALSE(call("fRepSupprime", {T(dir / "t")}).integer);
  EXPECT_EQ(last.code, 80063u);
  EXPECT_NE(last.message.find(dir / "t"), std::string::npos) << last.message;
  EXPECT_TRUE(call("fRepSupprime", {T(dir / "t/*"), I(1)}).integer) << last.message;
  EXPECT_FALSE(TempDir::exists(dir / "t"));
  EXPECT_EQ(TempDir::read(dir / "outside/keep"), "x") << "a link is removed, never followed";

  EXPECT_FALSE(call("fRepSupprime", {T(dir / "outside"), I(0x400)}).integer);
  EXPECT_EQ(last.code, 80404u);
  EXPECT_FALSE(call("fRepSupprime", {T(dir / "outside/keep")}).integer);
  EXPECT_EQ(last.code, 80062u);
  EXPECT_FALSE(call("fRepSupprime", {T(dir / "absent"), I(1)}).integer);
  EXPECT_EQ(last.code, 80062u);
}

TEST_F(Directories, DirectorySize) {
  mkdirs({"s", "s/t"});
  TempDir::write(dir / "a", std::string(100, 'x'));
  TempDir::write(dir / "s/b", std::string(20, 'x'));
  TempDir::write(dir / "s/t/c", std::string(3, 'x'));
  ASSERT_EQ(symlink(dir.path().c_str(), (dir / "s/up").c_str()), 0);  // a loop back up
  EXPECT_EQ(n("fRepTaille", {T(dir.path())}), 123);
  EXPECT_EQ(n("fRepTaille", {T(dir.path()), I(2)}), 100);
  EXPECT_EQ(n("fRepTaille", {T(dir / "s/")}), 23);
  host.vm().setInterrupted(true);
  EXPECT_EQ(n("fRepTaille", {T(dir.path()), I(1 | 4)}), -1);
  EXPECT_EQ(n("fRepTaille", {T(dir.path())}), 123) << "only an interruptible walk stops";
  host.vm().setInterrupted(false);
  EXPECT_EQ(n("fRepTaille", {T("")}), -1);
  EXPECT_EQ(last.code, 80059u);
  EXPECT_EQ(n("fRepTaille", {T("/" + std::string(300, 'x'))}), -1);
  EXPECT_EQ(last.code, 81506u);
  EXPECT_EQ(n("fRepTaille", {T(dir / "absent")}), -1);
  EXPECT_EQ(last.code, 80062u);
}

class Listings : public Directories {
protected:
  struct Entry {
    std::string dir, name;
    long long indicator, parameter;
  };
  std::vector<Entry> seen;
  bool stopAtFirst = false;

  void SetUp() override {
    mkdirs({"s", "s/t", ".h"});
    for (const char* f : {"a.txt", "b.txt", "c.log", "s/d.txt", "s/t/e.txt", ".h/f.txt", ".g.txt"})
      TempDir::write(dir / f, "xy");
    host.vm().defineProcedure("Rappel", [this](const std::vector<Value>& args) {
      seen.push_back({args.at(0).bytes, args.at(1).bytes, args.at(2).integer, args.at(3).integer});
      return stopAtFirst ? Value::boolean(false) : Value::none();
    });
  }
};

TEST_F(Listings, CallBackIndicatorsFollowTheDirectories) {
  EXPECT_EQ(n("fListeFichier", {T(dir / "*.txt"), T("Rappel"), I(42)}), 6);
  ASSERT_EQ(seen.size(), 6u);
  std::set<std::string> paths;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    const Entry& e = seen[i];
    paths.insert(e.dir + e.name);
    EXPECT_EQ(e.parameter, 42);
    EXPECT_EQ(e.dir.back(), '/');
    long long expected = i == 0 ? (e.dir == dir.path() + "/" ? 2 : 1) : (e.dir == seen[i - 1].dir ? 0 : 1);
    EXPECT_EQ(e.indicator, expected) << e.dir << e.name;
  }
  EXPECT_EQ(seen[0].indicator, 2) << "the starting directory's files come first";
  EXPECT_EQ(paths, (std::set<std::string>{dir / "a.txt", dir / "b.txt", dir / ".g.txt", dir / "s/d.txt",
                                          dir / "s/t/e.txt", dir / ".h/f.txt"}));
  seen.clear();
  EXPECT_EQ(n("fListeFichier", {T(dir / "*.txt"), T("Rappel"), I(0), I(2)}), 3) << "not recursive";
}

TEST_F(Listings, ProcedureStopsAndInterruption) {
  stopAtFirst = true;
  EXPECT_EQ(n("fListeFichier", {T(dir / "*"), T("Rappel")}), 1);
  EXPECT_EQ(seen.size(), 1u);
  stopAtFirst = false;
  seen.clear();
  host.vm().setInterrupted(true);
  EXPECT_EQ(n("fListeFichier", {T(dir / "*"), T("Rappel"), I(0), I(4)}), 0);
  EXPECT_TRUE(seen.empty());
  host.vm().setInterrupted(false);
  EXPECT_EQ(n("fListeFichier", {T(dir / "*"), T("Absente")}), 0);
  EXPECT_TRUE(last.isError());
}

TEST_F(Listings, StringForms) {
  EXPECT_EQ(lines(s("fListeFichier", {T(dir / "*.txt"), I(2)})),
            (std::vector<std::string>{dir / ".g.txt", dir / "a.txt", dir / "b.txt"}));
  EXPECT_EQ(lines(s("fListeRepertoire", {T(dir.path())})),
            (std::vector<std::string>{dir / ".h", dir / "s", dir / "s/t"}));
  EXPECT_EQ(lines(s("fListeRepertoire", {T(dir.path()), I(2)})), (std::vector<std::string>{dir / ".h", dir / "s"}));
  EXPECT_EQ(s("fListeRepertoire", {T(dir / "a.txt")}), "");
  EXPECT_EQ(last.code, 80062u);
  EXPECT_EQ(n("fListeRepertoire", {T(dir.path()), T("Rappel")}), 3);
  EXPECT_EQ(seen.at(0).indicator, 2);
}

TEST_F(Listings, FullInformation) {
  ASSERT_EQ(s("fDateHeure", {T(dir / "a.txt"), T("20210304050607")}), "20210304050607");
  chmod((dir / "b.txt").c_str(), 0444);
  const auto all = lines(s("fListeFichier", {T(dir / "*.txt"), I(0x10)}));
  EXPECT_EQ(all.size(), 6u);
  EXPECT_NE(std::find(all.begin(), all.end(), dir / "a.txt" + "\t2\t20210304050607\t"), all.end());
  const auto ro = std::find_if(all.begin(), all.end(), [&](auto& l) { return l.rfind(dir / "b.txt\t", 0) == 0; });
  ASSERT_NE(ro, all.end());
  EXPECT_EQ(ro->substr(ro->size() - 2), "\tR");
  const auto hidden = lines(s("fListeFichier", {T(dir / "*.txt"), I(0x10 | 0x100 | 0x200)}));
  EXPECT_EQ(hidden.size(), 4u) << "no .g.txt, nothing under .h";
  EXPECT_EQ(lines(s("fListeFichier", {T(dir / "*.txt"), I(0x10 | 2)})).size(), 3u);
}

}  // namespace
