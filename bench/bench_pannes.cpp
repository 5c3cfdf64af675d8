// Cost of the failure-injection hooks when nothing is armed: a one-byte
// write to /dev/null through the system-call table against the bare
// write(2), and a small allocation through the allocation hook against
// malloc. Each pair should time alike.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "core/Allocation.h"
#include "files/AppelsSysteme.h"

namespace {

void BM_write(benchmark::State& state) {
  const int fd = open("/dev/null", O_WRONLY);
  const char c = 'x';
  for (auto _ : state) benchmark::DoNotOptimize(write(fd, &c, 1));
  close(fd);
}

void BM_SYS_nWrite(benchmark::State& state) {
  const int fd = open("/dev/null", O_WRONLY);
  const char c = 'x';
  for (auto _ : state) benchmark::DoNotOptimize(SYS_nWrite(fd, &c, 1));
  close(fd);
}

void BM_malloc(benchmark::State& state) {
  for (auto _ : state) {
    void* p = std::malloc(64);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}

void BM_KV_pAlloue(benchmark::State& state) {
  for (auto _ : state) {
    void* p = KV_pAlloue(64);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}

}  // namespace

BENCHMARK(BM_write);
BENCHMARK(BM_SYS_nWrite);
BENCHMARK(BM_malloc);
BENCHMARK(BM_KV_pAlloue);
BENCHMARK_MAIN();
