// Replacing a whole file safely, for every function that writes one: the
// new contents go to a temporary file created beside the destination (in
// the directory of the file a symbolic link names), which is synced, given
// the old file's permissions and renamed over the destination only when
// everything worked. Until then the destination is untouched; on failure,
// or when the object goes away unvalidated, the temporary file is removed.
//
// A destination that exists and is not a regular file (a device, a pipe) is
// written in place: there is nothing to rename over it. A name that cannot
// be resolved (a loop of symbolic links, a path through a file) fails before
// anything is created, and the links stay as they are.
//
// Permissions are never widened: a replaced file keeps its mode, a new one
// gets 0666 less the umask (or the mode a move carries over).
#pragma once

#include <sys/types.h>

#include <sys/stat.h>

#include <string>

#include "abi/TypesBase.h"

class CXError;

// Options of CRemplacement::bPrepare.
enum : unsigned {
  // A destination without write permission is replaced all the same (the
  // caller asked to overwrite it); its mode stays read-only.
  REM_FORCE = 1,
  // The destination must not exist: bValide fails with EEXIST instead of
  // replacing a file that appeared meanwhile.
  REM_NOUVEAU = 2,
};

class CRemplacement {
public:
  CRemplacement() = default;
  ~CRemplacement() { Abandonne(); }
  CRemplacement(const CRemplacement&) = delete;
  CRemplacement& operator=(const CRemplacement&) = delete;

  // Creates the temporary file for pszDestination (backslashes allowed) and
  // opens it for writing. A destination that cannot be written (no write
  // permission) fails here, as opening it would have, unless REM_FORCE is
  // given. False with errno set and, when given, the error filled (message
  // 28140 with the destination).
  bool bPrepare(const char* pszDestination, CXError* pclErreur = nullptr, unsigned dwOptions = 0);
  // The new file takes the mode, owner (when allowed) and, with bDates, the
  // times of st: a moved file keeps them. Special bits are dropped when the
  // owner cannot be given.
  bool bAttributs(const struct stat64& st, CXError* pclErreur = nullptr, bool bDates = true);
  // Where to write: the temporary file (or the destination itself when it
  // is written in place), and a descriptor open on it for writing.
  const char* pszTemporaire() const { return m_sTemporaire.c_str(); }
  int nDescripteur() const { return m_fd; }
  // The file that will be replaced (links followed).
  const char* pszCible() const { return m_sCible.c_str(); }
  // Writes all of n bytes at the descriptor's offset (partial writes resumed).
  bool bEcrit(const void* p, size_t n, CXError* pclErreur = nullptr);
  // Syncs the new file and renames it over the destination. False with
  // errno set (and the error filled): the destination is then as before.
  bool bValide(CXError* pclErreur = nullptr);
  // Removes the temporary file; the destination stays as it was.
  void Abandonne();

private:
  bool _bEchec(CXError* pclErreur, DWORD nMessage, int nErrno);

  std::string m_sCible, m_sTemporaire;
  int m_fd = -1;
  unsigned m_dwOptions = 0;
  bool m_bCree = false;    // a temporary file exists
  bool m_bDirect = false;  // written in place
};

// A whole file written from memory through CRemplacement.
bool REM_bEcritFichier(const char* pszDestination, const void* p, size_t n, CXError* pclErreur = nullptr);

// Moves a regular file to another file system (where rename gives EXDEV):
// a copy written beside the new name, synced, given the source's mode and
// times, put in place only if the new name is still free, and only then is
// the source removed. Any failure leaves the source as it was and nothing
// under the new name. Error: message 28124 with both names.
bool REM_bDeplaceCopie(const char* pszNouveau, const char* pszAncien, CXError* pclErreur = nullptr);

// Both names lead to the same file (same device and inode, links followed):
// the in-place case of a function that reads one file and writes another.
bool REM_bMemeFichier(const char* a, const char* b);
