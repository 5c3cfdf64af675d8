// Start of the euro module.
#include "numbers/EuroModule.h"

#include "frame/Standard.h"

bool _EURO_bInitModule(CComposanteStandard* pclCompo) {
  _stCTXEURO* pst = pclCompo->pstGetCtxEuro();
  pst->bCharge = 0;
  pst->pclTauxDeChange = nullptr;
  pst->hModuleObjets = nullptr;
  ILibShop* piLibShop = pclCompo->piGetLibShop();
  if (piLibShop == nullptr) return false;
  pst->hModuleObjets = piLibShop->hGetModule(0, pclCompo->pclGetError());
  return pst->hModuleObjets != nullptr;
}
