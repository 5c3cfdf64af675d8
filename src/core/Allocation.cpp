// The allocation hook and its failure injection.
#include "core/Allocation.h"

#include <cstdlib>
#include <mutex>

namespace alloc_detail {

std::atomic<bool> g_bArme{false};

namespace {

struct STPanne {
  std::mutex verrou;
  int nAppel = 0;
  bool bPersistant = false;
  int nCompte = 0;
  int nEchecs = 0;
};

STPanne& stPanne() {
  static STPanne st;
  return st;
}

}  // namespace

bool bEchoue() {
  STPanne& st = stPanne();
  std::lock_guard<std::mutex> g(st.verrou);
  const int n = ++st.nCompte;
  if (n == st.nAppel || (st.bPersistant && n > st.nAppel)) {
    ++st.nEchecs;
    return true;
  }
  return false;
}

}  // namespace alloc_detail

void KV_ArmeAllocation(int nAppel, bool bPersistant) {
  auto& st = alloc_detail::stPanne();
  {
    std::lock_guard<std::mutex> g(st.verrou);
    st.nAppel = nAppel;
    st.bPersistant = bPersistant;
    st.nCompte = 0;
    st.nEchecs = 0;
  }
  alloc_detail::g_bArme.store(true, std::memory_order_relaxed);
}

void KV_DesarmeAllocation() { alloc_detail::g_bArme.store(false, std::memory_order_relaxed); }

int KV_nAllocations() {
  auto& st = alloc_detail::stPanne();
  std::lock_guard<std::mutex> g(st.verrou);
  return st.nCompte;
}

int KV_nEchecsAllocation() {
  auto& st = alloc_detail::stPanne();
  std::lock_guard<std::mutex> g(st.verrou);
  return st.nEchecs;
}
