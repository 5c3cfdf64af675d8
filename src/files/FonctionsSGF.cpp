// File-system functions by name: existence tests, delete (with wildcards),
// rename and move. The disk-file layer does the work; its errors reach the
// caller at level 2.
#include <cstring>
#include <string>
#include <vector>

#include "core/XError.h"
#include "files/DiskFile.h"
#include "frame/Standard.h"

namespace {

enum : DWORD {
  ERR_NOM_VIDE = 80059,  // empty name
};

bool bJoker(const char* psz) { return std::strpbrk(psz, "*?") != nullptr; }

}  // namespace

void CComposanteStandard::_ErreurSGF(CXError* pclErreur) {
  RaiseErrorCopy(pclErreur);
  m_pclErreur->SetErrorLevel(EL_ERREUR);
}

bool CComposanteStandard::_bNomVide(const char* psz) {
  if (psz != nullptr && *psz != '\0') return false;
  RaiseError(ERR_NOM_VIDE);
  m_pclErreur->SetErrorLevel(EL_ERREUR);
  return true;
}

bool CComposanteStandard::fFichierExiste(const char* pszChemin) {
  return pszChemin != nullptr && *pszChemin != '\0' && CDiskFile::bIsAFile(pszChemin);
}

bool CComposanteStandard::fRepertoireExiste(const char* pszChemin) {
  return pszChemin != nullptr && *pszChemin != '\0' && CDiskFile::bIsADirectory(pszChemin);
}

bool CComposanteStandard::fSupprime(const char* pszChemin, int /*nOption*/) {
  if (_bNomVide(pszChemin)) return false;
  CXError clErreur;
  if (!bJoker(pszChemin)) {
    if (CDiskFile::bDelete(pszChemin, &clErreur)) return true;
    _ErreurSGF(&clErreur);
    return false;
  }
  // The matching names first, then the deletions in that order: a directory
  // is not read while it changes.
  std::vector<std::string> noms;
  _stXFINDDATA st;
  if (CDiskFile::bFindFirst(pszChemin, &st, 0, FA_REPERTOIRE, &clErreur)) {
    do noms.push_back(std::string(st.szRepertoire) + st.szNom);
    while (CDiskFile::bFindNext(&st, &clErreur));
    CDiskFile::bFindClose(&st);
  }
  if (clErreur.bIsError()) {
    _ErreurSGF(&clErreur);
    return false;
  }
  for (const auto& nom : noms) {
    if (!CDiskFile::bDelete(nom.c_str(), &clErreur)) {
      _ErreurSGF(&clErreur);
      return false;
    }
  }
  return !noms.empty();
}

bool CComposanteStandard::fRenomme(const char* pszAncien, const char* pszNouveau) {
  if (_bNomVide(pszAncien) || _bNomVide(pszNouveau)) return false;
  CXError clErreur;
  if (CDiskFile::bRename(pszNouveau, pszAncien, &clErreur)) return true;
  _ErreurSGF(&clErreur);
  return false;
}
