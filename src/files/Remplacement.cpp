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
  Abandonne();
  if (pclErreur != nullptr) {
    pclErreur->RAZ();
    pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
    pclErreur->SetSystemError(static_cast<DWORD>(nErrno));
    pclErreur->AddUserMessage(nMessage, m_sCible.c_str());
    pclErreur->AddInfo(EIT_SRCFILE, m_sCible.c_str());
  }
  errno = nErrno;
  return false;
}

bool CRemplacement::bPrepare(const char* pszDestination, CXError* pclErreur) {
  Abandonne();
  m_sCible = sSansLiens(CDiskFile::sNormalise(pszDestination));
  if (m_sCible.empty()) return _bEchec(pclErreur, MSG_FIC_CREE, ENOENT);
  struct stat64 st {};
  const bool bExiste = stat64(m_sCible.c_str(), &st) == 0;
  if (bExiste && !S_ISREG(st.st_mode)) {
    // A device or a pipe is written in place; a directory fails to open.
    m_bDirect = true;
    m_sTemporaire = m_sCible;
    m_fd = SYS_nOpen(m_sCible.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    return m_fd >= 0 || _bEchec(pclErreur, MSG_FIC_CREE, errno);
  }
  // A file that may not be written is not replaced either.
  if (bExiste && access(m_sCible.c_str(), W_OK) != 0) return _bEchec(pclErreur, MSG_FIC_CREE, errno);
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
    const std::size_t nBarre = m_sCible.rfind('/');
    const std::size_t nNom = m_sCible.size() - (nBarre == std::string::npos ? 0 : nBarre + 1);
    m_sTemporaire = nNom + std::strlen(szSuffixe) <= NAME_MAX
                        ? m_sCible + szSuffixe
                        : m_sCible.substr(0, nBarre == std::string::npos ? 0 : nBarre + 1) + ".kv" + szSuffixe;
    // Mode 0666 less the umask, as the destination would get when created.
    m_fd = SYS_nOpen(m_sTemporaire.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_LARGEFILE, 0666);
    if (m_fd >= 0 || errno != EEXIST) break;
  }
  if (m_fd < 0) return _bEchec(pclErreur, MSG_FIC_CREE, errno);
  m_bCree = true;
  if (bExiste) {
    // The old file's owner (when we may) and permissions.
    if (st.st_uid != geteuid() || st.st_gid != getegid()) {
      if (fchown(m_fd, st.st_uid, st.st_gid) != 0) {
      }
    }
    if (fchmod(m_fd, st.st_mode & 07777) != 0) return _bEchec(pclErreur, MSG_FIC_CREE, errno);
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
  if (SYS_nRename(m_sTemporaire.c_str(), m_sCible.c_str()) != 0) return _bEchec(pclErreur, MSG_FIC_RENOMME, errno);
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

bool REM_bMemeFichier(const char* a, const char* b) {
  struct stat64 sa {}, sb {};
  return a != nullptr && b != nullptr && stat64(CDiskFile::sNormalise(a).c_str(), &sa) == 0 &&
         stat64(CDiskFile::sNormalise(b).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
