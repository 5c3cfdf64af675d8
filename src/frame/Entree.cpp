// Redirect of obsolete functions to the library that now serves them.
#include "frame/Entree.h"

namespace kvappel {

int nRedirige(STVXAppel* pstAppel, CComposanteStandard* pclCompo, int nLibrairie, int nFonction) {
  pstAppel->nLibrairie = static_cast<DWORD>(nLibrairie);
  pstAppel->nFonction = static_cast<DWORD>(nFonction);
  pclCompo->SetNiveauRedirection();
  return 1;
}

}  // namespace kvappel
