// The call context of one VM call and the signature of the exported entry
// points (one per available syntax).
#pragma once

#include "abi/TypesBase.h"

class IVM;
class CComposanteStandard;

// Filled by the VM for each call: five words, the pointers pointer-sized
// (20 bytes on i386; 32 on x86-64).
struct STVXAppel {
  IVM* piVM;          // the VM
  DWORD nLibrairie;   // library number of the call (8; 42 after a redirect)
  DWORD nFonction;    // function number, or variable number for a variable access
  void* pValeur;      // for a variable write: pointer to the value
  DWORD dwAppel;      // call word: bits 0..15 number of arguments passed
};
static_assert(sizeof(STVXAppel) == nSelonEdition(20, 32));
static_assert(offsetof(STVXAppel, nLibrairie) == nSelonEdition(4, 8));
static_assert(offsetof(STVXAppel, nFonction) == nSelonEdition(8, 12));
static_assert(offsetof(STVXAppel, pValeur) == nSelonEdition(12, 16));
static_assert(offsetof(STVXAppel, dwAppel) == nSelonEdition(16, 24));

// Number of arguments actually passed, from the call word.
constexpr int nNbArgumentAppel(DWORD dwAppel) { return static_cast<int>(dwAppel & 0xFFFF); }

// VXL_<Function>_<n>(call context, component, argument block): 0 on return.
extern "C" {
using PFVXLENTREE = int (*)(STVXAppel*, CComposanteStandard*, void**);
}
