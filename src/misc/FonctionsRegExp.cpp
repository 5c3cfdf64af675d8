// The component's regular-expression function: whole-text match and the
// groups assigned to the caller's variables.
#include "core/Any.h"
#include "core/XError.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"
#include "misc/RegExp.h"


bool CComposanteStandard::_bAffecteVariable(int nArgument, const char* p, DWORD n) {
  IVXVariable* piVariable = nullptr;
  if (!bGetParamIVariable(nArgument, &piVariable) || piVariable == nullptr) {
    RaiseError();  // the VM left its error in the component's object
    return false;
  }
  CAny valeur;
  bool bOk = valeur.bSetChaine(p, n);
  if (!bOk) m_pclErreur->SetErrorNoMemory();
  bOk = bOk && piVariable->bAffecte(&valeur, m_pclErreur);
  piVariable->Release();
  if (!bOk) {
    if (!m_pclErreur->bIsError()) m_pclErreur->SetErrorLevel(EL_ERREUR);
    RaiseError();
  }
  return bOk;
}

bool CComposanteStandard::ChaineVerifieFormat(const CVXDSTR& clTexte, const char* pszMotif) {
  CRegExp re;
  if (pszMotif == nullptr || *pszMotif == '\0') pszMotif = ".*";
  int nCompile = re.nCompile(pszMotif);
  if (nCompile != 0) {
    RaiseError(ERR_REGEXP_INVALIDE);
    m_pclErreur->AddDebugMessage("Valeur de retour d'analyse du format : %1!d!", nCompile);
    return false;
  }
  const char* pTexte = clTexte.pszGet();
  DWORD nTexte = clTexte.nGetLength();
  if (!re.bMatch(pTexte, static_cast<int>(nTexte))) return false;
  int nVariables = nGetNbParametre() - 2;
  if (nVariables < 1) return true;
  for (int i = 0; i < nVariables; ++i) {
    int nDebut = re.nDebutGroupe(i + 1);
    if (nDebut < 0) {
      RaiseError(ERR_REGEXP_GROUPE_MANQUANT);
      return false;
    }
    if (!_bAffecteVariable(i + 3, pTexte + nDebut, static_cast<DWORD>(re.nFinGroupe(i + 1) - nDebut))) return false;
  }
  if (re.nDebutGroupe(nVariables + 1) >= 0) {
    RaiseError(ERR_REGEXP_TROP_DE_GROUPES);
    return false;
  }
  return true;
}
