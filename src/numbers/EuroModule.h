// Module hook of the euro functions: binds the runtime object library, and
// the euro context each component holds.
#pragma once

#include "abi/TypesBase.h"

class CTauxDeChange;
class CXError;
class ILibShop;

// Euro context: loaded flag, the exchange-rate table once loaded, and the
// runtime object library's module that supplies it.
struct _stCTXEURO {
  DWORD bCharge;
  CTauxDeChange* pclTauxDeChange;
  HMODULE hModuleObjets;
};

// Clears the euro context and takes the module handle of library 0 from the
// library manager (its failures go to `pclErreur`); true when the handle is
// not null.
bool _EURO_bInitModule(_stCTXEURO* pst, ILibShop* piLibShop, CXError* pclErreur);
