// Allocations of the codecs and the coded buffer, through one hook that
// tests can arm to make the Nth allocation fail (every path that handles a
// failed allocation can then be run, and checked for leaks). Unarmed, an
// allocation costs one predictable branch more than the C allocator or
// operator new.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

namespace alloc_detail {
extern std::atomic<bool> g_bArme;
bool bEchoue();  // counts the allocation; true: fail it
inline bool bPanne() { return __builtin_expect(g_bArme.load(std::memory_order_relaxed), false) && bEchoue(); }
}  // namespace alloc_detail

// malloc, realloc (the old block untouched on failure) and calloc.
inline void* KV_pAlloue(std::size_t n) { return alloc_detail::bPanne() ? nullptr : std::malloc(n); }
inline void* KV_pRealloue(void* p, std::size_t n) { return alloc_detail::bPanne() ? nullptr : std::realloc(p, n); }
inline void* KV_pAlloueZero(std::size_t n, std::size_t nTaille) {
  return alloc_detail::bPanne() ? nullptr : std::calloc(n, nTaille);
}

// new (std::nothrow) T[n] and new (std::nothrow) T(args...).
template <class T>
T* KV_pNouveau(std::size_t n) {
  return alloc_detail::bPanne() ? nullptr : new (std::nothrow) T[n];
}
template <class T, class... A>
T* KV_pCree(A&&... args) {
  return alloc_detail::bPanne() ? nullptr : new (std::nothrow) T(std::forward<A>(args)...);
}

// For tests: from now on allocations through the hook are counted from 1;
// number nAppel fails (and, with bPersistant, every later one too).
void KV_ArmeAllocation(int nAppel, bool bPersistant = false);
void KV_DesarmeAllocation();
int KV_nAllocations();  // counted since the last arming
int KV_nEchecsAllocation();
