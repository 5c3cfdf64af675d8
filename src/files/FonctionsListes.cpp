// Listings of files and directories: each entry handed to a procedure of
// the program (directory, name, change indicator, the caller's parameter),
// or all of them gathered into one string, optionally with size, date and
// attributes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "abi/InterfacesVM.h"
#include "abi/TypesVX.h"
#include "core/Any.h"
#include "core/Environnement.h"
#include "core/TString.h"
#include "core/XError.h"
#include "files/DiskFile.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

enum : int {
  OPT_NON_RECURSIF = 2,
  OPT_INTERRUPTIBLE = 4,
  OPT_INFORMATION_COMPLETE = 0x10,
  OPT_SANS_FICHIER_CACHE = 0x100,
  OPT_SANS_REPERTOIRE_CACHE = 0x200,
};
enum : int { FL_FICHIER = 0, FL_CHANGE_REPERTOIRE = 1, FL_PREMIER_FICHIER = 2 };
constexpr const char* PSZ_SEPARATEUR = "\r\n";

// One listing call.
struct stLISTEFICHIER {
  void* pProcedure;          // null in string mode
  int nNombre;               // entries reported so far
  int nParametre;            // handed to each call
  IVM* piVM;
  DWORD dwAppel;
  CXError* pclErreur;        // the component's
  std::string sPrecedent;    // directory of the previous entry
  std::string sDepart;       // starting directory
  std::string sResultat;     // string mode
  int nOptions;
  bool bRepertoires;         // entries are directories (fListeRépertoire)
};

// The procedure's result is false when it converts to a boolean false.
bool bResultatFaux(const CAny& clResultat) {
  CAny clBooleen;
  clBooleen.__SetType(VXT_BOOLEEN);
  if (CAny::s_nCastTo(&clResultat, &clBooleen, VXT_BOOLEEN) > 1) return false;
  int n = 1;
  return clBooleen.nGetINT(&n) == 0 && n == 0;
}

// Call-back of the tree walk: 0 stops the walk.
int nEntree(const char* pszChemin, void* p) {
  auto* pst = static_cast<stLISTEFICHIER*>(p);
  if (CDiskFile::bIsADirectory(pszChemin) != pst->bRepertoires) return 1;
  if ((pst->nOptions & OPT_INTERRUPTIBLE) != 0 &&
      CComposanteStandard::bVerifieInteruptionUtilisateur(pst->piVM, 0, pst->pclErreur))
    return 0;
  ++pst->nNombre;
  if (pst->pProcedure == nullptr) {
    if (!pst->sResultat.empty()) pst->sResultat += PSZ_SEPARATEUR;
    pst->sResultat += pszChemin;
    return 1;
  }
  const std::string chemin = pszChemin;
  const std::size_t i = chemin.rfind('/');
  const std::string rep = chemin.substr(0, i + 1), nom = chemin.substr(i + 1);
  int nIndicateur;
  if (pst->nNombre == 1)
    nIndicateur = rep == pst->sDepart ? FL_PREMIER_FICHIER : FL_CHANGE_REPERTOIRE;
  else
    nIndicateur = rep == pst->sPrecedent ? FL_FICHIER : FL_CHANGE_REPERTOIRE;
  pst->sPrecedent = rep;

  IVM* piVM = pst->piVM;
  piVM->PrepareAppel();
  CAny aclValeurs[4];
  aclValeurs[0].bSetChaine(rep.c_str());
  aclValeurs[1].bSetChaine(nom.c_str());
  aclValeurs[2].SetEntier(nIndicateur);
  aclValeurs[3].SetEntier(pst->nParametre);
  for (CAny& cl : aclValeurs)
    if (!piVM->bEmpileValeur(&cl, pst->dwAppel)) return 0;
  if (!piVM->bAppelleProcedure(pst->pProcedure, pst->dwAppel, 4, 0)) return 0;
  CAny clResultat;
  piVM->SetValeurRetour(&clResultat);
  return bResultatFaux(clResultat) ? 0 : 1;
}

// The directory part of a pattern, made full, with its final slash.
bool bRepertoireDepart(const std::string& rep, std::string* psDepart, CXError* pclErreur) {
  CTString cl;
  if (!CDiskFile::bGetFullPath(rep.empty() ? "." : rep.c_str(), &cl, pclErreur)) return false;
  *psDepart = cl.pszGet();
  if (psDepart->empty() || psDepart->back() != '/') *psDepart += '/';
  return true;
}

// The full-information lines of the files of `rep` matching `filtre`, then
// of its subdirectories; false when interrupted.
bool bListeComplete(const std::string& rep, const std::string& filtre, stLISTEFICHIER* pst, CXError* pclErreur) {
  _stXFINDDATA st;
  bool bEncore = CDiskFile::bFindFirst((rep + filtre).c_str(), &st, 0, FA_REPERTOIRE, pclErreur);
  for (; bEncore; bEncore = CDiskFile::bFindNext(&st, pclErreur)) {
    if ((st.dwAttributs & FA_CACHE) != 0 && (pst->nOptions & OPT_SANS_FICHIER_CACHE) != 0) continue;
    if ((pst->nOptions & OPT_INTERRUPTIBLE) != 0 &&
        CComposanteStandard::bVerifieInteruptionUtilisateur(pst->piVM, 0, pst->pclErreur)) {
      CDiskFile::bFindClose(&st);
      return false;
    }
    const std::string chemin = rep + st.szNom;
    struct stat64 stat {};
    char szDate[32] = "";
    if (stat64(chemin.c_str(), &stat) == 0) {
      struct tm t {};
      const time_t tm = stat.st_mtime;
      ENV_pstLocalTime(&tm, &t);
      std::snprintf(szDate, sizeof szDate, "%04i%02i%02i%02i%02i%02i", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                    t.tm_hour, t.tm_min, t.tm_sec);
    }
    char szTaille[32];
    std::snprintf(szTaille, sizeof szTaille, "%lld", st.oTaille);
    if (!pst->sResultat.empty()) pst->sResultat += PSZ_SEPARATEUR;
    pst->sResultat += chemin + "\t" + szTaille + "\t" + szDate + "\t" +
                      CComposanteStandard::_sLettresAttribut(chemin.c_str(), st.dwAttributs);
    ++pst->nNombre;
  }
  CDiskFile::bFindClose(&st);
  if (pclErreur->bIsError() || (pst->nOptions & OPT_NON_RECURSIF) != 0) return true;
  bEncore = CDiskFile::bFindFirst((rep + "*").c_str(), &st, FA_REPERTOIRE, 0, pclErreur);
  for (; bEncore; bEncore = CDiskFile::bFindNext(&st, pclErreur)) {
    if ((st.dwAttributs & 0xF000) != FA_REPERTOIRE) continue;
    if ((st.dwAttributs & FA_CACHE) != 0 && (pst->nOptions & OPT_SANS_REPERTOIRE_CACHE) != 0) continue;
    const std::string sous = rep + st.szNom;
    struct stat64 stLien {};
    if (lstat64(sous.c_str(), &stLien) == 0 && S_ISLNK(stLien.st_mode)) continue;  // not followed
    CXError clSous;
    const bool bSuite = bListeComplete(sous + "/", filtre, pst, &clSous);
    if (clSous.bIsError() && !pclErreur->bIsError()) pclErreur->Copy(&clSous);
    if (!bSuite || pclErreur->bIsError()) {
      CDiskFile::bFindClose(&st);
      return bSuite;
    }
  }
  CDiskFile::bFindClose(&st);
  return true;
}

}  // namespace

std::string CComposanteStandard::_sLettresAttribut(const char* pszChemin, DWORD dwAttributs) {
  const bool bRepertoire = (dwAttributs & 0xF000) == FA_REPERTOIRE;
  bool bLectureSeule = (dwAttributs & 0222) == 0;
  if (!bLectureSeule) {
    bLectureSeule = bRepertoire ? _nDroitRepertoire(pszChemin) != 2
                                : faccessat(AT_FDCWD, pszChemin, W_OK, AT_EACCESS) != 0;
  }
  std::string s;
  if (bRepertoire) s += 'D';
  if (dwAttributs & FA_CACHE) s += 'H';
  if (bLectureSeule) s += 'R';
  return s;
}

int CComposanteStandard::fListeFichier(const char* pszFiltre, const char* pszProcedure, int nParametre,
                                       int nOptions) {
  return _nListe(pszFiltre, pszProcedure, nParametre, nOptions, false, nullptr);
}

CVXDSTR CComposanteStandard::fListeFichier(const char* pszFiltre, int nOptions) {
  std::string s;
  _nListe(pszFiltre, nullptr, 0, nOptions, false, &s);
  return clTexte(s);
}

int CComposanteStandard::fListeRepertoire(const char* pszRepertoire, const char* pszProcedure, int nParametre,
                                          int nOptions) {
  return _nListe(pszRepertoire, pszProcedure, nParametre, nOptions, true, nullptr);
}

CVXDSTR CComposanteStandard::fListeRepertoire(const char* pszRepertoire, int nOptions) {
  std::string s;
  _nListe(pszRepertoire, nullptr, 0, nOptions, true, &s);
  return clTexte(s);
}

int CComposanteStandard::_nListe(const char* pszChemin, const char* pszProcedure, int nParametre, int nOptions,
                                 bool bRepertoires, std::string* psResultat) {
  stLISTEFICHIER st{nullptr, 0, nParametre, piGetVM(), 0, m_pclErreur, {}, {}, {}, nOptions, bRepertoires};
  if (pstGetAppel() != nullptr) st.dwAppel = pstGetAppel()->dwAppel;
  CXError clErreur;
  std::string rep, filtre;
  const std::string chemin = CDiskFile::sNormalise(pszChemin);
  if (bRepertoires) {
    if (!CDiskFile::bIsADirectory(chemin.c_str())) {
      RaiseError(ERR_PAS_UN_REPERTOIRE);
      return 0;
    }
    rep = chemin;
    filtre = "*";
  } else {
    const std::size_t i = chemin.rfind('/');
    rep = i == std::string::npos ? std::string() : chemin.substr(0, i + 1);
    filtre = chemin.substr(i == std::string::npos ? 0 : i + 1);
  }
  if (!bRepertoireDepart(rep, &st.sDepart, &clErreur)) {
    _ErreurSGF(&clErreur);
    return 0;
  }
  if (psResultat == nullptr) {
    IVM* piVM = st.piVM;
    if (piVM == nullptr || !piVM->bRechercheProcedure(pszProcedure, 0, &st.pProcedure, &clErreur)) {
      _ErreurSGF(&clErreur);
      return 0;
    }
  }
  const bool bRecursif = (nOptions & OPT_NON_RECURSIF) == 0;
  if (!bRepertoires && psResultat != nullptr && (nOptions & OPT_INFORMATION_COMPLETE) != 0) {
    bListeComplete(st.sDepart, filtre, &st, &clErreur);
  } else if (bRepertoires) {
    CDiskFile::bDoOnDirectoryTree(st.sDepart.c_str(), filtre.c_str(), nEntree, &st, bRecursif, &clErreur);
  } else {
    CDiskFile::bDoOnFileTree(st.sDepart.c_str(), filtre.c_str(), nEntree, &st, 1, bRecursif, &clErreur);
  }
  if (clErreur.bIsError()) _ErreurSGF(&clErreur);
  if (psResultat != nullptr) *psResultat = std::move(st.sResultat);
  return st.nNombre;
}
