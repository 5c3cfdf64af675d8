// Replacing a whole file safely, for every function that writes one: the
// new contents go to a temporary file created beside the destination (in
// the directory of the file a symbolic link names), which is synced, given
// the old file's permissions and renamed over the destination only when
// everything worked. Until then the destination is untouched; on failure,
// or when the object goes away unvalidated, the temporary file is removed.
//
// A destination that exists and is not a regular file (a device, a pipe) is
// written in place: there is nothing to rename over it.
#pragma once

#include <sys/types.h>

#include <string>

#include "abi/TypesBase.h"

class CXError;

class CRemplacement {
public:
  CRemplacement() = default;
  ~CRemplacement() { Abandonne(); }
  CRemplacement(const CRemplacement&) = delete;
  CRemplacement& operator=(const CRemplacement&) = delete;

  // Creates the temporary file for pszDestination (backslashes allowed) and
  // opens it for writing. A destination that cannot be written (no write
  // permission) fails here, as opening it would have. False with errno set
  // and, when given, the error filled (message 28140 with the destination).
  bool bPrepare(const char* pszDestination, CXError* pclErreur = nullptr);
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
  bool m_bCree = false;    // a temporary file exists
  bool m_bDirect = false;  // written in place
};

// A whole file written from memory through CRemplacement.
bool REM_bEcritFichier(const char* pszDestination, const void* p, size_t n, CXError* pclErreur = nullptr);

// Both names lead to the same file (same device and inode, links followed):
// the in-place case of a function that reads one file and writes another.
bool REM_bMemeFichier(const char* a, const char* b);
