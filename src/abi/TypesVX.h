// Value type codes shared by the descriptor tables, the entry points and
// the dynamic values: the low byte is the base type, bits 8..15 are flags.
#pragma once

#include "abi/TypesBase.h"

enum : DWORD {
  VXT_AUCUN = 0x00,         // no value (procedure without result)
  VXT_BOOLEEN = 0x01,       // 32-bit 0 or 1
  VXT_UI1 = 0x02,
  VXT_UI2 = 0x03,
  VXT_UI4 = 0x04,
  VXT_UI8 = 0x05,
  VXT_I1 = 0x06,
  VXT_I2 = 0x07,
  VXT_ENTIER = 0x08,        // signed 32-bit integer
  VXT_ENTIER8 = 0x09,       // signed 64-bit integer
  VXT_MONETAIRE = 0x0a,     // CMoney, 10 bytes
  VXT_REEL4 = 0x0b,
  VXT_REEL = 0x0c,          // double
  VXT_DECIMAL = 0x0d,
  VXT_ENTIERSYS = 0x0e,     // system integer (handle): pointer-sized, unsigned
  VXT_HWND = 0x0f,          // window handle: pointer-sized
  VXT_CHAINEUNICODE = 0x10, // CVXDSTR of 4-byte characters
  VXT_CARACTERE = 0x11,
  VXT_PSZ = 0x12,           // const char*, zero-terminated (input)
  VXT_CHAINE = 0x13,        // CVXDSTR
  VXT_PSZCONSTANTE = 0x17,  // const char* that stays valid (result only)
  VXT_DATE = 0x18,
  VXT_HEURE = 0x19,
  VXT_DATEHEURE = 0x1a,     // 8 bytes
  VXT_DUREE = 0x1b,         // 8 bytes of milliseconds
  VXT_BINAIRE = 0x1c,       // CVXBIN
  VXT_BUFFER = 0x1d,
  VXT_MEMOIMAGE = 0x1e,
  VXT_ANY = 0x1f,           // CAny
  VXT_CONVOYEUR = 0x32,
  VXT_OBJETAPCODE = 0x39,   // IObjetAPCode*
  VXT_POLICE = 0x41,
  VXT_PROCEDURE = 0x43,     // const char* naming a language procedure
  VXT_OBJETCHAINE = 0x4b,   // parameter: CVXDSTR by address; result: handed over by the method
  VXT_CHAINEOUBUFFER = 0x4d,// STManipAUB
  VXT_TABANY = 0x53,
  VXT_WSTR = 0x6e,

  VXT_MASQUE_BASE = 0x00ff,
  VXT_FLAG_200 = 0x0200,    // only in syntaxes without entry point
  VXT_PARREFERENCE = 0x4000,// slot is the address of the caller's variable
  VXT_FLAG_VM = 0x8000,     // read by the VM only
};

// Code of a parameter that carries an address (the address forms of fLit,
// fEcrit and fEcritLigne): the integer on i386, where an address is 32
// bits; the pointer-sized system integer on x86-64, so none is ever cut.
constexpr DWORD VXT_ADRESSE = sizeof(void*) == 4 ? VXT_ENTIER : VXT_ENTIERSYS;

// Base type of a declared code (flags dropped).
constexpr DWORD VXT_dwBase(DWORD code) { return code & VXT_MASQUE_BASE; }
// A parameter passed by reference.
constexpr bool VXT_bParReference(DWORD code) { return (code & VXT_PARREFERENCE) != 0; }
