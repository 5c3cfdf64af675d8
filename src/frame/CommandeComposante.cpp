// CommandeComposante: language and message commands of the language module.
#include "frame/CommandeComposante.h"

#include "core/accesdllres.h"

extern "C" KV_EXPORT std::intptr_t CommandeComposante(unsigned nCommande, void* pDonnees) {
  switch (nCommande) {
    case 0:
      DLLRES_SetLangue(static_cast<int>(reinterpret_cast<std::intptr_t>(pDonnees)));
      return 1;
    case 2:
      DLLRES_SetLoader(reinterpret_cast<PFLOADSTRINGKVM>(pDonnees));
      return 1;
    case 3: {
      auto* pdw = static_cast<std::intptr_t*>(pDonnees);
      if (pdw == nullptr) return 0;
      pdw[4] = DLLRES_nLoadString(static_cast<unsigned>(pdw[1]), reinterpret_cast<char*>(pdw[2]),
                                  static_cast<int>(pdw[3]));
      return 1;
    }
    default:
      return 0;
  }
}
