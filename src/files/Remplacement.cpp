// Whole-file replacement through a temporary file, and "same file" by
// device and inode.
#include "files/Remplacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "core/XError.h"
#include "files/AppelsSysteme.h"
#include "files/DiskFile.h"

namespace {

std::string sRepertoireDe(const std::string& s) {
  const std::size_t i = s.rfind('/');
  return i == std::string::npos ? std::string(".") : s.substr(0, i == 0 ? 1 : i);
}

// The name with its symbolic links followed, as far as they lead (the last
// target may not exist yet). A loop of links stops after 40 steps and fails
// later, when the name is opened.
std::string sSansLiens(std::string s) {
  for (int i = 0; i < 40; ++i) {
    struct stat64 st {};
    if (lstat64(s.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char sz[4096];
    const ssize_t n = readlink(s.c_str(), sz, sizeof sz - 1);
    if (n <= 0) break;
    std::string cible(sz, static_cast<std::size_t>(n));
    s = cible[0] == '/' ? cible : sRepertoireDe(s) + "/" + cible;
  }
  return s;
}

}  // namespace

bool CRemplacement::_bEchec(CXError* pclErreur, DWORD nMessage, int nErrno) {
  const std::string sTemporaire = m_sTemporaire;
  Abandonne();
  if (pclErreur != nullptr) {
    pclErreur->RAZ();
    pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
    pclErreur->SetSystemError(static_cast<DWORD>(nErrno));
    // The rename message names the new name and the old one.
    if (nMessage == MSG_FIC_RENOMME) pclErreur->AddUserMessage(nMessage, m_sCible.c_str(), sTemporaire.c_str());
    else pclErreur->AddUserMessage(nMessage, m_sCible.c_str());
    pclErreur->AddInfo(EIT_SRCFILE, m_sCible.c_str());
  }
  errno = nErrno;
  return false;
}

bool CRemplacement::bPrepare(const char* pszDestination, CXError* pclErreur, unsigned dwOptions) {
  Abandonne();
  m_dwOptions = dwOptions;
  m_sTemporaire.clear();
  m_sCible = sSansLiens(CDiskFile::sNormalise(pszDestination));
  if (m_sCible.empty()) return _bEchec(pclErreur, MSG_FIC_CREE, ENOENT);
  // A name the file could not be renamed to is refused before anything is
  // written.
  const std::size_t nBarre = m_sCible.rfind('/');
  if (m_sCible.size() - (nBarre == std::string::npos ? 0 : nBarre + 1) > NAME_MAX)
    return _bEchec(pclErreur, MSG_FIC_CREE, ENAMETOOLONG);
  struct stat64 st {};
  const bool bExiste = stat64(m_sCible.c_str(), &st) == 0;
  // A loop of links, a path through a file or a directory we may not search:
  // the name leads nowhere, and nothing is put in its place.
  if (!bExiste && errno != ENOENT) {
    const int e = errno;
    m_sCible = CDiskFile::sNormalise(pszDestination);  // the name as given, not where the links ended
    return _bEchec(pclErreur, MSG_FIC_CREE, e);
  }
  if (bExiste && (dwOptions & REM_NOUVEAU) != 0) return _bEchec(pclErreur, MSG_FIC_CREE, EEXIST);
  if (bExiste && !S_ISREG(st.st_mode)) {
    // A device or a pipe is written in place; a directory fails to open.
    m_bDirect = true;
    m_sTemporaire = m_sCible;
    m_fd = SYS_nOpen(m_sCible.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    return m_fd >= 0 || _bEchec(pclErreur, MSG_FIC_CREE, errno);
  }
  // A file that may not be written is not replaced either, unless asked.
  if (bExiste && (dwOptions & REM_FORCE) == 0 && access(m_sCible.c_str(), W_OK) != 0)
    return _bEchec(pclErreur, MSG_FIC_CREE, errno);
  static unsigned s_nCompteur = 0;
  for (int nEssai = 0; nEssai < 100; ++nEssai) {
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char szSuffixe[32];
    std::snprintf(szSuffixe, sizeof szSuffixe, ".%06x~",
                  (static_cast<unsigned>(ts.tv_nsec) ^ (static_cast<unsigned>(getpid()) << 8) ^
                   (__atomic_add_fetch(&s_nCompteur, 0x9E3779B1u, __ATOMIC_RELAXED))) & 0xFFFFFF);
    // Beside the destination under its own name and a suffix; a name too
    // long for that gets a short one in the same directory.
    const std::size_t nNom = m_sCible.size() - (nBarre == std::string::npos ? 0 : nBarre + 1);
    m_sTemporaire = nNom + std::strlen(szSuffixe) <= NAME_MAX
                        ? m_sCible + szSuffixe
                        : m_sCible.substr(0, nBarre == std::string::npos ? 0 : nBarre + 1) + ".kv" + szSuffixe;
    // Mode 0666 less the umask, as the destination would get when created.
    m_fd = SYS_nOpen(m_sTemporaire.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_LARGEFILE, 0666);
    if (m_fd >= 0 || errno != EEXIST) break;
  }
  if (m_fd < 0) {
    // The name for the error is the destination's; the scratch name is ours.
    m_sTemporaire.clear();
    return _bEchec(pclErreur, MSG_FIC_CREE, errno);
  }
  m_bCree = true;
  // The old file's owner (when we may) and permissions.
  return !bExiste || bAttributs(st, pclErreur, false);
}

bool CRemplacement::bAttributs(const struct stat64& st, CXError* pclErreur, bool bDates) {
  if (m_fd < 0 || m_bDirect) return true;
  mode_t nMode = st.st_mode & 07777;
  if (st.st_uid != geteuid() || st.st_gid != getegid()) {
    // Set-user and set-group bits are kept only with the owner they belong to.
    if (fchown(m_fd, st.st_uid, st.st_gid) != 0) nMode &= 0777;
  }
  if (fchmod(m_fd, nMode) != 0) return _bEchec(pclErreur, MSG_FIC_CREE, errno);
  if (bDates) {
    const timespec ts[2] = {st.st_atim, st.st_mtim};
    if (futimens(m_fd, ts) != 0) return _bEchec(pclErreur, MSG_FIC_CREE, errno);
  }
  return true;
}

bool CRemplacement::bEcrit(const void* p, size_t n, CXError* pclErreur) {
  const char* pc = static_cast<const char*>(p);
  while (n > 0) {
    const ssize_t r = SYS_nWrite(m_fd, pc, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      const int e = r == 0 ? ENOSPC : errno;
      if (pclErreur != nullptr) {
        pclErreur->RAZ();
        pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
        pclErreur->SetSystemError(static_cast<DWORD>(e));
        pclErreur->AddUserMessage(MSG_FIC_ECRITURE, m_sCible.c_str());
        pclErreur->AddInfo(EIT_SRCFILE, m_sCible.c_str());
      }
      errno = e;
      return false;
    }
    pc += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool CRemplacement::bValide(CXError* pclErreur) {
  if (m_fd < 0) return _bEchec(pclErreur, MSG_FIC_FLUSH, EBADF);
  if (m_bDirect) {
    const int r = close(m_fd);
    m_fd = -1;
    return r == 0 || _bEchec(pclErreur, MSG_FIC_ECRITURE, errno);
  }
  if (SYS_nFsync(m_fd) != 0) return _bEchec(pclErreur, MSG_FIC_FLUSH, errno);
  const int r = close(m_fd);
  m_fd = -1;
  if (r != 0) return _bEchec(pclErreur, MSG_FIC_ECRITURE, errno);
  const int nRenomme = (m_dwOptions & REM_NOUVEAU) != 0 ? SYS_nRenameExclusif(m_sTemporaire.c_str(), m_sCible.c_str())
                                                       : SYS_nRename(m_sTemporaire.c_str(), m_sCible.c_str());
  if (nRenomme != 0) return _bEchec(pclErreur, MSG_FIC_RENOMME, errno);
  m_bCree = false;
  return true;
}

void CRemplacement::Abandonne() {
  const int e = errno;
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
  if (m_bCree) SYS_nUnlink(m_sTemporaire.c_str());
  m_bCree = false;
  m_bDirect = false;
  errno = e;
}

bool REM_bEcritFichier(const char* pszDestination, const void* p, size_t n, CXError* pclErreur) {
  CRemplacement r;
  return r.bPrepare(pszDestination, pclErreur) && r.bEcrit(p, n, pclErreur) && r.bValide(pclErreur);
}

bool REM_bDeplaceCopie(const char* pszNouveau, const char* pszAncien, CXError* pclErreur) {
  const std::string a = CDiskFile::sNormalise(pszAncien), n = CDiskFile::sNormalise(pszNouveau);
  auto echec = [&](int e) {
    if (pclErreur != nullptr) {
      pclErreur->RAZ();
      pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
      pclErreur->SetSystemError(static_cast<DWORD>(e));
      pclErreur->AddUserMessage(MSG_FIC_RENOMME, n.c_str(), a.c_str());
      pclErreur->AddInfo(EIT_SRCFILE, n.c_str());
      pclErreur->AddInfo(EIT_DSTFILE, a.c_str());
    }
    errno = e;
    return false;
  };
  const int fs = ::open64(a.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fs < 0) return echec(errno == ELOOP ? EXDEV : errno);
  struct stat64 st {};
  if (fstat64(fs, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int e = S_ISREG(st.st_mode) ? errno : EXDEV;
    ::close(fs);
    return echec(e);
  }
  CRemplacement r;
  int e = 0;
  if (!r.bPrepare(n.c_str(), nullptr, REM_NOUVEAU)) e = errno;
  std::string tampon(65536, '\0');
  for (ssize_t lu = 1; e == 0 && lu > 0;) {
    lu = ::read(fs, tampon.data(), tampon.size());
    if (lu < 0 && errno == EINTR) continue;
    if (lu < 0) e = errno;
    else if (lu > 0 && !r.bEcrit(tampon.data(), static_cast<size_t>(lu))) e = errno;
  }
  ::close(fs);
  if (e == 0 && !r.bAttributs(st, nullptr, true)) e = errno;
  if (e == 0 && !r.bValide()) e = errno;
  if (e != 0) return echec(e);
  // The new entry made durable before the only other copy goes.
  const std::string rep = sRepertoireDe(n);
  const int fd = ::open(rep.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    e = SYS_nFsync(fd) != 0 && errno != EINVAL ? errno : 0;
    ::close(fd);
  }
  if (e != 0 || SYS_nUnlink(a.c_str()) != 0) {
    // The source stays: the copy goes again, so the file is in one place.
    if (e == 0) e = errno;
    ::unlink(n.c_str());
    return echec(e);
  }
  return true;
}

bool REM_bMemeFichier(const char* a, const char* b) {
  struct stat64 sa {}, sb {};
  return a != nullptr && b != nullptr && stat64(CDiskFile::sNormalise(a).c_str(), &sa) == 0 &&
         stat64(CDiskFile::sNormalise(b).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
