// The component's number formatting functions.
#include <cstring>
#include <string>

#include "core/TString.h"
#include "core/XError.h"
#include "core/accesdllres.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"
#include "numbers/FormatNumerique.h"

namespace {

enum : DWORD {
  MSG_UNITES_TAILLE = 25202,
};

// The value's own text (converted by the VM); empty when it has none.
std::string sTexte(const CAny* pclValeur) {
  CAny copie(*pclValeur);
  if (copie.wGetType() != 0x13 && copie.nCastTo(0x13) > 99) return {};
  const char* p = nullptr;
  unsigned long n = 0;
  copie.nGetPCXSTR(&p);
  copie.nGetSTRLEN(&n);
  return std::string(p != nullptr ? p : "", n);
}

}  // namespace

CVXDSTR CComposanteStandard::NumeriqueVersChaine(const CAny* pclValeur, const char* pszFormat) {
  if (pclValeur == nullptr) return {};
  WORD wType = pclValeur->wGetType();
  bool bFormatVide = pszFormat == nullptr || *pszFormat == '\0';
  int n = 0;
  if (bFormatVide && wType != 0x01 && pclValeur->nGetINT(&n) == ANY_OK) return clTexte(std::to_string(n));
  if (wType >= 0x11 && wType <= 0x17) return clTexte(sTexte(pclValeur));
  if (bFormatVide) {
    std::string s = sTexte(pclValeur);
    if (!s.empty() && s.back() == '.') s.pop_back();
    return clTexte(s);
  }
  // The value as a real, or as an exact 64-bit integer when it is one too big for a real's care.
  long long llEntier = 0;
  bool bEntier = false, b64 = wType == 0x0a;
  if (wType == 0x05 || wType == 0x09) {
    std::memcpy(&llEntier, pclValeur->pclGetGenre()->m_abValeur, 8);
    bEntier = wType == 0x05 ? static_cast<unsigned long long>(llEntier) > 4294967295ULL : llEntier > 4294967295LL;
    b64 = true;
  }
  double d = 0;
  CAny reel(*pclValeur);
  if (!bEntier && (reel.nCastTo(0x0c) > 99 || reel.nGetREAL(&d) != ANY_OK)) {
    RaiseError(ERR_FORMAT_NUMERIQUE);
    return {};
  }
  std::string s;
  if (!bFormateNombre(d, llEntier, bEntier, b64, pszFormat, &s)) {
    RaiseError(ERR_FORMAT_NUMERIQUE);
    return {};
  }
  return clTexte(s);
}

CVXDSTR CComposanteStandard::TailleVersChaine(long long llTaille, int nUnite) {
  CTString noms;
  if (!DLLRES_bLoadString(MSG_UNITES_TAILLE, &noms)) noms.Set("o;Ko;Mo;Go;To");
  std::string s;
  if (!bFormateTailleDisque(static_cast<double>(llTaille), nUnite, noms.pszGet(), cVirguleLocale(), &s)) {
    // Recorded for the program, not raised.
    m_pclErreur->SetUserError(ERR_UNITE_TAILLE);
    return {};
  }
  return clTexte(s);
}
