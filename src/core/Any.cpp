// CAny: the kinds of values, their dispatch tables, typed texts and the
// conversions lent by the VM.
#include "core/Any.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <type_traits>
#include <vector>

#include "core/CodePage.h"
#include "core/STR.h"
#include "core/VXDSTR.h"

namespace {

// ---- The VM's conversion routines ---------------------------------------------

PFCONVERSION gpfnConversion = nullptr;
PFCONVERSIONEX gpfnConversionEx = nullptr;
PFFINCONVERSION gpfnFinConversion = nullptr;
void* ghModuleConversion = nullptr;
DWORD gdwVersionConversion = 0;
DWORD gdwCompatConversion = 0;

// ---- Storage helpers --------------------------------------------------------------

template <class T>
T lit(const CAny_Intern* g) {
  T v;
  std::memcpy(&v, g->m_abValeur, sizeof v);
  return v;
}

template <class T>
void ecrit(CAny_Intern* g, T v) {
  std::memcpy(g->m_abValeur, &v, sizeof v);
}

char* pszChaine(const CAny_Intern* g) { return lit<char*>(g); }

// A string-block value (CVXDSTR or CVXBIN data pointer) in the storage.
void PrendBloc(CAny_Intern* g, const char* pData) {
  if (pData != nullptr) ++pstGetBloc(pData)->dwRef;
  CVXDSTRBase::s_ReleaseStrMem(pszChaine(g));
  ecrit<const char*>(g, pData);
}

// A fresh block of these bytes, of kind `dwGenre`, replacing the value.
void AffecteBloc(CAny_Intern* g, const void* p, unsigned long n, DWORD dwGenre) {
  CVXDSTRBase::s_ReleaseStrMem(pszChaine(g));
  ecrit<char*>(g, nullptr);
  if (p == nullptr || n == 0) return;
  STBlocStr* pst = CVXDSTRBase::s_pclGetAllocateur() != nullptr || CVXDSTRBase::bInit()
                       ? CVXDSTRBase::s_pclGetAllocateur()->pstAlloue(static_cast<DWORD>(n), dwGenre)
                       : nullptr;
  if (pst == nullptr) return;
  std::memcpy(pszGetDonnees(pst), p, n);
  pst->dwLongueur = static_cast<DWORD>(n);
  std::memset(pszGetDonnees(pst) + n, 0, 4);
  ecrit<char*>(g, pszGetDonnees(pst));
}

DWORD nLongueurBloc(const CAny_Intern* g) {
  const char* p = pszChaine(g);
  return p != nullptr ? pstGetBloc(p)->dwLongueur : 0;
}

// ---- Kinds ---------------------------------------------------------------------------

// The empty kind; every other kind takes its defaults.
struct GenreIntern {
  static void Initialise(CAny_Intern* g) { std::memset(g->m_abValeur, 0, sizeof g->m_abValeur); }
  static void Detruit(CAny_Intern*) {}
  static void Duplique(const CAny_Intern* g, CAny* pclCible);
  static int nGetSize(const CAny_Intern*, unsigned long*) { return ANY_ERR_OPERATION; }
  static int nGetAdr(CAny_Intern*, void**) { return ANY_ERR_OPERATION; }
  static int nFillBuffer(const CAny_Intern*, void*) { return ANY_ERR_OPERATION; }
  static int nGetDataSize(const CAny_Intern*, unsigned long*) { return ANY_ERR_OPERATION; }
  static int nGetDataAdr(CAny_Intern*, void**) { return ANY_ERR_OPERATION; }
  static int nFillDataBuffer(const CAny_Intern*, void*) { return ANY_ERR_OPERATION; }
  static void SetValue(CAny_Intern*, const void*) {}
  static void SetValueLongueur(CAny_Intern* g, const void* p, unsigned long) { g->m_pOps->SetValue(g, p); }
  static int nGetPCXSTR(const CAny_Intern*, const char**) { return ANY_ERR_CONVERSION; }
  static int nGetSTRLEN(const CAny_Intern*, unsigned long*) { return ANY_ERR_OPERATION; }
  static bool bIsPositive(const CAny_Intern*) { return false; }
  static int nGetUtilDataSize(const CAny_Intern* g, unsigned long* pn) { return g->m_pOps->nGetDataSize(g, pn); }
  static int nFillUtilDataBuffer(const CAny_Intern* g, void* p) { return g->m_pOps->nFillDataBuffer(g, p); }
  static int nIncremente(CAny_Intern*) { return ANY_ERR_OPERATION; }
  static int nDecremente(CAny_Intern*) { return ANY_ERR_OPERATION; }
  static void SetValueFromANSI(CAny_Intern* g, const void* p) { g->m_pOps->SetValue(g, p); }
  static void SetValueFromANSILongueur(CAny_Intern* g, const void* p, unsigned long n) {
    g->m_pOps->SetValueLongueur(g, p, n);
  }
  static void SetValueFromUNICODE(CAny_Intern* g, const void* p) { g->m_pOps->SetValue(g, p); }
  static void SetValueFromUNICODELongueur(CAny_Intern* g, const void* p, unsigned long n) {
    g->m_pOps->SetValueLongueur(g, p, n);
  }
  static void SetValueFromANSI_CP(CAny_Intern* g, int, const void* p) { g->m_pOps->SetValueFromANSI(g, p); }
  static void SetValueFromANSI_CPLongueur(CAny_Intern* g, int, const void* p, unsigned long n) {
    g->m_pOps->SetValueFromANSILongueur(g, p, n);
  }
  static void SetValueFromUNICODE_CP(CAny_Intern* g, int, const void* p) { g->m_pOps->SetValueFromUNICODE(g, p); }
  static void SetValueFromUNICODE_CPLongueur(CAny_Intern* g, int, const void* p, unsigned long n) {
    g->m_pOps->SetValueFromUNICODELongueur(g, p, n);
  }
  static void SetValueOption(CAny_Intern* g, const void* p, unsigned long n, unsigned) {
    g->m_pOps->SetValueLongueur(g, p, n);
  }
  static constexpr void (*pfnCreateStr)(CAny_Intern*, const char*) = nullptr;
  static constexpr void (*pfnCreateStrLongueur)(CAny_Intern*, const char*, unsigned long) = nullptr;
  static constexpr void (*pfnDeleteStr)(CAny_Intern*) = nullptr;
};

// Plain values of `N` bytes stored as they are.
template <unsigned N>
struct GenreBrut : GenreIntern {
  static int nGetSize(const CAny_Intern*, unsigned long* pn) {
    *pn = N;
    return ANY_OK;
  }
  static int nGetAdr(CAny_Intern* g, void** pp) {
    *pp = g->m_abValeur;
    return ANY_OK;
  }
  static int nFillBuffer(const CAny_Intern* g, void* p) {
    std::memcpy(p, g->m_abValeur, N);
    return ANY_OK;
  }
  static void SetValue(CAny_Intern* g, const void* p) {
    if (p != nullptr) std::memcpy(g->m_abValeur, p, N);
  }
};

// Numbers of type T.
template <class T>
struct GenreNombre : GenreBrut<sizeof(T)> {
  static bool bIsPositive(const CAny_Intern* g) {
    if constexpr (std::is_signed_v<T>) {
      return lit<T>(g) >= 0;
    } else {
      return true;
    }
  }
  static int nIncremente(CAny_Intern* g) {
    ecrit<T>(g, static_cast<T>(lit<T>(g) + 1));
    return ANY_OK;
  }
  static int nDecremente(CAny_Intern* g) {
    ecrit<T>(g, static_cast<T>(lit<T>(g) - 1));
    return ANY_OK;
  }
};

struct GenreBooleen : GenreBrut<4> {
  static void SetValue(CAny_Intern* g, const void* p) {
    if (p != nullptr) ecrit<std::int32_t>(g, *static_cast<const std::int32_t*>(p) != 0);
  }
  static bool bIsPositive(const CAny_Intern*) { return true; }
};

// Currency: a signed 80-bit count of millionths.
struct GenreMonetaire : GenreBrut<10> {
  static bool bIsPositive(const CAny_Intern* g) { return (g->m_abValeur[9] & 0x80) == 0; }
};

// Dates: text of at most 8 characters; times: 9 characters padded with '0'.
struct GenreDate : GenreBrut<10> {
  static int nGetSTRLEN(const CAny_Intern* g, unsigned long* pn) {
    *pn = strnlen(reinterpret_cast<const char*>(g->m_abValeur), 8);
    return ANY_OK;
  }
  static void SetValue(CAny_Intern* g, const void* p) {
    std::memset(g->m_abValeur, 0, sizeof g->m_abValeur);
    if (p != nullptr) std::strncpy(reinterpret_cast<char*>(g->m_abValeur), static_cast<const char*>(p), 8);
  }
  static int nGetPCXSTR(const CAny_Intern* g, const char** ppsz) {
    *ppsz = reinterpret_cast<const char*>(g->m_abValeur);
    return ANY_OK;
  }
};

struct GenreHeure : GenreBrut<10> {
  static int nGetSTRLEN(const CAny_Intern* g, unsigned long* pn) {
    *pn = strnlen(reinterpret_cast<const char*>(g->m_abValeur), 9);
    return ANY_OK;
  }
  static void Initialise(CAny_Intern* g) {
    std::memset(g->m_abValeur, '0', 9);
    g->m_abValeur[9] = 0;
  }
  static void SetValue(CAny_Intern* g, const void* p) {
    Initialise(g);
    if (p == nullptr) return;
    const char* psz = static_cast<const char*>(p);
    for (int i = 0; i < 9 && psz[i] != '\0'; ++i) g->m_abValeur[i] = static_cast<BYTE>(psz[i]);
  }
  static int nGetPCXSTR(const CAny_Intern* g, const char** ppsz) {
    *ppsz = reinterpret_cast<const char*>(g->m_abValeur);
    return ANY_OK;
  }
};

// Language strings (0x13, 0x10) and buffers (0x1c): a block data pointer.
template <DWORD GENRE>
struct GenreBloc : GenreIntern {
  static void Detruit(CAny_Intern* g) {
    CVXDSTRBase::s_ReleaseStrMem(pszChaine(g));
    ecrit<char*>(g, nullptr);
  }
  static void Duplique(const CAny_Intern* g, CAny* pclCible);
  static int nGetSize(const CAny_Intern*, unsigned long* pn) {
    *pn = sizeof(char*);
    return ANY_OK;
  }
  static int nGetAdr(CAny_Intern* g, void** pp) {
    *pp = g->m_abValeur;
    return ANY_OK;
  }
  static int nFillBuffer(const CAny_Intern* g, void* p) {
    std::memcpy(p, g->m_abValeur, sizeof(char*));
    return ANY_OK;
  }
  static int nGetDataSize(const CAny_Intern* g, unsigned long* pn) {
    *pn = nLongueurBloc(g);
    return ANY_OK;
  }
  static int nGetDataAdr(CAny_Intern* g, void** pp) {
    const char* p = pszChaine(g);
    *pp = const_cast<char*>(p != nullptr ? p : CVXDSTRBase::ChaineVide);
    return ANY_OK;
  }
  static int nFillDataBuffer(const CAny_Intern* g, void* p) {
    if (nLongueurBloc(g) > 0) std::memcpy(p, pszChaine(g), nLongueurBloc(g));
    return ANY_OK;
  }
  // The stored form: a data pointer, whose block is shared.
  static void SetValue(CAny_Intern* g, const void* p) { PrendBloc(g, p != nullptr ? *static_cast<const char* const*>(p) : nullptr); }
  static int nGetPCXSTR(const CAny_Intern* g, const char** ppsz) {
    const char* p = pszChaine(g);
    *ppsz = p != nullptr ? p : CVXDSTRBase::ChaineVide;
    return ANY_OK;
  }
  static int nGetSTRLEN(const CAny_Intern* g, unsigned long* pn) {
    *pn = nLongueurBloc(g);
    return ANY_OK;
  }
  static void SetValueFromANSI(CAny_Intern* g, const void* p) {
    AffecteBloc(g, p, p != nullptr ? std::strlen(static_cast<const char*>(p)) : 0, GENRE);
  }
  static void SetValueFromANSILongueur(CAny_Intern* g, const void* p, unsigned long n) { AffecteBloc(g, p, n, GENRE); }
  // Wide text becomes 8-bit text of the current code page.
  static void SetValueFromUNICODE(CAny_Intern* g, const void* p) {
    SetValueFromUNICODELongueur(g, p, p != nullptr ? std::wcslen(static_cast<const wchar_t*>(p)) : 0);
  }
  static void SetValueFromUNICODELongueur(CAny_Intern* g, const void* p, unsigned long n) {
    if (p == nullptr || n == 0) {
      AffecteBloc(g, nullptr, 0, GENRE);
      return;
    }
    int nb = WideCharToMultiByte(CP_nGetPageCourante(), 0, static_cast<const wchar_t*>(p), static_cast<int>(n), nullptr, 0, "?", nullptr);
    std::vector<char> s(static_cast<std::size_t>(nb > 0 ? nb : 1));
    if (nb > 0) WideCharToMultiByte(CP_nGetPageCourante(), 0, static_cast<const wchar_t*>(p), static_cast<int>(n), s.data(), nb, "?", nullptr);
    AffecteBloc(g, s.data(), static_cast<unsigned long>(nb > 0 ? nb : 0), GENRE);
  }
  static void SetValueOption(CAny_Intern* g, const void* p, unsigned long n, unsigned) { AffecteBloc(g, p, n, GENRE); }
};

template <DWORD GENRE>
void GenreBloc<GENRE>::Duplique(const CAny_Intern* g, CAny* pclCible) {
  pclCible->__SetType(g->wBase());
  PrendBloc(pclCible->pclGetGenre(), pszChaine(g));
}

// Owned C string (0x12), null for empty.
struct GenreCSTR : GenreIntern {
  static void Detruit(CAny_Intern* g) { DeleteStr(g); }
  static void Duplique(const CAny_Intern* g, CAny* pclCible) {
    pclCible->__SetType(g->wBase());
    CreateStr(pclCible->pclGetGenre(), pszChaine(g));
  }
  static void CreateStr(CAny_Intern* g, const char* psz) {
    CreateStrLongueur(g, psz, psz != nullptr ? std::strlen(psz) : 0);
  }
  static void CreateStrLongueur(CAny_Intern* g, const char* psz, unsigned long n) {
    DeleteStr(g);
    if (psz == nullptr || n == 0) return;
    auto* p = static_cast<char*>(std::malloc(n + 1));
    if (p == nullptr) return;
    std::memcpy(p, psz, n);
    p[n] = '\0';
    ecrit<char*>(g, p);
  }
  static void DeleteStr(CAny_Intern* g) {
    std::free(pszChaine(g));
    ecrit<char*>(g, nullptr);
  }
  static int nGetSize(const CAny_Intern*, unsigned long* pn) {
    *pn = sizeof(char*);
    return ANY_OK;
  }
  static int nGetAdr(CAny_Intern* g, void** pp) {
    *pp = g->m_abValeur;
    return ANY_OK;
  }
  static int nGetDataSize(const CAny_Intern* g, unsigned long* pn) {
    *pn = pszChaine(g) != nullptr ? std::strlen(pszChaine(g)) : 0;
    return ANY_OK;
  }
  static int nGetDataAdr(CAny_Intern* g, void** pp) {
    *pp = pszChaine(g) != nullptr ? pszChaine(g) : const_cast<char*>(CVXDSTRBase::ChaineVide);
    return ANY_OK;
  }
  static int nFillDataBuffer(const CAny_Intern* g, void* p) {
    if (pszChaine(g) != nullptr) std::memcpy(p, pszChaine(g), std::strlen(pszChaine(g)));
    return ANY_OK;
  }
  // The stored form: a pointer to the text, which is copied.
  static void SetValue(CAny_Intern* g, const void* p) { CreateStr(g, p != nullptr ? *static_cast<const char* const*>(p) : nullptr); }
  static int nGetPCXSTR(const CAny_Intern* g, const char** ppsz) {
    *ppsz = pszChaine(g) != nullptr ? pszChaine(g) : CVXDSTRBase::ChaineVide;
    return ANY_OK;
  }
  static int nGetSTRLEN(const CAny_Intern* g, unsigned long* pn) { return nGetDataSize(g, pn); }
  static void SetValueFromANSI(CAny_Intern* g, const void* p) { CreateStr(g, static_cast<const char*>(p)); }
  static void SetValueFromANSILongueur(CAny_Intern* g, const void* p, unsigned long n) {
    CreateStrLongueur(g, static_cast<const char*>(p), n);
  }
  static void SetValueOption(CAny_Intern* g, const void* p, unsigned long n, unsigned) {
    CreateStrLongueur(g, static_cast<const char*>(p), n);
  }
  static constexpr void (*pfnCreateStr)(CAny_Intern*, const char*) = &CreateStr;
  static constexpr void (*pfnCreateStrLongueur)(CAny_Intern*, const char*, unsigned long) = &CreateStrLongueur;
  static constexpr void (*pfnDeleteStr)(CAny_Intern*) = &DeleteStr;
};

// Owned wide string (0x6e) of wchar_t, allocated with malloc.
struct GenreWSTR : GenreIntern {
  static wchar_t* pw(const CAny_Intern* g) { return lit<wchar_t*>(g); }
  static void Detruit(CAny_Intern* g) { DeleteStr(g); }
  static void Duplique(const CAny_Intern* g, CAny* pclCible) {
    pclCible->__SetType(g->wBase());
    Copie(pclCible->pclGetGenre(), pw(g), pw(g) != nullptr ? std::wcslen(pw(g)) : 0);
  }
  static void Copie(CAny_Intern* g, const wchar_t* p, unsigned long n) {
    DeleteStr(g);
    if (p == nullptr || n == 0) return;
    auto* q = static_cast<wchar_t*>(std::malloc((n + 1) * sizeof(wchar_t)));
    if (q == nullptr) return;
    std::memcpy(q, p, n * sizeof(wchar_t));
    q[n] = 0;
    ecrit<wchar_t*>(g, q);
  }
  // From 8-bit text of the current code page.
  static void CreateStrLongueur(CAny_Intern* g, const char* psz, unsigned long n) {
    DeleteStr(g);
    if (psz == nullptr || n == 0) return;
    int nb = MultiByteToWideChar(CP_nGetPageCourante(), 0, psz, static_cast<int>(n), nullptr, 0);
    if (nb <= 0) return;
    std::vector<wchar_t> w(static_cast<std::size_t>(nb));
    MultiByteToWideChar(CP_nGetPageCourante(), 0, psz, static_cast<int>(n), w.data(), nb);
    Copie(g, w.data(), static_cast<unsigned long>(nb));
  }
  static void CreateStr(CAny_Intern* g, const char* psz) { CreateStrLongueur(g, psz, psz != nullptr ? std::strlen(psz) : 0); }
  static void DeleteStr(CAny_Intern* g) {
    std::free(pw(g));
    ecrit<wchar_t*>(g, nullptr);
  }
  static int nGetSize(const CAny_Intern*, unsigned long* pn) {
    *pn = sizeof(wchar_t*);
    return ANY_OK;
  }
  static int nGetAdr(CAny_Intern* g, void** pp) {
    *pp = g->m_abValeur;
    return ANY_OK;
  }
  static int nGetDataSize(const CAny_Intern* g, unsigned long* pn) {
    *pn = pw(g) != nullptr ? std::wcslen(pw(g)) * sizeof(wchar_t) : 0;
    return ANY_OK;
  }
  static int nGetDataAdr(CAny_Intern* g, void** pp) {
    *pp = pw(g) != nullptr ? static_cast<void*>(pw(g)) : const_cast<char*>(CVXDSTRBase::ChaineVide);
    return ANY_OK;
  }
  static int nFillDataBuffer(const CAny_Intern* g, void* p) {
    unsigned long n = 0;
    nGetDataSize(g, &n);
    if (n > 0) std::memcpy(p, pw(g), n);
    return ANY_OK;
  }
  static void SetValue(CAny_Intern* g, const void* p) {
    const wchar_t* q = p != nullptr ? *static_cast<const wchar_t* const*>(p) : nullptr;
    Copie(g, q, q != nullptr ? std::wcslen(q) : 0);
  }
  static int nGetSTRLEN(const CAny_Intern* g, unsigned long* pn) { return nGetDataSize(g, pn); }
  static void SetValueFromANSI(CAny_Intern* g, const void* p) { CreateStr(g, static_cast<const char*>(p)); }
  static void SetValueFromANSILongueur(CAny_Intern* g, const void* p, unsigned long n) {
    CreateStrLongueur(g, static_cast<const char*>(p), n);
  }
  static void SetValueFromUNICODE(CAny_Intern* g, const void* p) {
    const auto* q = static_cast<const wchar_t*>(p);
    Copie(g, q, q != nullptr ? std::wcslen(q) : 0);
  }
  static void SetValueFromUNICODELongueur(CAny_Intern* g, const void* p, unsigned long n) {
    Copie(g, static_cast<const wchar_t*>(p), n);
  }
  static constexpr void (*pfnCreateStr)(CAny_Intern*, const char*) = &CreateStr;
  static constexpr void (*pfnCreateStrLongueur)(CAny_Intern*, const char*, unsigned long) = &CreateStrLongueur;
  static constexpr void (*pfnDeleteStr)(CAny_Intern*) = &DeleteStr;
};

// A decimal: a counted object of the VM's factory (IStdVersion slots, then
// AddRef and Release).
class IDecimal {
public:
  virtual int nGetVersion() = 0;
  virtual int nGetCompatSince() = 0;
  virtual int nGetDllNum() = 0;
  virtual void Vide1() = 0;
  virtual void Vide2() = 0;
  virtual void Vide3() = 0;
  virtual int AddRef() = 0;
  virtual int Release() = 0;

protected:
  ~IDecimal() = default;
};

struct GenreDecimal : GenreBrut<4> {
  static IDecimal* pi(const CAny_Intern* g) { return lit<IDecimal*>(g); }
  static void Detruit(CAny_Intern* g) {
    if (pi(g) != nullptr) pi(g)->Release();
    ecrit<IDecimal*>(g, nullptr);
  }
  static void Duplique(const CAny_Intern* g, CAny* pclCible) {
    pclCible->__SetType(g->wBase());
    if (pi(g) != nullptr) pi(g)->AddRef();
    ecrit<IDecimal*>(pclCible->pclGetGenre(), pi(g));
  }
  // The stored form: a pointer to the new object, which the value keeps.
  static void SetValue(CAny_Intern* g, const void* p) {
    IDecimal* q = p != nullptr ? *static_cast<IDecimal* const*>(p) : nullptr;
    if (q != nullptr) q->AddRef();
    Detruit(g);
    ecrit<IDecimal*>(g, q);
  }
};

void GenreIntern::Duplique(const CAny_Intern* g, CAny* pclCible) {
  pclCible->__SetType(g->wBase());
  std::memcpy(pclCible->pclGetGenre()->m_abValeur, g->m_abValeur, sizeof g->m_abValeur);
}

template <class K>
constexpr STAnyOps gOps = {
    &K::Detruit,
    &K::Duplique,
    &K::nGetSize,
    &K::nGetAdr,
    &K::nFillBuffer,
    &K::nGetDataSize,
    &K::nGetDataAdr,
    &K::nFillDataBuffer,
    &K::SetValue,
    &K::SetValueLongueur,
    &K::nGetPCXSTR,
    &K::nGetSTRLEN,
    &K::bIsPositive,
    &K::nGetUtilDataSize,
    &K::nFillUtilDataBuffer,
    &K::nIncremente,
    &K::nDecremente,
    &K::SetValueFromANSI,
    &K::SetValueFromANSILongueur,
    &K::SetValueFromUNICODE,
    &K::SetValueFromUNICODELongueur,
    &K::SetValueFromANSI_CP,
    &K::SetValueFromANSI_CPLongueur,
    &K::SetValueFromUNICODE_CP,
    &K::SetValueFromUNICODE_CPLongueur,
    &K::SetValueOption,
    K::pfnCreateStr,
    K::pfnCreateStrLongueur,
    K::pfnDeleteStr,
};

// Initial value of the kind installed for a type.
template <class K>
void Initialise(CAny_Intern* g) {
  K::Initialise(g);
}

struct STGenre {
  const STAnyOps* pOps;
  void (*pfnInitialise)(CAny_Intern*);
};

template <class K>
constexpr STGenre genre() {
  return {&gOps<K>, &Initialise<K>};
}

STGenre stGenre(WORD wType) {
  switch (wType) {
    case 0x01: return genre<GenreBooleen>();
    case 0x02: return genre<GenreNombre<std::uint8_t>>();
    case 0x03: return genre<GenreNombre<std::uint16_t>>();
    case 0x04: return genre<GenreNombre<std::uint32_t>>();
    case 0x05: return genre<GenreNombre<std::uint64_t>>();
    case 0x06: return genre<GenreNombre<std::int8_t>>();
    case 0x07: return genre<GenreNombre<std::int16_t>>();
    case 0x08: return genre<GenreNombre<std::int32_t>>();
    case 0x09: return genre<GenreNombre<std::int64_t>>();
    case 0x0a: return genre<GenreMonetaire>();
    case 0x0b: return genre<GenreNombre<float>>();
    case 0x0c: return genre<GenreNombre<double>>();
    case 0x0d: return genre<GenreDecimal>();
    // System integers and window handles are pointer-sized words (32 bits
    // on i386, 64 on x86-64).
    case 0x0e: return genre<GenreNombre<std::uintptr_t>>();
    case 0x0f: return genre<GenreNombre<std::intptr_t>>();
    case 0x10: return genre<GenreBloc<BLOC_UNICODE>>();
    case 0x11: return genre<GenreNombre<std::uint16_t>>();
    case 0x12: return genre<GenreCSTR>();
    case 0x13: return genre<GenreBloc<BLOC_CHAINE>>();
    case 0x18: return genre<GenreDate>();
    case 0x19: return genre<GenreHeure>();
    case 0x1a: return genre<GenreBrut<8>>();
    case 0x1b: return genre<GenreNombre<std::int64_t>>();
    case 0x1c: return genre<GenreBloc<BLOC_BINAIRE>>();
    case 0x1d:
    case 0x1e:
    case 0x32:
    case 0x41:
    case 0x53: return genre<GenreBrut<8>>();
    case 0x6e: return genre<GenreWSTR>();
    default: return genre<GenreIntern>();
  }
}

bool bTypeConnu(WORD wType) { return wType == 0 || stGenre(wType).pOps != &gOps<GenreIntern>; }

}  // namespace

const STAnyOps* ANY_pstOps(WORD wType) { return stGenre(wType).pOps; }

// ---- CAny -----------------------------------------------------------------------------

CAny::CAny() {
  m_clGenre.m_wType = 0;
  std::memset(m_clGenre.m_abValeur, 0, sizeof m_clGenre.m_abValeur);
  m_clGenre.m_pOps = &gOps<GenreIntern>;
}

CAny::~CAny() { m_clGenre.m_pOps->Detruit(&m_clGenre); }

CAny::CAny(const CAny& autre) : CAny() { *this = autre; }

CAny& CAny::operator=(const CAny& autre) {
  if (this == &autre) return *this;
  WORD wFlags = autre.wGetFlags();
  autre.m_clGenre.m_pOps->Duplique(&autre.m_clGenre, this);
  SetFlags(wFlags);
  return *this;
}

void CAny::SetFlags(WORD wFlags) {
  m_clGenre.m_wType = static_cast<WORD>(m_clGenre.wBase() | (wFlags & ANY_MASQUE_FLAGS));
}

void CAny::__SetType(WORD wType, int bGarde) {
  WORD wBase = static_cast<WORD>(wType & 0xFF);
  if (!bTypeConnu(wBase)) wBase = 0;
  if (wBase == m_clGenre.wBase() && m_clGenre.m_pOps == stGenre(wBase).pOps) return;
  WORD wFlags = wGetFlags();
  m_clGenre.m_pOps->Detruit(&m_clGenre);
  STGenre st = stGenre(wBase);
  m_clGenre.m_pOps = st.pOps;
  m_clGenre.m_wType = static_cast<WORD>(wBase | wFlags);
  if (!bGarde) st.pfnInitialise(&m_clGenre);
}

void CAny::__TransfertValeurInterne(WORD wType, const BYTE* pbOctets) {
  WORD wFlags = wGetFlags();
  m_clGenre.m_pOps->Detruit(&m_clGenre);
  WORD wBase = static_cast<WORD>(wType & 0xFF);
  if (!bTypeConnu(wBase)) wBase = 0;
  m_clGenre.m_pOps = stGenre(wBase).pOps;
  m_clGenre.m_wType = static_cast<WORD>(wBase | wFlags);
  if (pbOctets != nullptr) {
    std::memcpy(m_clGenre.m_abValeur, pbOctets, sizeof m_clGenre.m_abValeur);
  } else {
    stGenre(wBase).pfnInitialise(&m_clGenre);
  }
}

int CAny::nCastTo(WORD wType) {
  WORD wCible = static_cast<WORD>(wType & 0xFF);
  if (wCible == wGetType()) return ANY_OK;
  if (gpfnConversion == nullptr && gpfnConversionEx == nullptr) return ANY_ERR_CONVERSION;
  alignas(8) BYTE abTampon[32] = {};
  int nStatut = gpfnConversionEx != nullptr
                    ? gpfnConversionEx(m_clGenre.m_abValeur, wGetType(), abTampon, wCible, 1)
                    : gpfnConversion(m_clGenre.m_abValeur, wGetType(), abTampon, wCible);
  if (nStatut > 99) return nStatut;
  WORD wFlags = wGetFlags();
  // The target kind starts clean: the old kind's bytes mean nothing to it.
  __SetType(wCible, 0);
  SetValue(abTampon);
  SetFlags(wFlags);
  if (gpfnFinConversion != nullptr) gpfnFinConversion(abTampon, wCible);
  return nStatut;
}

int CAny::nCopy(const CAny* pclSource) {
  if (pclSource == nullptr || pclSource->bVide()) {
    WORD wFlags = pclSource != nullptr ? pclSource->wGetFlags() : 0;
    SetVide();
    SetFlags(static_cast<WORD>(wFlags | ANY_FLAG_100));
    return ANY_OK;
  }
  WORD wType = wGetType();
  if (wType == 0) {
    *this = *pclSource;
    return ANY_OK;
  }
  CAny copie(*pclSource);
  int nStatut = copie.nCastTo(wType);
  if (nStatut > 99) return nStatut;
  *this = copie;
  return nStatut;
}

int CAny::s_nCastTo(const CAny* pclSource, CAny* pclCible, WORD wType) {
  if (pclSource == nullptr || pclCible == nullptr) return ANY_ERR_CONVERSION;
  *pclCible = *pclSource;
  return pclCible->nCastTo(wType);
}

int CAny::nGetINT(int* pn) const {
  switch (wGetType()) {
    case 0x01:
    case 0x08: *pn = lit<std::int32_t>(&m_clGenre); return ANY_OK;
    case 0x0e: {
      // A system integer wider than 32 bits (an address on x86-64) is not
      // cut to an int: the conversion fails instead.
      const std::uintptr_t u = lit<std::uintptr_t>(&m_clGenre);
      if (u > UINT32_MAX) {
        *pn = 0;
        return ANY_ERR_CONVERSION;
      }
      *pn = static_cast<std::int32_t>(static_cast<std::uint32_t>(u));
      return ANY_OK;
    }
    case 0x02: *pn = lit<std::uint8_t>(&m_clGenre); return ANY_OK;
    case 0x03: *pn = lit<std::uint16_t>(&m_clGenre); return ANY_OK;
    case 0x06: *pn = lit<std::int8_t>(&m_clGenre); return ANY_OK;
    case 0x07: *pn = lit<std::int16_t>(&m_clGenre); return ANY_OK;
    default: *pn = 0; return ANY_ERR_CONVERSION;
  }
}

int CAny::nGetREAL(double* pd) const {
  switch (wGetType()) {
    case 0x0b: *pd = lit<float>(&m_clGenre); return ANY_OK;
    case 0x0c: *pd = lit<double>(&m_clGenre); return ANY_OK;
    default: *pd = 0; return ANY_ERR_CONVERSION;
  }
}

int CAny::nGetManipAUB(STManipAUB* pst) const {
  switch (wGetType()) {
    case 0x10:
    case 0x13:
    case 0x1c:
      pst->pData = pszChaine(&m_clGenre);
      pst->wType = wGetType();
      return ANY_OK;
    default: return ANY_ERR_CONVERSION;
  }
}

int CAny::nCastFrom_BIN_DATEHEURE_To_DATEHEURE() {
  if (wGetType() != 0x1c || nLongueurBloc(&m_clGenre) != 8) return ANY_ERR_CONVERSION_104;
  BYTE ab[8];
  std::memcpy(ab, pszChaine(&m_clGenre), 8);
  __SetType(0x1a);
  std::memcpy(m_clGenre.m_abValeur, ab, 8);
  return ANY_OK;
}

int CAny::nCastFrom_BIN_DUREE_To_DUREE() {
  if (wGetType() != 0x1c || nLongueurBloc(&m_clGenre) != 8) return ANY_ERR_CONVERSION_104;
  std::int64_t ll;
  std::memcpy(&ll, pszChaine(&m_clGenre), 8);
  SetDuree(ll);
  return ANY_OK;
}

void CAny::SetVide() { __SetType(0); }

void CAny::SetBooleen(bool b) {
  __SetType(0x01);
  ecrit<std::int32_t>(&m_clGenre, b ? 1 : 0);
}

void CAny::SetEntier(int n) {
  __SetType(0x08);
  ecrit<std::int32_t>(&m_clGenre, n);
}

void CAny::SetEntier8(long long ll) {
  __SetType(0x09);
  ecrit<std::int64_t>(&m_clGenre, ll);
}

void CAny::SetReel(double d) {
  __SetType(0x0c);
  ecrit<double>(&m_clGenre, d);
}

void CAny::SetDuree(long long ll) {
  __SetType(0x1b);
  ecrit<std::int64_t>(&m_clGenre, ll);
}

bool CAny::bSetChaine(const char* p, DWORD n) {
  __SetType(0x13);
  AffecteBloc(&m_clGenre, p, n, BLOC_CHAINE);
  return n == 0 || pszChaine(&m_clGenre) != nullptr;
}

bool CAny::bSetChaine(const char* psz) { return bSetChaine(psz, psz != nullptr ? static_cast<DWORD>(std::strlen(psz)) : 0); }

bool CAny::bSetBinaire(const void* p, DWORD n) {
  __SetType(0x1c);
  AffecteBloc(&m_clGenre, p, n, BLOC_BINAIRE);
  return n == 0 || pszChaine(&m_clGenre) != nullptr;
}

// ---- Typed texts ------------------------------------------------------------------------

WORD CAny::s_wConstruitValeurCAny(const char* pszTexte, CAny* pclValeur) {
  struct Nom {
    const char* pszFrancais;
    const char* pszAnglais;
    WORD wType;
  };
  static const Nom noms[] = {
      {"vxBool\xE9" "en", "vxBoolean", 1},
      {"vxEntierSansSigne_1", "vxUnsignedInt_1", 2},
      {"vxEntierSansSigne_2", "vxUnsignedInt_2", 3},
      {"vxEntierSansSigne_4", "vxUnsignedInt_4", 4},
      {"vxEntierSansSigne_8", "vxUnsignedInt_8", 5},
      {"vxEntier_1", "vxInt_1", 6},
      {"vxEntier_2", "vxInt_2", 7},
      {"vxEntier_4", "vxInt_4", 8},
      {"vxEntier_8", "vxInt_8", 9},
      {"vxMon\xE9taire", "vxCurrency", 10},
      {"vxR\xE9" "el_4", "vxReal_4", 11},
      {"vxR\xE9" "el_8", "vxReal_8", 12},
      {"vxNum\xE9rique", "vxNumeric", 13},
      {"vxCha\xEEne", "vxString", 18},
      {"vxCha\xEEneUnicode", "vxUnicodeString", 110},
      {"vxDate", "vxDate", 24},
      {"vxHeure", "vxTime", 25},
      {"vxDateHeure", "vxDateTime", 26},
      {"vxDur\xE9" "e", "vxDuration", 27},
      {"vxCha\xEEneBinaire", "vxBinaryString", 28},
  };
  if (pszTexte == nullptr || pclValeur == nullptr) return 0;
  // "name", then optionally one separator (':', '=' or a space) and the value text.
  std::size_t nNom = std::strcspn(pszTexte, ":= ");
  std::string nom(pszTexte, nNom);
  const char* pszValeur = pszTexte[nNom] != '\0' ? pszTexte + nNom + 1 : nullptr;
  WORD wType = 0;
  for (const auto& n : noms) {
    // The French names are Windows-1252 text: in the library's code page first.
    const std::string francais = CP_sDepuis1252(n.pszFrancais, std::strlen(n.pszFrancais));
    if (STR_nCompare(nom.c_str(), francais.c_str(), STR_IGNORE_CASSE) == 0 ||
        STR_nCompare(nom.c_str(), n.pszAnglais, STR_IGNORE_CASSE) == 0) {
      wType = n.wType;
      break;
    }
  }
  if (wType == 0) return 0;
  pclValeur->__SetType(wType);
  if (pszValeur == nullptr) return wType;
  switch (wType) {
    case 1: {
      bool b = STR_nCompare(pszValeur, "VRAI", STR_IGNORE_CASSE) == 0 ||
               STR_nCompare(pszValeur, "TRUE", STR_IGNORE_CASSE) == 0 || std::strtol(pszValeur, nullptr, 10) != 0;
      pclValeur->SetBooleen(b);
      break;
    }
    case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: {
      long long ll = std::strtoll(pszValeur, nullptr, 10);
      std::memset(pclValeur->m_clGenre.m_abValeur, 0, 10);
      std::memcpy(pclValeur->m_clGenre.m_abValeur, &ll, wType == 2 || wType == 6 ? 1 : wType == 3 || wType == 7 ? 2 : wType == 4 || wType == 8 ? 4 : 8);
      break;
    }
    case 11: ecrit<float>(&pclValeur->m_clGenre, std::strtof(pszValeur, nullptr)); break;
    case 12: ecrit<double>(&pclValeur->m_clGenre, std::strtod(pszValeur, nullptr)); break;
    case 18: GenreCSTR::CreateStr(&pclValeur->m_clGenre, pszValeur); break;
    case 110: GenreWSTR::CreateStr(&pclValeur->m_clGenre, pszValeur); break;
    case 24: GenreDate::SetValue(&pclValeur->m_clGenre, pszValeur); break;
    case 25: GenreHeure::SetValue(&pclValeur->m_clGenre, pszValeur); break;
    case 27: pclValeur->SetDuree(std::strtoll(pszValeur, nullptr, 10)); break;
    case 28: AffecteBloc(&pclValeur->m_clGenre, pszValeur, std::strlen(pszValeur), BLOC_BINAIRE); break;
    default: {
      // Currency, numeric, date-time: the VM converts the text.
      CAny texte;
      texte.bSetChaine(pszValeur);
      if (texte.nCastTo(wType) <= 99) *pclValeur = texte;
      break;
    }
  }
  return wType;
}

// ---- Conversion routines of the VM -----------------------------------------------------

extern "C" KV_EXPORT BOOL bInitVXConvFromVM(void* hModule, DWORD dwVersion, DWORD dwCompat) {
  if (dwVersion < 2 || dwCompat >= 3) return 0;
  auto pfn = reinterpret_cast<PFCONVERSION>(dlsym(hModule, "nConversionDepassement"));
  auto pfnEx = reinterpret_cast<PFCONVERSIONEX>(dlsym(hModule, "nConversionDepassementEx"));
  auto pfnFin = reinterpret_cast<PFFINCONVERSION>(dlsym(hModule, "FinConversion"));
  if (pfn == nullptr || pfnFin == nullptr) return 0;
  gpfnConversion = pfn;
  gpfnConversionEx = pfnEx;
  gpfnFinConversion = pfnFin;
  ghModuleConversion = hModule;
  gdwVersionConversion = dwVersion;
  gdwCompatConversion = dwCompat;
  return 1;
}

BOOL bInitVXConvFromServeur(void* hModule) {
  using PFINIT = BOOL (*)(void*, DWORD, DWORD);
  auto pfn = reinterpret_cast<PFINIT>(dlsym(hModule, "bInitVXConvFromVM"));
  if (pfn == nullptr || gpfnConversion == nullptr) return 0;
  return pfn(ghModuleConversion, gdwVersionConversion, gdwCompatConversion);
}
