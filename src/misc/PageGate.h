// The page gate: the link to the page library (table controls and loopers),
// asked of the library manager once and shared by every user.
#pragma once

#include "abi/InterfacesPage.h"
#include "abi/TypesBase.h"

class CXError;

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
