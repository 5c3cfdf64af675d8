// The table of write-side system calls and its failure injection.
#include "files/AppelsSysteme.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace sys_detail {

std::atomic<bool> g_bArme{false};

namespace {

struct STPanne {
  std::mutex verrou;
  int nAppel = 0;        // the first call to fail (1-based)
  bool bPersistant = false;
  int nErreur = 0;
  unsigned dwMasque = 0;
  int nCompte = 0;       // calls counted since arming
  int nEchecs = 0;
};

STPanne& stPanne() {
  static STPanne st;
  return st;
}

}  // namespace

bool bEchoue(eAPPELSYSTEME eAppel) {
  STPanne& st = stPanne();
  std::lock_guard<std::mutex> g(st.verrou);
  if ((st.dwMasque & eAppel) == 0) return false;
  const int n = ++st.nCompte;
  if (n == st.nAppel || (st.bPersistant && n > st.nAppel)) {
    ++st.nEchecs;
    errno = st.nErreur;
    return true;
  }
  return false;
}

}  // namespace sys_detail

using sys_detail::bPanne;

void SYS_Arme(int nAppel, bool bPersistant, int nErreur, unsigned dwMasque) {
  auto& st = sys_detail::stPanne();
  {
    std::lock_guard<std::mutex> g(st.verrou);
    st.nAppel = nAppel;
    st.bPersistant = bPersistant;
    st.nErreur = nErreur;
    st.dwMasque = dwMasque;
    st.nCompte = 0;
    st.nEchecs = 0;
  }
  sys_detail::g_bArme.store(true, std::memory_order_relaxed);
}

void SYS_Desarme() { sys_detail::g_bArme.store(false, std::memory_order_relaxed); }

int SYS_nAppels() {
  auto& st = sys_detail::stPanne();
  std::lock_guard<std::mutex> g(st.verrou);
  return st.nCompte;
}

int SYS_nEchecs() {
  auto& st = sys_detail::stPanne();
  std::lock_guard<std::mutex> g(st.verrou);
  return st.nEchecs;
}

int SYS_nOpen(const char* pszChemin, int nFlags, mode_t nMode) {
  // Only an open that may change the disk is a write-side call.
  if ((nFlags & (O_ACCMODE | O_CREAT | O_TRUNC)) != O_RDONLY && bPanne(APPEL_OPEN)) return -1;
  return ::open64(pszChemin, nFlags, nMode);
}

int SYS_nMkstemp(char* pszModele) {
  if (bPanne(APPEL_OPEN)) return -1;
  return ::mkostemp64(pszModele, O_CLOEXEC);
}

ssize_t SYS_nWrite(int fd, const void* p, size_t n) {
  if (bPanne(APPEL_WRITE)) return -1;
  return ::write(fd, p, n);
}

ssize_t SYS_nPwrite(int fd, const void* p, size_t n, long long oPosition) {
  if (bPanne(APPEL_WRITE)) return -1;
  return ::pwrite64(fd, p, n, oPosition);
}

int SYS_nFsync(int fd) {
  if (bPanne(APPEL_FSYNC)) return -1;
  return ::fsync(fd);
}

int SYS_nFtruncate(int fd, long long oTaille) {
  if (bPanne(APPEL_FTRUNCATE)) return -1;
  return ::ftruncate64(fd, oTaille);
}

int SYS_nRename(const char* pszAncien, const char* pszNouveau) {
  if (bPanne(APPEL_RENAME)) return -1;
  return ::rename(pszAncien, pszNouveau);
}

int SYS_nRenameExclusif(const char* pszAncien, const char* pszNouveau) {
  if (bPanne(APPEL_RENAME)) return -1;
  if (::renameat2(AT_FDCWD, pszAncien, AT_FDCWD, pszNouveau, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without it (or a rename the system refuses anyway, as a
  // directory into itself): the check, then the plain rename.
  struct stat64 st {};
  if (::lstat64(pszNouveau, &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(pszAncien, pszNouveau);
}

int SYS_nUnlink(const char* pszChemin) {
  if (bPanne(APPEL_UNLINK)) return -1;
  return ::unlink(pszChemin);
}

int SYS_nMkdir(const char* pszChemin, mode_t nMode) {
  if (bPanne(APPEL_MKDIR)) return -1;
  return ::mkdir(pszChemin, nMode);
}
