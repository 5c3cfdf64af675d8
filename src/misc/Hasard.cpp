// The random generator.
#include "misc/Hasard.h"

#include <time.h>

#include <cstdlib>

namespace {

// Milliseconds of a monotonic clock, as a 32-bit tick count.
std::uint32_t nTick() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u);
}

}  // namespace

std::int64_t DIVERS_nHasard(std::int64_t n) {
  std::int64_t r = std::rand() & 0x7FFF;
  if (n < 65536) return static_cast<std::int32_t>(r * n) / 32768;
  std::int64_t produit = r * n;
  if (produit < 0) produit += 32767;
  return produit >> 15;
}

void DIVERS_InitHasardHorloge() {
  std::uint32_t t0 = nTick(), t;
  while ((t = nTick()) == t0) {
  }
  auto k = static_cast<std::uint32_t>(DIVERS_nHasard(10));
  std::srand(t * (k + 1));
}

void DIVERS_InitHasard(unsigned nGraine) {
  std::srand(nGraine);
  std::rand();
}
