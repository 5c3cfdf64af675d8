// The heap layer.
#include "core/Tas.h"

#include <cstdlib>

void KV_ThrowMemoire() { throw KV_EXCEPTION_MEMOIRE; }

void* KV_pMalloc(unsigned nTaille) {
  void* p = std::malloc(nTaille == 0 ? 1 : nTaille);
  if (p == nullptr) KV_ThrowMemoire();
  return p;
}

void* KV_pRealloc(void* p, unsigned nTaille) {
  void* q = std::realloc(p, nTaille == 0 ? 1 : nTaille);
  if (q == nullptr) KV_ThrowMemoire();
  return q;
}
