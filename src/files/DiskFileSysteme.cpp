// CDiskFile file-system operations: existence, delete, rename, copy, move,
// directories, directory search, trees, attributes, file times and DOS
// date-times, temporary names and disk space.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "core/Environnement.h"
#include "core/TString.h"
#include "core/XError.h"
#include "files/AppelsSysteme.h"
#include "files/DiskFile.h"
#include "files/Remplacement.h"

namespace {

// A directory itself, not a link to one: trees are walked and deleted
// without following links, so that nothing outside them is touched and a
// link to a parent cannot make a walk go round.
bool bRepertoireReel(const std::string& s) {
  struct stat64 st {};
  return lstat64(s.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

constexpr _FILETIME FILETIME_1970 = 116444736000000000ULL;
constexpr _FILETIME FILETIME_PAR_SECONDE = 10000000ULL;

void RAZ(CXError* pclErreur) {
  if (pclErreur != nullptr) pclErreur->RAZ();
}

DWORD dwAttributs(const struct stat64& st, const char* pszChemin) {
  DWORD dw = static_cast<DWORD>(st.st_mode) & 0xE1FFu;
  if (*CDiskFile::pszGetPtrToFileName(pszChemin) == '.') dw |= FA_CACHE;
  return dw;
}

}  // namespace

BOOL DISKFILE_bEchec(CXError* pclErreur, DWORD nMessage, int nErrno, const std::string& a, const std::string* b) {
  errno = nErrno;
  if (pclErreur == nullptr) return 0;
  pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
  pclErreur->SetSystemError(static_cast<DWORD>(nErrno));
  if (b != nullptr) {
    pclErreur->AddUserMessage(nMessage, a.c_str(), b->c_str());
    pclErreur->AddInfo(EIT_DSTFILE, b->c_str());
  } else {
    pclErreur->AddUserMessage(nMessage, a.c_str());
  }
  pclErreur->AddInfo(EIT_SRCFILE, a.c_str());
  return 0;
}

BOOL CDiskFile::bExist(const char* pszChemin, CXError* pclErreur) {
  RAZ(pclErreur);
  std::string s = sNormalise(pszChemin);
  return !s.empty() && access(s.c_str(), F_OK) == 0;
}

BOOL CDiskFile::bIsAFile(const char* pszChemin) {
  struct stat64 st {};
  std::string s = sNormalise(pszChemin);
  return stat64(s.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

BOOL CDiskFile::bIsADirectory(const char* pszChemin) {
  struct stat64 st {};
  std::string s = sNormalise(pszChemin);
  return stat64(s.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

BOOL CDiskFile::bDelete(const char* pszChemin, CXError* pclErreur) {
  RAZ(pclErreur);
  std::string s = sNormalise(pszChemin);
  if (SYS_nUnlink(s.c_str()) != 0) return DISKFILE_bEchec(pclErreur, MSG_FIC_SUPPRIME, errno, s);
  return 1;
}

BOOL CDiskFile::bForceDelete(const char* pszChemin, CXError* pclErreur) { return bDelete(pszChemin, pclErreur); }

BOOL CDiskFile::bRename(const char* pszNouveau, const char* pszAncien, CXError* pclErreur) {
  RAZ(pclErreur);
  std::string n = sNormalise(pszNouveau), a = sNormalise(pszAncien);
  // The new name must be free. A symbolic link holds its name even when it
  // leads nowhere or round a loop, and is never replaced by the file.
  struct stat64 st {};
  if (!n.empty() && lstat64(n.c_str(), &st) == 0) {
    const int e = S_ISLNK(st.st_mode) && stat64(n.c_str(), &st) != 0 && errno == ELOOP ? ELOOP : EEXIST;
    return DISKFILE_bEchec(pclErreur, MSG_FIC_RENOMME, e, n, &a);
  }
  if (SYS_nRenameExclusif(a.c_str(), n.c_str()) == 0) return 1;
  // Another file system: a safe copy, and the source removed after it.
  if (errno == EXDEV) return REM_bDeplaceCopie(n.c_str(), a.c_str(), pclErreur) ? 1 : 0;
  return DISKFILE_bEchec(pclErreur, MSG_FIC_RENOMME, errno, n, &a);
}

// The destination is replaced as a whole: written beside it and renamed over
// it once complete, so a failure leaves it as it was, and a destination that
// is the source itself (or a link to it) is read completely before being
// replaced.
BOOL CDiskFile::bCopy(const char* pszDestination, const char* pszSource, CXError* pclErreur, DWORD dwOptions) {
  RAZ(pclErreur);
  std::string d = sNormalise(pszDestination), s = sNormalise(pszSource);
  const int fs = ::open64(s.c_str(), O_RDONLY | O_CLOEXEC);
  if (fs < 0) return DISKFILE_bEchec(pclErreur, MSG_FIC_COPIE, errno, d, &s);
  std::string tampon(65536, '\0');
  auto lit = [&]() {
    ssize_t n;
    while ((n = ::read(fs, tampon.data(), tampon.size())) < 0 && errno == EINTR) {
    }
    return n;
  };
  ssize_t n = lit();
  int e = n < 0 ? errno : 0;
  CRemplacement remplacement;
  if (e == 0 && !remplacement.bPrepare(d.c_str(), nullptr, dwOptions)) e = errno;
  while (e == 0 && n > 0) {
    if (!remplacement.bEcrit(tampon.data(), static_cast<size_t>(n))) e = errno;
    else if ((n = lit()) < 0) e = errno;
  }
  ::close(fs);
  if (e == 0 && !remplacement.bValide()) e = errno;
  if (e != 0) {
    remplacement.Abandonne();
    return DISKFILE_bEchec(pclErreur, MSG_FIC_COPIE, e != 0 ? e : EIO, d, &s);
  }
  return 1;
}

BOOL CDiskFile::bMove(const char* pszDestination, const char* pszSource, CXError* pclErreur) {
  RAZ(pclErreur);
  if (bSameFileName(pszDestination, pszSource)) return 1;
  std::string d = sNormalise(pszDestination), s = sNormalise(pszSource);
  // Two spellings of one directory entry ("a" and "./a"): deleting the
  // destination would delete the source. Hard links and symbolic links are
  // distinct entries and move normally.
  struct stat64 stD {}, stS {};
  if (lstat64(d.c_str(), &stD) == 0 && lstat64(s.c_str(), &stS) == 0 && stD.st_dev == stS.st_dev &&
      stD.st_ino == stS.st_ino && stS.st_nlink <= 1)
    return 1;
  SYS_nUnlink(d.c_str());
  if (SYS_nRename(s.c_str(), d.c_str()) != 0) return DISKFILE_bEchec(pclErreur, MSG_FIC_DEPLACE, errno, d, &s);
  return 1;
}

BOOL CDiskFile::bCreateDirectory(const char* pszChemin, CXError* pclErreur) {
  RAZ(pclErreur);
  std::string s = sNormalise(pszChemin);
  if (s.empty()) return DISKFILE_bEchec(pclErreur, MSG_FIC_CREE_REP, ENOENT, s);
  // Each level in turn, from the first one below the root; on failure the
  // levels made here are removed again.
  std::vector<std::string> crees;
  for (std::size_t i = 1; i <= s.size(); ++i) {
    if (i < s.size() && s[i] != '/') continue;
    std::string niveau = s.substr(0, i);
    if (niveau.empty() || niveau.back() == '/') continue;
    if (SYS_nMkdir(niveau.c_str(), 0777) == 0) {
      crees.push_back(niveau);
    } else if (errno != EEXIST) {
      const int e = errno;
      for (auto it = crees.rbegin(); it != crees.rend(); ++it) rmdir(it->c_str());
      return DISKFILE_bEchec(pclErreur, MSG_FIC_CREE_REP, e, s);
    }
  }
  if (!bIsADirectory(s.c_str())) return DISKFILE_bEchec(pclErreur, MSG_FIC_CREE_REP, ENOTDIR, s);
  return 1;
}

BOOL CDiskFile::bDeleteDirectory(const char* pszChemin, CXError* pclErreur) {
  RAZ(pclErreur);
  std::string s = sNormalise(pszChemin);
  if (rmdir(s.c_str()) != 0) return DISKFILE_bEchec(pclErreur, MSG_FIC_SUPPRIME_REP, errno, s);
  return 1;
}

BOOL CDiskFile::__bGetFileAttributesAndSize(DWORD* pdwAttributs, long long* poTaille, const char* pszChemin,
                                            CXError* pclErreur) {
  RAZ(pclErreur);
  std::string s = sNormalise(pszChemin);
  struct stat64 st {};
  if (stat64(s.c_str(), &st) != 0) return DISKFILE_bEchec(pclErreur, MSG_FIC_ATTRIBUTS, errno, s);
  if (pdwAttributs != nullptr) *pdwAttributs = dwAttributs(st, s.c_str());
  if (poTaille != nullptr) *poTaille = st.st_size;
  return 1;
}

BOOL CDiskFile::bGetFileAttributes(DWORD* pdwAttributs, const char* pszChemin, CXError* pclErreur) {
  return __bGetFileAttributesAndSize(pdwAttributs, nullptr, pszChemin, pclErreur);
}

BOOL CDiskFile::bSetFileAttributes(const char* pszChemin, DWORD dwAttributs, CXError* pclErreur) {
  RAZ(pclErreur);
  std::string s = sNormalise(pszChemin);
  // A directory keeps its search bits: without them nothing inside it could
  // be reached any more.
  mode_t nMode = (dwAttributs & 0222) == 0 ? 0444 : 0666;
  if (bIsADirectory(s.c_str())) nMode |= 0111;
  if (chmod(s.c_str(), nMode) != 0)
    return DISKFILE_bEchec(pclErreur, MSG_FIC_ATTRIBUTS, errno, s);
  return 1;
}

// Directory search.
BOOL CDiskFile::bFindFirst(const char* pszFiltre, _stXFINDDATA* pst, DWORD dwRequis, DWORD dwExclus,
                           CXError* pclErreur) {
  RAZ(pclErreur);
  if (pst == nullptr) return 0;
  std::string s = sNormalise(pszFiltre);
  std::string rep, filtre;
  std::size_t i = s.rfind('/');
  if (i == std::string::npos) {
    char sz[4096];
    if (getcwd(sz, sizeof sz) == nullptr) return DISKFILE_bEchec(pclErreur, MSG_FIC_REP_COURANT, errno, s);
    rep = sz;
    if (rep.back() != '/') rep += '/';
    filtre = s;
  } else {
    rep = s.substr(0, i + 1);
    filtre = s.substr(i + 1);
  }
  if (rep.size() > DISKFILE_MAX_PATH || filtre.size() > DISKFILE_MAX_PATH)
    return DISKFILE_bEchec(pclErreur, MSG_FIC_RECHERCHE, ENAMETOOLONG, s);
  *pst = _stXFINDDATA{};
  std::memcpy(pst->szRepertoire, rep.c_str(), rep.size() + 1);
  std::memcpy(pst->szFiltre, filtre.c_str(), filtre.size() + 1);
  pst->dwRequis = dwRequis;
  pst->dwExclus = dwExclus;
  pst->pDir = opendir(rep.c_str());
  if (pst->pDir == nullptr) {
    int e = errno;
    if (e == ENOENT) return 0;  // nothing to report: the directory is not there
    return DISKFILE_bEchec(pclErreur, MSG_FIC_RECHERCHE, e, s);
  }
  if (!bFindNext(pst, pclErreur)) {
    bFindClose(pst);
    return 0;
  }
  return 1;
}

BOOL CDiskFile::bFindNext(_stXFINDDATA* pst, CXError* pclErreur) {
  RAZ(pclErreur);
  if (pst == nullptr || pst->pDir == nullptr) return 0;  // normal end after close
  DIR* d = static_cast<DIR*>(pst->pDir);
  for (;;) {
    errno = 0;
    dirent64* e = readdir64(d);
    if (e == nullptr) {
      if (errno != 0 && errno != EBADF)
        return DISKFILE_bEchec(pclErreur, MSG_FIC_RECHERCHE_SUIVANT, errno, std::string(pst->szRepertoire) + pst->szFiltre);
      return 0;
    }
    if (bIsAVirtualDirectory(e->d_name) || !_bFiltreFileName(e->d_name, pst->szFiltre)) continue;
    std::string chemin = std::string(pst->szRepertoire) + e->d_name;
    struct stat64 st {};
    // A link whose target is missing is still an entry (it can be deleted);
    // an entry that vanished meanwhile is skipped.
    if (stat64(chemin.c_str(), &st) != 0 && lstat64(chemin.c_str(), &st) != 0) continue;
    DWORD dw = dwAttributs(st, e->d_name);
    if ((dw & pst->dwRequis) != pst->dwRequis || (dw & pst->dwExclus) != 0) continue;
    std::snprintf(pst->szNom, sizeof pst->szNom, "%s", e->d_name);
    pst->dwAttributs = dw;
    pst->oTaille = st.st_size;
    return 1;
  }
}

BOOL CDiskFile::bFindClose(_stXFINDDATA* pst) {
  if (pst == nullptr || pst->pDir == nullptr) return 0;
  closedir(static_cast<DIR*>(pst->pDir));
  pst->pDir = nullptr;
  return 1;
}

// Trees.
BOOL CDiskFile::bDoOnFileTree(const char* pszRepertoire, const char* pszFiltre, PFNFICHIER pfn, void* pParam,
                              BOOL bAvecRepertoires, BOOL bRecursif, CXError* pclErreur) {
  RAZ(pclErreur);
  std::string rep = sNormalise(pszRepertoire);
  std::string chemin = rep + sNormalise(pszFiltre);
  if (chemin.size() > DISKFILE_MAX_PATH) return DISKFILE_bEchec(pclErreur, MSG_FIC_RECHERCHE, ENAMETOOLONG, chemin);
  _stXFINDDATA st;
  if (bFindFirst(chemin.c_str(), &st, 0, bAvecRepertoires ? 0u : static_cast<DWORD>(FA_REPERTOIRE), pclErreur)) {
    do {
      if (bAvecRepertoires || (st.dwAttributs & 0xF000) != FA_REPERTOIRE) {
        if (pfn(((rep + st.szNom)).c_str(), pParam) == 0) {
          bFindClose(&st);
          return 0;
        }
      }
    } while (bFindNext(&st, pclErreur));
    bFindClose(&st);
  }
  if (pclErreur != nullptr && pclErreur->bIsError()) return 0;
  if (!bRecursif) return 1;
  if (bFindFirst((rep + "*").c_str(), &st, FA_REPERTOIRE, 0, pclErreur)) {
    do {
      if ((st.dwAttributs & 0xF000) != FA_REPERTOIRE || !bRepertoireReel(rep + st.szNom)) continue;
      std::string sous = rep + st.szNom + "/";
      if (!bDoOnFileTree(sous.c_str(), pszFiltre, pfn, pParam, bAvecRepertoires, 1, pclErreur)) {
        bFindClose(&st);
        return 0;
      }
    } while (bFindNext(&st, pclErreur));
    bFindClose(&st);
  }
  return pclErreur == nullptr || !pclErreur->bIsError();
}

namespace {

struct STRepertoires {
  CDiskFile::PFNFICHIER pfn;
  void* pParam;
};

int nSiRepertoire(const char* pszChemin, void* p) {
  auto* st = static_cast<STRepertoires*>(p);
  if (!CDiskFile::bIsADirectory(pszChemin)) return 1;
  return st->pfn(pszChemin, st->pParam);
}

// Empties `rep` (and removes it when bSupprime): files deleted, directories
// emptied and removed; the first failure stops.
BOOL bDeltree(const std::string& rep, bool bSupprime, CXError* pclErreur) {
  if (rep.empty()) return DISKFILE_bEchec(pclErreur, MSG_FIC_SUPPRIME_ARBO, EINVAL, rep);
  std::string base = rep;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  _stXFINDDATA st;
  if (CDiskFile::bFindFirst((base + "/*").c_str(), &st, 0, 0, pclErreur)) {
    do {
      std::string chemin = base + "/" + st.szNom;
      BOOL b = bRepertoireReel(chemin) ? bDeltree(chemin, true, pclErreur)
                                                          : CDiskFile::bDelete(chemin.c_str(), pclErreur);
      if (!b) {
        CDiskFile::bFindClose(&st);
        return 0;
      }
    } while (CDiskFile::bFindNext(&st, pclErreur));
    CDiskFile::bFindClose(&st);
  }
  if (pclErreur != nullptr && pclErreur->bIsError()) return 0;
  if (bSupprime) return CDiskFile::bDeleteDirectory(base.c_str(), pclErreur);
  return 1;
}

int nRendModifiable(const char* pszChemin, void*) {
  struct stat64 st {};
  if (stat64(pszChemin, &st) == 0 && !S_ISDIR(st.st_mode)) chmod(pszChemin, (st.st_mode & 07777) | S_IWUSR);
  return 1;
}

}  // namespace

BOOL CDiskFile::bDoOnDirectoryTree(const char* pszRepertoire, const char* pszFiltre, PFNFICHIER pfn, void* pParam,
                                   BOOL bRecursif, CXError* pclErreur) {
  STRepertoires st{pfn, pParam};
  return bDoOnFileTree(pszRepertoire, pszFiltre, nSiRepertoire, &st, 1, bRecursif, pclErreur);
}

BOOL CDiskFile::bPurgeTree(const char* pszRepertoire, CXError* pclErreur) {
  RAZ(pclErreur);
  try {
    return bDeltree(sNormalise(pszRepertoire), false, pclErreur);
  } catch (const std::bad_alloc&) {
    if (pclErreur != nullptr) {
      pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
      pclErreur->AddDebugMessage("##MemoryException##");
    }
    return 0;
  }
}

BOOL CDiskFile::bDeleteTree(const char* pszRepertoire, CXError* pclErreur) {
  RAZ(pclErreur);
  try {
    return bDeltree(sNormalise(pszRepertoire), true, pclErreur);
  } catch (const std::bad_alloc&) {
    if (pclErreur != nullptr) {
      pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
      pclErreur->AddDebugMessage("##MemoryException##");
    }
    return 0;
  }
}

BOOL CDiskFile::bForceDeleteTree(const char* pszRepertoire, CXError* pclErreur) {
  return bDeleteTree(pszRepertoire, pclErreur);
}

BOOL CDiskFile::bDeleteTreeEvenReadOnly(const char* pszRepertoire, CXError* pclErreur) {
  std::string rep = sNormalise(pszRepertoire);
  if (!rep.empty() && rep.back() != '/') rep += '/';
  bDoOnFileTree(rep.c_str(), "*.*", nRendModifiable, nullptr, 0, 1, nullptr);
  return bDeleteTree(pszRepertoire, pclErreur);
}

// Times.
BOOL CDiskFile::bFileTimeToSystemTime(_FILETIME ft, _stXFILETIME* pst) {
  if (pst == nullptr || ft < FILETIME_1970) return 0;
  time_t t = static_cast<time_t>((ft - FILETIME_1970) / FILETIME_PAR_SECONDE);
  tm loc{};
  if (ENV_pstLocalTime(&t, &loc) == nullptr) return 0;
  pst->wAnnee = static_cast<WORD>(loc.tm_year + 1900);
  pst->wMois = static_cast<WORD>(loc.tm_mon + 1);
  pst->wJour = static_cast<WORD>(loc.tm_mday);
  pst->wHeure = static_cast<WORD>(loc.tm_hour);
  pst->wMinute = static_cast<WORD>(loc.tm_min);
  pst->wSeconde = static_cast<WORD>(loc.tm_sec);
  pst->wMilliseconde = static_cast<WORD>((ft / 10000) % 1000);
  return 1;
}

BOOL CDiskFile::bSystemTimeToFileTime(const _stXFILETIME* pst, _FILETIME* pft) {
  if (pst == nullptr || pft == nullptr) return 0;
  tm loc{};
  loc.tm_year = pst->wAnnee - 1900;
  loc.tm_mon = pst->wMois - 1;
  loc.tm_mday = pst->wJour;
  loc.tm_hour = pst->wHeure;
  loc.tm_min = pst->wMinute;
  loc.tm_sec = pst->wSeconde;
  loc.tm_isdst = -1;
  time_t t = ENV_tMkTime(&loc);
  if (t == static_cast<time_t>(-1) && !(pst->wAnnee == 1969 || pst->wAnnee == 1970)) return 0;
  if (t < 0) return 0;
  *pft = static_cast<_FILETIME>(t) * FILETIME_PAR_SECONDE + FILETIME_1970 + pst->wMilliseconde * 10000ULL;
  return 1;
}

// DOS date-time: date in the high word (years from 1980, month, day), time
// in the low word (hour, minute, seconds / 2).
BOOL CDiskFile::bSystemTimeToDosFileTime(const _stXFILETIME* pst, DWORD* pdwDos) {
  if (pst == nullptr || pdwDos == nullptr || pst->wAnnee < 1980 || pst->wAnnee > 2107 || pst->wMois < 1 ||
      pst->wMois > 12 || pst->wJour < 1 || pst->wJour > 31 || pst->wHeure > 23 || pst->wMinute > 59 ||
      pst->wSeconde > 59)
    return 0;
  DWORD dwDate = static_cast<DWORD>(((pst->wAnnee - 1980) << 9) | (pst->wMois << 5) | pst->wJour);
  DWORD dwHeure = static_cast<DWORD>((pst->wHeure << 11) | (pst->wMinute << 5) | (pst->wSeconde / 2));
  *pdwDos = (dwDate << 16) | dwHeure;
  return 1;
}

BOOL CDiskFile::bDosFileTimeToSystemTime(DWORD dwDos, _stXFILETIME* pst) {
  if (pst == nullptr) return 0;
  DWORD dwDate = dwDos >> 16, dwHeure = dwDos & 0xFFFF;
  pst->wAnnee = static_cast<WORD>((dwDate >> 9) + 1980);
  pst->wMois = static_cast<WORD>((dwDate >> 5) & 0x0F);
  pst->wJour = static_cast<WORD>(dwDate & 0x1F);
  pst->wHeure = static_cast<WORD>(dwHeure >> 11);
  pst->wMinute = static_cast<WORD>((dwHeure >> 5) & 0x3F);
  pst->wSeconde = static_cast<WORD>((dwHeure & 0x1F) * 2);
  pst->wMilliseconde = 0;
  return pst->wMois >= 1 && pst->wMois <= 12 && pst->wJour >= 1 && pst->wHeure <= 23 && pst->wMinute <= 59 &&
         pst->wSeconde <= 59;
}

BOOL CDiskFile::bGetTime(const char* pszChemin, _stXFILETIME* pstCreation, _stXFILETIME* pstAcces,
                         _stXFILETIME* pstEcriture, CXError* pclErreur) {
  RAZ(pclErreur);
  std::string s = sNormalise(pszChemin);
  struct stat64 st {};
  if (stat64(s.c_str(), &st) != 0) return DISKFILE_bEchec(pclErreur, MSG_FIC_DATES, errno, s);
  auto ft = [](time_t t) { return static_cast<_FILETIME>(t) * FILETIME_PAR_SECONDE + FILETIME_1970; };
  if (pstCreation != nullptr) bFileTimeToSystemTime(ft(st.st_ctime), pstCreation);
  if (pstAcces != nullptr) bFileTimeToSystemTime(ft(st.st_atime), pstAcces);
  if (pstEcriture != nullptr) bFileTimeToSystemTime(ft(st.st_mtime), pstEcriture);
  return 1;
}

BOOL CDiskFile::bSetTime(const char* pszChemin, const _FILETIME* pCreation, const _FILETIME* pAcces,
                         const _FILETIME* pEcriture, CXError* pclErreur) {
  (void)pCreation;  // the status-change time cannot be set
  RAZ(pclErreur);
  std::string s = sNormalise(pszChemin);
  struct stat64 st {};
  if (stat64(s.c_str(), &st) != 0) return DISKFILE_bEchec(pclErreur, MSG_FIC_CHANGE_DATES, errno, s);
  auto sec = [](_FILETIME ft) {
    return static_cast<time_t>(ft < FILETIME_1970 ? 0 : (ft - FILETIME_1970) / FILETIME_PAR_SECONDE);
  };
  utimbuf ut{};
  ut.actime = pAcces != nullptr ? sec(*pAcces) : st.st_atime;
  ut.modtime = pEcriture != nullptr ? sec(*pEcriture) : st.st_mtime;
  if (utime(s.c_str(), &ut) != 0) return DISKFILE_bEchec(pclErreur, MSG_FIC_CHANGE_DATES, errno, s);
  return 1;
}

BOOL CDiskFile::bSetTime(const char* pszChemin, const _stXFILETIME* pstCreation, const _stXFILETIME* pstAcces,
                         const _stXFILETIME* pstEcriture, CXError* pclErreur) {
  _FILETIME c = 0, a = 0, e = 0;
  bool bC = pstCreation != nullptr && bSystemTimeToFileTime(pstCreation, &c);
  bool bA = pstAcces != nullptr && bSystemTimeToFileTime(pstAcces, &a);
  bool bE = pstEcriture != nullptr && bSystemTimeToFileTime(pstEcriture, &e);
  return bSetTime(pszChemin, bC ? &c : nullptr, bA ? &a : nullptr, bE ? &e : nullptr, pclErreur);
}

// Temporary names.
BOOL CDiskFile::bGetTempDirectory(char* pszTampon, CXError* pclErreur) {
  RAZ(pclErreur);
  // The directory tempnam would choose: $TMPDIR when it is a directory, else /tmp.
  const std::string env = ENV_sLit("TMPDIR", "");
  std::string rep = !env.empty() && bIsADirectory(env.c_str()) ? env : std::string(P_tmpdir);
  if (rep.empty() || rep.back() != '/') rep += '/';
  if (rep.size() > DISKFILE_MAX_PATH) return DISKFILE_bEchec(pclErreur, MSG_FIC_REP_TEMP, ENAMETOOLONG, rep);
  std::memcpy(pszTampon, rep.c_str(), rep.size() + 1);
  return 1;
}

BOOL CDiskFile::bGetTempName(char* pszTampon, const char* pszRepertoire, const char* pszPrefixe,
                             CXError* pclErreur) {
  RAZ(pclErreur);
  std::string nom = sNormalise(pszRepertoire);
  if (!nom.empty() && nom.back() != '/') nom += '/';
  nom += sNormalise(pszPrefixe);
  nom += "XXXXXX";
  if (nom.size() > DISKFILE_MAX_PATH) return DISKFILE_bEchec(pclErreur, MSG_FIC_NOM_TEMP, ENAMETOOLONG, nom);
  int fd = SYS_nMkstemp(nom.data());
  if (fd < 0) return DISKFILE_bEchec(pclErreur, MSG_FIC_NOM_TEMP, errno, sNormalise(pszRepertoire));
  close(fd);
  std::memcpy(pszTampon, nom.c_str(), nom.size() + 1);
  return 1;
}

BOOL CDiskFile::bGetTempName(char* pszTampon, const char* pszPrefixe, CXError* pclErreur) {
  char rep[DISKFILE_MAX_PATH + 1];
  if (!bGetTempDirectory(rep, pclErreur)) return 0;
  if (!bIsADirectory(rep) && !bCreateDirectory(rep, pclErreur)) return 0;
  return bGetTempName(pszTampon, rep, pszPrefixe, pclErreur);
}

BOOL CDiskFile::bGetCurrentDirectory(char* pszTampon, CXError* pclErreur) {
  RAZ(pclErreur);
  if (getcwd(pszTampon, DISKFILE_MAX_PATH + 1) == nullptr) return DISKFILE_bEchec(pclErreur, MSG_FIC_REP_COURANT, errno, "");
  return 1;
}

BOOL CDiskFile::bGetDiskSpace(const char* pszChemin, long long* poTotal, long long* poLibre, CXError* pclErreur) {
  RAZ(pclErreur);
  std::string s = pszChemin != nullptr ? sNormalise(pszChemin) : ".";
  struct statfs64 st {};
  if (statfs64(s.c_str(), &st) != 0) return DISKFILE_bEchec(pclErreur, MSG_FIC_ESPACE, errno, s);
  long long k = static_cast<long long>(st.f_bsize) / 1024;
  if (poTotal != nullptr) *poTotal = k * static_cast<long long>(st.f_blocks);
  if (poLibre != nullptr) *poLibre = k * static_cast<long long>(st.f_bavail);
  return 1;
}

BOOL CDiskFile::bGetDiskFreeSpace(const char* pszChemin, long long* poLibre, CXError* pclErreur) {
  return bGetDiskSpace(pszChemin, nullptr, poLibre, pclErreur);
}
