// The heap layer's failure: an allocation that cannot be met throws this
// integer (the one exception the library raises itself).
#pragma once

constexpr int KV_EXCEPTION_MEMOIRE = 12;  // ENOMEM

[[noreturn]] void KV_ThrowMemoire();

// malloc/realloc that throw KV_EXCEPTION_MEMOIRE instead of returning null.
void* KV_pMalloc(unsigned nTaille);
void* KV_pRealloc(void* p, unsigned nTaille);
