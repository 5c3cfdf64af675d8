// The constants a function's help lists (kvrun --help NAME) are the ones it
// takes. Each row below names a function, the constants it covers (by the
// start of their English names), and a sound call: each covered constant is
// passed alone in the marked argument, and the call must not refuse it as a
// bad option, kind, mode or method. Constants the function gives back
// (a result, or a value handed to a listing's procedure) must be values it
// gives. Every constant a help lists must be covered by a row of its
// function, so a constant added to a help comes with a call that checks it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Help.h"
#include "PageLibrary.h"
#include "support/HostTest.h"

namespace {

using kvhost::Value;

// The errors that refuse an argument as no option, kind, mode or method
// the function knows.
const std::set<DWORD> kRefusals = {80023, 80026, 80042, 80050, 80053, 80106, 80107, 80110, 80133, 80143, 80144,
                                   80145, 80146, 80226, 80254, 80280, 80290, 80402, 80404, 80550, 81507};

enum class Role {
  Argument,   // passed in args[slot]
  Result,     // the call's result is one of them
  Procedure,  // the listing's procedure receives them as its third value
};

struct Row {
  const char* function;  // English name
  std::vector<const char*> stems;
  Role role;
  std::vector<Value> args;
  std::size_t slot = 0;
  bool handle = false;  // the result is a file handle, closed after the call
  // The function whose result, called first with the same arguments, takes
  // the place of the first argument (a decipherer reads what its cipher
  // wrote, not any text).
  const char* from = nullptr;
};

constexpr const char* kFile = "f.txt";
constexpr const char* kDirectory = "d";
constexpr const char* kNoService = "kv-no-such-service";
constexpr const char* kProcedure = "Seen";

Value C() { return Value::none(); }  // stands where the constant goes

std::vector<Row> rows() {
  auto table = std::make_shared<kvhost::PageObject>();
  table->columns = {{"Nom", true}, {"Code", false}};
  table->rows = {{T("Ana"), I(31)}};
  return {
      {"fExtractPath", {"f"}, Role::Argument, {T("/a/b/c.txt"), C()}, 1},
      {"fOpen", {"fo"}, Role::Argument, {T(kFile), C()}, 1, true},
      {"fCreate", {"fo"}, Role::Argument, {T("new.txt"), C()}, 1, true},
      {"fOpenTempFile", {"fo"}, Role::Argument, {C()}, 0, true},
      {"fSeek", {"fp"}, Role::Argument, {I(2), Value::integer64(0), C()}, 2},
      {"fRemoveDir", {"fr"}, Role::Argument, {T("empty"), C()}, 1},
      {"fDate", {"f"}, Role::Argument, {T(kFile), T(""), C()}, 2},
      {"fTime", {"f"}, Role::Argument, {T(kFile), T(""), C()}, 2},
      {"fDateTime", {"f"}, Role::Argument, {T(kFile), T(""), C()}, 2},
      {"fDir", {"fr"}, Role::Argument, {T("*.txt"), C()}, 1},
      {"fCopyFile", {"fr"}, Role::Argument, {T(kFile), T("copy.txt"), C()}, 2},
      {"fCopyDir", {"fr"}, Role::Argument, {T(kDirectory), T("d2"), C()}, 2},
      {"fMoveDir", {"fr"}, Role::Argument, {T(kDirectory), T("d3"), C()}, 2},
      {"fDirSize", {"fr", "fd"}, Role::Argument, {T(kDirectory), C()}, 1},
      {"fListFile", {"fr", "fd"}, Role::Argument, {T("*.txt"), C()}, 1},
      {"fListFile", {"fl"}, Role::Procedure, {T("d/*"), T(kProcedure)}},
      {"fListDirectory", {"fr", "fd"}, Role::Argument, {T("."), C()}, 1},
      {"fDirAttrib", {"fRead"}, Role::Result, {T(kDirectory)}},
      {"fListDirectory", {"fl"}, Role::Procedure, {T("."), T(kProcedure)}},
      {"fCrypt", {"crypt"}, Role::Argument, {T(kFile), T("c.bin"), T("pw"), C()}, 3},
      {"fCrypt", {"encode"}, Role::Argument, {T(kFile), T("c.txt"), T("pw"), I(1), C()}, 4},
      {"fUncrypt", {"crypt"}, Role::Argument, {T(kFile), T("u.txt"), T("pw"), C()}, 3},
      {"fUncrypt", {"encode"}, Role::Argument, {T(kFile), T("u.txt"), T("pw"), I(1), C()}, 4},
      {"Crypt", {"crypt", "compress"}, Role::Argument, {T("abc"), T("pw"), C()}, 2},
      {"Crypt", {"encode"}, Role::Argument, {T("abc"), T("pw"), I(1), C()}, 3},
      {"Uncrypt", {"crypt", "compress"}, Role::Argument, {T("abc"), T("pw"), C()}, 2, false, "Crypt"},
      {"Uncrypt", {"encode"}, Role::Argument, {T("abc"), T("pw"), I(1), C()}, 3, false, "Crypt"},
      {"ExeInfo", {"exe"}, Role::Argument, {C()}, 0},
      {"ExeRun", {"exeActive", "exeInactive", "exeMaximize", "exeIconize"}, Role::Argument, {T("/bin/true"), C()}, 1},
      {"ExeRun", {"exeDontWait", "exeWait", "exeReturnValue", "exePID"}, Role::Argument,
       {T("/bin/true"), I(1), C()}, 2},
      {"DDEStart", {"DDE"}, Role::Argument, {T("/bin/true"), C()}, 1},
      {"ExeGetPID", {"exe"}, Role::Argument, {C()}, 0},
      {"SysSpace", {"sys"}, Role::Argument, {C()}, 0},
      {"SysWindowsVersion", {"sysVersion"}, Role::Argument, {C()}, 0},
      {"SysChangeEnvironment", {"sysEnv"}, Role::Argument, {T("KV_HELP_CONSTANT"), T("1"), C()}, 2},
      {"LengthToString", {"size"}, Role::Argument, {Value::integer64(5000), C()}, 1},
      {"StringToDuration", {"duration"}, Role::Argument, {T("1000"), C()}, 1},
      {"DurationToString", {"duration"}, Role::Argument, {Value::duration(1000), C()}, 1},
      {"TableToText", {"ta"}, Role::Argument, {Value::pageObject(table), C()}, 1},
      {"ServiceWaitStatus", {"serviceStatus"}, Role::Argument, {T(kNoService), C(), I(0)}, 1},
      {"ServiceStatus", {"serviceStatus"}, Role::Result, {T(kNoService)}},
      {"ServiceControl", {"serviceCmd"}, Role::Argument, {T(kNoService), C()}, 1},
  };
}

bool covers(const Row& r, const kvhost::ConstantInfo& c) {
  return std::any_of(r.stems.begin(), r.stems.end(), [&](const char* stem) { return c.english.rfind(stem, 0) == 0; });
}

Value valueOf(const kvhost::ConstantInfo& c) {
  return c.type == 0x12 ? Value::text(c.text) : Value::integer32(static_cast<std::int32_t>(c.integer));
}

class HelpConstants : public HostTest {
protected:
  void SetUp() override {
    char dir[] = "/tmp/kvhelpconstXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    work_ = dir;
    ASSERT_EQ(chdir(work_.c_str()), 0);
  }
  void TearDown() override {
    for (int h = 8; h >= 2; --h) host.call("fFerme", {I(h)});
    if (chdir("/") == 0) std::system(("rm -rf " + work_).c_str());
  }

  // The files every call finds: a file, a directory holding a file and a
  // subdirectory, an empty directory; handle 2 open on the file.
  void fixtures() {
    std::system(("rm -rf " + work_ + "/*").c_str());
    std::ofstream(kFile) << "ligne 1\r\nligne 2\r\n";
    mkdir(kDirectory, 0755);
    mkdir("d/sub", 0755);
    std::ofstream("d/a.txt") << "a";
    mkdir("empty", 0755);
    for (int h = 8; h >= 2; --h) host.call("fFerme", {I(h)});
    ASSERT_EQ(call("fOuvre", {T(kFile)}).integer, 2);
  }

  std::string work_;
};

TEST_F(HelpConstants, EachListedConstantIsTakenByItsFunction) {
  const auto table = rows();
  std::set<std::string> covered;
  std::vector<std::int64_t> seen;
  host.vm().defineProcedure(kProcedure, [&](const std::vector<Value>& a) {
    if (a.size() >= 3) seen.push_back(a[2].integer);
    return Value::boolean(true);
  });
  for (const auto& f : host.catalog().functions()) {
    const auto listed = kvrun::documentedConstants(host.catalog(), f);
    if (listed.empty() || !f.available()) continue;
    for (const auto& r : table) {
      if (f.english != r.function) continue;
      std::vector<const kvhost::ConstantInfo*> mine;
      for (const auto* c : listed) {
        if (covers(r, *c)) mine.push_back(c);
      }
      EXPECT_FALSE(mine.empty()) << r.function << ": its help lists none of the constants its row covers";
      std::set<std::int64_t> values;
      for (const auto* c : mine) {
        covered.insert(f.english + " " + c->french);
        values.insert(static_cast<std::int32_t>(c->integer));
      }
      if (r.role != Role::Argument) {
        fixtures();
        seen.clear();
        auto result = host.call(f.english, r.args);
        if (r.role == Role::Result) seen.push_back(result.value.integer);
        EXPECT_FALSE(seen.empty()) << r.function << ": gave no value to check";
        for (auto v : seen) EXPECT_TRUE(values.count(v)) << r.function << " gives " << v << ", which its help does not list";
        continue;
      }
      for (const auto* c : mine) {
        fixtures();
        std::vector<Value> args = r.args;
        args[r.slot] = valueOf(*c);
        if (r.from != nullptr) args[0] = Value::text(host.call(r.from, args).value.bytes);
        const auto result = host.call(f.english, args);
        EXPECT_FALSE(result.error.isError() && kRefusals.count(result.error.code))
            << r.function << "(" << c->english << ") refuses a constant its help lists: error " << result.error.code
            << " " << result.error.message;
        if (r.handle && result.value.integer >= 2) host.call("fFerme", {I(static_cast<int>(result.value.integer))});
      }
    }
    for (const auto* c : listed) {
      EXPECT_TRUE(covered.count(f.english + " " + c->french)) << f.english << " lists " << c->english << ", which no row checks";
    }
  }
}

}  // namespace
