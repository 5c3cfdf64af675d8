// Layouts of the values the library and the VM share in memory: the
// string-or-buffer slot, the header of a string block, an error item and
// the kind object of a dynamic value. Declared once here, with their size
// and offset checks for both editions (i386 first, x86-64 second).
#pragma once

#include <cstddef>

#include "abi/TypesBase.h"

class CAny;
class CKVUnknown;
class CStrMemCache;
struct CAny_Intern;

// A string or buffer handed over by its data pointer and type (0x13 string,
// 0x10 Unicode string, 0x1c buffer): the slot of a type-0x4d parameter.
struct STManipAUB {
  char* pData;
  WORD wType;
};
static_assert(sizeof(STManipAUB) == nSelonEdition(8, 16));
static_assert(offsetof(STManipAUB, wType) == nSelonEdition(4, 8));

// Header before the data of every block: the owner's pointer, then four
// 32-bit words (20 bytes on i386, 24 on x86-64, where the data stays
// 8-byte aligned).
struct STBlocStr {
  CStrMemCache* pclProprietaire;  // allocator that made the block
  DWORD dwFlags;                  // kind of content (BLOC_...)
  DWORD dwRef;                    // reference count (0 while cached)
  DWORD dwCapacite;               // bytes usable
  DWORD dwLongueur;               // bytes used
};
static_assert(sizeof(STBlocStr) == nSelonEdition(20, 24));
static_assert(offsetof(STBlocStr, dwLongueur) == nSelonEdition(16, 20), "the length is the word before the data");

// One information item: its type and its value (a string pointer, an
// integer, a 64-bit integer, an object or a pointer). The value is two
// 32-bit words on i386 (offset 4, 12 bytes in all); on x86-64 it is eight
// bytes at offset 8, so a pointer keeps its width (16 bytes in all).
struct _stERRORINFO {
  DWORD eType;
  union {
    DWORD dwValeur;          // 32-bit integer types, EIT_XINFO
    long long llValeur;      // EIT_RECNUM
    char* pszValeur;         // string types (owned)
    CKVUnknown* pclObjet;    // EIT_DATAACCESS (one reference held)
    void* pValeur;           // EIT_POINTEUR (not owned)
  };
};
static_assert(sizeof(_stERRORINFO) == nSelonEdition(12, 16));
static_assert(offsetof(_stERRORINFO, llValeur) == nSelonEdition(4, 8));

// Dispatch table of a kind, in slot order.
struct STAnyOps {
  void (*Detruit)(CAny_Intern*);
  void (*Duplique)(const CAny_Intern*, CAny* pclCible);
  int (*nGetSize)(const CAny_Intern*, unsigned long*);
  int (*nGetAdr)(CAny_Intern*, void**);
  int (*nFillBuffer)(const CAny_Intern*, void*);
  int (*nGetDataSize)(const CAny_Intern*, unsigned long*);
  int (*nGetDataAdr)(CAny_Intern*, void**);
  int (*nFillDataBuffer)(const CAny_Intern*, void*);
  void (*SetValue)(CAny_Intern*, const void*);
  void (*SetValueLongueur)(CAny_Intern*, const void*, unsigned long);
  int (*nGetPCXSTR)(const CAny_Intern*, const char**);
  int (*nGetSTRLEN)(const CAny_Intern*, unsigned long*);
  bool (*bIsPositive)(const CAny_Intern*);
  int (*nGetUtilDataSize)(const CAny_Intern*, unsigned long*);
  int (*nFillUtilDataBuffer)(const CAny_Intern*, void*);
  int (*nIncremente)(CAny_Intern*);
  int (*nDecremente)(CAny_Intern*);
  void (*SetValueFromANSI)(CAny_Intern*, const void*);
  void (*SetValueFromANSILongueur)(CAny_Intern*, const void*, unsigned long);
  void (*SetValueFromUNICODE)(CAny_Intern*, const void*);
  void (*SetValueFromUNICODELongueur)(CAny_Intern*, const void*, unsigned long);
  void (*SetValueFromANSI_CP)(CAny_Intern*, int, const void*);
  void (*SetValueFromANSI_CPLongueur)(CAny_Intern*, int, const void*, unsigned long);
  void (*SetValueFromUNICODE_CP)(CAny_Intern*, int, const void*);
  void (*SetValueFromUNICODE_CPLongueur)(CAny_Intern*, int, const void*, unsigned long);
  void (*SetValueOption)(CAny_Intern*, const void*, unsigned long, unsigned);
  // String-owning kinds only (null elsewhere).
  void (*__CreateStr)(CAny_Intern*, const char*);
  void (*__CreateStrLongueur)(CAny_Intern*, const char*, unsigned long);
  void (*__DeleteStr)(CAny_Intern*);
};

// The kind object: type word, value storage, dispatch pointer.
struct CAny_Intern {
  WORD m_wType;           // bits 0..7 base type, flags 0x100 and 0x400
  BYTE m_abValeur[10];
  const STAnyOps* m_pOps;

  WORD wBase() const { return static_cast<WORD>(m_wType & 0xFF); }
};
// 16 bytes on i386; 24 on x86-64 (the dispatch pointer at offset 16).
static_assert(sizeof(CAny_Intern) == nSelonEdition(16, 24));
static_assert(offsetof(CAny_Intern, m_pOps) == nSelonEdition(12, 16));
