// The system calls through which the library changes the disk (opening for
// writing, writing, syncing, truncating, renaming, unlinking, creating
// directories), all through one table that tests can arm to make a chosen
// call fail with a chosen errno, in the manner of SQLite's test_syscall.
// Unarmed, a call costs one predictable branch more than the system call.
#pragma once

#include <sys/types.h>

#include <atomic>

// Kinds of calls, as bits of a mask.
enum eAPPELSYSTEME : unsigned {
  APPEL_OPEN = 1,       // open or mkstemp for writing or creating
  APPEL_WRITE = 2,      // write, pwrite
  APPEL_FSYNC = 4,
  APPEL_FTRUNCATE = 8,
  APPEL_RENAME = 16,
  APPEL_UNLINK = 32,
  APPEL_MKDIR = 64,
  APPEL_TOUS = 127,
};

int SYS_nOpen(const char* pszChemin, int nFlags, mode_t nMode = 0666);
int SYS_nMkstemp(char* pszModele);
ssize_t SYS_nWrite(int fd, const void* p, size_t n);
ssize_t SYS_nPwrite(int fd, const void* p, size_t n, long long oPosition);
int SYS_nFsync(int fd);
int SYS_nFtruncate(int fd, long long oTaille);
int SYS_nRename(const char* pszAncien, const char* pszNouveau);
// A rename that never replaces: fails with EEXIST when the new name exists
// (a file system without that kind of rename gets a check, then a rename).
int SYS_nRenameExclusif(const char* pszAncien, const char* pszNouveau);
int SYS_nUnlink(const char* pszChemin);
int SYS_nMkdir(const char* pszChemin, mode_t nMode);

// Arming, for tests. From now on the calls whose kind is in dwMasque are
// counted from 1; call nAppel fails with errno nErreur (and, with
// bPersistant, every later one too). Other kinds pass untouched.
void SYS_Arme(int nAppel, bool bPersistant, int nErreur, unsigned dwMasque = APPEL_TOUS);
void SYS_Desarme();
// Calls counted and failures made since the last arming.
int SYS_nAppels();
int SYS_nEchecs();

namespace sys_detail {
extern std::atomic<bool> g_bArme;
bool bEchoue(eAPPELSYSTEME eAppel);  // counts the call; true: fail it (errno set)
inline bool bPanne(eAPPELSYSTEME eAppel) {
  return __builtin_expect(g_bArme.load(std::memory_order_relaxed), false) && bEchoue(eAppel);
}
}  // namespace sys_detail
