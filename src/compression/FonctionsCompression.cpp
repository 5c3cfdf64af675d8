// The component's buffer compression: Compresse and Décompresse, over the
// frame functions of the compressor, which encryption shares.
#include <cstring>

#include "compression/Compresseur.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

// The user error of a failure of the frame functions.
DWORD nErreurCadre(int nCadre) {
  switch (nCadre) {
    case CADRE_METHODE: return ERR_METHODE_COMPRESSION;
    case CADRE_ENDOMMAGE: return ERR_DONNEES_ENDOMMAGEES;
    default: return ERR_MEMOIRE_COMPRESSION;
  }
}

}  // namespace

bool CComposanteStandard::__bCompresseOctets(CVXBIN& clSortie, const BYTE* pbyDonnees, DWORD dwTaille, bool bTexte,
                                            int nMethode) {
  const int nCadre = CADRE_nCompresse(&clSortie, pbyDonnees, dwTaille, bTexte, nMethode);
  if (nCadre == CADRE_OK) return true;
  RaiseError(nErreurCadre(nCadre));
  return false;
}

bool CComposanteStandard::_ChaineCompresse(CVXBIN& clSortie, const char* pszTexte, int nMode) {
  const char* psz = pszTexte != nullptr ? pszTexte : "";
  return __bCompresseOctets(clSortie, reinterpret_cast<const BYTE*>(psz), static_cast<DWORD>(std::strlen(psz)), true,
                            GetCompressMethod(nMode));
}

bool CComposanteStandard::_ChaineCompresse(CVXDSTR& clSortie, const char* pszTexte, int nMode) {
  CVXBIN cl;
  const bool b = _ChaineCompresse(cl, pszTexte, nMode);
  clSortie.nAssign(cl.pbGet(), cl.nGetSize());
  return b;
}

bool CComposanteStandard::_ChaineCompresse(CVXBIN& clSortie, const CVXBIN& clEntree, int nMode) {
  return __bCompresseOctets(clSortie, clEntree.pbGet(), clEntree.nGetSize(), false, GetCompressMethod(nMode));
}

bool CComposanteStandard::_ChaineDecompresse(CVXBIN& clSortie, const CVXBIN& clEntree, int nMethode) {
  return _ChaineDecompresse(clSortie, clEntree.pbGet(), clEntree.nGetSize(), nMethode);
}

bool CComposanteStandard::_ChaineDecompresse(CVXDSTR& clSortie, const CVXBIN& clEntree, int nMethode) {
  CVXBIN cl;
  const bool b = _ChaineDecompresse(cl, clEntree, nMethode);
  clSortie.nAssign(cl.pbGet(), cl.nGetSize());
  return b;
}

bool CComposanteStandard::_ChaineDecompresse(CVXBIN& clSortie, const BYTE* p, DWORD n, int nMethode) {
  const int nCadre = CADRE_nDecompresse(&clSortie, p, n, nMethode);
  if (nCadre == CADRE_OK) return true;
  RaiseError(nErreurCadre(nCadre));
  return false;
}

CVXBIN CComposanteStandard::Compresse(const CVXBIN& clBuffer, int nMode) {
  CVXBIN cl;
  _ChaineCompresse(cl, clBuffer, nMode);
  return cl;
}

CVXBIN CComposanteStandard::Compresse(const char* pszTexte, int nMode) {
  CVXBIN cl;
  _ChaineCompresse(cl, pszTexte, nMode);
  return cl;
}

CVXBIN CComposanteStandard::Decompresse(const CVXBIN& clDonnees) {
  CVXBIN cl;
  _ChaineDecompresse(cl, clDonnees, -1);
  return cl;
}
