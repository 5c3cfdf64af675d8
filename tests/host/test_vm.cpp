// The stand-in VM's services as the library meets them during a call:
// extra arguments, variables passed by reference, language procedures,
// elements of the application's library, results and execution state.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "Host.h"
#include "core/Any.h"
#include "core/VXDSTR.h"
#include "core/XError.h"
#include "support/TestHost.h"

namespace {

using kvhost::Value;

// A running host lends its conversion routines to the dynamic values.
class VmServices : public ::testing::Test {
protected:
  kvhost::Host host{testOptions()};
  kvhost::Vm& vm = host.vm();
  CXError error;
};

TEST_F(VmServices, ExtraArgumentsByNumber) {
  std::vector<Value> args{Value::text("a"), Value::integer32(7), Value::text("b"), Value::realValue(1.5),
                          Value::buffer(std::string("\0x", 2))};
  vm.beginCall(&args, 5);
  CAny any;
  ASSERT_TRUE(vm.bGetParamAny(2, 5, &any, &error));
  int n = 0;
  EXPECT_EQ(any.nGetINT(&n), 0);
  EXPECT_EQ(n, 7);
  ASSERT_TRUE(vm.bGetParamAny(4, 5, &any, &error));
  double r = 0;
  EXPECT_EQ(any.nGetREAL(&r), 0);
  EXPECT_EQ(r, 1.5);
  ASSERT_TRUE(vm.bGetParamAny(5, 5, &any, &error));
  EXPECT_EQ(any.wGetType(), 0x1c);
  EXPECT_EQ(kvhost::valueFromAny(any).bytes, std::string("\0x", 2));
  // Beyond the count, or with another call's word: refused with an error.
  EXPECT_FALSE(vm.bGetParamAny(6, 5, &any, &error));
  EXPECT_TRUE(error.bIsError());
  error.RAZ();
  EXPECT_FALSE(vm.bGetParamAny(1, 4, &any, &error));
  EXPECT_FALSE(vm.bParamNull(1, 5));
  EXPECT_TRUE(vm.bParamNull(9, 5));
  vm.endCall();
  EXPECT_FALSE(vm.bGetParamAny(1, 5, &any, &error)) << "no call in progress";
}

TEST_F(VmServices, VariablesAreReadAndAssigned) {
  std::vector<Value> args{Value::text("x"), Value::byReference(Value::integer32(3)), Value::integer32(1)};
  vm.beginCall(&args, 3);
  IVXVariable* var = nullptr;
  ASSERT_TRUE(vm.bGetParamIVariable(2, 3, &var, &error));
  CAny any;
  ASSERT_TRUE(var->bGetValeur(&any, &error));
  int n = 0;
  any.nGetINT(&n);
  EXPECT_EQ(n, 3);
  any.bSetChaine("assigned");
  ASSERT_TRUE(var->bAffecte(&any, &error));
  var->Release();
  EXPECT_EQ(args[1].variable->type, VXT_CHAINE);
  EXPECT_EQ(args[1].variable->bytes, "assigned");
  EXPECT_FALSE(vm.bGetParamIVariable(3, 3, &var, &error)) << "not a variable";
  vm.endCall();
}

TEST_F(VmServices, ProceduresReceivePushedValuesAndReturnOne) {
  std::vector<Value> seen;
  vm.defineProcedure("MaProc\xE9" "dure", [&](const std::vector<Value>& args) {
    seen = args;
    return Value::boolean(false);
  });
  void* proc = nullptr;
  EXPECT_FALSE(vm.bRechercheProcedure("Absente", 0, &proc, &error));
  EXPECT_TRUE(error.bIsError());
  error.RAZ();
  ASSERT_TRUE(vm.bRechercheProcedure("maproc\xC9" "DURE", 0, &proc, &error));
  vm.PrepareAppel();
  CAny a, b, result;
  a.bSetChaine("/tmp/");
  b.SetEntier(2);
  ASSERT_TRUE(vm.bEmpileValeur(&a, 0));
  ASSERT_TRUE(vm.bEmpileValeur(&b, 0));
  ASSERT_TRUE(vm.bAppelleProcedure(proc, 0, 2, 0));
  vm.SetValeurRetour(&result);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].bytes, "/tmp/");
  EXPECT_EQ(seen[1].integer, 2);
  EXPECT_EQ(result.wGetType(), VXT_BOOLEEN);
  int n = 1;
  result.nGetINT(&n);
  EXPECT_EQ(n, 0);
}

TEST_F(VmServices, ElementsOfTheApplicationLibrary) {
  char dir[] = "/tmp/kvlXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::ofstream(std::string(dir) + "/texte.txt") << "contenu";
  vm.setElementDirectory(dir);
  CVXBIN buffer;
  STDemandeElement req{};
  req.dwTaille = sizeof req;
  req.pszNom = "texte.txt";
  req.pclBuffer = &buffer;
  EXPECT_EQ(vm.pclChargeElement(&req), nullptr);
  EXPECT_EQ(std::string(buffer.pGetData(), buffer.nGetSize()), "contenu");
  for (const char* name : {"absent.txt", "../etc/passwd", "/etc/passwd"}) {
    req.pszNom = name;
    CXError* e = vm.pclChargeElement(&req);
    ASSERT_NE(e, nullptr) << name;
    EXPECT_TRUE(e->bIsError());
    e->dwRelease();
  }
  std::remove((std::string(dir) + "/texte.txt").c_str());
  rmdir(dir);
}

TEST_F(VmServices, ResultsAreCopiedByType) {
  std::vector<Value> args;
  vm.beginCall(&args, 0);
  CVXDSTR s("r\xE9sultat");
  const char* p = s.pGetData();
  vm.RenvoieValeur(0, &p, 0x13);
  auto r = vm.endCall();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->type, VXT_CHAINE);
  EXPECT_EQ(r->bytes, "r\xE9sultat");
  vm.beginCall(&args, 0);
  short narrow = -2;
  vm.RenvoieValeur(0, &narrow, 0x07);
  r = vm.endCall();
  EXPECT_EQ(r->integer, -2);
  vm.beginCall(&args, 0);
  vm.RenvoieValeur(0, "constante", 0x17);
  vm.RenvoieValeur(1, "other call", 0x17);  // not this call's word: ignored
  r = vm.endCall();
  EXPECT_EQ(r->bytes, "constante");
}

TEST_F(VmServices, InterruptionState) {
  EXPECT_EQ(vm.nEtatExecution(), 0);
  vm.setInterrupted(true);
  EXPECT_EQ(vm.nEtatExecution(), 10);
  vm.setInterrupted(false);
  EXPECT_EQ(vm.nEtatExecution(), 0);
}

}  // namespace
