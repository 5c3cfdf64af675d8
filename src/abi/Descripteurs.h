// Layout of the descriptor tables the component publishes to the VM
// (functions, their syntaxes, constants and variables) and the tables
// themselves, generated at build time from the row files under tables/.
#pragma once

#include "abi/Appel.h"
#include "abi/TypesBase.h"

constexpr int NUM_LIBRAIRIE = 8;  // this component's library number

// One syntax of a function: four words (16 bytes on i386; 32 on x86-64).
struct _stSYNTAXE {
  PFVXLENTREE pfnEntree;    // VXL_<name>_<n>, or null when not available here
  DWORD dwReserve;          // always 0
  const BYTE* pbTypes;      // packed little-endian codes: result, then each parameter
  DWORD dwNbParametre;      // bits 0..6 count; 0x80: last parameter repeatable
};
static_assert(sizeof(_stSYNTAXE) == nSelonEdition(16, 32));
static_assert(offsetof(_stSYNTAXE, pbTypes) == nSelonEdition(8, 16));
static_assert(offsetof(_stSYNTAXE, dwNbParametre) == nSelonEdition(12, 24));

constexpr DWORD SYNTAXE_REPETABLE = 0x80;
constexpr DWORD SYNTAXE_MASQUE_NB = 0x7F;

// One function row: five words (20 bytes on i386; 32 on x86-64).
struct _stFONCTION {
  const char* pszNomFrancais;   // Latin-1
  const char* pszNomAnglais;
  DWORD dwFlags;                // for the VM
  DWORD dwIdentifiant;          // syntaxes << 24 | library << 16 | function number
  const _stSYNTAXE* pstSyntaxes;
};
static_assert(sizeof(_stFONCTION) == nSelonEdition(20, 32));
static_assert(offsetof(_stFONCTION, dwFlags) == nSelonEdition(8, 16));
static_assert(offsetof(_stFONCTION, dwIdentifiant) == nSelonEdition(12, 20));
static_assert(offsetof(_stFONCTION, pstSyntaxes) == nSelonEdition(16, 24));

constexpr DWORD FONCTION_SYNONYME = 0x800000;  // flags bit: repeats an earlier row

constexpr int nNbSyntaxe(DWORD dwIdentifiant) { return static_cast<int>(dwIdentifiant >> 24); }
constexpr int nNumLibrairie(DWORD dwIdentifiant) { return static_cast<int>((dwIdentifiant >> 16) & 0xFF); }
constexpr int nNumFonction(DWORD dwIdentifiant) { return static_cast<int>(dwIdentifiant & 0xFFFF); }

// One constant row, packed: 18 bytes on i386; 30 on x86-64, where the value
// is pointer-sized (an integer value is its low 32 bits, little-endian).
struct __attribute__((packed)) _stCONSTANTE {
  const char* pszNomFrancais;
  const char* pszNomAnglais;
  DWORD dwFlags;
  union {
    DWORD dwValeur;             // type 8
    const char* pszValeur;      // type 0x12
    std::uintptr_t uValeur;     // the whole word (high half 0 for an integer)
  };
  BYTE byLibrairie;             // 8
  BYTE byType;                  // 8 integer, 0x12 string, 0 no value here
};
static_assert(sizeof(_stCONSTANTE) == nSelonEdition(18, 30));
static_assert(offsetof(_stCONSTANTE, dwFlags) == nSelonEdition(8, 16));
static_assert(offsetof(_stCONSTANTE, dwValeur) == nSelonEdition(12, 20));
static_assert(offsetof(_stCONSTANTE, byLibrairie) == nSelonEdition(16, 28));

// One variable row: 16 bytes on i386; 24 on x86-64.
struct _stVARIABLE {
  const char* pszNomFrancais;
  const char* pszNomAnglais;
  DWORD dwFlags;
  WORD wNumero;                 // 1 to 45
  BYTE byLibrairie;             // 8
  BYTE byType;
};
static_assert(sizeof(_stVARIABLE) == nSelonEdition(16, 24));
static_assert(offsetof(_stVARIABLE, wNumero) == nSelonEdition(12, 20));

// Counts of the published tables.
constexpr int NB_FONCTION = 391;
constexpr int NB_CONSTANTE = 471;
constexpr int NB_VARIABLE = 45;

// Text pairs (French, English) chosen by the library language.
struct _stTEXTES {
  const char* pszFrancais;
  const char* pszAnglais;
};

extern const _stFONCTION gstTabFonction[NB_FONCTION];
extern const _stCONSTANTE gstTabConstante[NB_CONSTANTE];
extern const _stVARIABLE gstTabVariable[NB_VARIABLE];
extern const _stTEXTES gstResume;       // "Fonctions standard" / "Standard functions"
extern const _stTEXTES gstDescription;  // empty
extern const _stTEXTES gstFichierAide;  // empty
