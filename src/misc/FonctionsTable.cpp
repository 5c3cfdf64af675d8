// TableVersTexte: a table control or a looper of the page library as one
// string, an optional title line then one line per row, cells joined by
// the column separator and lines by the line separator.
#include <string>

#include "abi/TypesVX.h"
#include "core/Any.h"
#include "core/TString.h"
#include "core/XError.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"
#include "misc/PageGate.h"
#include "misc/TableKorval.h"

namespace {

enum : int {
  TA_SANS_TITRE = 0x01,
  TA_COLONNES_INVISIBLES = 0x02,
  TA_SANS_TOTAUX = 0x08,
  TA_LIGNES_SELECTIONNEES = 0x10,
  TA_ORDRE_AFFICHAGE = 0x80,
  TA_OPTIONS_TEXTE = 0x9B,
};

constexpr unsigned VALEUR_CELLULE_TEXTE = 8;

}  // namespace

bool CComposanteStandard::_bValideParamTableVersXXX(IObjetAPCode* piTable, void*, int nOptions, int nAcceptees) {
  int nType = -1;
  if (piTable != nullptr) {
    CXError clErreur;
    const bool bLie = PAGE_bInit(piGetLibShop(), &clErreur);
    if (bLie) nType = CTableKorval::s_nGetType(PAGE_piGetGate()->piGetControles(), piTable);
    PAGE_Term();
    if (!bLie) {
      if (!clErreur.bIsError()) clErreur.SetErrorLevel(EL_ERREUR_GRAVE);
      RaiseErrorCopy(&clErreur);
      return false;
    }
  }
  if (nType != TYPE_PAGE_TABLE && nType != TYPE_PAGE_ZONEREPETEE) {
    RaiseError(ERR_PAS_UNE_TABLE);
    return false;
  }
  if ((nOptions & ~nAcceptees) != 0) {
    RaiseError(ERR_OPTIONS_TABLE);
    return false;
  }
  return true;
}

bool CComposanteStandard::_bTableVersTexte(CTString* pclSortie, IObjetAPCode* piTable, int nOptions,
                                           const char* pszSepColonne, const char* pszSepLigne, int nPremiere,
                                           int nDerniere) {
  CTableKorval clTable(piTable, (nOptions & TA_COLONNES_INVISIBLES) != 0, (nOptions & TA_SANS_TITRE) == 0,
                       (nOptions & TA_SANS_TOTAUX) == 0);
  clTable.SetLignesSelectionnees((nOptions & TA_LIGNES_SELECTIONNEES) != 0);
  clTable.SetOrdreAffichage((nOptions & TA_ORDRE_AFFICHAGE) != 0);
  CXError clErreur;
  if (!clTable.bInit(piGetLibShop(), &clErreur)) {
    RaiseErrorCopy(&clErreur);
    return false;
  }
  const int n = clTable.nNombreLigne();
  int nDebut = nPremiere == -1 ? 1 : nPremiere;
  int nFin = nDerniere == -1 ? n : nDerniere;
  if (nDebut > nFin) std::swap(nDebut, nFin);
  // Rows before the first are skipped; a first row below 1 skips none (the
  // adapter refuses a negative count), and INT_MIN - 1 is never computed.
  clTable.bSetPremiereLigne(nDebut > 0 ? nDebut - 1 : -1);
  if (nFin > n) nFin = n;
  const int nColonnes = clTable.nNombreColonne();
  if (nColonnes == 0) return false;
  if (!clTable.bInitParcours(0)) {
    clTable.FinParcours();
    return false;
  }

  std::string s;
  bool bRangees = true;  // false when the traversal has no row to give
  if ((nOptions & TA_SANS_TITRE) == 0) {
    for (int c = 0; c < nColonnes; ++c) {
      CTString clTitre;
      clTable.GetTitreColonne(c, &clTitre);
      s += clTitre.pszGet();
      if (c + 1 < nColonnes) s += pszSepColonne;
    }
    bRangees = clTable.bParcoursLigneSuivante();
  }
  for (int nLigne = nDebut; bRangees && nLigne <= nFin; ++nLigne) {
    if (!s.empty()) s += pszSepLigne;
    for (int c = 0; c < nColonnes; ++c) {
      CAny clValeur;
      CXError clErreurCellule;
      if (clTable.bDonneValeurCelluleLigneCourante(c, &clValeur, &clErreurCellule, VALEUR_CELLULE_TEXTE, nullptr)) {
        const char* psz = nullptr;
        if (clValeur.nCastTo(VXT_PSZ) <= 1 && clValeur.wGetType() == VXT_PSZ &&
            (clValeur.wGetFlags() & ANY_FLAG_100) == 0 && clValeur.nGetPCXSTR(&psz) == ANY_OK && psz != nullptr)
          s += psz;
      }
      if (c + 1 < nColonnes) s += pszSepColonne;
    }
    if (!clTable.bParcoursLigneSuivante()) break;
  }
  clTable.FinParcours();
  pclSortie->Set(s.c_str());
  return true;
}

CVXDSTR CComposanteStandard::TableVersTexte(IObjetAPCode* piTable, int nOptions, const char* pszSepColonne,
                                            const char* pszSepLigne, int nPremiere, int nDerniere) {
  CTString clSortie;
  if (!_bValideParamTableVersXXX(piTable, nullptr, nOptions, TA_OPTIONS_TEXTE) ||
      !_bTableVersTexte(&clSortie, piTable, nOptions, pszSepColonne, pszSepLigne, nPremiere, nDerniere))
    return CVXDSTR();
  return clTexte(clSortie.pszGet());
}
