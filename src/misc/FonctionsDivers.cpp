// The component's random-number, parity, colour, phonetic-key and
// smallest/largest functions.
#include <cstdlib>
#include <string>

#include "core/STR.h"
#include "core/XError.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"
#include "misc/Couleurs.h"
#include "misc/Hasard.h"
#include "misc/Phonetique.h"


CAny CComposanteStandard::Hasard() {
  CAny resultat;
  resultat.SetReel((std::rand() & 0x7FFF) / 32767.0);
  return resultat;
}

CAny CComposanteStandard::Hasard(int n) {
  CAny resultat;
  if (n <= 0) {
    RaiseError(ERR_BORNE_HASARD);
    resultat.SetEntier(0);
    return resultat;
  }
  resultat.SetEntier(static_cast<int>(DIVERS_nHasard(n) + 1));
  return resultat;
}

CAny CComposanteStandard::Hasard(int a, int b) {
  CAny resultat;
  if (a > b) {
    RaiseError(ERR_BORNES_HASARD);
    resultat.SetEntier(0);
    return resultat;
  }
  // The span may exceed 32 bits (from INT_MIN to INT_MAX): counted in 64.
  std::int64_t n = static_cast<std::int64_t>(b) - a + 1;
  resultat.SetEntier(static_cast<int>(a + DIVERS_nHasard(n)));
  return resultat;
}

void CComposanteStandard::InitHasard() { DIVERS_InitHasardHorloge(); }

void CComposanteStandard::InitHasard(int nGraine) { DIVERS_InitHasard(static_cast<unsigned>(nGraine)); }

bool CComposanteStandard::EstNumerique(const CAny* pclValeur) {
  if (pclValeur == nullptr) return false;
  WORD wType = pclValeur->wGetType();
  if (wType >= 2 && wType <= 15) return true;
  if (wType < 17 || wType > 23) return false;
  // A text is numeric when it converts to a real, and either the real is not
  // 0 or strtod reads at least one character of it.
  CAny texte(*pclValeur);
  if (texte.nCastTo(0x13) > 99) return false;
  const char* psz = nullptr;
  if (texte.nGetPCXSTR(&psz) != ANY_OK || psz == nullptr || *psz == '\0') return false;
  CAny reel(texte);
  if (reel.nCastTo(0x0c) > 99) return false;
  double d = 0;
  reel.nGetREAL(&d);
  char* fin = nullptr;
  std::strtod(psz, &fin);
  return d != 0 || fin != psz;
}

int CComposanteStandard::RVB(int r, int g, int b) { return static_cast<int>(::RVB(r, g, b)); }

int CComposanteStandard::TSL(int nTeinte, int nSaturation, int nLuminosite) {
  // Negative components are refused as well: they would give colours outside the bytes.
  if (nTeinte > 360 || nTeinte < 0) {
    RaiseError(ERR_TEINTE);
    return 0;
  }
  if (nSaturation > 100 || nSaturation < 0) {
    RaiseError(ERR_SATURATION);
    return 0;
  }
  if (nLuminosite > 100 || nLuminosite < 0) {
    RaiseError(ERR_LUMINOSITE);
    return 0;
  }
  return static_cast<int>(HLSToRGB(nTeinte, nLuminosite, nSaturation));
}

int CComposanteStandard::CouleurTeinte(int nCouleur) {
  stHLSCOLOR st{};
  RGBToHLS(static_cast<DWORD>(nCouleur), &st);
  return st.nTeinte;
}

int CComposanteStandard::CouleurSaturation(int nCouleur) {
  stHLSCOLOR st{};
  RGBToHLS(static_cast<DWORD>(nCouleur), &st);
  return st.nSaturation;
}

int CComposanteStandard::CouleurLuminosite(int nCouleur) {
  stHLSCOLOR st{};
  RGBToHLS(static_cast<DWORD>(nCouleur), &st);
  return st.nLuminosite;
}

CVXDSTR CComposanteStandard::Phonetique(const char* pszMot) {
  CVXDSTR resultat;
  std::string cle = PHON_sCle(pszMot);
  if (resultat.nAssign(cle.data(), static_cast<DWORD>(cle.size())) != STR_OK) RaiseError(ERR_MEMOIRE_PHONETIQUE);
  return resultat;
}

namespace {

// The extra arguments (from the second), fetched from the VM one by one.
template <class F>
bool bParcoursArguments(CComposanteStandard* pclCompo, F traite) {
  for (int i = 2; i <= pclCompo->nGetNbParametre(); ++i) {
    CAny valeur;
    if (!pclCompo->bGetParamAny(i, &valeur)) return false;
    if (!traite(valeur)) return false;
  }
  return true;
}

CVXDSTR clExtremeTexte(CComposanteStandard* pclCompo, const char* pszPremier, int nSens) {
  std::string meilleur = pszPremier != nullptr ? pszPremier : "";
  bool bOk = bParcoursArguments(pclCompo, [&](CAny& valeur) {
    if (valeur.nCastTo(0x13) > 99) return false;
    const char* psz = nullptr;
    valeur.nGetPCXSTR(&psz);
    if (STR_nCompare(psz, meilleur.c_str(), 0) * nSens > 0) meilleur = psz;
    return true;
  });
  CVXDSTR resultat;
  if (!bOk) {
    pclCompo->RaiseError();  // the error the VM left in the component's object
    return resultat;
  }
  resultat.nAssign(meilleur.data(), static_cast<DWORD>(meilleur.size()));
  return resultat;
}

double dExtremeReel(CComposanteStandard* pclCompo, double dPremier, int nSens) {
  double meilleur = dPremier;
  bool bOk = bParcoursArguments(pclCompo, [&](CAny& valeur) {
    if (valeur.nCastTo(0x0c) > 99) return false;
    double d = 0;
    valeur.nGetREAL(&d);
    if ((d - meilleur) * nSens > 0) meilleur = d;
    return true;
  });
  if (!bOk) {
    pclCompo->RaiseError();
    return 0;
  }
  return meilleur;
}

}  // namespace

CVXDSTR CComposanteStandard::Min(const char* pszPremier) { return clExtremeTexte(this, pszPremier, -1); }
CVXDSTR CComposanteStandard::Max(const char* pszPremier) { return clExtremeTexte(this, pszPremier, 1); }
double CComposanteStandard::Min(double dPremier) { return dExtremeReel(this, dPremier, -1); }
double CComposanteStandard::Max(double dPremier) { return dExtremeReel(this, dPremier, 1); }
