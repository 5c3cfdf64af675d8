// Programs and system information through the stand-in VM: launches and
// their wait modes, executable information, process identifiers, memory,
// the system's name and the environment.
#include <cstring>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Host.h"
#include "files/TempDir.h"
#include "support/HostTest.h"

namespace {

using kvhost::Value;

class System : public HostTest {};

TEST_F(System, LaunchesAndWaitModes) {
  EXPECT_EQ(call("LanceAppli", {T("/bin/sh -c \"exit 1\""), I(1), I(2)}).integer, 1) << "exeValeurRetour: its exit code";
  EXPECT_FALSE(last.isError());
  EXPECT_EQ(call("ExeRun", {T("  /bin/sh -c \"exit 7\""), I(1), I(2)}).integer, 7) << "leading spaces go";
  EXPECT_EQ(call("LanceAppli", {T("/bin/true")}).integer, 1);
  EXPECT_EQ(call("LanceAppli", {T("/no/such/program arg"), I(1), I(2)}).integer, 0);
  EXPECT_EQ(last.code, 80400u);
  EXPECT_NE(last.message.find("arg"), std::string::npos) << last.message;
  EXPECT_NE(last.systemCode, 0u);
  EXPECT_EQ(call("LanceAppli", {T("sh -c true")}).integer, 0) << "the PATH is not searched";
  // A quoted program path with spaces.
  char dir[] = "/tmp/kv prog XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string prog = std::string(dir) + "/my prog";
  std::ofstream(prog) << "#!/bin/sh\nexit 3\n";
  chmod(prog.c_str(), 0755);
  EXPECT_EQ(call("LanceAppli", {T("\"" + prog + "\" a \"b c\""), I(1), I(2)}).integer, 3);
  std::remove(prog.c_str());
  rmdir(dir);
  // A program still running after a second: launched, not waited for.
  auto pid = call("LanceAppli", {T("/bin/sleep 30"), I(1), I(3)}).integer;
  ASSERT_GT(pid, 0);
  EXPECT_EQ(kill(static_cast<pid_t>(pid), 0), 0) << "still running";
  kill(static_cast<pid_t>(pid), SIGKILL);
  EXPECT_EQ(call("LanceAppli", {T("/bin/sleep 2"), I(1), I(1)}).integer, 1) << "exeBloquant waits for the end";
  // DDELance launches the same way and answers whether the launch worked.
  EXPECT_TRUE(call("DDELance", {T("/bin/true")}).integer);
  EXPECT_TRUE(call("DDELance", {T("/bin/sh -c \"exit 4\""), I(1), Value::boolean(true)}).integer);
  EXPECT_FALSE(call("DDELance", {T("/no/such/program")}).integer);
  EXPECT_EQ(last.code, 80400u);
}

// A child launched without waiting that ends during a waiting launch is
// reaped by the library when the launch ends (no zombie); a child of the
// program itself that ends meanwhile is left to the program.
TEST_F(System, NoZombieAfterMixedLaunches) {
  const pid_t own = fork();
  ASSERT_GE(own, 0);
  if (own == 0) {
    usleep(300000);
    _exit(5);
  }
  const auto first = static_cast<pid_t>(call("LanceAppli", {T("/bin/sh -c \"sleep 1.3\""), I(1), I(3)}).integer);
  ASSERT_GT(first, 0) << "exePID: running after a second, its identifier";
  EXPECT_EQ(call("LanceAppli", {T("/bin/sleep 1"), I(1), I(1)}).integer, 1);
  int status = 0;
  errno = 0;
  EXPECT_EQ(waitpid(first, &status, WNOHANG), -1) << "still a zombie";
  EXPECT_EQ(errno, ECHILD);
  EXPECT_EQ(waitpid(own, &status, WNOHANG), own) << "the program's own child was taken";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 5);
}

TEST_F(System, ExecutableInformation) {
  EXPECT_EQ(call("ExeInfo", {T("REPERTOIRE"), T("/usr/bin/prog")}).bytes, "/usr/bin");
  EXPECT_EQ(call("ExeInfo", {T("R\xE9pertoire"), T("prog")}).bytes, "");
  EXPECT_EQ(call("ExeInfo", {T("Nom"), T("/usr/bin/prog")}).bytes, "/usr/bin/prog");
  EXPECT_EQ(call("ExeInfo", {T("MODE"), T("/bin/sh")}).bytes, "") << "an ELF file";
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  EXPECT_EQ(call("ExeInfo", {T("NAME")}).bytes, std::string(self, static_cast<std::size_t>(n)));
  EXPECT_EQ(call("ExeInfo", {T("VERSION"), T("/bin/sh")}).bytes, "");
  // Windows executables by their headers.
  TempDir dir;
  auto kind = [&](int reloc, const char* sig, int magic) {
    std::string path = dir / "fake.exe";
    std::string bytes(512, '\0');
    bytes[0] = 'M', bytes[1] = 'Z';
    bytes[24] = static_cast<char>(reloc);
    bytes[60] = static_cast<char>(128);
    std::memcpy(&bytes[128], sig, 2);
    bytes[128 + 24] = static_cast<char>(magic & 0xFF);
    bytes[128 + 25] = static_cast<char>(magic >> 8);
    std::ofstream(path, std::ios::binary) << bytes;
    return call("ExeInfo", {T("MODE"), T(path)}).bytes;
  };
  EXPECT_EQ(kind(64, "PE", 0x10B), "32");
  EXPECT_EQ(kind(64, "PE", 0x20B), "64");
  EXPECT_EQ(kind(64, "NE", 0), "16");
  EXPECT_EQ(kind(30, "PE", 0), "DOS");
}

TEST_F(System, IdentifiersMemoryAndSystem) {
  EXPECT_EQ(call("ExeDonnePID").integer, getpid());
  EXPECT_EQ(call("ExeGetPID", {I(6)}).integer, getppid());
  EXPECT_EQ(call("ExeDonnePID", {I(5)}).integer, 0);
  EXPECT_EQ(last.code, 80110u);
  auto total = call("SysEspace").integer, free = call("SysSpace", {I(1)}).integer;
  EXPECT_GT(total, 0);
  EXPECT_GT(free, 0);
  EXPECT_LE(free, total);
  call("SysEspace", {I(9)});
  EXPECT_EQ(last.code, 80145u);
  EXPECT_EQ(call("SysVersionWindows").bytes, "LINUX");
  EXPECT_EQ(call("SysWindowsVersion", {I(3)}).bytes, "UNIX");
  EXPECT_EQ(call("SysVersionWindows", {I(1)}).bytes, "");
  call("SysVersionWindows", {I(9)});
  EXPECT_EQ(last.code, 80144u);
  EXPECT_EQ(call("VersionWindows").bytes, "32");
}

TEST_F(System, Environment) {
  EXPECT_EQ(call("SysChangeEnvironnement", {T("KV_TEST_VAR"), T("abc")}).integer, 1);
  ASSERT_NE(std::getenv("KV_TEST_VAR"), nullptr);
  EXPECT_STREQ(std::getenv("KV_TEST_VAR"), "abc");
  EXPECT_EQ(call("SysChangeEnvironment", {T("KV_TEST_VAR"), I(12), I(0)}).integer, 1);
  EXPECT_STREQ(std::getenv("KV_TEST_VAR"), "12");
  // A launched program sees the environment as it stands at the launch.
  EXPECT_EQ(call("LanceAppli", {T("/bin/sh -c \"exit $KV_TEST_VAR\""), I(1), I(2)}).integer, 12);
  EXPECT_EQ(call("SysChangeEnvironnement", {T("KV_TEST_VAR"), Value::none()}).integer, 1);
  EXPECT_EQ(std::getenv("KV_TEST_VAR"), nullptr) << "nothing removes it";
  EXPECT_EQ(call("LanceAppli", {T("/bin/sh -c \"exit ${KV_TEST_VAR+7}\""), I(1), I(2)}).integer, 0)
      << "the removed variable is not passed";
  EXPECT_EQ(call("SysChangeEnvironnement", {T("A=B"), T("x")}).integer, 0);
  EXPECT_EQ(last.code, 80151u);
}

}  // namespace
