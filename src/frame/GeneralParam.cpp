// GeneralParam: the VM's settings for the string allocator (per-thread
// recyclers, multi-threading flag, an allocator of its own).
#include <pthread.h>

#include <cstdint>

#include "core/StrMem.h"
#include "core/VXDSTR.h"

namespace {
enum : unsigned {
  GP_CLE_RECYCLEUR = 2005,     // value: the pthread key of the per-thread recyclers
  GP_FLAG_MT = 2006,           // value: address of the VM's multi-threading flag
  GP_ALLOCATEUR_EXTERNE = 2008 // value: the VM's allocator (CStrMemCache*)
};
}  // namespace

extern "C" KV_EXPORT int GeneralParam(unsigned nCode, std::intptr_t nValeur) {
  switch (nCode) {
    case GP_CLE_RECYCLEUR:
      CStrMemCache::s_SetCleRecycleur(static_cast<pthread_key_t>(nValeur));
      return 1;
    case GP_FLAG_MT:
      CStrMemCache::s_SetFlagMT(reinterpret_cast<const int*>(nValeur));
      return 1;
    case GP_ALLOCATEUR_EXTERNE:
      CVXDSTRBase::s_SetAllocateurExterne(reinterpret_cast<CStrMemCache*>(nValeur));
      return 1;
    default:
      return 0;
  }
}
