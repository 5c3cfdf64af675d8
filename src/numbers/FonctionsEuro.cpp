// The euro functions: conversions between the euro and the other
// currencies of the exchange-rate table (with the rounding difference),
// rates, names, the table's defaults, and the table's loading from the
// runtime's object library.
#include <dlfcn.h>

#include "core/XError.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"
#include "numbers/EuroModule.h"
#include "numbers/Monetaire.h"
#include "numbers/TauxDeChange.h"

namespace {

enum : DWORD {
  MSG_DEPASSEMENT = 967,  // currency arithmetic overflow
};

constexpr const char* PSZ_FONCTION_TABLE = "OBJ_pclGetTauxDeChange";
constexpr long TAUX_MAX = 2147;
constexpr int AFFICHAGE = 1;

typedef CTauxDeChange* (*PFNGETTAUXDECHANGE)();

// The amount rounded to nDecimales when below 6; false on overflow.
bool bArrondit(CMoney* pcl, int nDecimales) {
  return nDecimales >= 6 || pstArrMonetaire(pcl, static_cast<short>(nDecimales)) != nullptr;
}

// clMontant - clRetour, rounded: the rounding difference.
bool bDifference(const CMoney& clMontant, const CMoney& clRetour, int nDecimales, CMoney* pclDifference) {
  CMoney cl = clMontant;
  if (pstSubMonetaire(&cl, &clRetour) == nullptr || !bArrondit(&cl, nDecimales)) return false;
  *pclDifference = cl;
  return true;
}

}  // namespace

CTauxDeChange* CComposanteStandard::_pclGetTauxDeChange() {
  _stCTXEURO* pst = m_pstCtxEuro.get();
  if (!pst->bCharge && pst->hModuleObjets != nullptr) {
    auto pfn = reinterpret_cast<PFNGETTAUXDECHANGE>(dlsym(pst->hModuleObjets, PSZ_FONCTION_TABLE));
    CTauxDeChange* pcl = pfn != nullptr ? pfn() : nullptr;
    // A table whose currency 0 is not the euro at 1 would convert wrongly.
    if (pcl != nullptr && pcl->bIsValid()) {
      pst->pclTauxDeChange = pcl;
      pst->bCharge = 1;
    }
  }
  if (pst->pclTauxDeChange == nullptr) RaiseError(ERR_PAS_DE_TABLE);
  return pst->pclTauxDeChange;
}

unsigned CComposanteStandard::_dwTauxDevise(CTauxDeChange* pclTable, int nDevise) {
  const DWORD dwTaux = pclTable->dwGetTaux(static_cast<unsigned short>(nDevise), AFFICHAGE);
  if (dwTaux == TAUX_INEXISTANT || dwTaux == 0) {
    RaiseError(ERR_DEVISE);
    return 0;
  }
  return dwTaux;
}

void CComposanteStandard::_ErreurDepassementMonetaire() {
  CXError cl;
  cl.SetErrorLevel(EL_ERREUR);
  cl.AddUserMessage(static_cast<DWORD>(MSG_DEPASSEMENT));
  RaiseErrorCopy(&cl);
}

CMoney CComposanteStandard::eVersEuro(CMoney clMontant, int nDevise, int nDecimales, CMoney* pclDifference) {
  CTauxDeChange* pclTable = _pclGetTauxDeChange();
  if (pclTable == nullptr) return gclMoneyNULL;
  const unsigned dwTaux = _dwTauxDevise(pclTable, nDevise);
  if (dwTaux == 0) return gclMoneyNULL;
  CMoney clEuro, clRetour;
  if (!bVersEuro_MONETAIRE(clMontant, &clEuro, dwTaux) || !bArrondit(&clEuro, nDecimales) ||
      (pclDifference != nullptr && (!bVersDevise_MONETAIRE(clEuro, &clRetour, dwTaux) ||
                                    !bDifference(clMontant, clRetour, nDecimales, pclDifference)))) {
    _ErreurDepassementMonetaire();
    return gclMoneyNULL;
  }
  return clEuro;
}

CMoney CComposanteStandard::eVersDevise(CMoney clMontant, int nDevise, int nDecimales, CMoney* pclDifference) {
  CTauxDeChange* pclTable = _pclGetTauxDeChange();
  if (pclTable == nullptr) return gclMoneyNULL;
  const unsigned dwTaux = _dwTauxDevise(pclTable, nDevise);
  if (dwTaux == 0) return gclMoneyNULL;
  CMoney clDevise, clRetour;
  if (!bVersDevise_MONETAIRE(clMontant, &clDevise, dwTaux) || !bArrondit(&clDevise, nDecimales) ||
      (pclDifference != nullptr && (!bVersEuro_MONETAIRE(clDevise, &clRetour, dwTaux) ||
                                    !bDifference(clMontant, clRetour, nDecimales, pclDifference)))) {
    _ErreurDepassementMonetaire();
    return gclMoneyNULL;
  }
  return clDevise;
}

CMoney CComposanteStandard::eChangeDevise(CMoney clMontant, int nDe, int nVers, int nDecimales,
                                          CMoney* pclDifference) {
  CTauxDeChange* pclTable = _pclGetTauxDeChange();
  if (pclTable == nullptr) return gclMoneyNULL;
  const unsigned dwDe = _dwTauxDevise(pclTable, nDe);
  if (dwDe == 0) return gclMoneyNULL;
  const unsigned dwVers = _dwTauxDevise(pclTable, nVers);
  if (dwVers == 0) return gclMoneyNULL;
  CMoney clResultat, clRetour;
  if (!bChangeDevise_MONETAIRE(clMontant, &clResultat, dwDe, dwVers) || !bArrondit(&clResultat, nDecimales) ||
      (pclDifference != nullptr && (!bChangeDevise_MONETAIRE(clResultat, &clRetour, dwVers, dwDe) ||
                                    !bDifference(clMontant, clRetour, nDecimales, pclDifference)))) {
    _ErreurDepassementMonetaire();
    return gclMoneyNULL;
  }
  return clResultat;
}

double CComposanteStandard::eTauxDeChange(int nDevise) {
  CTauxDeChange* pclTable = _pclGetTauxDeChange();
  if (pclTable == nullptr) return -1;
  const unsigned dwTaux = _dwTauxDevise(pclTable, nDevise);
  return dwTaux == 0 ? -1 : dwTaux / 1000000.0;
}

CVXDSTR CComposanteStandard::eNomDevise(int nDevise) {
  CTauxDeChange* pclTable = _pclGetTauxDeChange();
  if (pclTable == nullptr) return CVXDSTR();
  const auto wDevise = static_cast<unsigned short>(nDevise);
  if (pclTable->wResout(wDevise, AFFICHAGE) >= pclTable->wGetNombreDeDevise()) {
    RaiseError(ERR_DEVISE);
    return CVXDSTR();
  }
  return clTexte(pclTable->pszGetNom(wDevise, AFFICHAGE));
}

void CComposanteStandard::eInitDevise(int nDevise, const char* pszNom, CMoney clTaux) {
  CTauxDeChange* pclTable = _pclGetTauxDeChange();
  if (pclTable == nullptr) return;
  if (nDevise < 0 || nDevise >= pclTable->wGetNombreDeDevise()) {
    RaiseError(ERR_DEVISE);
    return;
  }
  if (lMonetaireVersTresLong(&clTaux) > TAUX_MAX) {
    RaiseError(ERR_TAUX_TROP_GRAND, static_cast<int>(TAUX_MAX));
    return;
  }
  // The rate in millionths: below 2148, it fits 32 bits. A rate of zero or
  // less would make every later conversion divide by nothing or invert.
  if (nCmpMonetaireEtLong(&clTaux, 0) <= 0) {
    RaiseError(ERR_DEVISE);
    m_pclErreur->AddDebugMessage("Taux de change nul ou négatif.");
    return;
  }
  const auto dwTaux = static_cast<unsigned>(clTaux.m_aw[0] | static_cast<unsigned>(clTaux.m_aw[1]) << 16);
  if (nDevise == 0 && dwTaux != TAUX_EURO) {
    RaiseError(ERR_DEVISE);
    return;
  }
  pclTable->bChange(static_cast<unsigned short>(nDevise), dwTaux, pszNom);
}

int CComposanteStandard::eDeviseMemParDefaut(int nDevise) {
  CTauxDeChange* pclTable = _pclGetTauxDeChange();
  return pclTable != nullptr ? _nDeviseParDefaut(pclTable, &pclTable->m_wMemoireDefaut, nDevise) : -1;
}

int CComposanteStandard::eDeviseAffParDefaut(int nDevise) {
  CTauxDeChange* pclTable = _pclGetTauxDeChange();
  return pclTable != nullptr ? _nDeviseParDefaut(pclTable, &pclTable->m_wAffichageDefaut, nDevise) : -1;
}

int CComposanteStandard::_nDeviseParDefaut(CTauxDeChange* pclTable, unsigned short* pwDefaut, int nDevise) {
  const int nActuelle = *pwDefaut;
  if (nDevise >= 0) {
    if (nDevise >= pclTable->wGetNombreDeDevise()) {
      RaiseError(ERR_DEVISE);
      return -1;
    }
    *pwDefaut = static_cast<unsigned short>(nDevise);
  }
  return nActuelle;
}

CMoney CComposanteStandard::eDifferenceArrondi(unsigned) { return gclMoneyNULL; }
