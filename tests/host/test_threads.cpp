// Several VM threads at once: one component per thread on one loaded
// library, each thread working on its own files, lists and directories.
// Every thread's transcript of results must equal the one the same work
// gives when it runs alone. KV_STRESS_ITERATIONS and KV_STRESS_SECONDS make
// the run longer (./kv stress).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Host.h"
#include "Runtime.h"
#include "files/TempDir.h"
#include "support/TestHost.h"

namespace {

using kvhost::Host;
using kvhost::Runtime;
using kvhost::Value;

Value T(const std::string& s) { return Value::text(s); }
Value I(int n) { return Value::integer32(n); }

int envInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::atoi(v) : fallback;
}

// The results of one thread's work, as text; nothing in it names the thread.
class Travail {
public:
  Travail(Host& host, const std::string& dir, int thread) : host_(host), dir_(dir), thread_(thread) {}

  void prepare() {
    mkdir(dir_.c_str(), 0777);
    mkdir((dir_ + "/r").c_str(), 0777);
    for (const char* n : {"a.txt", "b.txt", "c.txt", "d.dat"}) TempDir::write(dir_ + "/r/" + n, n);
  }

  void iteration(int i) {
    files(i);
    lists(i);
    search();
    datesAndFormats(i);
    codecs(i);
    errors();
  }

  const std::vector<std::string>& transcript() const { return out_; }

private:
  Value call(const char* name, std::vector<Value> args) {
    auto r = host_.call(name, args);
    if (r.error.isError()) out_.push_back(std::string(name) + " error " + std::to_string(r.error.code) + " " + r.error.message);
    return r.value;
  }
  void note(const std::string& what, const Value& v) {
    out_.push_back(what + "=" + (v.type == VXT_REEL ? std::to_string(v.real) : v.isInteger() ? std::to_string(v.integer) : v.bytes));
  }

  void files(int i) {
    std::string f = dir_ + "/f.txt";
    int h = static_cast<int>(call("fCree", {T(f)}).integer);
    note("opened", Value::boolean(h >= 2));
    note("w1", call("fEcritLigne", {I(h), T("ligne " + std::to_string(i))}));
    note("w2", call("fEcrit", {I(h), T("sans fin"), I(-1)}));
    note("close", call("fFerme", {I(h)}));
    h = static_cast<int>(call("fOuvre", {T(f), I(1)}).integer);
    for (int n = 0; n < 4; ++n) {
      Value line = call("fLitLigne", {I(h)});
      note("line", line);
      if (line.bytes == "\x04") break;
    }
    note("name", Value::boolean(call("fNomFichier", {I(h)}).bytes == f));
    note("close", call("fFerme", {I(h)}));
  }

  void lists(int i) {
    std::string l = "L" + std::to_string(thread_);
    note("create", call("MemCree", {T(l)}));
    for (int k = 0; k < 5; ++k)
      call("MemAjoute", {T(l), T("k" + std::to_string((k * 7 + i) % 5)), T("v" + std::to_string(k + i))});
    note("count", call("MemOccurrence", {T(l)}));
    note("first", call("MemPremier", {T(l)}));
    note("next", call("MemSuivant", {T(l)}));
    note("seek", call("MemRecherche", {T(l), T("k3")}));
    note("found", call("MemTrouve", {T(l)}));
    note("sort", call("MemTri", {T(l), Value::boolean(false)}));
    note("sorted first", call("MemPremier", {T(l)}));
    note("key", call("MemValCle", {T(l)}));
    // The current list of this component, by no name.
    note("current count", call("MemOccurrence", {}));
    note("delete", call("MemSupprime", {T(l)}));
    note("exists", call("MemExiste", {T(l)}));
  }

  void search() {
    std::vector<std::string> names;
    std::string n = call("fRep", {T(dir_ + "/r/*.txt")}).bytes;
    while (!n.empty() && names.size() < 10) {
      names.push_back(n);
      n = call("fRep", {T("")}).bytes;
    }
    std::sort(names.begin(), names.end());
    std::string all;
    for (auto& s : names) all += s + ",";
    out_.push_back("dir=" + all);
  }

  void datesAndFormats(int i) {
    std::string date = "202403" + std::to_string(10 + i % 19);
    Value n = call("DateVersEntier", {T(date)});
    note("day", n);
    note("date", call("EntierVersDate", {I(static_cast<int>(n.integer) + i)}));
    note("valid", call("DateValide", {T("2023022" + std::to_string(8 + i % 2))}));
    note("num", call("NumeriqueVersChaine", {Value::realValue(i * 1.25), T("%.3f")}));
    note("phon", call("Phonetique", {T("Pharmacie" + std::to_string(i % 3))}));
  }

  void codecs(int i) {
    std::string text = "texte " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 50), 'x') + " fin";
    Value c = call("Compresse", {Value::buffer(text)});
    note("round", Value::boolean(call("Decompresse", {Value::buffer(c.bytes)}).bytes == text));
    note("crc", call("sCalculeCrc32", {Value::buffer(text)}));
    Value k = call("Crypte", {T(text), T("cle"), I(0x10002)});
    note("crypt", Value::boolean(call("Decrypte", {T(k.bytes), T("cle"), I(0x10002)}).bytes == text));
  }

  void errors() {
    note("bad close", call("fFerme", {I(9999)}));
    note("absent", call("MemOccurrence", {T("absent" + std::to_string(thread_))}));
    note("bad kind", call("fRep", {T(dir_ + "/r/*"), I(12345)}));
  }

  Host& host_;
  std::string dir_;
  int thread_;
  std::vector<std::string> out_;
};

// The first difference between two transcripts, or empty.
std::string difference(const std::vector<std::string>& expected, const std::vector<std::string>& got) {
  for (std::size_t i = 0; i < std::max(expected.size(), got.size()); ++i) {
    std::string e = i < expected.size() ? expected[i] : "(end)";
    std::string g = i < got.size() ? got[i] : "(end)";
    if (e != g) return "entry " + std::to_string(i) + ": expected [" + e + "] got [" + g + "]";
  }
  return {};
}

class Threads : public ::testing::TestWithParam<int> {};

TEST_P(Threads, EachThreadAsAlone) {
  const int threads = GetParam();
  const int iterations = envInt("KV_STRESS_ITERATIONS", 150);
  const int seconds = envInt("KV_STRESS_SECONDS", 0);
  TempDir tmp;
  auto runtime = std::make_shared<Runtime>(testOptions());
  runtime->declareThreads();

  // The work of thread 1, alone (on a thread of its own as well).
  std::vector<std::string> alone;
  std::thread([&] {
    Runtime::ThreadScope scope(*runtime);
    Host host(runtime, true);
    Travail t(host, tmp / "alone", 1);
    t.prepare();
    for (int i = 0; i < iterations; ++i) t.iteration(i);
    alone = t.transcript();
  }).join();
  ASSERT_FALSE(alone.empty());
  if (const char* dump = std::getenv("KV_STRESS_DUMP")) {
    FILE* f = std::fopen(dump, "w");
    for (std::size_t i = 0; f != nullptr && i < alone.size() && i < 200; ++i) std::fprintf(f, "%s\n", alone[i].c_str());
    if (f != nullptr) std::fclose(f);
  }

  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int rounds = 0;
  do {
    std::vector<std::vector<std::string>> got(static_cast<std::size_t>(threads));
    std::vector<std::string> failures(static_cast<std::size_t>(threads));
    std::vector<std::thread> pool;
    std::atomic<int> ready{0};
    for (int t = 1; t <= threads; ++t) {
      pool.emplace_back([&, t] {
        try {
          Runtime::ThreadScope scope(*runtime);
          // Components start together, as a VM starting its threads.
          Host host(runtime, t == 1);
          Travail w(host, tmp / ("t" + std::to_string(t)), t);
          w.prepare();
          ++ready;
          while (ready.load() < threads) std::this_thread::yield();
          for (int i = 0; i < iterations; ++i) w.iteration(i);
          got[static_cast<std::size_t>(t - 1)] = w.transcript();
        } catch (const std::exception& e) {
          failures[static_cast<std::size_t>(t - 1)] = e.what();
        }
      });
    }
    for (auto& th : pool) th.join();
    for (int t = 0; t < threads; ++t) {
      ASSERT_EQ(failures[static_cast<std::size_t>(t)], "") << "thread " << t + 1;
      ASSERT_EQ(difference(alone, got[static_cast<std::size_t>(t)]), "") << "thread " << t + 1 << ", round " << rounds;
    }
    ++rounds;
  } while (std::chrono::steady_clock::now() < end);
  RecordProperty("rounds", rounds);
  std::printf("%d threads x %d iterations x %d round(s)\n", threads, iterations, rounds);
}

INSTANTIATE_TEST_SUITE_P(Counts, Threads, ::testing::Values(2, 4, 8));

// One handle read by four threads at once (handles are shared by every
// component): each line comes out once, whole, as the file holds it.
TEST(SharedHandle, ReadersTakeEachLineOnceAndWhole) {
  TempDir tmp;
  std::vector<std::string> lines;
  std::string text;
  for (int i = 0; i < 20000; ++i) {
    // Lengths from 0 to beyond the read-ahead buffer, numbered to be told apart.
    std::string l = "#" + std::to_string(i) + " " + std::string(static_cast<std::size_t>((i * 7919) % (i % 50 == 0 ? 9000 : 300)), 'a' + i % 26);
    lines.push_back(l);
    text += l + (i % 3 == 0 ? "\r\n" : "\n");
  }
  TempDir::write(tmp / "shared.txt", text);
  auto runtime = std::make_shared<Runtime>(testOptions());
  runtime->declareThreads();
  constexpr int kThreads = 4;
  std::vector<std::vector<std::string>> got(kThreads);
  std::atomic<int> handle{-1};
  std::atomic<int> ready{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < kThreads; ++t) {
    pool.emplace_back([&, t] {
      Runtime::ThreadScope scope(*runtime);
      Host host(runtime, t == 0);
      if (t == 0) handle = static_cast<int>(host.call("fOuvre", {T(tmp / "shared.txt"), I(1)}).value.integer);
      ++ready;
      while (ready.load() < kThreads || handle.load() < 0) std::this_thread::yield();
      for (;;) {
        auto r = host.call("fLitLigne", {I(handle.load())});
        if (r.error.isError() || r.value.bytes == "\x04") break;
        got[static_cast<std::size_t>(t)].push_back(r.value.bytes);
      }
    });
  }
  for (auto& th : pool) th.join();
  std::vector<std::string> all;
  for (auto& g : got) all.insert(all.end(), g.begin(), g.end());
  std::sort(all.begin(), all.end());
  std::sort(lines.begin(), lines.end());
  ASSERT_EQ(all.size(), lines.size());
  EXPECT_TRUE(all == lines);
}

}  // namespace

namespace {

// kvrun --threads: whole lines from every thread, kv.thread 1..N, and the
// status of a run where one thread fails.
TEST(KvrunThreads, LinesWholeAndFailureCounted) {
  TempDir tmp;
  std::string script = tmp / "t.lua";
  TempDir::write(script,
                 "local t = kv.thread\n"
                 "local f = '" + tmp.path() + "/f' .. t\n"
                 "for i = 1, 40 do\n"
                 "  local h = kv.fCree(f) kv.fEcritLigne(h, 'ligne ' .. i) kv.fFerme(h)\n"
                 "  h = kv.fOuvre(f, 1) local l = kv.fLitLigne(h) kv.fFerme(h)\n"
                 "  io.write('thread ', t, ' ') io.write(l, '\\n') print(t, i)\n"
                 "end\n"
                 "if t == tonumber(arg[1]) then error('stop') end\n");
  std::string kvrun = std::string(KV_BINARY_DIR) + "/bin/kvrun";
  auto run = [&](const std::string& failing) {
    std::string out = tmp / "out", err = tmp / "err";
    int status = std::system((kvrun + " --threads 4 " + script + " " + failing + " >" + out + " 2>" + err).c_str());
    return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, TempDir::read(out));
  };
  auto [status, out] = run("0");
  EXPECT_EQ(status, 0);
  std::vector<int> next(5, 1), nextPrint(5, 1);
  std::size_t lines = 0;
  for (std::size_t p = 0, q; (q = out.find('\n', p)) != std::string::npos; p = q + 1, ++lines) {
    std::string line = out.substr(p, q - p);
    int t = 0, i = 0;
    char word[16] = {};
    if (std::sscanf(line.c_str(), "thread %d %15s %d", &t, word, &i) == 3) {
      ASSERT_TRUE(t >= 1 && t <= 4) << line;
      EXPECT_EQ(line, "thread " + std::to_string(t) + " ligne " + std::to_string(next[t]++));
    } else {
      ASSERT_EQ(std::sscanf(line.c_str(), "%d\t%d", &t, &i), 2) << "a line mixed with another: " << line;
      ASSERT_TRUE(t >= 1 && t <= 4) << line;
      EXPECT_EQ(i, nextPrint[t]++) << line;
    }
  }
  EXPECT_EQ(lines, 4u * 40 * 2);
  EXPECT_EQ(run("3").first, 1) << "one thread failed";
}

}  // namespace
