// Services as init scripts: script names, the distribution's detection,
// a script's actions (never through a shell), its description, the
// directory's enumeration; then the language functions end to end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <string>

#include "files/TempDir.h"
#include "support/HostTest.h"
#include "system/Services.h"

namespace {

// A script that keeps its state in a file beside its directory and writes
// the arguments of its start action, one per line.
constexpr const char* kScript =
    "#!/bin/sh\n"
    "# Name=\"Service d'essai\" is its display name\n"
    "# Program=\"/usr/sbin/essai\"\n"
    "state=\"$(dirname \"$0\")/../$(basename \"$0\").state\"\n"
    "case \"$1\" in\n"
    "  start) shift; printf '%s\\n' \"$@\" > \"$state.args\"; touch \"$state\" ;;\n"
    "  stop) rm -f \"$state\" ;;\n"
    "  status) [ -f \"$state\" ] && exit 0; exit 3 ;;\n"
    "  reload) exit 0 ;;\n"
    "  *) exit 2 ;;\n"
    "esac\n";

void writeScript(const std::string& path, const std::string& text) {
  TempDir::write(path, text);
  chmod(path.c_str(), 0755);
}

TEST(Services, ScriptNames) {
  EXPECT_EQ(SRV_sNomScript("mon service.v2"), "mon_service-v2");
  EXPECT_EQ(SRV_sNomScript("a\tb/c"), "a__b-c");
  EXPECT_EQ(SRV_sNomScript("../etc"), "---etc");
}

TEST(Services, DistributionDetection) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> files;
    eDISTRIBUTION expected;
  } cases[] = {
      {{}, DISTRI_DEBIAN},
      {{{"/etc/debian_version", "12"}, {"/etc/fedora-release", ""}}, DISTRI_DEBIAN},
      {{{"/etc/mandriva-release", ""}}, DISTRI_MANDRAKE},
      {{{"/sbin/SuSEconfig", ""}}, DISTRI_SUSE},
      {{{"/etc/gentoo-release", ""}}, DISTRI_GENTOO},
      {{{"/etc/fedora-release", ""}, {"/etc/slackware-version", ""}}, DISTRI_FEDORA},
      {{{"/etc/slackware-version", ""}}, DISTRI_SLACKWARE},
      {{{"/etc/redhat-release", "Fedora Core release 4"}}, DISTRI_FEDORA},
      {{{"/etc/redhat-release", "Red Hat Enterprise Linux"}}, DISTRI_REDHAT},
      {{{"/etc/version", "Mandrake Linux"}}, DISTRI_MANDRAKE},
      {{{"/etc/version", "something else"}, {"/etc/init.d/function", ""}}, DISTRI_REDHAT},
  };
  for (const auto& c : cases) {
    TempDir root;
    for (const char* d : {"/etc", "/sbin", "/etc/init.d"}) mkdir((root.path() + d).c_str(), 0755);
    for (const auto& [file, text] : c.files) TempDir::write(root.path() + file, text);
    EXPECT_EQ(CServiceManager::eDetecteDistribution(root.path().c_str()), c.expected)
        << (c.files.empty() ? "(none)" : c.files[0].first);
  }
}

class ScriptDirectory : public ::testing::Test {
protected:
  TempDir dir;
  std::string scripts = dir / "init.d/";
  std::unique_ptr<CServiceManager> manager;
  void SetUp() override {
    mkdir(scripts.c_str(), 0755);
    manager = std::make_unique<CServiceManager>(scripts.c_str());
    ASSERT_TRUE(manager->bInit(nullptr, 0));
  }
  std::unique_ptr<CService> service(const char* name) {
    return std::unique_ptr<CService>(manager->pclGetService(name, 0));
  }
};

TEST_F(ScriptDirectory, ActionsRunTheScriptWithoutAShell) {
  writeScript(scripts + "essai_1-0", kScript);
  auto s = service("essai 1.0");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(service("absent"), nullptr);
  EXPECT_EQ(s->eGetStatus(), 1);
  ASSERT_TRUE(s->bStart("plain \"two words\" ;touch$IFS/tmp/kv_pwned `id` $(id)"));
  EXPECT_EQ(s->eGetStatus(), 4);
  EXPECT_EQ(TempDir::read(dir / "essai_1-0.state.args"),
            "plain\ntwo words\n;touch$IFS/tmp/kv_pwned\n`id`\n$(id)\n");
  EXPECT_FALSE(TempDir::exists("/tmp/kv_pwned"));
  EXPECT_FALSE(s->bSendControlCommand(2)) << "pause";
  EXPECT_FALSE(s->bSendControlCommand(3)) << "continue";
  EXPECT_TRUE(s->bSendControlCommand(6)) << "reload";
  EXPECT_TRUE(s->bSendControlCommand(1)) << "stop";
  EXPECT_EQ(s->eGetStatus(), 1);
  EXPECT_STREQ(s->pszGetDisplayName(), "Service d'essai");
  EXPECT_STREQ(s->pszBinaryPathName(), "/usr/sbin/essai");
  EXPECT_EQ(s->nGetServiceType(), 16);
  EXPECT_STREQ(s->pszGetStartName(), "root");

  writeScript(scripts + "status1", "#!/bin/sh\nexit 1\n");
  EXPECT_EQ(service("status1")->eGetStatus(), 8);
  EXPECT_STREQ(service("status1")->pszGetDisplayName(), "status1") << "no Name= line";
  EXPECT_EQ(service("status1")->pszBinaryPathName(), nullptr);
}

TEST_F(ScriptDirectory, EnumerationAndRemoval) {
  for (const char* n : {"alpha", "alpine", "beta"}) writeScript(scripts + n, kScript);
  auto names = [&](const char* prefix) {
    std::set<std::string> v;
    void* h = nullptr;
    while (CService* p = manager->pclEnumService(&h, prefix, 0)) {
      v.insert(p->pszGetNomScript());
      delete p;
    }
    EXPECT_EQ(h, nullptr) << "the end closes the enumeration";
    return v;
  };
  EXPECT_EQ(names(""), (std::set<std::string>{"alpha", "alpine", "beta"}));
  EXPECT_EQ(names("alp"), (std::set<std::string>{"alpha", "alpine"}));
  void* h = nullptr;
  delete manager->pclEnumService(&h, "", 0);
  manager->AbortEnumService(&h);
  EXPECT_EQ(h, nullptr);

  const int before = CServiceManager::ms_eDistri;
  CServiceManager::ms_eDistri = DISTRI_GENTOO;  // rc-update is absent here: only the script goes
  EXPECT_TRUE(service("beta")->bRemove());
  CServiceManager::ms_eDistri = before;
  EXPECT_FALSE(TempDir::exists(scripts + "beta"));
}

// The language functions on a script of the real scripts directory, which
// needs root; the functions that need no script run everywhere.
class ServiceFunctions : public HostTest {};

TEST_F(ServiceFunctions, WithoutAScript) {
  EXPECT_EQ(call("ServiceEtat", {T("kv no such service")}).integer, -1);
  EXPECT_EQ(last.code, 81601u);
  EXPECT_NE(last.message.find("kv no such service"), std::string::npos);
  EXPECT_FALSE(call("ServiceD\xE9marre", {T("kv no such service")}).integer);
  EXPECT_EQ(last.code, 81601u);
  for (const char* f : {"ServiceInstalle", "ServiceModifie", "ServiceInfo"}) {
    EXPECT_FALSE(call(f, {T("x")}).integer) << f;
    EXPECT_FALSE(last.isError()) << f << " leaves the error alone";
  }
}

TEST_F(ServiceFunctions, EndToEnd) {
  if (geteuid() != 0 || access("/etc/init.d", W_OK) != 0) GTEST_SKIP() << "needs a writable /etc/init.d";
  const std::string name = "kvtest" + std::to_string(getpid());
  const std::string script = "/etc/init.d/" + name;
  writeScript(script, kScript);
  struct Cleanup {
    std::string s;
    ~Cleanup() {
      std::remove(s.c_str());
      std::remove(("/etc/" + s.substr(s.rfind('/') + 1) + ".state").c_str());
      std::remove(("/etc/" + s.substr(s.rfind('/') + 1) + ".state.args").c_str());
    }
  } cleanup{script};

  EXPECT_EQ(call("ServiceEtat", {T(name)}).integer, 1);
  EXPECT_EQ(call("ServiceAttendEtat", {T(name), I(4), I(1)}).integer, -1) << "one poll, still stopped";
  EXPECT_TRUE(call("ServiceD\xE9marre", {T(name), T("x y")}).integer);
  EXPECT_EQ(call("ServiceAttendEtat", {T(name), I(4)}).integer, 4);
  EXPECT_FALSE(call("ServicePause", {T(name)}).integer);
  EXPECT_EQ(last.code, 81602u);
  EXPECT_TRUE(call("ServiceActualise", {T(name)}).integer);
  EXPECT_TRUE(call("ServiceRed\xE9marre", {T(name)}).integer);
  EXPECT_EQ(call("ServiceEtat", {T(name)}).integer, 4);
  const std::string list = call("ServiceListe").bytes;
  EXPECT_NE(list.find(name + "\tService d'essai"), std::string::npos) << list;
  EXPECT_EQ(list.find(".\t"), std::string::npos) << "no . or .. entries";
  EXPECT_TRUE(call("ServiceArr\xEAte", {T(name)}).integer);
  EXPECT_EQ(call("ServiceEtat", {T(name)}).integer, 1);
  EXPECT_TRUE(call("ServiceD\xE9sinstalle", {T(name)}).integer) << last.message;
  EXPECT_FALSE(TempDir::exists(script));
}

}  // namespace
