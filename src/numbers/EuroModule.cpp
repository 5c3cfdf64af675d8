// Start of the euro module.
#include "numbers/EuroModule.h"

#include "frame/Standard.h"

bool _EURO_bInitModule(CComposanteStandard* pclCompo) {
  STCtxEuro* pst = pclCompo->pstGetCtxEuro();
  pst->adwReserve[0] = 0;
  pst->adwReserve[1] = 0;
  pst->hModuleObjets = nullptr;
  ILibShop* piLibShop = pclCompo->piGetLibShop();
  if (piLibShop == nullptr) return false;
  pst->hModuleObjets = piLibShop->hGetModule(0, pclCompo->pclGetError());
  return pst->hModuleObjets != nullptr;
}
