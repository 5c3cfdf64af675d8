// Directories entry by entry: fRep's enumeration one name at a time,
// fRepSupprime (empty, or the whole tree) and fRepTaille (total size).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "core/Progression.h"
#include "core/XError.h"
#include "files/AppelsSysteme.h"
#include "files/DiskFile.h"
#include "files/TableFichiers.h"
#include "frame/Standard.h"
#include "gen/Erreurs.h"

namespace {

enum : DWORD {
  MSG_ERREUR_INCONNUE = 4866,
  MSG_TAILLE_REP = 5261,
};

enum : int { GENRE_FICHIER = 0x27, GENRE_REPERTOIRE = 0x37 };
enum : int { OPT_RECURSIF = 1, OPT_NON_RECURSIF = 2, OPT_INTERRUPTIBLE = 4, OPT_IGNORE_ERREUR = 8 };
constexpr int OPTIONS_REPSUPPRIME = 0x10F;

bool bEstRepertoire(const _stXFINDDATA& st) { return (st.dwAttributs & 0xF000) == FA_REPERTOIRE; }

// Empties `rep` and removes its entries in the order the system lists them:
// files and links unlinked, real subdirectories emptied and removed. The
// first failure stops, with its errno; 0 when all went.
int nVideRepertoire(const std::string& rep) {
  DIR* d = opendir(rep.c_str());
  if (d == nullptr) return errno;
  int nErreur = 0;
  for (;;) {
    errno = 0;
    dirent64* e = readdir64(d);
    if (e == nullptr) {
      nErreur = errno;
      break;
    }
    if (CDiskFile::bIsAVirtualDirectory(e->d_name)) continue;
    const std::string chemin = rep + "/" + e->d_name;
    if (chemin.size() >= DISKFILE_MAX_PATH) {
      nErreur = ENAMETOOLONG;
      break;
    }
    struct stat64 st {};
    if (lstat64(chemin.c_str(), &st) != 0) {
      if (errno == ENOENT) continue;  // gone meanwhile
      nErreur = errno;
      break;
    }
    if (S_ISDIR(st.st_mode)) {
      if ((nErreur = nVideRepertoire(chemin)) != 0) break;
      if (rmdir(chemin.c_str()) != 0) {
        nErreur = errno;
        break;
      }
    } else if (SYS_nUnlink(chemin.c_str()) != 0) {
      nErreur = errno;
      break;
    }
  }
  closedir(d);
  return nErreur;
}

}  // namespace

CVXDSTR CComposanteStandard::fRep(const char* pszFiltre, int nGenre) {
  if (nGenre != GENRE_FICHIER && nGenre != GENRE_REPERTOIRE) {
    RaiseError(ERR_GENRE_REP);
    return CVXDSTR();
  }
  _stXFINDDATA*& pst = m_pstRecherche;
  CXError clErreur;
  bool bTrouve;
  if (*pszFiltre != '\0') {
    FIC_FinRecherche(pst);
    const bool bRepertoires = nGenre == GENRE_REPERTOIRE;
    std::string filtre = CDiskFile::sNormalise(pszFiltre);
    if (bRepertoires)
      while (filtre.size() > 1 && filtre.back() == '/') filtre.pop_back();
    pst = new (std::nothrow) _stXFINDDATA;
    if (pst == nullptr) {
      m_pclErreur->SetErrorNoMemory();
      return CVXDSTR();
    }
    const DWORD dwRequis = bRepertoires ? static_cast<DWORD>(FA_REPERTOIRE) : 0u;
    const DWORD dwExclus = bRepertoires ? 0u : static_cast<DWORD>(FA_REPERTOIRE);
    bTrouve = CDiskFile::bFindFirst(filtre.c_str(), pst, dwRequis, dwExclus, &clErreur);
  } else if (pst == nullptr) {
    RaiseError(ERR_PAS_DE_RECHERCHE);
    return CVXDSTR();
  } else {
    bTrouve = CDiskFile::bFindNext(pst, &clErreur);
  }
  // Only real directories: the required bit is shared by other types.
  while (bTrouve && (pst->dwRequis & FA_REPERTOIRE) != 0 && !bEstRepertoire(*pst))
    bTrouve = CDiskFile::bFindNext(pst, &clErreur);
  if (!bTrouve) {
    FIC_FinRecherche(pst);
    if (clErreur.bIsError()) _ErreurSGF(&clErreur);
    return CVXDSTR();
  }
  return clTexte(pst->szNom);
}

bool CComposanteStandard::fRepSupprime(const char* pszChemin, int nOptions) {
  if (nOptions < 0 || nOptions > OPTIONS_REPSUPPRIME) {
    RaiseError(ERR_OPTIONS);
    return false;
  }
  std::string rep = CDiskFile::sNormalise(pszChemin);
  const std::size_t nEtoile = rep.find('*');
  if (nEtoile != std::string::npos) rep.resize(nEtoile);
  while (rep.size() > 1 && rep.back() == '/') rep.pop_back();
  if (rep.empty() || !CDiskFile::bIsADirectory(rep.c_str())) {
    RaiseError(ERR_PAS_UN_REPERTOIRE);
    return false;
  }
  int nErreur = 0;
  if (rep.size() >= DISKFILE_MAX_PATH) {
    nErreur = ENAMETOOLONG;
  } else if ((nOptions & OPT_RECURSIF) == 0) {
    if (rmdir(rep.c_str()) != 0) nErreur = errno;
  } else {
    // A link given as the directory is removed itself; its target is left.
    struct stat64 st {};
    if (lstat64(rep.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      if (SYS_nUnlink(rep.c_str()) != 0) nErreur = errno;
    } else if ((nErreur = nVideRepertoire(rep)) == 0 && rep != "/" && rmdir(rep.c_str()) != 0) {
      nErreur = errno;
    }
  }
  if (nErreur == 0) return true;
  CXError cl;
  cl.SetSystemError(static_cast<DWORD>(nErreur));
  const char* pszSysteme = cl.pszGetSystemErrorMessage();
  if (pszSysteme == nullptr || *pszSysteme == '\0') cl.SetSystemErrorMessage(static_cast<DWORD>(MSG_ERREUR_INCONNUE));
  const std::string sSysteme = cl.pszGetSystemErrorMessage() != nullptr ? cl.pszGetSystemErrorMessage() : "";
  cl.ChangeUserError(ERR_SUPPRIME_REP, rep.c_str(), sSysteme.c_str());
  cl.SetErrorLevel(EL_ERREUR);
  RaiseErrorCopy(&cl);
  return false;
}

namespace {

struct STTaille {
  IVM* piVM;
  int nOptions;
  CXError* pclErreur;  // the first error met, kept when errors are ignored
  bool bInterrompu;
  long long oEntrees;  // entries seen, for the progress points
};

// Total size of the files under `rep` (with its final slash); false when it
// must stop (interruption, or an error that is not ignored).
bool bTailleRepertoire(const std::string& rep, STTaille* pst, long long* poTotal) {
  _stXFINDDATA st;
  CXError clErreur;
  bool bEncore = CDiskFile::bFindFirst((rep + "*").c_str(), &st, 0, 0, &clErreur);
  for (; bEncore; bEncore = CDiskFile::bFindNext(&st, &clErreur)) {
    if ((pst->nOptions & OPT_INTERRUPTIBLE) != 0 &&
        CComposanteStandard::bVerifieInteruptionUtilisateur(pst->piVM, 0, pst->pclErreur)) {
      pst->bInterrompu = true;
      CDiskFile::bFindClose(&st);
      return false;
    }
    PROGRESSION_Point(*poTotal, -1, ++pst->oEntrees);
    if (!bEstRepertoire(st)) {
      *poTotal += st.oTaille;
      continue;
    }
    if ((pst->nOptions & OPT_NON_RECURSIF) != 0) continue;
    // A link to a directory is not followed: it could lead back up.
    struct stat64 stLien {};
    const std::string sous = rep + st.szNom;
    if (lstat64(sous.c_str(), &stLien) == 0 && S_ISLNK(stLien.st_mode)) continue;
    if (sous.size() + 1 >= DISKFILE_MAX_PATH) {
      clErreur.SetSystemError(ENAMETOOLONG);
      clErreur.SetErrorLevel(EL_ERREUR_GRAVE);
      clErreur.AddUserMessage(MSG_FIC_RECHERCHE, sous.c_str());
    } else if (!bTailleRepertoire(sous + "/", pst, poTotal)) {
      CDiskFile::bFindClose(&st);
      return false;
    }
    if (clErreur.bIsError()) {
      if (!pst->pclErreur->bIsError()) pst->pclErreur->Copy(&clErreur);
      clErreur.RAZ();
      if ((pst->nOptions & OPT_IGNORE_ERREUR) == 0) {
        CDiskFile::bFindClose(&st);
        return false;
      }
    }
  }
  CDiskFile::bFindClose(&st);
  if (clErreur.bIsError()) {
    if (!pst->pclErreur->bIsError()) pst->pclErreur->Copy(&clErreur);
    if ((pst->nOptions & OPT_IGNORE_ERREUR) == 0) return false;
  }
  return true;
}

}  // namespace

long long CComposanteStandard::fRepTaille(const char* pszChemin, int nOptions) {
  if (!_bVerifieNom(pszChemin)) return -1;
  std::string rep = CDiskFile::sNormalise(pszChemin);
  if (rep.size() >= DISKFILE_MAX_PATH) {
    RaiseError(ERR_REP_TROP_LONG);
    return -1;
  }
  if (!CDiskFile::bIsADirectory(rep.c_str())) {
    RaiseError(ERR_PAS_UN_REPERTOIRE);
    return -1;
  }
  if (rep.back() != '/') rep += '/';
  CXError clErreur;
  STTaille st{piGetVM(), nOptions, &clErreur, false, 0};
  long long oTotal = 0;
  const bool bFini = bTailleRepertoire(rep, &st, &oTotal);
  if (st.bInterrompu) return -1;
  if (!bFini || (clErreur.bIsError() && (nOptions & OPT_IGNORE_ERREUR) == 0)) {
    clErreur.AddUserMessage(static_cast<DWORD>(MSG_TAILLE_REP), rep.c_str());
    _ErreurSGF(&clErreur);
    return -1;
  }
  return oTotal;
}
