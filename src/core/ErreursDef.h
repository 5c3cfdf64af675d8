// The error table: for each user error code, its message, detail and level.
#pragma once

#include "abi/TypesBase.h"

struct _stERRORDEF {
  DWORD nCodeUtilisateur;  // 80001 to 81610
  DWORD nIdMessage;        // message resource (0: none)
  DWORD nIdDetail;
  DWORD eNiveau;           // 1, 2 or 3
};

// The 232 published rows and two of this library: damaged compressed data
// (80551) and memory short while compressing (80552).
constexpr int NB_ERRORDEF = 234;
// Searched linearly, in table order (a code listed twice: the first row wins).
extern const _stERRORDEF gstErrorDef[NB_ERRORDEF];

// Row of a user error code, or null.
const _stERRORDEF* pstGetErrorDef(DWORD nCode);
