// INILit and INIEcrit: the language's INI functions over the profile
// operations (an empty text stands for an omitted argument).
#include <cerrno>
#include <string>

#include "core/XError.h"
#include "files/Profil.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

constexpr DWORD TAILLE_LECTURE = 65535;

const char* pszOuNul(const char* psz) { return psz != nullptr && *psz != '\0' ? psz : nullptr; }

}  // namespace

CAny CComposanteStandard::INILit(const char* pszSection, const char* pszCle, const char* pszDefaut,
                                 const char* pszFichier) {
  const char* pszS = pszOuNul(pszSection);
  const char* pszC = pszS != nullptr ? pszOuNul(pszCle) : nullptr;
  std::string buf(TAILLE_LECTURE, '\0');
  const DWORD n = GetPrivateProfileString(pszS, pszC, pszDefaut != nullptr ? pszDefaut : "", buf.data(),
                                          TAILLE_LECTURE, pszOuNul(pszFichier));
  // A 0 among the characters stands for a line break.
  std::string texte;
  for (DWORD i = 0; i < n; ++i) {
    if (buf[i] == '\0') texte += "\r\n";
    else texte += buf[i];
  }
  CAny a;
  if (!a.bSetChaine(texte.data(), static_cast<DWORD>(texte.size()))) RaiseError(ERR_MEMOIRE);
  return a;
}

bool CComposanteStandard::INIEcrit(const char* pszSection, const char* pszCle, const char* pszValeur,
                                   const char* pszFichier) {
  const char* pszS = pszOuNul(pszSection);
  const char* pszC = pszS != nullptr ? pszOuNul(pszCle) : nullptr;
  const char* pszV = pszOuNul(pszValeur);
  const char* pszF = pszOuNul(pszFichier);
  if (pszF == nullptr) return WriteProfileString(pszS, pszC, pszV) != 0;
  if (!WritePrivateProfileString(pszS, pszC, pszV, pszF)) {
    // The system's reason goes with the library's error.
    CXError cl;
    cl.SetSystemError(static_cast<DWORD>(errno));
    cl.ChangeUserError(ERR_INI_ECRITURE, pszF);
    RaiseErrorCopy(&cl);
    return false;
  }
  return true;
}

bool CComposanteStandard::INIEcrit(const char* pszSection, const char* pszCle, int nValeur,
                                   const char* pszFichier) {
  if (nValeur != 0) {
    RaiseError(ERR_INI_ENTIER);
    return false;
  }
  return INIEcrit(pszSection, pszCle, "", pszFichier);
}

bool CComposanteStandard::INIEcrit(const char* pszSection, int nCle, int nValeur, const char* pszFichier) {
  if (nCle != 0 || nValeur != 0) {
    RaiseError(ERR_INI_ENTIER);
    return false;
  }
  return INIEcrit(pszSection, "", "", pszFichier);
}

bool CComposanteStandard::INIEcrit(int nSection, int nCle, int nValeur, const char* pszFichier) {
  if (nSection != 0 || nCle != 0 || nValeur != 0) {
    RaiseError(ERR_INI_ENTIER);
    return false;
  }
  return INIEcrit("", "", "", pszFichier);
}
