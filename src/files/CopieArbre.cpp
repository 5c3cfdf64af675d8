// Copies of several entries made as one change: planned and checked first,
// staged under temporary names beside their destinations, then renamed into
// place; every old file keeps a second name until all are in place, so that
// a failure while renaming can still put each one back.
#include "files/CopieArbre.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/XError.h"
#include "files/AppelsSysteme.h"
#include "files/Commande.h"
#include "files/DiskFile.h"

namespace {

constexpr std::size_t TAILLE_BLOC = 65536;

// A failed copy replaces whatever the error held before.
bool bEchec(CXError* pclErreur, DWORD nMessage, int nErrno, const std::string& a, const std::string* b = nullptr) {
  if (pclErreur != nullptr) pclErreur->RAZ();
  return DISKFILE_bEchec(pclErreur, nMessage, nErrno, a, b);
}

bool bMemeInode(const struct stat64& a, const struct stat64& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::string sParent(const std::string& s) {
  const std::size_t i = s.rfind('/');
  return i == std::string::npos ? std::string(".") : s.substr(0, i == 0 ? 1 : i);
}

// A free name beside sCible: its own name and a suffix, or a short name in
// the same directory when that would be too long.
std::string sVoisin(const std::string& sCible) {
  static unsigned s_nCompteur = 0;
  timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  char szSuffixe[32];
  std::snprintf(szSuffixe, sizeof szSuffixe, ".%06x~",
                (static_cast<unsigned>(ts.tv_nsec) ^ (static_cast<unsigned>(getpid()) << 8) ^
                 __atomic_add_fetch(&s_nCompteur, 0x9E3779B1u, __ATOMIC_RELAXED)) &
                    0xFFFFFF);
  const std::size_t nBarre = sCible.rfind('/');
  const std::size_t nNom = sCible.size() - (nBarre == std::string::npos ? 0 : nBarre + 1);
  return nNom + std::strlen(szSuffixe) <= NAME_MAX
             ? sCible + szSuffixe
             : sCible.substr(0, nBarre == std::string::npos ? 0 : nBarre + 1) + ".kv" + szSuffixe;
}

// Makes an entry under a free name beside sCible with fnCree (which returns
// 0 or -1 with errno); the name made in *psNom.
template <typename F>
bool bCreeVoisin(const std::string& sCible, std::string* psNom, F fnCree) {
  for (int nEssai = 0; nEssai < 100; ++nEssai) {
    *psNom = sVoisin(sCible);
    if (fnCree(psNom->c_str()) == 0) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

long lLit(int fd, char* p, std::size_t n) {
  for (;;) {
    const ssize_t r = read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    return static_cast<long>(r);
  }
}

bool bEcritTout(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t r = SYS_nWrite(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r == 0) errno = ENOSPC;
      return false;
    }
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

}  // namespace

bool CCopieArbre::bDansRepertoire(const std::string& sDestination, const std::string& sRepertoire) {
  struct stat64 stRep {};
  if (stat64(sRepertoire.c_str(), &stRep) != 0) return false;
  std::string s = sDestination;
  while (!s.empty() && s.back() == '/' && s.size() > 1) s.pop_back();
  for (;;) {
    struct stat64 st {};
    if (stat64(s.c_str(), &st) == 0 && bMemeInode(st, stRep)) return true;
    if (s == "/" || s == ".") return false;
    s = sParent(s);
  }
}

bool CCopieArbre::bAjoute(const std::string& sSource, const std::string& sDestination, bool bRecursif,
                          bool bExplicite, CXError* pclErreur) {
  try {
    return _bPlanifie(sSource, sDestination, bRecursif, bExplicite, pclErreur);
  } catch (const std::bad_alloc&) {
    return bEchec(pclErreur, MSG_FIC_COPIE, ENOMEM, sDestination, &sSource);
  }
}

bool CCopieArbre::bAjouteContenu(const std::string& sRepertoire, const std::string& sDestination, bool bRecursif,
                                 CXError* pclErreur) {
  try {
    struct stat64 st {};
    if (stat64(sRepertoire.c_str(), &st) != 0) return bEchec(pclErreur, MSG_FIC_RECHERCHE, errno, sRepertoire);
    if (!S_ISDIR(st.st_mode)) return bEchec(pclErreur, MSG_FIC_PAS_REPERTOIRE, ENOTDIR, sRepertoire);
    // The destination itself, created when missing, then what the source holds.
    STEntree e{};
    e.eGenre = GENRE_REPERTOIRE;
    e.sSource = sRepertoire;
    e.sCible = sDestination;
    e.stSource = st;
    e.bExiste = stat64(sDestination.c_str(), &e.stAncien) == 0;
    if (e.bExiste && !S_ISDIR(e.stAncien.st_mode))
      return bEchec(pclErreur, MSG_FIC_PAS_REPERTOIRE, ENOTDIR, sDestination);
    if (e.bExiste && bMemeInode(e.stAncien, st)) return bEchec(pclErreur, MSG_FIC_COPIE_SUR_SOI, EINVAL, sRepertoire);
    m_vEntrees.push_back(e);
    DIR* d = opendir(sRepertoire.c_str());
    if (d == nullptr) return bEchec(pclErreur, MSG_FIC_RECHERCHE, errno, sRepertoire);
    std::vector<std::string> noms;
    errno = 0;
    while (dirent64* p = readdir64(d)) {
      if (std::strcmp(p->d_name, ".") != 0 && std::strcmp(p->d_name, "..") != 0) noms.emplace_back(p->d_name);
    }
    const int nErreur = errno;
    closedir(d);
    if (nErreur != 0) return bEchec(pclErreur, MSG_FIC_RECHERCHE_SUIVANT, nErreur, sRepertoire);
    const std::string sRep = sRepertoire.back() == '/' ? sRepertoire : sRepertoire + "/";
    const std::string sDest = sDestination.back() == '/' ? sDestination : sDestination + "/";
    for (const auto& n : noms) {
      if (!_bPlanifie(sRep + n, sDest + n, bRecursif, false, pclErreur)) return false;
    }
    return true;
  } catch (const std::bad_alloc&) {
    return bEchec(pclErreur, MSG_FIC_COPIE, ENOMEM, sDestination, &sRepertoire);
  }
}

bool CCopieArbre::_bPlanifie(const std::string& sSource, const std::string& sDestination, bool bRecursif,
                             bool bExplicite, CXError* pclErreur) {
  STEntree e{};
  e.sSource = sSource;
  e.sCible = sDestination;
  // A recursive copy takes links as they are; a plain one follows them.
  if ((bRecursif ? lstat64(sSource.c_str(), &e.stSource) : stat64(sSource.c_str(), &e.stSource)) != 0)
    return bEchec(pclErreur, MSG_FIC_COPIE, errno, sDestination, &sSource);
  const mode_t m = e.stSource.st_mode;
  if (S_ISDIR(m)) {
    if (!bRecursif) return bExplicite ? bEchec(pclErreur, MSG_FIC_COPIE, EISDIR, sDestination, &sSource) : true;
    return bAjouteContenu(sSource, sDestination, true, pclErreur);
  }
  e.eGenre = S_ISREG(m) ? GENRE_FICHIER : S_ISLNK(m) ? GENRE_LIEN : GENRE_SPECIAL;
  struct stat64 stNom {};
  if (lstat64(sDestination.c_str(), &stNom) == 0) {
    e.bExiste = true;
    e.stAncien = stNom;
    if (e.eGenre == GENRE_FICHIER && S_ISLNK(stNom.st_mode)) {
      // A file is written through a link, to the file it names, as cp does;
      // a link that leads nowhere (or round in a loop) is not written through.
      if (stat64(sDestination.c_str(), &e.stAncien) != 0)
        return bEchec(pclErreur, MSG_FIC_COPIE, errno, sDestination, &sSource);
      char* pszReel = realpath(sDestination.c_str(), nullptr);
      if (pszReel == nullptr) return bEchec(pclErreur, MSG_FIC_COPIE, errno, sDestination, &sSource);
      e.sCible = pszReel;
      std::free(pszReel);
    }
    if (S_ISDIR(e.stAncien.st_mode)) return bEchec(pclErreur, MSG_FIC_COPIE, EISDIR, sDestination, &sSource);
    if (e.eGenre == GENRE_FICHIER && !S_ISREG(e.stAncien.st_mode))
      return bEchec(pclErreur, MSG_FIC_COPIE, EINVAL, sDestination, &sSource);
    if (bMemeInode(e.stAncien, e.stSource)) return bEchec(pclErreur, MSG_FIC_COPIE_SUR_SOI, EINVAL, sSource);
  } else if (errno != ENOENT && errno != ENOTDIR) {
    return bEchec(pclErreur, MSG_FIC_COPIE, errno, sDestination, &sSource);
  }
  if (!m_setCibles.insert(e.sCible).second) return bEchec(pclErreur, MSG_FIC_EXISTE, EEXIST, e.sCible);
  m_vEntrees.push_back(e);
  return true;
}

bool CCopieArbre::_bCopieFichier(STEntree& e, CXError* pclErreur) {
  // Opened without waiting: what was planned as a file may have been
  // replaced by a pipe since; it is refused, not read.
  const int fs = open64(e.sSource.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (m_bPreserve ? O_NOFOLLOW : 0));
  if (fs < 0) return bEchec(pclErreur, MSG_FIC_COPIE, errno, e.sCible, &e.sSource);
  struct stat64 st {};
  if (fstat64(fs, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int n = S_ISREG(st.st_mode) ? errno : EINVAL;
    close(fs);
    return bEchec(pclErreur, MSG_FIC_COPIE, n, e.sCible, &e.sSource);
  }
  // A new file gets the source's permissions less the umask (as cp gives
  // them), a replaced one keeps its own; a move keeps the source's.
  const bool bModeExact = e.bExiste || m_bPreserve;
  const mode_t nMode = bModeExact ? 0600 : (e.stSource.st_mode & 0777);
  int fd = -1;
  const bool bCree = bCreeVoisin(e.sCible, &e.sTemporaire, [&](const char* psz) {
    fd = SYS_nOpen(psz, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_LARGEFILE, nMode);
    return fd >= 0 ? 0 : -1;
  });
  if (!bCree) {
    const int n = errno;
    close(fs);
    return bEchec(pclErreur, MSG_FIC_CREE, n, e.sCible);
  }
  e.bFait = true;
  int nErreur = 0;
  if (bModeExact) {
    const struct stat64& stMode = m_bPreserve ? e.stSource : e.stAncien;
    if ((stMode.st_uid != geteuid() || stMode.st_gid != getegid()) && fchown(fd, stMode.st_uid, stMode.st_gid) != 0) {
      // Another owner is kept only where the system allows it.
    }
    if (fchmod(fd, stMode.st_mode & 07777) != 0) nErreur = errno;
  }
  std::string tampon(TAILLE_BLOC, '\0');
  while (nErreur == 0) {
    const long n = lLit(fs, tampon.data(), tampon.size());
    if (n < 0) {
      nErreur = errno;
      close(fs);
      close(fd);
      return bEchec(pclErreur, MSG_FIC_LECTURE, nErreur, e.sSource);
    }
    if (n == 0) break;
    if (!bEcritTout(fd, tampon.data(), static_cast<std::size_t>(n))) nErreur = errno;
  }
  close(fs);
  // What replaces an old file, or outlives its source, is on the disk first.
  if (nErreur == 0 && (e.bExiste || m_bPreserve) && SYS_nFsync(fd) != 0) nErreur = errno;
  if (nErreur == 0 && m_bPreserve) {
    const timespec t[2] = {e.stSource.st_atim, e.stSource.st_mtim};
    futimens(fd, t);
  }
  if (close(fd) != 0 && nErreur == 0) nErreur = errno;
  if (nErreur != 0) return bEchec(pclErreur, MSG_FIC_ECRITURE, nErreur, e.sCible);
  return true;
}

bool CCopieArbre::_bPrepare(STEntree& e, CXError* pclErreur) {
  switch (e.eGenre) {
    case GENRE_REPERTOIRE: {
      if (e.bExiste) return true;
      if (SYS_nMkdir(e.sCible.c_str(), m_bPreserve ? 0700 : (e.stSource.st_mode & 0777) | 0700) != 0)
        return bEchec(pclErreur, MSG_FIC_CREE_REP, errno, e.sCible);
      e.bFait = true;
      // Its final mode (the source's less the umask, or the source's for a
      // move) once everything is inside it: it may forbid writing there.
      // The mode asked for, less the umask, is what the system gave.
      struct stat64 st {};
      const mode_t nDonne = stat64(e.sCible.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0755;
      e.nModeFinal = m_bPreserve ? (e.stSource.st_mode & 07777) : (e.stSource.st_mode & nDonne);
      return true;
    }
    case GENRE_FICHIER:
      return _bCopieFichier(e, pclErreur);
    case GENRE_LIEN: {
      char sz[PATH_MAX + 1];
      const ssize_t n = readlink(e.sSource.c_str(), sz, PATH_MAX);
      if (n < 0) return bEchec(pclErreur, MSG_FIC_COPIE, errno, e.sCible, &e.sSource);
      sz[n] = '\0';
      if (!bCreeVoisin(e.sCible, &e.sTemporaire, [&](const char* psz) { return symlink(sz, psz); }))
        return bEchec(pclErreur, MSG_FIC_CREE, errno, e.sCible);
      e.bFait = true;
      if (m_bPreserve) {
        if (lchown(e.sTemporaire.c_str(), e.stSource.st_uid, e.stSource.st_gid) != 0) {
        }
        const timespec t[2] = {e.stSource.st_atim, e.stSource.st_mtim};
        utimensat(AT_FDCWD, e.sTemporaire.c_str(), t, AT_SYMLINK_NOFOLLOW);
      }
      return true;
    }
    case GENRE_SPECIAL: {
      // Made anew with the same kind (and device numbers), as cp -R does.
      const mode_t nGenre = e.stSource.st_mode & S_IFMT;
      const mode_t nMode = m_bPreserve ? 0600 : (e.stSource.st_mode & 0777);
      if (!bCreeVoisin(e.sCible, &e.sTemporaire,
                       [&](const char* psz) { return mknod(psz, nGenre | nMode, e.stSource.st_rdev); }))
        return bEchec(pclErreur, MSG_FIC_CREE, errno, e.sCible);
      e.bFait = true;
      if (m_bPreserve) {
        if (lchown(e.sTemporaire.c_str(), e.stSource.st_uid, e.stSource.st_gid) != 0) {
        }
        chmod(e.sTemporaire.c_str(), e.stSource.st_mode & 07777);
        const timespec t[2] = {e.stSource.st_atim, e.stSource.st_mtim};
        utimensat(AT_FDCWD, e.sTemporaire.c_str(), t, AT_SYMLINK_NOFOLLOW);
      }
      return true;
    }
  }
  return true;
}

bool CCopieArbre::bExecute(CXError* pclErreur) {
  // Everything written under temporary names.
  for (auto& e : m_vEntrees) {
    if (!_bPrepare(e, pclErreur)) {
      _Abandonne();
      return false;
    }
  }
  // Each old file keeps a second name until the end: a rename that fails
  // can then put back those already replaced. Where the file system has no
  // such names, the old file is replaced without one.
  for (auto& e : m_vEntrees) {
    if (e.eGenre == GENRE_REPERTOIRE || !e.bExiste) continue;
    if (!bCreeVoisin(e.sCible, &e.sSauvegarde,
                     [&](const char* psz) { return linkat(AT_FDCWD, e.sCible.c_str(), AT_FDCWD, psz, 0); }))
      e.sSauvegarde.clear();
  }
  for (auto& e : m_vEntrees) {
    if (e.eGenre == GENRE_REPERTOIRE) continue;
    if (SYS_nRename(e.sTemporaire.c_str(), e.sCible.c_str()) != 0) {
      // The error names the entry before the entries are dropped.
      bEchec(pclErreur, MSG_FIC_RENOMME, errno, e.sCible, &e.sTemporaire);
      _Abandonne();
      return false;
    }
    e.bPlace = true;
  }
  for (auto& e : m_vEntrees) {
    if (!e.sSauvegarde.empty()) unlink(e.sSauvegarde.c_str());
  }
  // The created directories get their modes (and, for a move, times) from
  // the innermost out.
  for (auto it = m_vEntrees.rbegin(); it != m_vEntrees.rend(); ++it) {
    if (it->eGenre != GENRE_REPERTOIRE || !it->bFait) continue;
    chmod(it->sCible.c_str(), it->nModeFinal);
    if (m_bPreserve) {
      if (chown(it->sCible.c_str(), it->stSource.st_uid, it->stSource.st_gid) != 0) {
      }
      const timespec t[2] = {it->stSource.st_atim, it->stSource.st_mtim};
      utimensat(AT_FDCWD, it->sCible.c_str(), t, 0);
    }
  }
  m_vEntrees.clear();
  return true;
}

void CCopieArbre::_Abandonne() {
  const int nErrno = errno;
  // Entries first (an old file back under its name, a new one removed,
  // a temporary one removed), then the directories made, innermost first.
  for (auto it = m_vEntrees.rbegin(); it != m_vEntrees.rend(); ++it) {
    if (it->eGenre == GENRE_REPERTOIRE) continue;
    if (it->bPlace) {
      // The old file back under its name; should even that fail, it stays
      // under its second name rather than be lost.
      if (!it->sSauvegarde.empty()) ::rename(it->sSauvegarde.c_str(), it->sCible.c_str());
      else if (!it->bExiste) unlink(it->sCible.c_str());
    } else {
      if (it->bFait) unlink(it->sTemporaire.c_str());
      if (!it->sSauvegarde.empty()) unlink(it->sSauvegarde.c_str());
    }
  }
  for (auto it = m_vEntrees.rbegin(); it != m_vEntrees.rend(); ++it) {
    if (it->eGenre == GENRE_REPERTOIRE && it->bFait) rmdir(it->sCible.c_str());
  }
  m_vEntrees.clear();
  m_setCibles.clear();
  errno = nErrno;
}

namespace {

std::string sJoint(const std::string& sRep, const std::string& sNom) {
  return !sRep.empty() && sRep.back() == '/' ? sRep + sNom : sRep + "/" + sNom;
}

std::string sSansFin(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// The missing levels of a directory, created; Defait removes them again.
class CNiveaux {
public:
  bool bCree(const std::string& sRep, CXError* pclErreur) {
    if (sRep.empty() || CDiskFile::bIsADirectory(sRep.c_str())) return true;
    for (std::string s = sSansFin(sRep); !s.empty() && s != "/" && !CDiskFile::bExist(s.c_str()); s = sParent(s))
      m_sPremier = s;
    if (!CDiskFile::bCreateDirectory(sRep.c_str(), pclErreur)) {
      m_sPremier.clear();
      return false;
    }
    m_sRep = sSansFin(sRep);
    return true;
  }
  void Defait() {
    if (m_sPremier.empty()) return;
    for (std::string s = m_sRep; s.size() >= m_sPremier.size() && rmdir(s.c_str()) == 0; s = sParent(s)) {
    }
    m_sPremier.clear();
  }

private:
  std::string m_sRep, m_sPremier;
};

bool bExecute(CCopieArbre& copie, CNiveaux& niveaux, CXError* pclErreur) {
  if (copie.bExecute(pclErreur)) return true;
  niveaux.Defait();
  return false;
}

}  // namespace

bool COP_bCopie(const std::string& sSource, const std::string& sDestination, bool bDansDestination, bool bRecursif,
                CXError* pclErreur) {
  CCopieArbre copie;
  CNiveaux niveaux;
  const std::string sDest = sSansFin(sDestination);
  if (std::strpbrk(sSource.c_str(), "*?") == nullptr) {
    const std::string sSrc = sSansFin(sSource);
    const std::string sCible = bDansDestination ? sJoint(sDest, CDiskFile::pszGetPtrToFileName(sSrc.c_str())) : sDest;
    if (bRecursif && CCopieArbre::bDansRepertoire(sCible, sSrc))
      return bEchec(pclErreur, MSG_FIC_COPIE_SUR_SOI, EINVAL, sSrc);
    if (!copie.bAjoute(sSrc, sCible, bRecursif, true, pclErreur)) return false;
    return niveaux.bCree(sParent(sCible), pclErreur) && bExecute(copie, niveaux, pclErreur);
  }
  const std::vector<std::string> noms = CMD_vDeveloppe(sSource);
  if (noms.empty()) return bEchec(pclErreur, MSG_FIC_COPIE, ENOENT, sDestination, &sSource);
  // Several names go into a directory: a file there is an error, not a
  // destination to overwrite.
  struct stat64 st {};
  if (stat64(sDest.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
    return bEchec(pclErreur, MSG_FIC_PAS_REPERTOIRE, ENOTDIR, sDest);
  for (const auto& nom : noms) {
    const std::string n = sSansFin(nom);
    const std::string sCible = sJoint(sDest, CDiskFile::pszGetPtrToFileName(n.c_str()));
    if (bRecursif && CCopieArbre::bDansRepertoire(sCible, n)) return bEchec(pclErreur, MSG_FIC_COPIE_SUR_SOI, EINVAL, n);
    if (!copie.bAjoute(n, sCible, bRecursif, false, pclErreur)) return false;
  }
  return niveaux.bCree(sDest, pclErreur) && bExecute(copie, niveaux, pclErreur);
}

bool COP_bCopieContenu(const std::string& sRepertoire, const std::string& sDestination, bool bRecursif,
                       CXError* pclErreur) {
  CCopieArbre copie;
  CNiveaux niveaux;
  const std::string sDest = sSansFin(sDestination);
  if (bRecursif && CCopieArbre::bDansRepertoire(sDest, sRepertoire))
    return bEchec(pclErreur, MSG_FIC_COPIE_SUR_SOI, EINVAL, sRepertoire);
  return copie.bAjouteContenu(sRepertoire, sDest, bRecursif, pclErreur) &&
         niveaux.bCree(sParent(sDest), pclErreur) && bExecute(copie, niveaux, pclErreur);
}

bool COP_bDeplace(const std::string& sSource, const std::string& sDestination, CXError* pclErreur) {
  const std::string sSrc = sSansFin(sSource);
  std::string sCible = sSansFin(sDestination);
  struct stat64 st {};
  if (stat64(sCible.c_str(), &st) == 0) {
    // Into an existing directory, as mv does; never over a file.
    if (!S_ISDIR(st.st_mode)) return bEchec(pclErreur, MSG_FIC_PAS_REPERTOIRE, ENOTDIR, sCible);
    sCible = sJoint(sCible, CDiskFile::pszGetPtrToFileName(sSrc.c_str()));
    if (stat64(sCible.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
      return bEchec(pclErreur, MSG_FIC_PAS_REPERTOIRE, ENOTDIR, sCible);
  }
  if (SYS_nRename(sSrc.c_str(), sCible.c_str()) == 0) return true;
  if (errno != EXDEV) return bEchec(pclErreur, MSG_FIC_DEPLACE, errno, sCible, &sSrc);
  // Another file system: a whole copy first (into a directory that is new,
  // or empty as rename would have required), the source removed after.
  if (stat64(sCible.c_str(), &st) == 0) {
    DIR* d = opendir(sCible.c_str());
    bool bVide = d != nullptr;
    while (bVide && d != nullptr) {
      const dirent64* p = readdir64(d);
      if (p == nullptr) break;
      bVide = std::strcmp(p->d_name, ".") == 0 || std::strcmp(p->d_name, "..") == 0;
    }
    if (d != nullptr) closedir(d);
    if (!bVide) return bEchec(pclErreur, MSG_FIC_DEPLACE, ENOTEMPTY, sCible, &sSrc);
  }
  if (CCopieArbre::bDansRepertoire(sCible, sSrc)) return bEchec(pclErreur, MSG_FIC_DEPLACE, EINVAL, sCible, &sSrc);
  CCopieArbre copie(true);
  if (!copie.bAjoute(sSrc, sCible, true, true, pclErreur) || !copie.bExecute(pclErreur)) return false;
  if (!CDiskFile::bDeleteTree(sSrc.c_str(), pclErreur)) {
    // The copy is whole; what is left of the source stays, and is reported.
    return false;
  }
  return true;
}
