// The component's date, time and duration functions.
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/TString.h"
#include "core/XError.h"
#include "dates/Calendrier.h"
#include "dates/DateHeure.h"
#include "dates/MasqueDateHeure.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

// Day of the week 1 = Monday ... 7 = Sunday.
int nJourSemaineLangage(long nJour) {
  int j = NumToNumSemaine(nJour);
  return j == 0 ? 7 : j;
}

}  // namespace

// ---- Argument checks ---------------------------------------------------------------------------

bool CComposanteStandard::_bVerifieDate(const char* pszDate, int* pnAnnee, int* pnMois, int* pnJour) {
  if (bDateVerif(pszDate, pnAnnee, pnMois, pnJour, m_pclErreur)) return true;
  RaiseError();
  return false;
}

bool CComposanteStandard::_bVerifieJour(const char* pszDate, long* pnJour, int* pnAnnee) {
  int a, m, j;
  // The calendar check leaves its error in the component's object.
  if (!bDateVerif(pszDate, &a, &m, &j, m_pclErreur) || !bJourGregorien(j, m, a, pnJour)) {
    RaiseError();
    return false;
  }
  if (pnAnnee != nullptr) *pnAnnee = a;
  return true;
}

bool CComposanteStandard::_bVerifieHeure(const char* pszHeure, int* pnHeures, int* pnMinutes, int* pnSecondes,
                                         int* pnCentiemes) {
  if (bHeureVerif(pszHeure, pnHeures, pnMinutes, pnSecondes, pnCentiemes, m_pclErreur)) return true;
  RaiseError();
  return false;
}

bool CComposanteStandard::_bVerifieEntierDate(long nJour, int* pnJour, int* pnMois, int* pnAnnee) {
  if (bNumEnDate(nJour, pnJour, pnMois, pnAnnee)) return true;
  RaiseError(ERR_ENTIER_DATE);
  return false;
}

// ---- The clock ------------------------------------------------------------------------------

CVXDSTR CComposanteStandard::DateSys() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return clTexte(sFormat("%04d%02d%02d", st.wYear, st.wMonth, st.wDay));
}

CVXDSTR CComposanteStandard::HeureSys() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return clTexte(sFormat("%02d%02d%02d%02d", st.wHour, st.wMinute, st.wSecond, st.wMilliseconds / 10));
}

namespace {

// Applies a changed clock; the system's error when it refuses.
void Regle(CComposanteStandard* pclCompo, const SYSTEMTIME& st) {
  if (SetLocalTime(&st)) return;
  int nErreur = errno;
  CXError* e = pclCompo->pclGetError();
  e->RAZ();
  e->SetSystemError(static_cast<DWORD>(nErreur));
  e->AddUserMessage(e->pszGetSystemErrorMessage());
  e->SetErrorLevel(EL_ERREUR_GRAVE);
  pclCompo->RaiseError();
}

}  // namespace

void CComposanteStandard::DateSys(const char* pszDate) {
  int a, m, j;
  if (!_bVerifieDate(pszDate, &a, &m, &j)) return;
  SYSTEMTIME st;
  GetLocalTime(&st);
  st.wYear = static_cast<WORD>(a);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(j);
  Regle(this, st);
}

void CComposanteStandard::HeureSys(const char* pszHeure) {
  int h, m, s, c;
  if (!_bVerifieHeure(pszHeure, &h, &m, &s, &c)) return;
  SYSTEMTIME st;
  GetLocalTime(&st);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(m);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(c * 10);
  Regle(this, st);
}

// ---- Integers ----------------------------------------------------------------------------------

CVXDSTR CComposanteStandard::EntierVersDate(int nJour, const char* pszPartie) {
  int j, m, a;
  if (!_bVerifieEntierDate(nJour, &j, &m, &a)) return {};
  char c = pszPartie != nullptr ? static_cast<char>(std::toupper(static_cast<unsigned char>(pszPartie[0]))) : '\0';
  if (c == 'A' || c == 'Y') return clTexte(sFormat("%04d", a));
  if (c == 'J' || c == 'D') return clTexte(sFormat("%02d", j));
  if (c == 'M') return clTexte(sFormat("%02d", m));
  return clTexte(sFormat("%04d%02d%02d", a, m, j));
}

int CComposanteStandard::EntierVersJour(int nJour) { return nJourSemaineLangage(nJour); }

CVXDSTR CComposanteStandard::EntierVersHeure(int nCentiemes) {
  char buf[32];
  if (CDateTimeBase::nEntierVersHeure(buf, nCentiemes, sizeof buf) != DH_OK) {
    RaiseError(ERR_HEURE_NEGATIVE);
    return {};
  }
  return clTexte(buf);
}

int CComposanteStandard::HeureVersEntier(const char* pszHeure) {
  int h, m, s, c;
  if (!_bVerifieHeure(pszHeure, &h, &m, &s, &c)) return -1;
  return h * 360000 + m * 6000 + s * 100 + c;
}

int CComposanteStandard::DateVersEntier(const char* pszDate, bool bJourDeLAnnee) {
  int a;
  long n = 0;
  if (!_bVerifieJour(pszDate, &n, &a)) return -1;
  if (!bJourDeLAnnee) return static_cast<int>(n);
  long premier = 0;
  bJourGregorien(1, 1, a, &premier);
  return static_cast<int>(n - premier + 1);
}

bool CComposanteStandard::DateValide(const char* pszDate) { return bDateValide(pszDate); }

int CComposanteStandard::HeureValide(const char* pszHeure) { return bHeureValide(pszHeure) ? 1 : 0; }

int CComposanteStandard::NumeroDeSemaine(const char* pszDate) {
  long n = 0;
  if (!_bVerifieJour(pszDate, &n)) return -1;
  return nNumeroSemaine(n);
}

int CComposanteStandard::EntierVersNumeroDeSemaine(int nJour) {
  int j, m, a;
  if (!_bVerifieEntierDate(nJour, &j, &m, &a)) return -1;
  return nNumeroSemaine(nJour);
}

// ---- Names --------------------------------------------------------------------------------------

namespace {

// The VM's language information, released after use.
struct CInfoLangue {
  explicit CInfoLangue(CComposanteStandard* pclCompo) {
    IVM* piVM = pclCompo->piGetVM();
    pi = piVM != nullptr ? piVM->piGetInfoLangue(0, 0) : nullptr;
  }
  ~CInfoLangue() {
    if (pi != nullptr) pi->Release();
  }
  CInfoLangue(const CInfoLangue&) = delete;
  CInfoLangue& operator=(const CInfoLangue&) = delete;
  IInfoLangue* pi;
};

CVXDSTR clNomJour(CComposanteStandard* pclCompo, long nJour) {
  CInfoLangue info(pclCompo);
  CTString nom;
  CMasqueDateHeure::s_JourEnLettre(NumToNumSemaine(nJour), info.pi, &nom);
  return clTexte(nom.pszGet());
}

CVXDSTR clNomMois(CComposanteStandard* pclCompo, int nMois) {
  CInfoLangue info(pclCompo);
  CTString nom;
  CMasqueDateHeure::s_MoisEnLettre(nMois, info.pi, &nom);
  return clTexte(nom.pszGet());
}

}  // namespace

CVXDSTR CComposanteStandard::EntierVersJourEnLettre(int nJour) {
  int j, m, a;
  if (!_bVerifieEntierDate(nJour, &j, &m, &a)) return {};
  return clNomJour(this, nJour);
}

CVXDSTR CComposanteStandard::DateVersJourEnLettre(const char* pszDate) {
  long n = 0;
  if (!_bVerifieJour(pszDate, &n)) return {};
  return clNomJour(this, n);
}

CVXDSTR CComposanteStandard::EntierVersMoisEnLettre(int nJour) {
  int j, m, a;
  if (!_bVerifieEntierDate(nJour, &j, &m, &a)) return {};
  return clNomMois(this, m);
}

CVXDSTR CComposanteStandard::DateVersMoisEnLettre(const char* pszDate) {
  int a, m, j;
  if (!_bVerifieDate(pszDate, &a, &m, &j)) return {};
  return clNomMois(this, m);
}

int CComposanteStandard::DateVersJour(const char* pszDate) {
  long n = 0;
  if (!_bVerifieJour(pszDate, &n)) return -1;
  return nJourSemaineLangage(n);
}

// ---- Masks ---------------------------------------------------------------------------------------

CVXDSTR CComposanteStandard::DateVersChaine(const char* pszDate, const char* pszMasque) {
  if (pszDate == nullptr) pszDate = "";
  if (pszMasque != nullptr && std::strcmp(pszMasque, "UseSystemMask") == 0) {
    CMasqueDateHeure masque(pszMasque, 1);
    IVM* piVM = piGetVM();
    masque.SetInfoLangue(piVM != nullptr ? piVM->piGetInfoLangue(0, 0) : nullptr);
    CTString s;
    masque.FormateEx(pszDate, &s, 0);
    return clTexte(s.pszGet());
  }
  if (*pszDate == '\0') return {};
  int a, m, j;
  if (!_bVerifieDate(pszDate, &a, &m, &j)) return {};
  if (pszMasque == nullptr) return clTexte(sFormat("%02d/%02d/%04d", j, m, a));
  CMasqueDateHeure masque(pszMasque, 1);
  IVM* piVM = piGetVM();
  masque.SetInfoLangue(piVM != nullptr ? piVM->piGetInfoLangue(0, 0) : nullptr);
  CTString s;
  masque.FormateEx(pszDate, &s, 0);
  return clTexte(s.pszGet());
}

CVXDSTR CComposanteStandard::ChaineVersDate(const char* pszTexte, const char* pszMasque) {
  if (pszTexte == nullptr || *pszTexte == '\0') return {};
  if (pszMasque == nullptr) {
    char date[16];
    return bChaineVersDate(pszTexte, "JJ/MM/AAAA", date) ? clTexte(date) : CVXDSTR();
  }
  // Lower-case tokens raised to the mask syntax, the longest first.
  CTString masque(pszMasque);
  for (auto [bas, haut] : {std::pair{"mmmm", "MMMM"}, {"mmm", "MMM"}, {"mm", "MM"}, {"jj", "JJ"}, {"dd", "DD"},
                           {"aaaa", "AAAA"}, {"aa", "AA"}, {"yyyy", "YYYY"}, {"yy", "YY"}})
    masque.Remplace(bas, haut);
  CMasqueDateHeure lecteur(masque.pszGet(), 1);
  IVM* piVM = piGetVM();
  lecteur.SetInfoLangue(piVM != nullptr ? piVM->piGetInfoLangue(0, 0) : nullptr);
  CTString s;
  lecteur.DeformateDateHeure(pszTexte, &s);
  s.Tronque(20);
  return clTexte(s.pszGet());
}

CVXDSTR CComposanteStandard::HeureVersChaine(const char* pszHeure, const char* pszMasque) {
  int h, m, s, c;
  if (!_bVerifieHeure(pszHeure, &h, &m, &s, &c)) return {};
  if (pszMasque == nullptr) return clTexte(sFormat("%02d:%02d:%02d:%02d", h, m, s, c));
  CTString texte(pszMasque);
  // Each token as written, else in lower case; every occurrence replaced.
  auto remplace = [&texte](const char* jeton, const char* jetonBas, const std::string& valeur) {
    if (texte.Remplace(jeton, valeur.c_str()) == 0) return texte.Remplace(jetonBas, valeur.c_str()) > 0;
    return true;
  };
  if (remplace("AP", "ap", h < 12 ? "AM" : "PM") && h != 12) h %= 12;
  remplace("HH", "hh", sFormat("%02d", h));
  remplace("MM", "mm", sFormat("%02d", m));
  remplace("SS", "ss", sFormat("%02d", s));
  remplace("CC", "cc", sFormat("%02d", c));
  return clTexte(texte.pszGet());
}

// ---- Differences -----------------------------------------------------------------------------------

int CComposanteStandard::DateDifference(const char* pszDate1, const char* pszDate2) {
  long n = 0;
  if (!bDateDifference(pszDate1, pszDate2, &n)) {
    RaiseError(ERR_DIFFERENCE_DATE);
    return -1;
  }
  return static_cast<int>(n);
}

int CComposanteStandard::HeureDifference(const char* pszHeure1, const char* pszHeure2) {
  long n = 0;
  if (!bHeureDifference(pszHeure1, pszHeure2, &n)) {
    RaiseError(ERR_DIFFERENCE_HEURE);
    return -1;
  }
  return static_cast<int>(n);
}

CVXDSTR CComposanteStandard::DateHeureDifference(const char* pszDebut, const char* pszFin) {
  long j1, c1, j2, c2;
  if (!bDateHeureValide(pszDebut) || !bDateHeureValide(pszFin) || !bJourCentieme(pszDebut, &j1, &c1) ||
      !bJourCentieme(pszFin, &j2, &c2)) {
    RaiseError(ERR_DIFFERENCE_DATE);
    return {};
  }
  double d = (j2 * 8640000.0 + c2) - (j1 * 8640000.0 + c1);
  const char* signe = d < 0 ? "-" : "+";
  auto a = static_cast<long long>(std::fabs(d));
  char format[64];
  std::snprintf(format, sizeof format, "%%s%%0%dlld%%0%dlld%%0%dlld%%0%dlld%%0%dlld", 7, 2, 2, 2, 2);
  char buf[64];
  std::snprintf(buf, sizeof buf, format, signe, a / 8640000, a % 8640000 / 360000, a % 360000 / 6000, a % 6000 / 100,
                a % 100);
  return clTexte(buf);
}

// ---- Durations ------------------------------------------------------------------------------------

CVXDSTR CComposanteStandard::DureeVersChaine(long long llDuree, int nForme) {
  CDureeBase d{llDuree};
  return clTexte(nForme == 1 ? d.VersChaineCentieme() : d.VersChaine());
}

CVXDSTR CComposanteStandard::DureeVersChaine(long long llDuree, const char* pszFormat) {
  CDureeBase d{llDuree};
  CVXDSTR r;
  nDureeVersChaine(&d, &r, pszFormat);
  return r;
}

long long CComposanteStandard::ChaineVersDuree(const char* pszTexte, int nForme) {
  CDureeBase d;
  if ((nForme == 1 ? d.nDepuisChaineCentieme(pszTexte) : d.nDepuisChaine(pszTexte)) != DH_OK) return 0;
  return d.m_llMillis;
}

long long CComposanteStandard::ChaineVersDuree(const char* pszTexte, const char* pszFormat) {
  CDureeBase d;
  if (nChaineVersDuree(&d, pszTexte, pszFormat) != DH_OK) return 0;
  return d.m_llMillis;
}

// ---- Age and Easter ------------------------------------------------------------------------------

CVXDSTR CComposanteStandard::Age(const char* pszNaissance, const char* pszReference) {
  int an, mn, jn, ar, mr, jr;
  if (!bDateVerif(pszNaissance, &an, &mn, &jn)) return {};
  if (pszReference != nullptr && *pszReference != '\0') {
    if (!bDateVerif(pszReference, &ar, &mr, &jr)) return {};
  } else {
    SYSTEMTIME st;
    GetLocalTime(&st);
    ar = st.wYear, mr = st.wMonth, jr = st.wDay;
  }
  if (ar * 10000 + mr * 100 + jr < an * 10000 + mn * 100 + jn) return {};
  int annees = ar - an, mois = mr - mn, jours;
  if (mois < 0) {
    mois += 12;
    --annees;
  }
  if (jr < jn) {
    // Days borrowed from the month before the reference; a birth day past
    // that month's end counts from its last day, so no field goes negative.
    int moisAvant = mr == 1 ? 12 : mr - 1;
    int longueur = nJoursDansMois(moisAvant, mr == 1 ? ar - 1 : ar);
    int depart = jn < longueur ? jn : longueur;
    jours = longueur - depart + jr;
    if (mois == 0) {
      mois = 11;
      --annees;
    } else {
      --mois;
    }
  } else {
    jours = jr - jn;
  }
  if (annees > 9999 || mois >= 12 || jours >= 31 || annees < 0) return {};
  return clTexte(sFormat("%04d%02d%02d", annees, mois, jours));
}

CVXDSTR CComposanteStandard::Paques(int nAnnee) {
  char buf[16];
  bPaques(nAnnee, buf);
  return clTexte(buf);
}

CVXDSTR CComposanteStandard::Paques(const char* pszAnnee) {
  char annee[5] = {};
  if (pszAnnee != nullptr) std::strncpy(annee, pszAnnee, 4);
  for (int i = 0; i < 4; ++i) {
    if (annee[i] < '0' || annee[i] > '9') return {};
  }
  return Paques(std::atoi(annee));
}

// ---- Universal time ---------------------------------------------------------------------------------

namespace {

CVXDSTR clConvertitUTC(CComposanteStandard* pclCompo, const CDateTimeBase& cl, bool bVersLocale) {
  SYSTEMTIME st, resultat;
  FILETIME ft, converti;
  cl.nVersSysteme(&st);
  bool bOk = cl.bDateValide() && cl.m_dwHeure < MS_PAR_JOUR && SystemTimeToFileTime(&st, &ft) &&
             (bVersLocale ? FileTimeToLocalFileTime(&ft, &converti) : LocalFileTimeToFileTime(&ft, &converti)) &&
             FileTimeToSystemTime(&converti, &resultat);
  if (!bOk) {
    pclCompo->RaiseError(ERR_DATE);
    return {};
  }
  CDateTimeBase sortie;
  sortie.InitDate(&resultat);
  return clTexte(sortie.VersChaine());
}

}  // namespace

CVXDSTR CComposanteStandard::DateHeureUTCVersLocale(CDateTimeBase clDateHeure) {
  return clConvertitUTC(this, clDateHeure, true);
}

CVXDSTR CComposanteStandard::DateHeureLocaleVersUTC(CDateTimeBase clDateHeure) {
  return clConvertitUTC(this, clDateHeure, false);
}
