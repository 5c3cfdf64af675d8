// The library-name table a caller may install: file names and versions of
// the runtime's libraries, with two error words.
#pragma once

#include "abi/TypesBase.h"

// One entry: a file name of 13 bytes and a version of 9 (8 characters and a 0).
struct __attribute__((packed)) _stNOMLIB {
  char szNom[13];
  char szVersion[9];
};
static_assert(sizeof(_stNOMLIB) == 22);

struct _stTABLENOMLIB {
  _stNOMLIB* pstEntrees;
  int nNombre;
  DWORD adwErreur[2];
};

BOOL DLN_bInitTableNom(_stTABLENOMLIB* pstTable);
_stTABLENOMLIB* DLN_pstGetPtr();
// Name of entry i: "" beyond the count; without a table, from the built-in
// list of 18 names of an older release.
const char* DLN_pszGetName(int i);
const char* DLN_pszGetVersion(int i);
// Sets the version of entry i (at most 8 characters); false without a table or entry.
BOOL DLN_pszSetVersion(int i, const char* pszVersion);
BOOL DLN_bGetErreur(DWORD* pdwA, DWORD* pdwB);
BOOL DLN_bSetErreur(DWORD dwA, DWORD dwB);
