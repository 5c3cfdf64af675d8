// Shared pieces of the entry points: reading an argument slot by its
// declared type code, handing a result back to the VM by its code, and the
// redirect of obsolete functions. The generated entry points are written
// with these alone: read the slots, call the method, return the result.
#pragma once

#include <cstdint>
#include <cstring>

#include "abi/Appel.h"
#include "abi/InterfacesVM.h"
#include "abi/TypesVX.h"
#include "core/Any.h"
#include "core/VXDSTR.h"
#include "dates/DateHeure.h"
#include "frame/Standard.h"
#include "numbers/Monetaire.h"

namespace kvappel {

// Reader of one argument slot for a declared type code (VM-only flag 0x8000
// already dropped). A code without reader does not compile.
template <DWORD CODE>
struct Parametre;

template <>
struct Parametre<VXT_BOOLEEN> {
  static BOOL lit(void* p) { return *static_cast<const std::int32_t*>(p) != 0; }
};
template <>
struct Parametre<VXT_ENTIER> {
  static int lit(void* p) { return *static_cast<const std::int32_t*>(p); }
};
template <>
struct Parametre<VXT_ENTIER8> {
  static std::int64_t lit(void* p) { return *static_cast<const std::int64_t*>(p); }
};
template <>
struct Parametre<VXT_REEL> {
  static double lit(void* p) { return *static_cast<const double*>(p); }
};
template <>
struct Parametre<VXT_PSZ> {
  static const char* lit(void* p) { return *static_cast<const char* const*>(p); }
};
template <>
struct Parametre<VXT_PROCEDURE> {
  static const char* lit(void* p) { return *static_cast<const char* const*>(p); }
};
template <>
struct Parametre<VXT_OBJETAPCODE> {
  static IObjetAPCode* lit(void* p) { return *static_cast<IObjetAPCode* const*>(p); }
};
template <>
struct Parametre<VXT_ANY> {
  static CAny* lit(void* p) { return static_cast<CAny*>(p); }
};
// Currency: the 10-byte value, copied; by reference, the caller's value.
template <>
struct Parametre<VXT_MONETAIRE> {
  static CMoney lit(void* p) {
    CMoney cl;
    std::memcpy(&cl, p, sizeof cl);
    return cl;
  }
};
template <>
struct Parametre<VXT_PARREFERENCE | VXT_MONETAIRE> {
  static CMoney* lit(void* p) { return static_cast<CMoney*>(p); }
};
// A window handle and a system integer: pointer-sized words.
template <>
struct Parametre<VXT_HWND> {
  static HWND lit(void* p) { return *static_cast<const HWND*>(p); }
};
template <>
struct Parametre<VXT_ENTIERSYS> {
  static std::uintptr_t lit(void* p) { return *static_cast<const std::uintptr_t*>(p); }
};
// Durations and date-times: the 8-byte value, copied.
template <>
struct Parametre<VXT_DUREE> {
  static long long lit(void* p) {
    long long ll;
    std::memcpy(&ll, p, sizeof ll);
    return ll;
  }
};
template <>
struct Parametre<VXT_DATEHEURE> {
  static CDateTimeBase lit(void* p) {
    CDateTimeBase cl;
    std::memcpy(static_cast<void*>(&cl), p, sizeof cl);
    return cl;
  }
};
// By reference: the slot is the caller's variable.
template <>
struct Parametre<VXT_PARREFERENCE | VXT_ENTIER> {
  static std::int32_t* lit(void* p) { return static_cast<std::int32_t*>(p); }
};
template <>
struct Parametre<VXT_PARREFERENCE | VXT_BOOLEEN> {
  static std::int32_t* lit(void* p) { return static_cast<std::int32_t*>(p); }
};

// A string slot (a CVXDSTR): read as text (the empty string for a null
// text) or as a string object sharing the caller's block.
struct ArgChaine {
  const CVXDSTR* pcl;
  operator const char*() const { return pcl->pszGet(); }
  operator const CVXDSTR&() const { return *pcl; }
};
template <>
struct Parametre<VXT_CHAINE> {
  static ArgChaine lit(void* p) { return {static_cast<const CVXDSTR*>(p)}; }
};
// A buffer slot: a reference to the caller's CVXBIN (copied when the
// method takes it by value).
template <>
struct Parametre<VXT_BINAIRE> {
  static CVXBIN& lit(void* p) { return *static_cast<CVXBIN*>(p); }
};
// A string object passed by address.
template <>
struct Parametre<VXT_OBJETCHAINE> {
  static CVXDSTR* lit(void* p) { return static_cast<CVXDSTR*>(p); }
};
// A string or a buffer, with its type.
template <>
struct Parametre<VXT_CHAINEOUBUFFER> {
  static STManipAUB* lit(void* p) { return static_cast<STManipAUB*>(p); }
};

template <DWORD CODE>
inline decltype(auto) Lit(void* p) {
  return Parametre<CODE>::lit(p);
}

// Hands `pValeur` of code `dwType` to the VM for the installed call.
inline void RenvoieAuVM(STVXAppel* pstAppel, const void* pValeur, DWORD dwType) {
  pstAppel->piVM->RenvoieValeur(pstAppel->dwAppel, pValeur, dwType);
}

// Result of a method for a declared result code; the value lives in the
// entry point's frame for the duration of RenvoieValeur.
template <DWORD CODE>
struct Resultat;

template <>
struct Resultat<VXT_BOOLEEN> {
  static void renvoie(STVXAppel* pstAppel, bool b) {
    std::int32_t n = b ? 1 : 0;
    RenvoieAuVM(pstAppel, &n, VXT_BOOLEEN);
  }
};
template <>
struct Resultat<VXT_ENTIER> {
  // Narrower integers are sign-extended to 32 bits.
  static void renvoie(STVXAppel* pstAppel, std::int32_t n) { RenvoieAuVM(pstAppel, &n, VXT_ENTIER); }
};
template <>
struct Resultat<VXT_ENTIER8> {
  static void renvoie(STVXAppel* pstAppel, std::int64_t n) { RenvoieAuVM(pstAppel, &n, VXT_ENTIER8); }
};
template <>
struct Resultat<VXT_DUREE> {
  static void renvoie(STVXAppel* pstAppel, long long ll) { RenvoieAuVM(pstAppel, &ll, VXT_DUREE); }
};
template <>
struct Resultat<VXT_MONETAIRE> {
  static void renvoie(STVXAppel* pstAppel, const CMoney& cl) { RenvoieAuVM(pstAppel, &cl, VXT_MONETAIRE); }
};
template <>
struct Resultat<VXT_REEL> {
  static void renvoie(STVXAppel* pstAppel, double d) { RenvoieAuVM(pstAppel, &d, VXT_REEL); }
};

// Strings and buffers go by their data pointer; the caller's value (a
// temporary of the entry point) releases its block right after.
template <>
struct Resultat<VXT_CHAINE> {
  static void renvoie(STVXAppel* pstAppel, const CVXDSTR& s) {
    const char* p = s.pGetData();
    RenvoieAuVM(pstAppel, &p, VXT_CHAINE);
  }
};
template <>
struct Resultat<VXT_BINAIRE> {
  static void renvoie(STVXAppel* pstAppel, const CVXBIN& b) {
    const char* p = b.pGetData();
    RenvoieAuVM(pstAppel, &p, VXT_BINAIRE);
  }
};

// A dynamic value goes by its address and is destroyed right after.
template <>
struct Resultat<VXT_ANY> {
  static void renvoie(STVXAppel* pstAppel, const CAny& a) { RenvoieAuVM(pstAppel, &a, VXT_ANY); }
};

template <DWORD CODE, class T>
inline int Renvoie(STVXAppel* pstAppel, T&& valeur) {
  Resultat<CODE>::renvoie(pstAppel, static_cast<T&&>(valeur));
  return 0;
}

// Obsolete function served by another library: the call context is pointed
// at that library's function, the error level tells the VM to re-dispatch,
// and 1 is returned.
int nRedirige(STVXAppel* pstAppel, CComposanteStandard* pclCompo, int nLibrairie, int nFonction);

}  // namespace kvappel
