// The component object and its companions: variables, the function name of
// the call, argument slots, the library loader, the library-name table and
// the page gate.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/XError.h"
#include "core/accesdllres.h"
#include "frame/Entree.h"
#include "frame/NomsLibrairies.h"
#include "frame/ProxyDll.h"
#include "frame/Standard.h"
#include "misc/PageGate.h"

namespace {

std::string str(const char* p) { return p != nullptr ? p : ""; }

TEST(Component, VariablesHaveTheirFields) {
  CComposanteStandard c;
  EXPECT_EQ(c.pGetVariableAdresse(38), nullptr);
  EXPECT_EQ(c.pGetVariableAdresse(46), nullptr);
  EXPECT_EQ(c.pGetVariableAdresse(45), &c.m_nServiceType);
  EXPECT_EQ(c.pGetVariableAdresse(39), &c.m_clServiceDescription);
  EXPECT_EQ(c.pGetVariableAdresse(44), &c.m_clServiceMotDePasse);
  // Through the VM's access, with a call context for the variable.
  STVXAppel access{nullptr, 8, 40, nullptr, 0};
  EXPECT_EQ(c.pRecupereAdresseVariable(&access), &c.m_nServiceDemarrage);
  EXPECT_EQ(c.pstGetAppel(), nullptr) << "the context is restored";
}

TEST(Component, NameOfTheFunctionBeingCalled) {
  CComposanteStandard c;
  EXPECT_STREQ(c._pszGetNomFonction(), "");
  STVXAppel call{nullptr, 8, 6, nullptr, 1};
  c.ChangeContexteAppel(&call);
  EXPECT_STREQ(c._pszGetNomFonction(), "HeureVersCha\xEEne");
  DLLRES_SetLangue(1);
  EXPECT_STREQ(c._pszGetNomFonction(), "TimeToString");
  DLLRES_SetLangue(0);
  call.nFonction = 5000;
  EXPECT_STREQ(c._pszGetNomFonction(), "");
  c.ChangeContexteAppel(nullptr);
}

TEST(Component, RaisedErrorsReachTheComponentsObject) {
  CComposanteStandard c;
  c.RaiseError(80202);
  EXPECT_EQ(c.pclGetError()->nGetUserErrorCode(), 80202u);
  CXError local;
  local.SetUserError(80210);
  c.RaiseError(&local);
  EXPECT_EQ(c.pclGetError()->nGetUserErrorCode(), 80210u);
  EXPECT_FALSE(local.bIsError());
  local.SetUserError(80203);
  c.RaiseErrorCopy(&local);
  EXPECT_TRUE(local.bIsError());
  EXPECT_EQ(c.pclGetError()->nGetUserErrorCode(), 80203u);
  c.RaiseError(static_cast<CXError*>(nullptr));
  EXPECT_FALSE(c.pclGetError()->bIsError());
}

TEST(EntryPoints, StringSlotsReadAsTextOrObject) {
  CVXDSTR vide, plein("abc");
  const char* p = kvappel::Lit<VXT_CHAINE>(&vide);
  ASSERT_NE(p, nullptr) << "an empty string reaches a const char* method as \"\"";
  EXPECT_STREQ(p, "");
  CVXDSTR copie = kvappel::Lit<VXT_CHAINE>(&plein);
  EXPECT_EQ(copie.pGetData(), plein.pGetData()) << "a string object shares the caller's block";
  EXPECT_EQ(&kvappel::Lit<VXT_BINAIRE>(&plein), reinterpret_cast<CVXBIN*>(&plein));
}

TEST(Loader, LibraryDirectory) {
  CProxyDll::SetCheminLib("  /opt/korval/lib\n");
  EXPECT_STREQ(CProxyDll::pszGetCheminLib(), "/opt/korval/lib/");
  CProxyDll::SetCheminLib("/already/");
  EXPECT_STREQ(CProxyDll::pszGetCheminLib(), "/already/");
  std::string longue(400, 'a');
  CProxyDll::SetCheminLib(longue.c_str());
  EXPECT_EQ(std::strlen(CProxyDll::pszGetCheminLib()), 259u) << "cut, with no room left for the slash";
  CProxyDll::SetCheminLib("");
  char out[TAILLE_CHEMIN];
  std::string dir = std::string(KV_LIBRARY_PATH).substr(0, std::string(KV_LIBRARY_PATH).rfind('/'));
  EXPECT_TRUE(CProxyDll::s_bConstruitCheminDLL(out, "kv140std.so", "/nonexistent", dir.c_str()));
  EXPECT_EQ(std::string(out), dir + "/kv140std.so");
  EXPECT_FALSE(CProxyDll::s_bConstruitCheminDLL(out, "absent.so", "/tmp", nullptr));
  EXPECT_STREQ(out, "/tmp/absent.so");
  EXPECT_FALSE(CProxyDll::s_bConstruitCheminDLL(out, "absent.so", nullptr, nullptr));
  EXPECT_STREQ(out, "absent.so");
}

TEST(Loader, LoadsASiblingAndReportsFailures) {
  std::string dir = std::string(KV_LIBRARY_PATH).substr(0, std::string(KV_LIBRARY_PATH).rfind('/'));
  CXError error;
  char path[TAILLE_CHEMIN] = {};
  {
    CProxyDll proxy;
    ASSERT_TRUE(proxy.bLoad("kv140std.so", &error, dir.c_str(), path)) << str(error.pszGetUserMessage());
    EXPECT_EQ(std::string(path), dir + "/kv140std.so");
    EXPECT_NE(proxy.pfnQueryProxy(), nullptr);
    EXPECT_NE(proxy.pfnDeclareProxy(), nullptr);
    EXPECT_NE(proxy.pfnCommandeComposante(), nullptr);
    EXPECT_EQ(proxy.pfnQueryProxyEx(), nullptr);
    EXPECT_FALSE(error.bIsError());
  }
  CProxyDll proxy;
  EXPECT_FALSE(proxy.bLoad("absent.so", &error, "/nonexistent", path));
  EXPECT_EQ(error.nGetUserErrorCode(), 80003u);
  EXPECT_NE(str(error.pszGetUserMessage()).find("/nonexistent/absent.so"), std::string::npos);
  EXPECT_NE(str(error.pszGetSystemErrorMessage()).find("absent.so"), std::string::npos) << "the loader's text";
  EXPECT_NE(str(error.pszGetDebugMessage()).find("KVSTD"), std::string::npos);
  // Without a directory: the libraries' directory, then the current one, each failure recorded.
  EXPECT_FALSE(proxy.bLoad("absent.so", &error, nullptr, path));
  EXPECT_EQ(error.nGetNbSubError(), 2);
}

TEST(LibraryNames, TableAndBuiltInList) {
  EXPECT_EQ(DLN_pstGetPtr(), nullptr);
  EXPECT_STRNE(DLN_pszGetName(0), "");
  EXPECT_STRNE(DLN_pszGetName(17), "");
  EXPECT_STREQ(DLN_pszGetName(18), "");
  DWORD a = 0, b = 0;
  EXPECT_FALSE(DLN_bGetErreur(&a, &b));
  _stNOMLIB entries[2] = {{"kvvm.so", "14.00Ab"}, {"kvpage.so", "13.00"}};
  _stTABLENOMLIB table{entries, 2, {0, 0}};
  ASSERT_TRUE(DLN_bInitTableNom(&table));
  EXPECT_STREQ(DLN_pszGetName(1), "kvpage.so");
  EXPECT_STREQ(DLN_pszGetName(2), "");
  EXPECT_TRUE(DLN_pszSetVersion(1, "14.00CpeTooLong"));
  EXPECT_STREQ(DLN_pszGetVersion(1), "14.00Cpe");
  EXPECT_TRUE(DLN_bSetErreur(7, 9));
  EXPECT_TRUE(DLN_bGetErreur(&a, &b));
  EXPECT_EQ(a, 7u);
  EXPECT_EQ(b, 9u);
  DLN_bInitTableNom(nullptr);
}

// A page library answering with a version and an acceptance.
class FakeGate final : public IPageGate {
public:
  FakeGate(const char* version, bool accept) : version_(version), accept_(accept) {}
  int nGetVersion() override { return 1; }
  int nGetCompatSince() override { return 1; }
  int nGetDllNum() override { return 31; }
  void StdVersion_EmptySlot_1() override {}
  void StdVersion_EmptySlot_2() override {}
  void StdVersion_EmptySlot_3() override {}
  int AddRef() override { return ++refs; }
  int Release() override { return --refs; }
  const char* pszGetVersion() override { return version_; }
  BOOL bAccepteModule(const char* module, const char* version, CXError*) override {
    askedModule = module;
    askedVersion = version;
    return accept_;
  }
  void SetLibShop(ILibShop* shop) override { given = shop; }
  IControlesPage* piGetControles() override { return nullptr; }
  int refs = 1;
  std::string askedModule, askedVersion;
  ILibShop* given = nullptr;

private:
  const char* version_;
  bool accept_;
};

class GateShop final : public ILibShop {
public:
  explicit GateShop(IPageGate* gate) : gate_(gate) {}
  void* piGetInterface(int kind, int library, const char* name, CXError*) override {
    ++asked;
    return kind == 19 && library == 31 && std::strcmp(name, "PageGate") == 0 ? gate_ : nullptr;
  }
  BOOL bVerifie(IVXLibrary*, int, int, int, const char*, CXError*) override { return 1; }
  HMODULE hGetModule(int, CXError*) override { return this; }
  BOOL bGetCheminLibrairie(int, char*, unsigned) override { return 0; }
  int asked = 0;

private:
  IPageGate* gate_;
};

TEST(PageGate, BindsOnceAndChecksTheVersion) {
  EXPECT_TRUE(bPlusAncien("9.00Aa", "14.00Cpe"));
  EXPECT_FALSE(bPlusAncien("14.00Cpe", "9.00Aa"));
  EXPECT_TRUE(bPlusAncien("9.00Aa", "9.00Ab"));
  EXPECT_FALSE(bPlusAncien("9.00Aa", "9.00Aa"));
  EXPECT_TRUE(bPlusAncien("8.99Zz", "9.00Aa"));

  FakeGate gate("14.00Cpe", true);
  GateShop shop(&gate);
  CXError error;
  ASSERT_TRUE(PAGE_bInit(&shop, &error));
  EXPECT_EQ(gate.askedModule, "kv140std.so");
  EXPECT_EQ(gate.askedVersion, "14.00Cpe");
  EXPECT_EQ(gate.given, &shop);
  EXPECT_TRUE(PAGE_bInit(&shop, &error)) << "counted";
  EXPECT_EQ(shop.asked, 1);
  PAGE_Term();
  EXPECT_EQ(PAGE_piGetGate(), &gate);
  PAGE_Term();
  EXPECT_EQ(PAGE_piGetGate(), nullptr);
  EXPECT_EQ(gate.refs, 0);

  FakeGate old("8.50Zz", true);
  GateShop oldShop(&old);
  EXPECT_FALSE(PAGE_bInit(&oldShop, &error));
  EXPECT_EQ(error.eGetErrorLevel(), 3u);
  EXPECT_EQ(error.nGetErrorId(0), 28567u);
  EXPECT_NE(str(error.pszGetUserMessage()).find("kv140page.so"), std::string::npos);
  EXPECT_NE(str(error.pszGetUserMessage()).find("8.50Zz"), std::string::npos);
  PAGE_Term();

  FakeGate refusing("14.00Cpe", false);
  GateShop refusingShop(&refusing);
  error.RAZ();
  EXPECT_FALSE(PAGE_bInit(&refusingShop, &error));
  EXPECT_EQ(error.nGetErrorId(0), 28117u);
  PAGE_Term();
}

}  // namespace
