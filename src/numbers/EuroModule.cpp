// Start of the euro module.
#include "numbers/EuroModule.h"

#include "abi/InterfacesVM.h"

bool _EURO_bInitModule(_stCTXEURO* pst, ILibShop* piLibShop, CXError* pclErreur) {
  pst->bCharge = 0;
  pst->pclTauxDeChange = nullptr;
  pst->hModuleObjets = nullptr;
  if (piLibShop == nullptr) return false;
  pst->hModuleObjets = piLibShop->hGetModule(0, pclErreur);
  return pst->hModuleObjets != nullptr;
}
