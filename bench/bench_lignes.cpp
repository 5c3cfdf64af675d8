// Reading a 100 MiB text file of 1.5 million lines: a plain C getline loop,
// the unbuffered piecewise line reader (80-byte reads, seek back after each
// piece), fLitLigne called through the VM's entry point, and fLitLigne from
// a Lua loop in kvrun beside Lua's own f:read("l") in the same kvrun.
// Compare the times side by side in one run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "Host.h"
#include "abi/InterfacesVM.h"
#include "core/XError.h"
#include "support/TestHost.h"

namespace {

constexpr long long TAILLE = 100LL << 20;
constexpr int LIGNES = 1500000;

// The sample file, made once (lines of 0 to 138 bytes, CR LF or LF).
const std::string& fichier() {
  static const std::string nom = [] {
    std::string n = std::string(KV_BINARY_DIR) + "/bench_lignes.txt";
    struct stat st {};
    if (stat(n.c_str(), &st) == 0 && st.st_size == TAILLE) return n;
    std::mt19937 g(7);
    std::string s;
    s.reserve(static_cast<std::size_t>(TAILLE));
    const long long moyenne = TAILLE / LIGNES;  // terminator included
    for (int i = 0; i < LIGNES && static_cast<long long>(s.size()) < TAILLE; ++i) {
      int l = static_cast<int>(g() % static_cast<unsigned>(2 * moyenne - 2));
      for (int k = 0; k < l; ++k) s += static_cast<char>('a' + g() % 26);
      s += (i & 1) ? "\r\n" : "\n";
    }
    s.resize(static_cast<std::size_t>(TAILLE), 'z');
    FILE* f = std::fopen(n.c_str(), "wb");
    std::fwrite(s.data(), 1, s.size(), f);
    std::fclose(f);
    return n;
  }();
  return nom;
}

void BM_getline(benchmark::State& state) {
  fichier();  // made (once) outside the timing
  long long lignes = 0;
  for (auto _ : state) {
    FILE* f = std::fopen(fichier().c_str(), "rb");
    char* ligne = nullptr;
    size_t n = 0;
    lignes = 0;
    while (getline(&ligne, &n, f) >= 0) ++lignes;
    std::free(ligne);
    std::fclose(f);
  }
  state.counters["lines"] = static_cast<double>(lignes);
}

// The unbuffered reader: size check, then 80-byte reads with the position
// moved back after each piece of at most 50 bytes.
void BM_unbuffered(benchmark::State& state) {
  long long lignes = 0;
  for (auto _ : state) {
    int fd = open(fichier().c_str(), O_RDONLY);
    long long pos = 0;
    lignes = 0;
    std::string ligne;
    for (;;) {
      off64_t taille = lseek64(fd, 0, SEEK_END);
      lseek64(fd, pos, SEEK_SET);
      if (pos >= taille) break;
      ligne.clear();
      for (;;) {
        char piece[80];
        ssize_t r = read(fd, piece, 80);
        if (r <= 0) break;
        auto* lf = static_cast<char*>(std::memchr(piece, '\n', static_cast<size_t>(r)));
        if (lf != nullptr) {
          long long c = lf - piece;
          long long contenu = c > 0 && piece[c - 1] == '\r' ? c - 1 : c;
          if (contenu <= 50) {
            ligne.append(piece, static_cast<size_t>(contenu));
            pos += c + 1;
            lseek64(fd, pos, SEEK_SET);
            break;
          }
        } else if (r < 80) {
          ligne.append(piece, static_cast<size_t>(r));
          pos += r;
          break;
        }
        ligne.append(piece, 50);
        pos += 50;
        lseek64(fd, pos, SEEK_SET);
      }
      ++lignes;
    }
    close(fd);
  }
  state.counters["lines"] = static_cast<double>(lignes);
}

// fLitLigne through its entry point, as the VM calls it (function and
// syntax found once).
void BM_fLitLigne(benchmark::State& state) {
  kvhost::Host host{testOptions()};
  const kvhost::FunctionInfo* f = host.catalog().findFunction("fLitLigne");
  const kvhost::SyntaxInfo* s = &f->syntaxes[0];
  long long lignes = 0;
  for (auto _ : state) {
    auto h = host.call("fOuvre", {kvhost::Value::text(fichier()), kvhost::Value::integer32(1)}).value;
    std::vector<kvhost::Value> args = {h};
    lignes = 0;
    kvhost::CallResult r;  // reused, as a VM reuses its result slot
    for (;;) {
      host.call(*f, *s, args, &r);
      if (r.value.bytes.size() == 1 && r.value.bytes[0] == 4) break;
      ++lignes;
    }
    host.call("fFerme", {h});
  }
  state.counters["lines"] = static_cast<double>(lignes);
}

// fLitLigne's entry point called the way a VM's compiled call does it: the
// argument block made once, the call context set around each call, the
// result copied by the VM and the error object looked at after each call.
// The row above adds the stand-in's general argument conversion.
void BM_fLitLigne_entry(benchmark::State& state) {
  kvhost::Host host{testOptions()};
  const kvhost::FunctionInfo* f = host.catalog().findFunction("fLitLigne");
  const kvhost::SyntaxInfo* s = &f->syntaxes[0];
  IVXLibrary* component = host.component();
  kvhost::Vm& vm = host.vm();
  long long lignes = 0;
  for (auto _ : state) {
    kvhost::Value h = host.call("fOuvre", {kvhost::Value::text(fichier()), kvhost::Value::integer32(1)}).value;
    std::vector<kvhost::Value> args = {h};
    auto slot = static_cast<std::int32_t>(h.integer);
    void* block[1] = {&slot};
    STVXAppel context{&vm, 8, static_cast<DWORD>(f->number), nullptr, 1};
    kvhost::Value ligne;
    lignes = 0;
    for (;;) {
      STVXAppel* previous = component->ChangeContexteAppel(&context);
      vm.beginCall(&args, context.dwAppel, &ligne);
      s->entry(&context, reinterpret_cast<CComposanteStandard*>(component), block);
      component->ChangeContexteAppel(previous);
      vm.endCall(&ligne);
      if (component->pclGetError()->bIsError()) state.SkipWithError("fLitLigne failed");
      if (ligne.bytes.size() == 1 && ligne.bytes[0] == 4) break;
      ++lignes;
    }
    host.call("fFerme", {h});
  }
  state.counters["lines"] = static_cast<double>(lignes);
}

// Runs `kvrun -e script` once per iteration, as a whole process.
void runKvrun(benchmark::State& state, const std::string& script) {
  for (auto _ : state) {
    pid_t pid = fork();
    if (pid == 0) {
      execl(KV_KVRUN_PATH, "kvrun", "-e", script.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("kvrun failed");
  }
}

// A Lua loop in kvrun calling kv.fLitLigne until the end marker.
void BM_kvrun_lua(benchmark::State& state) {
  std::string script =
      "local h = kv.fOuvre('" + fichier() +
      "', 1) local n = 0 local l = kv.fLitLigne(h) "
      "while l ~= '\\4' do n = n + 1 l = kv.fLitLigne(h) end kv.fFerme(h) "
      "if n < 1000000 then error('lines: ' .. n) end";
  runKvrun(state, script);
}

// The same loop with Lua's own reader, f:read("l"), in the same kvrun:
// the peer of the row above.
void BM_kvrun_lua_read(benchmark::State& state) {
  std::string script =
      "local f = io.open('" + fichier() +
      "', 'rb') local n = 0 local l = f:read('l') "
      "while l do n = n + 1 l = f:read('l') end f:close() "
      "if n < 1000000 then error('lines: ' .. n) end";
  runKvrun(state, script);
}

// kvrun runs before the library is loaded here: the library's SIGCHLD
// handler outlives its unloading, so no child may end after that.
BENCHMARK(BM_getline)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_kvrun_lua)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_kvrun_lua_read)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_unbuffered)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_fLitLigne)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_fLitLigne_entry)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
