// The stand-in VM: start and stop sequences, the library manager's start
// check, lookup of every function by both names, and the choice of syntax.
#include <gtest/gtest.h>

#include <string>

#include "Host.h"
#include "StartupData.h"
#include "abi/Demarrage.h"
#include "abi/InterfacesVM.h"
#include "support/TestHost.h"

namespace {

using kvhost::Host;
using kvhost::HostOptions;
using kvhost::Value;

HostOptions options() { return testOptions(); }

TEST(HostStart, AsksTheStartCheckOnce) {
  Host host(options());
  ASSERT_EQ(host.libShop().checks().size(), 1u);
  EXPECT_EQ(host.libShop().checks()[0], "8:10:1:LibShop");
}

TEST(HostStart, StartsAndStopsTwiceInOneProcess) {
  for (int round = 0; round < 2; ++round) {
    Host host(options());
    EXPECT_EQ(host.component()->nGetLibraryId(), 8);
    auto r = host.call("_zipFerme_old", {Value::text("x.zip")});
    EXPECT_TRUE(r.redirect.has_value());
  }
  EXPECT_EQ(kvhost::startupData().abnormalEnds, 0) << "the VM's end command was sent each time";
}

TEST(HostStart, ARefusedStartCheckStopsTheComponent) {
  // The library manager answers false: bFinInitVXL fails and nothing runs.
  kvhost::Library lib(KV_LIBRARY_PATH);
  ASSERT_TRUE(lib.bInitLibrary(lib.handle()));
  auto* c = static_cast<IVXLibrary*>(lib.pQueryProxy(60));
  ASSERT_NE(c, nullptr);
  EXPECT_FALSE(c->bFinInitVXL()) << "no library manager";
  kvhost::LibShop shop(KV_LIBRARY_PATH);
  shop.setStartAllowed(false);
  c->SetLibShop(&shop);
  EXPECT_FALSE(c->bFinInitVXL());
  shop.setStartAllowed(true);
  EXPECT_TRUE(c->bFinInitVXL());
  c->TermVXL();
  c->Release();
  lib.TermLibrary();
}

TEST(HostStart, ExecutionCommands) {
  kvhost::Library lib(KV_LIBRARY_PATH);
  ASSERT_TRUE(lib.bInitLibrary(lib.handle()));
  EXPECT_EQ(lib.Execution(1234, nullptr), 0);
  // No VM command function in the given module: the start-up command fails.
  void* self = lib.handle();  // the library's own module holds no VM
  STExecutionInit init{sizeof(STExecutionInit), self, {4, 0}};
  EXPECT_EQ(lib.Execution(EXEC_INIT, &init), 0);
  EXPECT_EQ(lib.Execution(EXEC_INIT, nullptr), 0);
  lib.TermLibrary();
}

TEST(HostStart, AnEndWithoutTheVMsEndCommandIsReported) {
  int before = kvhost::startupData().abnormalEnds;
  {
    kvhost::Library lib(KV_LIBRARY_PATH);
    ASSERT_TRUE(lib.bInitLibrary(lib.handle()));
    STExecutionInit init{sizeof(STExecutionInit), nullptr, {4, 0}};  // null module: the VM's function is found in global scope
    ASSERT_EQ(lib.Execution(EXEC_INIT, &init), 1);
    ASSERT_EQ(lib.Execution(EXEC_INIT, &init), 1);  // counted twice
    EXPECT_EQ(lib.Execution(EXEC_FIN, nullptr), 1);  // one left: not ended
    lib.TermLibrary();
  }
  EXPECT_EQ(kvhost::startupData().abnormalEnds, before + 1);
}

class HostCalls : public ::testing::Test {
protected:
  Host host{options()};
};

TEST_F(HostCalls, FindsEveryFunctionByBothNames) {
  const auto& cat = host.catalog();
  ASSERT_EQ(cat.functions().size(), 391u);
  for (const auto& f : cat.functions()) {
    SCOPED_TRACE(f.english);
    for (const std::string& name : {f.french, f.english, kvhost::foldName(f.french)}) {
      const auto* found = cat.findFunction(name);
      ASSERT_NE(found, nullptr) << name;
      // A synonym's names lead to the row that carries them, or to its original.
      EXPECT_TRUE(found == &f || found->number == f.number) << name;
    }
    std::string upper = f.english;
    for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_NE(cat.findFunction(upper), nullptr);
  }
  // Accents optional, any case.
  const auto* f = cat.findFunction("HEUREVERSCHAINE");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->english, "TimeToString");
  EXPECT_EQ(cat.findFunction("heureverscha\xEEne"), f);
  EXPECT_EQ(cat.findFunction("timetostring"), f);
  EXPECT_EQ(cat.findFunction("NoSuchFunction"), nullptr);
  // Constants and variables too.
  ASSERT_NE(cat.findConstant("foLectureEcriture"), nullptr);
  EXPECT_EQ(cat.findConstant("FOREADWRITE")->integer, 3);
  EXPECT_EQ(cat.findConstant("foCreation")->integer, 512);
  ASSERT_NE(cat.findVariable("Service.D\xE9marrage"), nullptr);
  EXPECT_EQ(cat.findVariable("service.startup")->number, 40);
}

TEST_F(HostCalls, ChoosesTheSyntaxByCountThenByForm) {
  const auto* f = host.catalog().findFunction("_zipExtraitFichier_old");
  ASSERT_NE(f, nullptr);
  auto choose = [&](std::vector<Value> args) {
    std::string why;
    const auto* s = host.chooseSyntax(*f, args, &why);
    return s ? s->index : -1;
  };
  EXPECT_EQ(choose({Value::text("a"), Value::text("b")}), 0);
  EXPECT_EQ(choose({Value::text("a"), Value::integer32(2)}), 5);
  EXPECT_EQ(choose({Value::text("a"), Value::text("b"), Value::integer32(2)}), 2);
  EXPECT_EQ(choose({Value::text("a"), Value::integer32(1), Value::integer32(2)}), 7);
  EXPECT_EQ(choose({Value::text("a"), Value::integer32(1), Value::text("c"), Value::text("d")}), 8);
  EXPECT_EQ(choose({Value::text("a")}), -1);
  EXPECT_EQ(choose({Value::integer32(1), Value::integer32(2)}), -1);
}

TEST_F(HostCalls, RefusesWhatNoSyntaxTakes) {
  try {
    host.call("NoSuchFunction", {});
    FAIL() << "an unknown name must be refused";
  } catch (const kvhost::HostError& e) {
    EXPECT_NE(std::string(e.what()).find("unknown function"), std::string::npos);
  }
  try {
    host.call("VersPressePapier", {Value::text("x")});  // published without entry point
    FAIL() << "a function without entry point must be refused";
  } catch (const kvhost::HostError& e) {
    EXPECT_NE(std::string(e.what()).find("not available"), std::string::npos) << e.what();
  }
  EXPECT_THROW(host.call("_zipFerme_old", {}), kvhost::HostError);
  EXPECT_THROW(host.call("_zipFerme_old", {Value::integer32(1)}), kvhost::HostError);
}

TEST_F(HostCalls, EachCallStartsWithNoError) {
  auto r = host.call("_zipNbFichier_old", {Value::text("a.zip")});
  EXPECT_TRUE(r.redirect.has_value());
  // The redirect level does not leak into what the VM reads next.
  EXPECT_EQ(host.readError().level, 1u);
}

}  // namespace
