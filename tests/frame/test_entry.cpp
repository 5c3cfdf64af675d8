// The library's entry functions and the component base as the VM meets
// them: queries, proxies, texts, language, the child reaper, and the
// redirect of obsolete functions.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "Host.h"
#include "abi/Appel.h"
#include "abi/InterfacesVM.h"
#include "core/XError.h"
#include "support/TestHost.h"

namespace {

class Entry : public ::testing::Test {
protected:
  kvhost::Host host{testOptions()};
  IVXLibrary* c() { return host.component(); }
  unsigned long info(unsigned code, unsigned long index = 0) { return host.library().InfoComposante(code, index); }
};

TEST_F(Entry, InfoComposanteAnswers) {
  EXPECT_EQ(info(0), 6u);
  EXPECT_EQ(info(1), 8u);
  EXPECT_EQ(info(2), 589u);
  EXPECT_EQ(info(3), 1u);
  EXPECT_EQ(info(5), 0u);
  EXPECT_EQ(info(13), 0u);
  EXPECT_EQ(info(35), 0u);
  EXPECT_EQ(info(99), 0u);
  for (unsigned long i : {0ul, 1ul}) {
    auto* help = reinterpret_cast<const char*>(info(4, i));
    ASSERT_NE(help, nullptr);
    EXPECT_STREQ(help, "");
  }
  // The virtual operation answers as the exported function.
  for (unsigned code : {0u, 1u, 23u, 24u, 33u, 34u, 7u}) EXPECT_EQ(c()->InfoComposante(code, 0), info(code));
}

TEST_F(Entry, VersionsAndIdentity) {
  EXPECT_EQ(c()->nGetVersion(), 6);
  EXPECT_EQ(c()->nGetCompatSince(), 2);
  EXPECT_EQ(c()->nGetDllNum(), 8);
  EXPECT_EQ(c()->nGetLibraryId(), 8);
  EXPECT_EQ(c()->nGetVersionVX(), 589);
  EXPECT_EQ(c()->nGetVersionVXCompat(), 1);
  EXPECT_EQ(c()->dwActionGenerique(1, 2), 0u);
  EXPECT_STREQ(c()->pzGetHelpFile(), "");
}

TEST_F(Entry, ProxiesOnlyForKnownNumbers) {
  auto* pQueryProxy = reinterpret_cast<void* (*)(int)>(host.library().symbol("pQueryProxy"));
  EXPECT_EQ(pQueryProxy(59), nullptr);
  EXPECT_EQ(pQueryProxy(0), nullptr);
  auto* other = static_cast<IVXLibrary*>(pQueryProxy(60));
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other, c());
  EXPECT_EQ(other->nGetLibraryId(), 8);
  EXPECT_EQ(other->Release(), 0);
}

TEST_F(Entry, SummaryIsCutAndTerminated) {
  char buf[5];
  std::memset(buf, 'x', sizeof buf);
  c()->GetResume(buf, sizeof buf);
  EXPECT_STREQ(buf, "Fonc");
  char full[64];
  c()->GetResume(full, sizeof full);
  EXPECT_STREQ(full, "Fonctions standard");
  c()->GetDescription(full, sizeof full);
  EXPECT_STREQ(full, "");
  c()->GetResume(buf, 0);  // no room: nothing written, no crash
  EXPECT_EQ(buf[0], 'F');
}

TEST_F(Entry, LanguageSwitchesTextsAndKeepsTheFileName) {
  char buf[64];
  EXPECT_EQ(c()->SetLanguage(1, nullptr), 1);
  c()->GetResume(buf, sizeof buf);
  EXPECT_STREQ(buf, "Standard functions");
  // A file name is stored; the language does not change.
  EXPECT_EQ(c()->SetLanguage(0, "/tmp/Fr\xE9nch.kvm"), 1);
  c()->GetResume(buf, sizeof buf);
  EXPECT_STREQ(buf, "Standard functions");
  EXPECT_EQ(c()->SetLanguage(0, nullptr), 1);
  c()->GetResume(buf, sizeof buf);
  EXPECT_STREQ(buf, "Fonctions standard");
}

TEST_F(Entry, ObsoleteTablesAreEmpty) {
  void* tables[3] = {&tables, &tables, &tables};
  int counts[3] = {7, 7, 7};
  c()->GetExportTable_OBSOLETE(&tables[0], &counts[0], &tables[1], &counts[1], &tables[2], &counts[2]);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(tables[i], nullptr);
    EXPECT_EQ(counts[i], 0);
  }
  c()->GetPropertyTable_OBSOLETE(&tables[0], &counts[0], &tables[1], &counts[1]);
  EXPECT_EQ(tables[0], nullptr);
  EXPECT_EQ(counts[1], 0);
}

TEST_F(Entry, CallContextIsInstalledAndRestored) {
  STVXAppel a{}, b{};
  EXPECT_EQ(c()->ChangeContexteAppel(&a), nullptr);
  EXPECT_EQ(c()->ChangeContexteAppel(&b), &a);
  EXPECT_EQ(c()->ChangeContexteAppel(nullptr), &b);
  // Variables without storage answer null; the context is restored after.
  STVXAppel v{&host.vm(), 8, 38, nullptr, 0};
  EXPECT_EQ(c()->pRecupereAdresseVariable(&v), nullptr);
  EXPECT_EQ(c()->ChangeContexteAppel(nullptr), nullptr);
  EXPECT_TRUE(c()->bSignaleEcritureVariable(&v));
}

// Obsolete archive functions hand the call to library 42.
TEST_F(Entry, ZipFunctionsRedirectToTheArchiveLibrary) {
  auto entry = reinterpret_cast<PFVXLENTREE>(host.library().symbol("VXL__zipOuvre_old_0"));
  ASSERT_NE(entry, nullptr);
  STVXAppel context{&host.vm(), 8, 124, nullptr, 2};
  STVXAppel* previous = c()->ChangeContexteAppel(&context);
  EXPECT_EQ(entry(&context, reinterpret_cast<CComposanteStandard*>(c()), nullptr), 1);
  c()->ChangeContexteAppel(previous);
  EXPECT_EQ(context.nLibrairie, 42u);
  EXPECT_EQ(context.nFonction, 20u);
  EXPECT_EQ(c()->pclGetError()->eGetErrorLevel(), 0x40000010u);

  // Through the VM, by both names and several syntaxes.
  struct Case {
    const char* name;
    std::vector<kvhost::Value> args;
    int function;
  };
  using kvhost::Value;
  const Case cases[] = {
      {"_zipOuvre_old", {Value::text("a.zip"), Value::text("")}, 20},
      {"_zipOpen_old", {Value::text("a.zip"), Value::text(""), Value::integer32(1)}, 20},
      {"_zipAjouteFichier_old", {Value::text("a.zip"), Value::text("f")}, 0},
      {"_zipTailleFichier_old", {Value::text("a.zip"), Value::integer32(3), Value::boolean(true)}, 26},
      {"_zipCr\xE9" "eExe_old", {Value::text("a"), Value::text("b"), Value::integer32(0), Value::text("c"), Value::text("d"), Value::text("e")}, 6},
      {"_zipCreeExe_old", {Value::text("a"), Value::text("b")}, 6},
      {"_ZIPSUPPRIMELISTEFICHIER_OLD", {Value::text("a.zip"), Value::text("list")}, 23},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    auto r = host.call(k.name, k.args);
    EXPECT_EQ(r.returnCode, 1);
    ASSERT_TRUE(r.redirect.has_value());
    EXPECT_EQ(r.redirect->first, 42);
    EXPECT_EQ(r.redirect->second, k.function);
    EXPECT_EQ(r.error.level, 0x40000010u);
    EXPECT_FALSE(r.value.type != 0) << "a redirect hands back no value";
  }
}

bool isZombie(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  auto close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

// Two launched children that ran on and ended together are both reaped by
// one SIGCHLD; a child of the program itself is left for the program.
TEST_F(Entry, ChildHandlerReapsTheLaunchesNobodyWaitsFor) {
  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGCHLD);
  ASSERT_EQ(sigprocmask(SIG_BLOCK, &block, &old), 0);
  pid_t launched[2];
  // exePID: still running after the launch's first second, its identifier.
  // The first sleeps longer: both end after the second launch returned.
  const char* const commands[2] = {"/bin/sleep 3", "/bin/sleep 2"};
  for (int i = 0; i < 2; ++i) {
    launched[i] = static_cast<pid_t>(
        host.call("LanceAppli", {kvhost::Value::text(commands[i]), kvhost::Value::integer32(1), kvhost::Value::integer32(3)})
            .value.integer);
    ASSERT_GT(launched[i], 0);
  }
  const pid_t own = fork();
  if (own == 0) _exit(3);
  ASSERT_GT(own, 0);
  for (pid_t pid : {launched[0], launched[1], own}) {
    for (int i = 0; i < 1000 && !isZombie(pid); ++i) usleep(10000);
    ASSERT_TRUE(isZombie(pid)) << pid;
  }
  // The pending signal (only one: ordinary signals do not queue) is delivered now.
  ASSERT_EQ(sigprocmask(SIG_SETMASK, &old, nullptr), 0);
  for (pid_t pid : launched) {
    errno = 0;
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "child " << pid << " was not reaped";
  }
  int status = 0;
  EXPECT_EQ(waitpid(own, &status, WNOHANG), own) << "the program's own child was taken";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
}

TEST(EntryAlarm, AlarmInterruptsABlockingCall) {
  kvhost::Host host{testOptions()};
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  alarm(1);
  char c;
  errno = 0;
  EXPECT_EQ(read(fds[0], &c, 1), -1);  // would block forever without the handler
  EXPECT_EQ(errno, EINTR);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
