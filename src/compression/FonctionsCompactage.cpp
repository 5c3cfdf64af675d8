// The component's file compaction functions: fCompacte, fDécompacte, the
// two size queries and fStopCompacte. Paths are resolved first; every
// output replaces its file only once complete (a temporary file beside it,
// renamed over it), which also covers a destination that is the source
// itself under any name.
#include <cstring>
#include <string>

#include "compression/Compacte.h"
#include "core/TString.h"
#include "core/XError.h"
#include "files/DiskFile.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

// The error codes follow the result codes, one for one.
static_assert(ERR_COMPACTE_DISQUE_PLEIN - ERR_COMPACTE_SOURCE == COMPACTE_DISQUE_PLEIN - COMPACTE_SOURCE);

bool bCheminComplet(const char* psz, char* pszSortie) {
  if (psz == nullptr || *psz == '\0') return false;
  const DWORD n = CDiskFile::GetFullPathName(psz, DISKFILE_MAX_PATH + 1, pszSortie);
  return n > 0 && n <= DISKFILE_MAX_PATH;
}

}  // namespace

int CComposanteStandard::__nResultatCompactage(int nResultat) {
  if (nResultat != COMPACTE_OK) RaiseError(ERR_COMPACTE_SOURCE + static_cast<DWORD>(nResultat - COMPACTE_SOURCE));
  return nResultat;
}

int CComposanteStandard::__nSourceRefusee() {
  m_pclErreur->ChangeUserError(ERR_COMPACTE_SOURCE);
  return COMPACTE_SOURCE;
}

int CComposanteStandard::fCompacte(const char* pszSource, const char* pszDestination) {
  char szSource[DISKFILE_MAX_PATH + 1], szDestination[DISKFILE_MAX_PATH + 1];
  if (!bCheminComplet(pszSource, szSource)) return __nResultatCompactage(COMPACTE_SOURCE);
  if (!_bVerifieSource(szSource)) return __nSourceRefusee();
  if (!bCheminComplet(pszDestination, szDestination)) return __nResultatCompactage(COMPACTE_DESTINATION);
  return __nResultatCompactage(nfCompacte(szSource, szDestination));
}

int CComposanteStandard::fDecompacte(const char* pszSource, const char* pszDestination, int nOffset) {
  char szSource[DISKFILE_MAX_PATH + 1], szDestination[DISKFILE_MAX_PATH + 1];
  if (!bCheminComplet(pszSource, szSource)) return __nResultatCompactage(COMPACTE_SOURCE);
  if (!_bVerifieSource(szSource)) return __nSourceRefusee();
  const short nLangue = 0;
  if (pszDestination == nullptr || *pszDestination == '\0')
    return __nResultatCompactage(sDecompacteEx(nOffset, nLangue, szSource, nullptr));
  if (!bCheminComplet(pszDestination, szDestination)) return __nResultatCompactage(COMPACTE_DESTINATION);
  // A destination naming a directory keeps its final separator.
  const std::size_t n = std::strlen(pszDestination);
  const char cFin = pszDestination[n - 1];
  if ((cFin == '/' || cFin == '\\' || cFin == ':') && std::strlen(szDestination) < DISKFILE_MAX_PATH &&
      szDestination[std::strlen(szDestination) - 1] != '/')
    std::strcat(szDestination, "/");
  return __nResultatCompactage(sDecompacteEx(nOffset, nLangue, szSource, szDestination));
}

int CComposanteStandard::fTailleCompacte(const char* pszChemin) {
  if (!_bVerifieSource(pszChemin)) {
    __nSourceRefusee();
    return -1;
  }
  const long long o = lfTailleCompacte(pszChemin);
  if (o == -1) RaiseError(ERR_COMPACTE_SOURCE);
  if (o == -2) RaiseError(ERR_COMPACTE_DESTINATION);
  return static_cast<int>(o);
}

int CComposanteStandard::fTailleDecompacte(const char* pszChemin) {
  if (!_bVerifieSource(pszChemin)) {
    __nSourceRefusee();
    return -1;
  }
  const long long o = lfTailleDecompacte(pszChemin);
  if (o == -1) RaiseError(ERR_COMPACTE_SOURCE);
  if (o == -2) RaiseError(ERR_COMPACTE_DESTINATION);
  return static_cast<int>(o);
}

void CComposanteStandard::fStopCompacte() { COMPACTE_DemandeArret(); }
