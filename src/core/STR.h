// Text routines of the library: comparisons with case and accent options
// over the 8-bit Windows-1252 alphabet, and the VM's character table.
#pragma once

#include "abi/TypesBase.h"

struct _stCHARTAB;

// Comparison options.
enum : unsigned {
  STR_IGNORE_CASSE = 1,    // case ignored
  STR_IGNORE_ACCENTS = 2,  // accents ignored
};

// < 0, 0 or > 0 as a sorts before, with or after b; both must be non-null.
int STR_nCompare(const char* a, const char* b, unsigned nOptions);
// As STR_nCompare, a null side sorting before any text (two nulls are equal).
int STR_nNullCompare(const char* a, const char* b, unsigned nOptions);
// One byte as the comparison sees it under the options.
unsigned char STR_byCompare(unsigned char c, unsigned nOptions);

// Installs the character table the VM gives (kept for the string layer).
void STR_ChangeAlphabet(int nAlphabet, _stCHARTAB* pstTable);
_stCHARTAB* STR_pstGetAlphabet(int* pnAlphabet);

// Installs the alphabet information object the VM gives with its table.
void STR_ChangeInfoAlphabet(void* piInfo);
void* STR_piGetInfoAlphabet();

// Maps a text for loose comparisons into `pszDest` (`nTaille` bytes, always
// terminated): options 1 lower case, 2 accents removed, 4 spaces and
// punctuation removed (letters and digits kept). Returns the mapped length.
int STR_nMapStringEx(const char* pszSource, char* pszDest, int nTaille, unsigned nOptions);

// Heap copy of a text (malloc; null for null) and its release.
char* STR_pszCreate(const char* psz);
void STR_Delete(char* psz);
