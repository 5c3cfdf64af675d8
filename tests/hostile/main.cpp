// The hostile-argument test: every syntax with an entry point, read from the
// descriptor tables the way the stand-in VM reads them, is called with
// hostile values of each parameter's kind. Each function runs in a child
// process (this program again, with --function) in a private temporary
// directory, as "nobody" when started as root, with a time limit per call.
// The test fails on a sanitizer report, a signal, a hang, a leak, output
// from the library, a result that the checks refuse, or a numbered error
// that the function's help (kvrun --help NAME) does not list.
//
//   test_hostile --shard K/N        functions K, K+N, K+2N... of the table
//   test_hostile --only NAME        one function (French or English name)
//   test_hostile --function POS --dir DIR    the child: one function's cases
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Checks.h"
#include "Guard.h"
#include "Help.h"
#include "Host.h"
#include "Values.h"
#include "support/TestHost.h"

namespace {

using kvhost::Host;
using kvhost::Value;

constexpr int kProgressFd = 3;
// Silence allowed between two calls' progress lines (the sanitizer build
// is slow; no single call of the suite needs more than a few seconds).
constexpr int kCallSeconds = 60;
constexpr uid_t kNobody = 65534;
// Calls slower than this are listed (not failed) in the report.
constexpr long long kSlowCallMs = 1000;

// ---- the child ----------------------------------------------------------------------------------

void progress(const std::string& line) {
  std::string l = line;
  for (char& c : l) {
    if (c == '\n') c = ' ';
  }
  l += '\n';
  const char* p = l.data();
  std::size_t left = l.size();
  while (left > 0) {
    ssize_t n = write(kProgressFd, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void writeFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

int removeEntry(const char* p, const struct stat*, int, FTW*) { return std::remove(p); }

void removeTree(const std::string& path) { nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }

// Puts the fixtures back as each case expects them.
class Fixtures {
public:
  explicit Fixtures(std::string work) : work_(std::move(work)) {}

  // handles: also put the handle table back (2 open, 3 closed); only the
  // file functions open or close handles.
  void reset(Host& host, bool handles) {
    // A recursive delete of ".." may have taken the working directory.
    for (std::size_t slash = work_.find('/', 1); slash != std::string::npos; slash = work_.find('/', slash + 1))
      mkdir(work_.substr(0, slash).c_str(), 0755);
    mkdir(work_.c_str(), 0755);
    if (chdir(work_.c_str()) != 0) std::abort();
    setenv("HOME", work_.c_str(), 1);
    setenv("TMPDIR", (work_ + "/tmp").c_str(), 1);
    if (handles || first_) {
      // Closed from the top, so that the next opens take 2, then 3.
      for (int h = 8; h >= 2; --h) host.call("fFerme", {Value::integer32(h)});
    }
    for (const char* dir : {hostile::kDirectory, "tmp"}) {
      struct stat st {};
      if (lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 07777) == 0755) continue;
      if (lstat(dir, &st) == 0 && !S_ISDIR(st.st_mode)) std::remove(dir);
      mkdir(dir, 0755);
      chmod(dir, 0755);
    }
    static const std::string content = "ligne 1\r\nligne 2\r\n";
    for (const char* file : {hostile::kFile, hostile::kHandleFile, hostile::kClosedFile, "d/a.txt"}) {
      struct stat st {};
      if (lstat(file, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 07777) == 0644 &&
          st.st_size == static_cast<off_t>(content.size()) && !handles)
        continue;
      if (lstat(file, &st) == 0 && !S_ISREG(st.st_mode)) removeTree(file);
      chmod(file, 0644);
      writeFile(file, content);
    }
    if (handles || first_) {
      // Handle 2 open on h.txt, handle 3 opened on c.txt and closed.
      auto open = [&](const char* name) { return host.call("fOuvre", {Value::text(name)}).value.integer; };
      const auto a = open(hostile::kHandleFile), b = open(hostile::kClosedFile);
      if (a != hostile::kOpenHandle || b != hostile::kClosedHandle)
        progress("F the fixtures' handles are " + std::to_string(a) + " and " + std::to_string(b) + ", not 2 and 3");
      host.call("fFerme", {Value::integer32(hostile::kClosedHandle)});
    }
    first_ = false;
  }

private:
  std::string work_;
  bool first_ = true;
};

void dropPrivileges() {
  if (geteuid() != 0) return;
  if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
    progress("F cannot become nobody");
    _exit(3);
  }
  // Changing users makes the process undumpable, which stops the leak
  // checker from inspecting its own threads.
  prctl(PR_SET_DUMPABLE, 1);
}

int runChild(int position, const std::string& dir) {
  // Files stay small, programs few, and a write past the limit fails.
  fcntl(kProgressFd, F_SETFD, FD_CLOEXEC);
  signal(SIGXFSZ, SIG_IGN);
  rlimit files{64 << 20, 64 << 20};
  setrlimit(RLIMIT_FSIZE, &files);
  rlimit core{0, 0};
  setrlimit(RLIMIT_CORE, &core);
  dropPrivileges();
  const std::string work = dir + "/w/a/b";
  int failures = 0;
  {
    Host host(testOptions());
    host.vm().defineProcedure(hostile::kProcedure, [](const std::vector<Value>&) { return Value::boolean(true); });
    const kvhost::FunctionInfo& f = host.catalog().functions().at(static_cast<std::size_t>(position));
    Fixtures fixtures(work);
    const bool files = f.english[0] == 'f' || f.english.rfind("_zip", 0) == 0;
    const std::vector<DWORD> documented = kvrun::documentedErrors(f);
    int calls = 0;
    for (const auto& s : f.syntaxes) {
      if (s.entry == nullptr) continue;
      for (const auto& c : hostile::casesFor(s)) {
        const std::string what = f.english + " syntax " + std::to_string(s.index) + ", " + c.description;
        fixtures.reset(host, files);
        if (std::string why = hostile::refusal(f, s, c.args); !why.empty()) continue;
        progress("C " + what);
        ++calls;
        kvhost::CallResult r;
        const auto start = std::chrono::steady_clock::now();
        struct Timer {
          std::chrono::steady_clock::time_point start;
          const std::string& what;
          ~Timer() {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
            if (ms >= kSlowCallMs) progress("S " + std::to_string(ms) + " ms: " + what);
          }
        } timer{start, what};
        try {
          r = host.call(f, s, c.args);
        } catch (const kvhost::HostError& e) {
          // The VM refused to convert an argument (not a call), or an
          // exception left the library.
          if (std::strstr(e.what(), "exception left") != nullptr) {
            progress("F " + what + ": " + e.what());
            ++failures;
          }
          continue;
        }
        if (std::string why = hostile::checkResult(host, f, s, c.args, r); !why.empty()) {
          progress("F " + what + ": " + why);
          ++failures;
        }
        if (r.error.isError() && r.error.code != 0 &&
            std::find(documented.begin(), documented.end(), r.error.code) == documented.end()) {
          progress("F " + what + ": error " + std::to_string(r.error.code) + ", which its help does not list");
          ++failures;
        }
      }
    }
    progress("C stopping the library");
    progress("D " + std::to_string(calls) + " calls");
  }
  return failures == 0 ? 0 : 2;
}

// ---- the parent ---------------------------------------------------------------------------------

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

int chownEntry(const char* p, const struct stat*, int, FTW*) { return lchown(p, kNobody, kNobody); }

struct Outcome {
  bool ok = true;
  std::vector<std::string> problems;
  std::vector<std::string> slow;
  std::string calls;
};

Outcome runFunction(const std::string& self, const kvhost::FunctionInfo& f) {
  Outcome out;
  auto fail = [&](std::string why) {
    out.ok = false;
    out.problems.push_back(std::move(why));
  };
  char pattern[] = "/tmp/kvhostileXXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    fail("cannot make a private directory");
    return out;
  }
  const std::string dir = pattern;
  chmod(dir.c_str(), 0755);
  for (const char* sub : {"/w", "/w/a", "/w/a/b"}) mkdir((dir + sub).c_str(), 0755);
  if (geteuid() == 0) nftw(dir.c_str(), chownEntry, 16, FTW_PHYS);
  const std::string outPath = dir + "/stdout.txt", errPath = dir + "/stderr.txt";

  int fds[2];
  if (pipe(fds) != 0) {
    fail("no pipe");
    return out;
  }
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int w = fcntl(fds[1], F_DUPFD, 100);
    dup2(o, 1);
    dup2(e, 2);
    dup2(w, kProgressFd);
    for (int fd = kProgressFd + 1; fd < 1024; ++fd) close(fd);
    std::string position = std::to_string(f.position);
    execl(self.c_str(), self.c_str(), "--function", position.c_str(), "--dir", dir.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  setpgid(pid, pid);

  std::string last = "(starting)", pending;
  bool hung = false;
  for (;;) {
    pollfd p{fds[0], POLLIN, 0};
    int ready = poll(&p, 1, kCallSeconds * 1000);
    if (ready == 0) {
      hung = true;
      break;
    }
    if (ready < 0) continue;
    char buf[4096];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    pending.append(buf, static_cast<std::size_t>(n));
    for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1)) {
      std::string line = pending.substr(0, nl);
      if (line.rfind("C ", 0) == 0) last = line.substr(2);
      else if (line.rfind("F ", 0) == 0) fail(line.substr(2));
      else if (line.rfind("D ", 0) == 0) out.calls = line.substr(2);
      else if (line.rfind("S ", 0) == 0) out.slow.push_back(line.substr(2));
    }
  }
  close(fds[0]);
  if (hung) {
    fail("no answer within " + std::to_string(kCallSeconds) + " s: " + last);
    kill(-pid, SIGKILL);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  kill(-pid, SIGKILL);  // the child's group: programs it may have started
  if (!hung) {
    if (WIFSIGNALED(status)) fail("signal " + std::to_string(WTERMSIG(status)) + " during: " + last);
    else if (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 2)
      fail("exit status " + std::to_string(WEXITSTATUS(status)) + " during: " + last);
  }
  std::string err = readFile(errPath);
  if (!err.empty()) fail("error output (during: " + last + "):\n" + err.substr(0, 6000));
  if (std::string o = readFile(outPath); !o.empty()) fail("output on stdout: " + o.substr(0, 200));
  removeTree(dir);
  return out;
}

int runParent(const std::string& self, const std::string& only, int shard, int shards) {
  std::vector<kvhost::FunctionInfo> functions;
  {
    Host host(testOptions());
    if (!only.empty()) {
      const kvhost::FunctionInfo* f = host.catalog().findFunction(only);
      if (f == nullptr) {
        std::fprintf(stderr, "unknown function %s\n", only.c_str());
        return 1;
      }
      functions.push_back(*f);
    } else {
      int index = 0;
      for (const auto& f : host.catalog().functions()) {
        if (!f.available()) continue;
        if (index++ % shards == shard) functions.push_back(f);
      }
    }
  }
  int failed = 0;
  for (const auto& f : functions) {
    auto start = std::chrono::steady_clock::now();
    Outcome o = runFunction(self, f);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-6s %s (%s): %s, %lld ms\n", o.ok ? "ok" : "FAIL", f.english.c_str(), f.french.c_str(),
                o.calls.empty() ? "?" : o.calls.c_str(), static_cast<long long>(ms));
    for (const auto& p : o.problems) std::printf("    %s\n", p.c_str());
    for (const auto& p : o.slow) std::printf("    slow: %s\n", p.c_str());
    std::fflush(stdout);
    failed += o.ok ? 0 : 1;
  }
  std::printf("%zu functions, %d failed\n", functions.size(), failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  self[n] = '\0';
  std::string only, dir;
  int shard = 0, shards = 1, position = -1;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--shard") std::sscanf(argv[i + 1], "%d/%d", &shard, &shards);
    else if (a == "--only") only = argv[i + 1];
    else if (a == "--function") position = std::atoi(argv[i + 1]);
    else if (a == "--dir") dir = argv[i + 1];
  }
  if (position >= 0) return runChild(position, dir);
  if (shards < 1 || shard < 0 || shard >= shards) return 1;
  return runParent(self, only, shard, shards);
}
