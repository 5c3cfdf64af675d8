// Layout of the descriptor tables the component publishes to the VM
// (functions, their syntaxes, constants and variables) and the tables
// themselves, generated at build time from the row files under tables/.
#pragma once

#include "abi/Appel.h"
#include "abi/TypesBase.h"

constexpr int NUM_LIBRAIRIE = 8;  // this component's library number

// One syntax of a function: four 32-bit words.
struct _stSYNTAXE {
  PFVXLENTREE pfnEntree;    // VXL_<name>_<n>, or null when not available here
  DWORD dwReserve;          // always 0
  const BYTE* pbTypes;      // packed little-endian codes: result, then each parameter
  DWORD dwNbParametre;      // bits 0..6 count; 0x80: last parameter repeatable
};
static_assert(sizeof(_stSYNTAXE) == 16);

constexpr DWORD SYNTAXE_REPETABLE = 0x80;
constexpr DWORD SYNTAXE_MASQUE_NB = 0x7F;

// One function row: five 32-bit words.
struct _stFONCTION {
  const char* pszNomFrancais;   // Latin-1
  const char* pszNomAnglais;
  DWORD dwFlags;                // for the VM
  DWORD dwIdentifiant;          // syntaxes << 24 | library << 16 | function number
  const _stSYNTAXE* pstSyntaxes;
};
static_assert(sizeof(_stFONCTION) == 20);

constexpr DWORD FONCTION_SYNONYME = 0x800000;  // flags bit: repeats an earlier row

constexpr int nNbSyntaxe(DWORD dwIdentifiant) { return static_cast<int>(dwIdentifiant >> 24); }
constexpr int nNumLibrairie(DWORD dwIdentifiant) { return static_cast<int>((dwIdentifiant >> 16) & 0xFF); }
constexpr int nNumFonction(DWORD dwIdentifiant) { return static_cast<int>(dwIdentifiant & 0xFFFF); }

// One constant row: 18 bytes, packed.
struct __attribute__((packed)) _stCONSTANTE {
  const char* pszNomFrancais;
  const char* pszNomAnglais;
  DWORD dwFlags;
  union {
    DWORD dwValeur;             // type 8
    const char* pszValeur;      // type 0x12
  };
  BYTE byLibrairie;             // 8
  BYTE byType;                  // 8 integer, 0x12 string, 0 no value here
};
static_assert(sizeof(_stCONSTANTE) == 18);

// One variable row: 16 bytes.
struct _stVARIABLE {
  const char* pszNomFrancais;
  const char* pszNomAnglais;
  DWORD dwFlags;
  WORD wNumero;                 // 1 to 45
  BYTE byLibrairie;             // 8
  BYTE byType;
};
static_assert(sizeof(_stVARIABLE) == 16);

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
