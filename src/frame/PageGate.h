// The page gate: the link to the page library (table controls and loopers),
// asked of the library manager once and shared by every user.
#pragma once

#include "frame/InterfacesVM.h"
#include "frame/TypesBase.h"

class CXError;

// The page library's gate, as the library manager hands it out.
class IPageGate : public IStdVersion {
public:
  virtual int AddRef() = 0;
  virtual int Release() = 0;
  // Version of the page library, e.g. "14.00Cpe".
  virtual const char* pszGetVersion() = 0;
  // Whether the page library accepts this module at this version.
  virtual BOOL bAccepteModule(const char* pszModule, const char* pszVersion, CXError* pclErreur) = 0;
  virtual void SetLibShop(ILibShop* piLibShop) = 0;

protected:
  ~IPageGate() = default;
};

// Counted: the first call binds the gate (false with the error filled when
// it cannot); later calls only count.
BOOL PAGE_bInit(ILibShop* piLibShop, CXError* pclErreur);
// One user less; the gate is released with the last one.
void PAGE_Term();
IPageGate* PAGE_piGetGate();
HMODULE PAGE_hGetModule();
// Version `a` ("14.00Cpe") is older than `b`: major, then minor number,
// then the letters.
bool bPlusAncien(const char* a, const char* b);
