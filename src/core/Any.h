// CAny: one value of any language type with its type code. The value lives
// in an embedded kind object (type word, 10 bytes of storage, dispatch
// pointer); changing the type replaces the kind in place, so scalars never
// allocate. Conversions between types are lent by the VM.
//
// Status codes: 0 success (conversions: 0 to 99), 102 operation not
// available for the kind, 104 and 105 conversion not possible.
#pragma once

#include <cwchar>

#include "abi/TypesBase.h"
#include "abi/Valeurs.h"

class CAny;
struct STManipAUB;

enum : int {
  ANY_OK = 0,
  ANY_ERR_OPERATION = 102,
  ANY_ERR_CONVERSION_104 = 104,
  ANY_ERR_CONVERSION = 105,
};

// Flags that travel with a value (every copy, duplication and conversion).
enum : WORD {
  ANY_FLAG_100 = 0x100,  // an empty value may carry it
  ANY_FLAG_400 = 0x400,
  ANY_MASQUE_FLAGS = ANY_FLAG_100 | ANY_FLAG_400,
};

class CAny {
public:
  CAny();
  ~CAny();
  CAny(const CAny& autre);
  CAny& operator=(const CAny& autre);

  // Base type code (0 empty) and the flags.
  WORD wGetType() const { return m_clGenre.wBase(); }
  WORD wGetFlags() const { return static_cast<WORD>(m_clGenre.m_wType & ANY_MASQUE_FLAGS); }
  void SetFlags(WORD wFlags);
  bool bVide() const { return wGetType() == 0; }

  // Installs the kind of `wType` (flags kept); unless bGarde, its storage
  // takes the kind's initial value. No change when the type is already it.
  void __SetType(WORD wType, int bGarde = 0);
  // Frees owned storage and installs `wType` with the raw 10 bytes given
  // (the value takes ownership of what they designate).
  void __TransfertValeurInterne(WORD wType, const BYTE* pbOctets);

  // Converts in place through the VM's routines; the conversion status.
  int nCastTo(WORD wType);
  // This value becomes a copy of `pclSource` converted to this value's
  // current type (an empty source leaves an empty value with flag 0x100).
  int nCopy(const CAny* pclSource);
  static int s_nCastTo(const CAny* pclSource, CAny* pclCible, WORD wType);

  // Scalars: types 1, 8, 14 and 2, 3, 6, 7 give their value; others 105.
  int nGetINT(int* pn) const;
  // Types 11 and 12; others 105.
  int nGetREAL(double* pd) const;
  // Types 0x10, 0x13 and 0x1c; others 105.
  int nGetManipAUB(STManipAUB* pst) const;
  // A date-time or a duration stored in a buffer; 104 when it holds none.
  int nCastFrom_BIN_DATEHEURE_To_DATEHEURE();
  int nCastFrom_BIN_DUREE_To_DUREE();

  // Operations of the kind.
  int nGetSize(unsigned long* pn) const { return m_clGenre.m_pOps->nGetSize(&m_clGenre, pn); }
  int nGetAdr(void** pp) { return m_clGenre.m_pOps->nGetAdr(&m_clGenre, pp); }
  int nFillBuffer(void* p) const { return m_clGenre.m_pOps->nFillBuffer(&m_clGenre, p); }
  int nGetDataSize(unsigned long* pn) const { return m_clGenre.m_pOps->nGetDataSize(&m_clGenre, pn); }
  int nGetDataAdr(void** pp) { return m_clGenre.m_pOps->nGetDataAdr(&m_clGenre, pp); }
  int nFillDataBuffer(void* p) const { return m_clGenre.m_pOps->nFillDataBuffer(&m_clGenre, p); }
  void SetValue(const void* p) { m_clGenre.m_pOps->SetValue(&m_clGenre, p); }
  void SetValue(const void* p, unsigned long n) { m_clGenre.m_pOps->SetValueLongueur(&m_clGenre, p, n); }
  int nGetPCXSTR(const char** ppsz) const { return m_clGenre.m_pOps->nGetPCXSTR(&m_clGenre, ppsz); }
  int nGetSTRLEN(unsigned long* pn) const { return m_clGenre.m_pOps->nGetSTRLEN(&m_clGenre, pn); }
  bool bIsPositive() const { return m_clGenre.m_pOps->bIsPositive(&m_clGenre); }
  int nGetUtilDataSize(unsigned long* pn) const { return m_clGenre.m_pOps->nGetUtilDataSize(&m_clGenre, pn); }
  int nFillUtilDataBuffer(void* p) const { return m_clGenre.m_pOps->nFillUtilDataBuffer(&m_clGenre, p); }
  int nIncremente() { return m_clGenre.m_pOps->nIncremente(&m_clGenre); }
  int nDecremente() { return m_clGenre.m_pOps->nDecremente(&m_clGenre); }
  void SetValueFromANSI(const void* p) { m_clGenre.m_pOps->SetValueFromANSI(&m_clGenre, p); }
  void SetValueFromANSI(const void* p, unsigned long n) { m_clGenre.m_pOps->SetValueFromANSILongueur(&m_clGenre, p, n); }
  void SetValueFromUNICODE(const void* p) { m_clGenre.m_pOps->SetValueFromUNICODE(&m_clGenre, p); }
  void SetValueFromUNICODE(const void* p, unsigned long n) {
    m_clGenre.m_pOps->SetValueFromUNICODELongueur(&m_clGenre, p, n);
  }
  void SetValueOption(const void* p, unsigned long n, unsigned nOption) {
    m_clGenre.m_pOps->SetValueOption(&m_clGenre, p, n, nOption);
  }

  // Setters of the usual kinds (the type changes as needed).
  void SetVide();
  void SetBooleen(bool b);
  void SetEntier(int n);
  void SetEntier8(long long ll);
  void SetReel(double d);
  void SetDuree(long long llMillisecondes);
  // A language string (0x13) of these bytes; false when memory is short.
  bool bSetChaine(const char* p, DWORD n);
  bool bSetChaine(const char* psz);
  // A buffer (0x1c) of these bytes.
  bool bSetBinaire(const void* p, DWORD n);

  // The kind object, for code that reads storage directly.
  CAny_Intern* pclGetGenre() { return &m_clGenre; }
  const CAny_Intern* pclGetGenre() const { return &m_clGenre; }

  // Builds a value from a typed text such as "vxEntier_4" / "vxInt_4": the
  // type code of the name (0 when unknown); the value is reset to that type.
  static WORD s_wConstruitValeurCAny(const char* pszTexte, CAny* pclValeur);

private:
  DWORD m_dwEntete = 0;
  CAny_Intern m_clGenre;
};
// 20 bytes on i386; 32 on x86-64 (the kind object 8-byte aligned at offset 8).
static_assert(sizeof(CAny) == nSelonEdition(20, 32));

// Dispatch table of a type code (the empty kind for unknown codes).
const STAnyOps* ANY_pstOps(WORD wType);

// The VM's conversion routines, found in its module.
extern "C" {
using PFCONVERSION = int (*)(void* pValeur, WORD wType, void* pTampon, WORD wCible);
using PFCONVERSIONEX = int (*)(void* pValeur, WORD wType, void* pTampon, WORD wCible, int nOption);
using PFFINCONVERSION = void (*)(void* pTampon, WORD wCible);
}

// Takes the VM's routines from its module: accepted when version >= 2 and
// compat < 3; false when a required routine is missing.
extern "C" KV_EXPORT BOOL bInitVXConvFromVM(void* hModule, DWORD dwVersion, DWORD dwCompat);
// Hands the stored routines to another module through its bInitVXConvFromVM.
BOOL bInitVXConvFromServeur(void* hModule);
