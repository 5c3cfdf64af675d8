// Language strings (CVXDSTR, types 0x13 and 0x10) and byte buffers (CVXBIN,
// type 0x1c): one data pointer into a reference-counted block of the shared
// allocator; null is the empty value. Copies share the block; a write makes
// a private copy first (copy-on-write).
//
// Status results: STR_OK (0), STR_ERR_MEMOIRE (100, the value is left
// unchanged or empty), STR_ERR_CONVERSION (105), STR_ERR_LONGUEUR (108,
// length above 0x7FFFFEFF).
#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>

#include "abi/TypesBase.h"
#include "core/StrMem.h"

class CVXDSTR;
class CVXBIN;

// Common part of strings and buffers: the data pointer and block handling.
class CBlocVX {
public:
  // Data pointer (null when empty).
  char* pGetData() const { return m_pData; }
  // Bytes used (0 when empty).
  DWORD nGetLength() const { return m_pData != nullptr ? pstGetBloc(m_pData)->dwLongueur : 0; }
  DWORD nGetCapacity() const { return m_pData != nullptr ? pstGetBloc(m_pData)->dwCapacite : 0; }
  bool bVide() const { return nGetLength() == 0; }
  // Reference count of the block (0 when empty).
  DWORD nGetRef() const { return m_pData != nullptr ? pstGetBloc(m_pData)->dwRef : 0; }

  // Sets the used length (at most the capacity) and the terminating zero.
  void SetUtilLength(DWORD nLongueur);
  // Empties the value (releases the block).
  void Vide();

protected:
  CBlocVX() = default;
  ~CBlocVX() { Vide(); }

  // Makes the value writable for `nLongueur` bytes: a shared block is
  // copied (same kind), a small one grown, a missing one made of kind
  // `dwGenre`; the length is not changed.
  int _nPrepare(DWORD nLongueur, DWORD dwGenre);
  int _nAssign(const void* p, DWORD n, bool bNeuf, DWORD dwGenre);
  int _nConcat(const void* p, DWORD n, DWORD dwGenre);
  void _Partage(const CBlocVX& autre);
  void _Prend(CBlocVX& autre);
  void _Tronque(DWORD n);
  int _nSetLength(DWORD n, DWORD dwGenre);

  char* m_pData = nullptr;
};

class CVXDSTRBase : public CBlocVX {
public:
  // The shared empty text: four zero bytes (valid empty 8-bit and wide string).
  static const char ChaineVide[4];

  // The library's allocator (own, or the VM's after GeneralParam 2008).
  static BOOL bInit();
  static void Term();
  static CStrMemCache* s_pclGetAllocateur() { return ms_pclAllocateur.load(std::memory_order_acquire); }
  static void s_SetAllocateurExterne(CStrMemCache* pcl);

  // Lowers the count of the block holding `pData` (null ignored); at 0 the
  // block goes back to its owner.
  static void s_ReleaseStrMem(const void* pData);
  // 0x13, 0x10 or 0x1c from the block's kind bits; null gives 0x13.
  static DWORD s_nGetTypeAUB(const void* pData);
  // Sets the kind bits of the block for type 0x10, 0x13 or 0x1c.
  static void s_VerifieTypeAUB(void* pData, DWORD dwType);

  // Text (never null: ChaineVide when empty).
  const char* pszGet() const { return m_pData != nullptr ? m_pData : ChaineVide; }
  operator const char*() const { return pszGet(); }

  // Assignment.
  void Assign(const CVXDSTRBase& autre, int nLongueur = -1);  // share, then keep nLongueur bytes (-1: all)
  void _Assign(const CVXDSTRBase& autre) { Assign(autre, -1); }
  void Take(CVXDSTRBase& autre);                               // adopt the other's block; it becomes empty
  int nAssign(const char* psz);                                 // C string (null: empty)
  int nAssign(const void* p, DWORD n);                          // bytes (null or 0: empty)
  int nAssignInit(const void* p, DWORD n);                      // bytes into a new block, never reusing the old
  int nRecupereInit(CVXBIN* pclBuffer);                         // take a buffer's block as a string
  void Tronque(DWORD nLongueur);                                // shorten (copy first when shared)

  // Concatenation.
  int nConcat(const CVXDSTRBase& autre);
  int nConcat(const void* p, DWORD n);
  int nConcat(const char* psz);
  int nConcatInit(const CVXDSTRBase& a, const void* pb, int nb);           // a then nb bytes of pb (-1: C string)
  int nConcatSeparateur(const CVXDSTRBase& a, const CVXDSTRBase& b, const char* pszSeparateur);  // a sep b

  // Spaces and padding.
  void Trim();                          // leading and trailing spaces
  void Trim(char c);                    // leading and trailing `c`
  void SansEspace();                    // leading and trailing blanks (space, tab, CR, LF)
  int nComplete(DWORD nLongueur, char c);                  // pad with c, or truncate, to nLongueur bytes
  int nCompleteUNICODE(DWORD nCaracteres, wchar_t c);      // same on a wide string, in characters
  int nComplete(DWORD nDebut, DWORD nLongueur, char c);    // write nLongueur c from nDebut (growing as needed)

  // Comparisons (< 0, 0, > 0).
  int nCompareTo(const char* psz) const;
  static int nCompare(const CVXDSTRBase& a, const CVXDSTRBase& b);
  static int nCompare(const CVXDSTRBase& a, const CVXDSTRBase& b, unsigned nOptions);  // STR options
  static int nCompareSouple(const CVXDSTRBase& a, const CVXDSTRBase& b);      // case and accents ignored
  static int nCompareTresSouple(const CVXDSTRBase& a, const CVXDSTRBase& b);  // also spaces and punctuation
  static bool bCommencePar(const CVXDSTRBase& a, const char* pszDebut);

  // Search and extraction (positions from 0; -1 when absent).
  int nNbOcc(const char* psz) const;
  int nPos(const char* psz, int nDebut = 0) const;
  int nPosFin(const char* psz) const;
  int nMilieu(CVXDSTRBase* pclCible, int nDebut, int nLongueur = -1) const;  // -1: to the end
  CVXDSTR clMilieu(int nDebut, int nLongueur = -1) const;

  int nSetLength(DWORD nLongueur);  // new bytes are zero

  // Conversions; each replaces the value and sets its kind.
  int nAffecteToUNICODE(const char* psz, int nLongueur, unsigned nPageCode, DWORD dwFlags = 0, int nReserve = 0);
  int nAffecteToUNICODE(const CVXBIN* pcl, unsigned nPageCode, DWORD dwFlags = 0, int nReserve = 0);
  int nAffecteToUNICODE(const CVXDSTR* pcl, unsigned nPageCode, DWORD dwFlags = 0, int nReserve = 0);
  int nAssignUNICODE_UTF16(const WORD* pw, int nNombre);  // -1: up to a zero
  int nAffecteToANSI(const wchar_t* pw, int nLongueur, unsigned nPageCode, DWORD dwFlags = 0, char cDefaut = '?',
                     BOOL* pbDefautUtilise = nullptr, int nReserve = 0);
  int nAffecteToANSI(const CVXBIN* pcl, unsigned nPageCode, DWORD dwFlags = 0, char cDefaut = '?',
                     BOOL* pbDefautUtilise = nullptr, int nReserve = 0);
  int nAffecteToANSI(const CVXDSTR* pcl, unsigned nPageCode, DWORD dwFlags = 0, char cDefaut = '?',
                     BOOL* pbDefautUtilise = nullptr, int nReserve = 0);
  int nAffecteToUTF8(const char* psz, int nLongueur, unsigned nPageCode);
  // Heap copies (malloc) of the text as wide or 8-bit C strings; null when memory is short.
  wchar_t* pszCreateWSTR() const;
  char* pszCreateCSTR() const;

  // Writable for nLongueur bytes (see CBlocVX); length unchanged.
  int __nPrepareModification(DWORD nLongueur) { return _nPrepare(nLongueur, BLOC_CHAINE); }

protected:
  CVXDSTRBase() = default;
  ~CVXDSTRBase() = default;

private:
  // Read without a lock by every call (made on first use by bInit, under its
  // lock, possibly while other threads read it): atomic, published with
  // release so a reader sees the allocator whole. A plain load on x86.
  static std::atomic<CStrMemCache*> ms_pclAllocateur;
  static CStrMemAlloc* ms_pclPropre;
};

class CVXDSTR : public CVXDSTRBase {
public:
  CVXDSTR() = default;
  CVXDSTR(const char* psz) { nAssign(psz); }  // NOLINT: implicit from text, as the language does
  CVXDSTR(const void* p, DWORD n) { nAssign(p, n); }
  CVXDSTR(const CVXDSTR& autre) { Assign(autre); }
  CVXDSTR(CVXDSTR&& autre) noexcept { Take(autre); }
  CVXDSTR& operator=(const CVXDSTR& autre) {
    if (this != &autre) Assign(autre);
    return *this;
  }
  CVXDSTR& operator=(CVXDSTR&& autre) noexcept {
    if (this != &autre) Take(autre);
    return *this;
  }
  ~CVXDSTR() = default;
};

// A string holding the bytes of s.
inline CVXDSTR clTexte(std::string_view s) { return CVXDSTR(s.data(), static_cast<DWORD>(s.size())); }
static_assert(sizeof(CVXDSTR) == sizeof(char*), "a string is its data pointer");

class CVXBINBase : public CBlocVX {
public:
  const BYTE* pbGet() const { return reinterpret_cast<const BYTE*>(m_pData); }
  DWORD nGetSize() const { return nGetLength(); }

  void Assign(const CVXBINBase& autre, int nTaille = -1);
  void Take(CVXBINBase& autre);
  int nAssign(const void* p, DWORD n);
  int nRecupereInit(CVXDSTR* pclChaine);  // take a string's block as a buffer
  void Tronque(DWORD nTaille);
  int nConcat(const CVXBINBase& autre);
  int nConcat(const void* p, DWORD n);
  int nConcatInit(const CVXBINBase& a, const void* pb, DWORD nb);
  int nConcatSeparateur(const CVXBINBase& a, const CVXBINBase& b, const void* pSeparateur, DWORD nSeparateur);
  static int nCompare(const CVXBINBase& a, const CVXBINBase& b);
  static int nCompare(const CVXBINBase& a, const CVXBINBase& b, DWORD nTaille);  // first nTaille bytes
  static int nCompareSouple(const CVXBINBase& a, const CVXBINBase& b);
  static int nCompareTresSouple(const CVXBINBase& a, const CVXBINBase& b);
  static bool bCommencePar(const CVXBINBase& a, const void* p, DWORD n);
  int nPos(const void* p, DWORD n, int nDebut = 0) const;
  int nMilieu(CVXBINBase* pclCible, int nDebut, int nTaille = -1) const;
  CVXBIN clMilieu(int nDebut, int nTaille = -1) const;
  int nSetSize(DWORD nTaille);        // new bytes are zero
  int nSetMemorySize(DWORD nTaille);  // room for nTaille bytes, size unchanged
  void SetUtilSize(DWORD nTaille) { SetUtilLength(nTaille); }
  int nAffecteToUNICODE(const char* psz, int nLongueur, unsigned nPageCode);
  int nAffecteToANSI(const wchar_t* pw, int nLongueur, unsigned nPageCode, char cDefaut = '?',
                     BOOL* pbDefautUtilise = nullptr);

  int __nPrepareModification(DWORD nTaille) { return _nPrepare(nTaille, BLOC_BINAIRE); }

protected:
  CVXBINBase() = default;
  ~CVXBINBase() = default;
};

class CVXBIN : public CVXBINBase {
public:
  CVXBIN() = default;
  CVXBIN(const void* p, DWORD n) { nAssign(p, n); }
  CVXBIN(const CVXBIN& autre) { Assign(autre); }
  CVXBIN(CVXBIN&& autre) noexcept { Take(autre); }
  CVXBIN& operator=(const CVXBIN& autre) {
    if (this != &autre) Assign(autre);
    return *this;
  }
  CVXBIN& operator=(CVXBIN&& autre) noexcept {
    if (this != &autre) Take(autre);
    return *this;
  }
  ~CVXBIN() = default;
};
static_assert(sizeof(CVXBIN) == sizeof(char*), "a buffer is its data pointer");
