// Language strings and buffers over the shared block allocator.
#include "core/VXDSTR.h"

#include <cstdlib>
#include <cstring>
#include <emmintrin.h>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "core/CodePage.h"
#include "core/STR.h"

const char CVXDSTRBase::ChaineVide[4] = {0, 0, 0, 0};
std::atomic<CStrMemCache*> CVXDSTRBase::ms_pclAllocateur{nullptr};
CStrMemAlloc* CVXDSTRBase::ms_pclPropre = nullptr;

namespace {

// The allocator new blocks come from; made on first use when the library
// has not started it (unit tests use the classes directly).
CStrMemCache* pclAllocateur() {
  if (CVXDSTRBase::s_pclGetAllocateur() == nullptr) CVXDSTRBase::bInit();
  return CVXDSTRBase::s_pclGetAllocateur();
}

// Copies a few bytes without a call into the C library: lines and words are
// short, and the library's copy spends more choosing its path than copying.
inline void CopieCourte(char* d, const char* s, DWORD n) {
  if (n > 256) {
    std::memcpy(d, s, n);
  } else if (n >= 16) {
    for (DWORD i = 0; i + 16 <= n; i += 16)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
    // The last 16 bytes, overlapping what is already copied.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 16), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16)));
  } else if (n >= 8) {
    // Two 8-byte words, overlapping when n is not 16.
    std::uint64_t a, b;
    std::memcpy(&a, s, 8);
    std::memcpy(&b, s + n - 8, 8);
    std::memcpy(d, &a, 8);
    std::memcpy(d + n - 8, &b, 8);
  } else if (n >= 4) {
    std::uint32_t a, b;
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + n - 4, 4);
    std::memcpy(d, &a, 4);
    std::memcpy(d + n - 4, &b, 4);
  } else {
    for (DWORD i = 0; i < n; ++i) d[i] = s[i];
  }
}

bool bBlanc(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Position of `pAiguille` (n bytes) in `pMeule` (m bytes) from `nDebut`; -1 when absent.
int nCherche(const char* pMeule, DWORD m, const void* pAiguille, DWORD n, DWORD nDebut) {
  if (n == 0 || nDebut > m || m - nDebut < n) return -1;
  for (DWORD i = nDebut; i + n <= m; ++i) {
    if (std::memcmp(pMeule + i, pAiguille, n) == 0) return static_cast<int>(i);
  }
  return -1;
}

int nCompareOctets(const char* a, DWORD na, const char* b, DWORD nb) {
  DWORD n = na < nb ? na : nb;
  int d = n > 0 ? std::memcmp(a, b, n) : 0;
  if (d != 0) return d;
  return (na > nb) - (na < nb);
}

// Bytes mapped for the loose comparisons.
std::string sMappe(const char* p, DWORD n, unsigned nOptions) {
  std::string s(p != nullptr ? p : "", n);
  std::string out(s.size() + 1, '\0');
  int m = STR_nMapStringEx(s.c_str(), out.data(), static_cast<int>(out.size()), nOptions);
  out.resize(m > 0 ? static_cast<std::size_t>(m) : 0);
  return out;
}

}  // namespace

// ---- Blocks ----------------------------------------------------------------

void CBlocVX::Vide() {
  CVXDSTRBase::s_ReleaseStrMem(m_pData);
  m_pData = nullptr;
}

int CBlocVX::_nPrepare(DWORD nLongueur, DWORD dwGenre) {
  if (nLongueur > STR_LONGUEUR_MAX) return STR_ERR_LONGUEUR;
  if (m_pData == nullptr) {
    STBlocStr* pst = pclAllocateur()->pstAlloue(nLongueur, dwGenre);
    if (pst == nullptr) return STR_ERR_MEMOIRE;
    m_pData = pszGetDonnees(pst);
    return STR_OK;
  }
  STBlocStr* pst = pstGetBloc(m_pData);
  if (pst->dwRef > 1) {
    // Shared: a private copy of the same kind, big enough for both uses.
    DWORD nGarde = pst->dwLongueur;
    STBlocStr* pstNeuf = pclAllocateur()->pstAlloue(nLongueur > nGarde ? nLongueur : nGarde, pst->dwFlags);
    if (pstNeuf == nullptr) return STR_ERR_MEMOIRE;
    std::memcpy(pszGetDonnees(pstNeuf), m_pData, nGarde);
    pstNeuf->dwLongueur = nGarde;
    std::memset(pszGetDonnees(pstNeuf) + nGarde, 0, 4);
    --pst->dwRef;
    m_pData = pszGetDonnees(pstNeuf);
    pst = pstNeuf;
  }
  if (nLongueur > pst->dwCapacite) {
    STBlocStr* pstGrand = pst->pclProprietaire->pstAgrandit(pst, nLongueur);
    if (pstGrand == nullptr) return STR_ERR_MEMOIRE;
    m_pData = pszGetDonnees(pstGrand);
  }
  return STR_OK;
}

void CBlocVX::SetUtilLength(DWORD nLongueur) {
  if (m_pData == nullptr) return;
  STBlocStr* pst = pstGetBloc(m_pData);
  if (nLongueur > pst->dwCapacite) nLongueur = pst->dwCapacite;
  pst->dwLongueur = nLongueur;
  std::memset(m_pData + nLongueur, 0, 4);
}

int CBlocVX::_nAssign(const void* p, DWORD n, bool bNeuf, DWORD dwGenre) {
  if (p == nullptr || n == 0) {
    Vide();
    return STR_OK;
  }
  if (n > STR_LONGUEUR_MAX) return STR_ERR_LONGUEUR;
  if (m_pData != nullptr && !bNeuf) {
    // The common case of a value assigned again and again (a line read in a
    // loop): its own block, of the same kind, big enough, the source outside.
    STBlocStr* pst = pstGetBloc(m_pData);
    const char* q = static_cast<const char*>(p);
    if (pst->dwRef == 1 && n <= pst->dwCapacite && (pst->dwFlags & BLOC_MASQUE_GENRE) == (dwGenre & BLOC_MASQUE_GENRE) &&
        (q + n <= m_pData || q >= m_pData + pst->dwCapacite + 4)) {
      CopieCourte(m_pData, q, n);
      pst->dwLongueur = n;
      std::memset(m_pData + n, 0, 4);
      return STR_OK;
    }
  }
  // The source may lie inside this value's own block: copy it aside.
  std::vector<char> copie;
  if (m_pData != nullptr && static_cast<const char*>(p) >= m_pData &&
      static_cast<const char*>(p) < m_pData + nGetCapacity() + 4) {
    copie.assign(static_cast<const char*>(p), static_cast<const char*>(p) + n);
    p = copie.data();
  }
  if (bNeuf || (m_pData != nullptr && pstGetBloc(m_pData)->dwRef > 1)) Vide();
  DWORD dwGenreBloc = m_pData != nullptr ? pstGetBloc(m_pData)->dwFlags : dwGenre;
  if (m_pData != nullptr && (dwGenreBloc & BLOC_MASQUE_GENRE) != (dwGenre & BLOC_MASQUE_GENRE)) {
    pstGetBloc(m_pData)->dwFlags = (dwGenreBloc & ~BLOC_MASQUE_GENRE) | dwGenre;
  }
  int nErr = _nPrepare(n, dwGenre);
  if (nErr != STR_OK) return nErr;
  std::memcpy(m_pData, p, n);
  SetUtilLength(n);
  return STR_OK;
}

int CBlocVX::_nConcat(const void* p, DWORD n, DWORD dwGenre) {
  if (p == nullptr || n == 0) return STR_OK;
  DWORD nAvant = nGetLength();
  if (n > STR_LONGUEUR_MAX - nAvant) return STR_ERR_LONGUEUR;
  std::vector<char> copie;
  if (m_pData != nullptr && static_cast<const char*>(p) >= m_pData &&
      static_cast<const char*>(p) < m_pData + nGetCapacity() + 4) {
    copie.assign(static_cast<const char*>(p), static_cast<const char*>(p) + n);
    p = copie.data();
  }
  int nErr = _nPrepare(nAvant + n, dwGenre);
  if (nErr != STR_OK) return nErr;
  std::memcpy(m_pData + nAvant, p, n);
  SetUtilLength(nAvant + n);
  return STR_OK;
}

void CBlocVX::_Partage(const CBlocVX& autre) {
  if (autre.m_pData == m_pData) return;
  if (autre.m_pData != nullptr) ++pstGetBloc(autre.m_pData)->dwRef;
  Vide();
  m_pData = autre.m_pData;
}

void CBlocVX::_Prend(CBlocVX& autre) {
  if (&autre == this) return;
  Vide();
  m_pData = autre.m_pData;
  autre.m_pData = nullptr;
}

void CBlocVX::_Tronque(DWORD n) {
  if (m_pData == nullptr || n >= nGetLength()) return;
  if (n == 0) {
    Vide();
    return;
  }
  if (_nPrepare(n, pstGetBloc(m_pData)->dwFlags) != STR_OK) return;  // shared and no memory: unchanged
  STBlocStr* pst = pstGetBloc(m_pData);
  pst->dwFlags &= ~static_cast<DWORD>(BLOC_CHAINE);
  SetUtilLength(n);
}

int CBlocVX::_nSetLength(DWORD n, DWORD dwGenre) {
  DWORD nAvant = nGetLength();
  if (n <= nAvant) {
    _Tronque(n);
    return STR_OK;
  }
  int nErr = _nPrepare(n, dwGenre);
  if (nErr != STR_OK) return nErr;
  std::memset(m_pData + nAvant, 0, n - nAvant);
  SetUtilLength(n);
  return STR_OK;
}

// ---- Allocator and block helpers ----------------------------------------

BOOL CVXDSTRBase::bInit() {
  // Several threads may make the allocator on first use at once (a host
  // running components on threads): one of them makes it.
  static std::mutex s_mutex;
  std::lock_guard<std::mutex> verrou(s_mutex);
  if (ms_pclAllocateur.load(std::memory_order_relaxed) != nullptr) return 1;
  ms_pclPropre = new (std::nothrow) CStrMemAlloc;
  ms_pclAllocateur.store(ms_pclPropre, std::memory_order_release);
  return ms_pclPropre != nullptr;
}

void CVXDSTRBase::Term() {
  // An external allocator belongs to the VM and is not released.
  if (ms_pclAllocateur == ms_pclPropre) ms_pclAllocateur = nullptr;
  delete ms_pclPropre;
  ms_pclPropre = nullptr;
}

void CVXDSTRBase::s_SetAllocateurExterne(CStrMemCache* pcl) {
  if (ms_pclAllocateur == ms_pclPropre) {
    delete ms_pclPropre;
    ms_pclPropre = nullptr;
  }
  ms_pclAllocateur = pcl;
}

void CVXDSTRBase::s_ReleaseStrMem(const void* pData) {
  if (pData == nullptr) return;
  STBlocStr* pst = pstGetBloc(pData);
  if (pst->dwRef > 1) {
    --pst->dwRef;
    return;
  }
  pst->dwRef = 0;
  pst->pclProprietaire->Libere(pst);
}

DWORD CVXDSTRBase::s_nGetTypeAUB(const void* pData) {
  if (pData == nullptr) return 0x13;
  DWORD dw = pstGetBloc(pData)->dwFlags;
  if (dw & BLOC_BINAIRE) return 0x1c;
  if (dw & BLOC_UNICODE) return 0x10;
  return 0x13;
}

void CVXDSTRBase::s_VerifieTypeAUB(void* pData, DWORD dwType) {
  if (pData == nullptr) return;
  STBlocStr* pst = pstGetBloc(pData);
  DWORD dwGenre = dwType == 0x10 ? BLOC_UNICODE : dwType == 0x1c ? BLOC_BINAIRE : BLOC_CHAINE;
  pst->dwFlags = (pst->dwFlags & ~static_cast<DWORD>(BLOC_MASQUE_GENRE)) | dwGenre;
}

// ---- Strings -----------------------------------------------------------------

void CVXDSTRBase::Assign(const CVXDSTRBase& autre, int nLongueur) {
  _Partage(autre);
  if (nLongueur >= 0) Tronque(static_cast<DWORD>(nLongueur));
}

void CVXDSTRBase::Take(CVXDSTRBase& autre) { _Prend(autre); }

int CVXDSTRBase::nAssign(const char* psz) {
  return psz == nullptr ? nAssign(nullptr, 0) : nAssign(psz, static_cast<DWORD>(std::strlen(psz)));
}

int CVXDSTRBase::nAssign(const void* p, DWORD n) { return _nAssign(p, n, false, BLOC_CHAINE); }

int CVXDSTRBase::nAssignInit(const void* p, DWORD n) { return _nAssign(p, n, true, BLOC_CHAINE); }

int CVXDSTRBase::nRecupereInit(CVXBIN* pclBuffer) {
  if (pclBuffer == nullptr) return STR_OK;
  CBlocVX& source = *pclBuffer;
  _Prend(source);
  s_VerifieTypeAUB(m_pData, 0x13);
  return STR_OK;
}

void CVXDSTRBase::Tronque(DWORD nLongueur) { _Tronque(nLongueur); }

int CVXDSTRBase::nConcat(const CVXDSTRBase& autre) {
  if (m_pData == nullptr) {
    _Partage(autre);
    return STR_OK;
  }
  return _nConcat(autre.m_pData, autre.nGetLength(), BLOC_CHAINE);
}

int CVXDSTRBase::nConcat(const void* p, DWORD n) { return _nConcat(p, n, BLOC_CHAINE); }

int CVXDSTRBase::nConcat(const char* psz) {
  return psz == nullptr ? STR_OK : _nConcat(psz, static_cast<DWORD>(std::strlen(psz)), BLOC_CHAINE);
}

int CVXDSTRBase::nConcatInit(const CVXDSTRBase& a, const void* pb, int nb) {
  CVXDSTR resultat;
  resultat.Assign(a);
  DWORD n = nb < 0 ? (pb != nullptr ? static_cast<DWORD>(std::strlen(static_cast<const char*>(pb))) : 0)
                   : static_cast<DWORD>(nb);
  int nErr = resultat.nConcat(pb, n);
  if (nErr == STR_OK) Take(resultat);
  return nErr;
}

int CVXDSTRBase::nConcatSeparateur(const CVXDSTRBase& a, const CVXDSTRBase& b, const char* pszSeparateur) {
  CVXDSTR resultat;
  resultat.Assign(a);
  int nErr = STR_OK;
  if (!a.bVide() && !b.bVide()) nErr = resultat.nConcat(pszSeparateur);
  if (nErr == STR_OK) nErr = resultat.nConcat(b.m_pData, b.nGetLength());
  if (nErr == STR_OK) Take(resultat);
  return nErr;
}

void CVXDSTRBase::Trim() { Trim(' '); }

void CVXDSTRBase::Trim(char c) {
  DWORD n = nGetLength();
  DWORD debut = 0, fin = n;
  while (debut < fin && m_pData[debut] == c) ++debut;
  while (fin > debut && m_pData[fin - 1] == c) --fin;
  if (debut == 0 && fin == n) return;
  CVXDSTR reste(m_pData + debut, fin - debut);
  Take(reste);
}

void CVXDSTRBase::SansEspace() {
  DWORD n = nGetLength();
  DWORD debut = 0, fin = n;
  while (debut < fin && bBlanc(m_pData[debut])) ++debut;
  while (fin > debut && bBlanc(m_pData[fin - 1])) --fin;
  if (debut == 0 && fin == n) return;
  CVXDSTR reste(m_pData + debut, fin - debut);
  Take(reste);
}

int CVXDSTRBase::nComplete(DWORD nLongueur, char c) {
  DWORD n = nGetLength();
  if (nLongueur <= n) {
    Tronque(nLongueur);
    return STR_OK;
  }
  return nComplete(n, nLongueur - n, c);
}

int CVXDSTRBase::nComplete(DWORD nDebut, DWORD nLongueur, char c) {
  if (nLongueur == 0) return STR_OK;
  if (nDebut > STR_LONGUEUR_MAX || nLongueur > STR_LONGUEUR_MAX - nDebut) return STR_ERR_LONGUEUR;
  DWORD nAvant = nGetLength();
  DWORD nFin = nDebut + nLongueur;
  int nErr = _nPrepare(nFin > nAvant ? nFin : nAvant, BLOC_CHAINE);
  if (nErr != STR_OK) return nErr;
  if (nDebut > nAvant) std::memset(m_pData + nAvant, ' ', nDebut - nAvant);  // gap before the start
  std::memset(m_pData + nDebut, c, nLongueur);
  if (nFin > nAvant) SetUtilLength(nFin);
  return STR_OK;
}

int CVXDSTRBase::nCompleteUNICODE(DWORD nCaracteres, wchar_t c) {
  if (nCaracteres > STR_LONGUEUR_MAX / sizeof(wchar_t)) return STR_ERR_LONGUEUR;
  DWORD nOctets = nCaracteres * sizeof(wchar_t);
  DWORD nAvant = nGetLength() - nGetLength() % sizeof(wchar_t);
  if (nOctets <= nAvant) {
    Tronque(nOctets);
    return STR_OK;
  }
  int nErr = _nPrepare(nOctets, BLOC_UNICODE);
  if (nErr != STR_OK) return nErr;
  for (DWORD i = nAvant; i < nOctets; i += sizeof(wchar_t)) std::memcpy(m_pData + i, &c, sizeof c);
  s_VerifieTypeAUB(m_pData, 0x10);
  SetUtilLength(nOctets);
  return STR_OK;
}

int CVXDSTRBase::nCompareTo(const char* psz) const {
  if (psz == nullptr) psz = ChaineVide;
  return nCompareOctets(pszGet(), nGetLength(), psz, static_cast<DWORD>(std::strlen(psz)));
}

int CVXDSTRBase::nCompare(const CVXDSTRBase& a, const CVXDSTRBase& b) {
  return nCompareOctets(a.pszGet(), a.nGetLength(), b.pszGet(), b.nGetLength());
}

int CVXDSTRBase::nCompare(const CVXDSTRBase& a, const CVXDSTRBase& b, unsigned nOptions) {
  return STR_nCompare(a.pszGet(), b.pszGet(), nOptions);
}

int CVXDSTRBase::nCompareSouple(const CVXDSTRBase& a, const CVXDSTRBase& b) {
  return STR_nCompare(a.pszGet(), b.pszGet(), STR_IGNORE_CASSE | STR_IGNORE_ACCENTS);
}

int CVXDSTRBase::nCompareTresSouple(const CVXDSTRBase& a, const CVXDSTRBase& b) {
  std::string x = sMappe(a.m_pData, a.nGetLength(), 7), y = sMappe(b.m_pData, b.nGetLength(), 7);
  return nCompareOctets(x.data(), static_cast<DWORD>(x.size()), y.data(), static_cast<DWORD>(y.size()));
}

bool CVXDSTRBase::bCommencePar(const CVXDSTRBase& a, const char* pszDebut) {
  if (pszDebut == nullptr) return true;
  DWORD n = static_cast<DWORD>(std::strlen(pszDebut));
  return n <= a.nGetLength() && std::memcmp(a.pszGet(), pszDebut, n) == 0;
}

int CVXDSTRBase::nNbOcc(const char* psz) const {
  if (psz == nullptr || *psz == '\0') return 0;
  DWORD n = static_cast<DWORD>(std::strlen(psz));
  int nb = 0;
  for (int p = nCherche(pszGet(), nGetLength(), psz, n, 0); p >= 0;
       p = nCherche(pszGet(), nGetLength(), psz, n, static_cast<DWORD>(p) + n))
    ++nb;
  return nb;
}

int CVXDSTRBase::nPos(const char* psz, int nDebut) const {
  if (psz == nullptr || nDebut < 0) return -1;
  return nCherche(pszGet(), nGetLength(), psz, static_cast<DWORD>(std::strlen(psz)), static_cast<DWORD>(nDebut));
}

int CVXDSTRBase::nPosFin(const char* psz) const {
  if (psz == nullptr || *psz == '\0') return -1;
  DWORD n = static_cast<DWORD>(std::strlen(psz)), m = nGetLength();
  for (DWORD i = m >= n ? m - n + 1 : 0; i-- > 0;) {
    if (std::memcmp(pszGet() + i, psz, n) == 0) return static_cast<int>(i);
  }
  return -1;
}

int CVXDSTRBase::nMilieu(CVXDSTRBase* pclCible, int nDebut, int nLongueur) const {
  if (pclCible == nullptr) return STR_OK;
  DWORD m = nGetLength();
  if (nDebut < 0) nDebut = 0;
  if (static_cast<DWORD>(nDebut) >= m) return pclCible->nAssign(nullptr, 0);
  DWORD reste = m - static_cast<DWORD>(nDebut);
  DWORD n = nLongueur < 0 || static_cast<DWORD>(nLongueur) > reste ? reste : static_cast<DWORD>(nLongueur);
  return pclCible->nAssign(m_pData + nDebut, n);
}

CVXDSTR CVXDSTRBase::clMilieu(int nDebut, int nLongueur) const {
  CVXDSTR resultat;
  nMilieu(&resultat, nDebut, nLongueur);
  return resultat;
}

int CVXDSTRBase::nSetLength(DWORD nLongueur) { return _nSetLength(nLongueur, BLOC_CHAINE); }

int CVXDSTRBase::nAffecteToUNICODE(const char* psz, int nLongueur, unsigned nPageCode, DWORD dwFlags, int) {
  if (psz == nullptr || nLongueur == 0) {
    Vide();
    return STR_OK;
  }
  int nSource = nLongueur < 0 ? static_cast<int>(std::strlen(psz)) : nLongueur;
  if (nSource == 0) {
    Vide();
    return STR_OK;
  }
  int n = MultiByteToWideChar(nPageCode, dwFlags, psz, nSource, nullptr, 0);
  if (n <= 0) {
    Vide();
    return STR_ERR_CONVERSION;
  }
  std::vector<wchar_t> w(static_cast<std::size_t>(n));
  MultiByteToWideChar(nPageCode, dwFlags, psz, nSource, w.data(), n);
  Vide();
  int nErr = _nAssign(w.data(), static_cast<DWORD>(n * sizeof(wchar_t)), true, BLOC_UNICODE);
  s_VerifieTypeAUB(m_pData, 0x10);
  return nErr;
}

int CVXDSTRBase::nAffecteToUNICODE(const CVXBIN* pcl, unsigned nPageCode, DWORD dwFlags, int nReserve) {
  if (pcl == nullptr) return nAffecteToUNICODE(nullptr, 0, nPageCode, dwFlags, nReserve);
  std::string s(pcl->pGetData() != nullptr ? pcl->pGetData() : "", pcl->nGetLength());
  return nAffecteToUNICODE(s.data(), static_cast<int>(s.size()), nPageCode, dwFlags, nReserve);
}

int CVXDSTRBase::nAffecteToUNICODE(const CVXDSTR* pcl, unsigned nPageCode, DWORD dwFlags, int nReserve) {
  if (pcl == nullptr) return nAffecteToUNICODE(nullptr, 0, nPageCode, dwFlags, nReserve);
  std::string s(pcl->pszGet(), pcl->nGetLength());
  return nAffecteToUNICODE(s.data(), static_cast<int>(s.size()), nPageCode, dwFlags, nReserve);
}

int CVXDSTRBase::nAssignUNICODE_UTF16(const WORD* pw, int nNombre) {
  if (pw == nullptr || nNombre == 0) {
    Vide();
    return STR_OK;
  }
  int n = UTF16ToWideChar(pw, nNombre, nullptr, 0);
  std::vector<wchar_t> w(static_cast<std::size_t>(n) + 1);
  UTF16ToWideChar(pw, nNombre, w.data(), n);
  Vide();
  int nErr = _nAssign(w.data(), static_cast<DWORD>(n * sizeof(wchar_t)), true, BLOC_UNICODE);
  s_VerifieTypeAUB(m_pData, 0x10);
  return nErr;
}

int CVXDSTRBase::nAffecteToANSI(const wchar_t* pw, int nLongueur, unsigned nPageCode, DWORD dwFlags, char cDefaut,
                                BOOL* pbDefautUtilise, int) {
  if (pbDefautUtilise != nullptr) *pbDefautUtilise = 0;
  int nSource = pw == nullptr ? 0 : nLongueur < 0 ? static_cast<int>(std::wcslen(pw)) : nLongueur;
  if (nSource == 0) {
    Vide();
    return STR_OK;
  }
  char szDefaut[2] = {cDefaut, 0};
  int n = WideCharToMultiByte(nPageCode, dwFlags, pw, nSource, nullptr, 0, szDefaut, pbDefautUtilise);
  if (n <= 0) {
    Vide();
    return STR_ERR_CONVERSION;
  }
  std::vector<char> s(static_cast<std::size_t>(n));
  WideCharToMultiByte(nPageCode, dwFlags, pw, nSource, s.data(), n, szDefaut, pbDefautUtilise);
  Vide();
  return _nAssign(s.data(), static_cast<DWORD>(n), true, BLOC_CHAINE);
}

int CVXDSTRBase::nAffecteToANSI(const CVXBIN* pcl, unsigned nPageCode, DWORD dwFlags, char cDefaut,
                                BOOL* pbDefautUtilise, int nReserve) {
  if (pcl == nullptr) return nAffecteToANSI(static_cast<const wchar_t*>(nullptr), 0, nPageCode, dwFlags, cDefaut, pbDefautUtilise, nReserve);
  std::vector<wchar_t> w(pcl->nGetLength() / sizeof(wchar_t) + 1);
  if (pcl->nGetLength() > 0) std::memcpy(w.data(), pcl->pGetData(), pcl->nGetLength() - pcl->nGetLength() % sizeof(wchar_t));
  return nAffecteToANSI(w.data(), static_cast<int>(pcl->nGetLength() / sizeof(wchar_t)), nPageCode, dwFlags, cDefaut,
                        pbDefautUtilise, nReserve);
}

int CVXDSTRBase::nAffecteToANSI(const CVXDSTR* pcl, unsigned nPageCode, DWORD dwFlags, char cDefaut,
                                BOOL* pbDefautUtilise, int nReserve) {
  if (pcl == nullptr) return nAffecteToANSI(static_cast<const wchar_t*>(nullptr), 0, nPageCode, dwFlags, cDefaut, pbDefautUtilise, nReserve);
  std::vector<wchar_t> w(pcl->nGetLength() / sizeof(wchar_t) + 1);
  if (pcl->nGetLength() > 0) std::memcpy(w.data(), pcl->pGetData(), pcl->nGetLength() - pcl->nGetLength() % sizeof(wchar_t));
  return nAffecteToANSI(w.data(), static_cast<int>(pcl->nGetLength() / sizeof(wchar_t)), nPageCode, dwFlags, cDefaut,
                        pbDefautUtilise, nReserve);
}

int CVXDSTRBase::nAffecteToUTF8(const char* psz, int nLongueur, unsigned nPageCode) {
  int nSource = psz == nullptr ? 0 : nLongueur < 0 ? static_cast<int>(std::strlen(psz)) : nLongueur;
  if (nSource == 0) {
    Vide();
    return STR_OK;
  }
  int n = MultiByteToUTF8(nPageCode, psz, nSource, nullptr, 0);
  if (n <= 0) {
    Vide();
    return STR_ERR_CONVERSION;
  }
  std::vector<char> s(static_cast<std::size_t>(n));
  MultiByteToUTF8(nPageCode, psz, nSource, s.data(), n);
  Vide();
  return _nAssign(s.data(), static_cast<DWORD>(n), true, BLOC_CHAINE);
}

wchar_t* CVXDSTRBase::pszCreateWSTR() const {
  DWORD n = nGetLength();
  if (s_nGetTypeAUB(m_pData) == 0x10) {
    auto* pw = static_cast<wchar_t*>(std::malloc(n + sizeof(wchar_t)));
    if (pw == nullptr) return nullptr;
    std::memcpy(pw, pszGet(), n);
    pw[n / sizeof(wchar_t)] = 0;
    return pw;
  }
  int nb = n == 0 ? 0 : MultiByteToWideChar(CP_nGetPageCourante(), 0, pszGet(), static_cast<int>(n), nullptr, 0);
  auto* pw = static_cast<wchar_t*>(std::malloc((static_cast<std::size_t>(nb) + 1) * sizeof(wchar_t)));
  if (pw == nullptr) return nullptr;
  if (nb > 0) MultiByteToWideChar(CP_nGetPageCourante(), 0, pszGet(), static_cast<int>(n), pw, nb);
  pw[nb] = 0;
  return pw;
}

char* CVXDSTRBase::pszCreateCSTR() const {
  if (s_nGetTypeAUB(m_pData) == 0x10) {
    CVXDSTR ansi;
    const auto* self = static_cast<const CVXDSTR*>(this);
    if (ansi.nAffecteToANSI(self, CP_nGetPageCourante()) != STR_OK) return nullptr;
    return ansi.pszCreateCSTR();
  }
  DWORD n = nGetLength();
  auto* psz = static_cast<char*>(std::malloc(n + 1));
  if (psz == nullptr) return nullptr;
  std::memcpy(psz, pszGet(), n);
  psz[n] = '\0';
  return psz;
}

// ---- Buffers ---------------------------------------------------------------

void CVXBINBase::Assign(const CVXBINBase& autre, int nTaille) {
  _Partage(autre);
  if (nTaille >= 0) Tronque(static_cast<DWORD>(nTaille));
}

void CVXBINBase::Take(CVXBINBase& autre) { _Prend(autre); }

int CVXBINBase::nAssign(const void* p, DWORD n) { return _nAssign(p, n, false, BLOC_BINAIRE); }

int CVXBINBase::nRecupereInit(CVXDSTR* pclChaine) {
  if (pclChaine == nullptr) return STR_OK;
  CBlocVX& source = *pclChaine;
  _Prend(source);
  CVXDSTRBase::s_VerifieTypeAUB(m_pData, 0x1c);
  return STR_OK;
}

void CVXBINBase::Tronque(DWORD nTaille) { _Tronque(nTaille); }

int CVXBINBase::nConcat(const CVXBINBase& autre) {
  if (m_pData == nullptr) {
    _Partage(autre);
    return STR_OK;
  }
  return _nConcat(autre.m_pData, autre.nGetLength(), BLOC_BINAIRE);
}

int CVXBINBase::nConcat(const void* p, DWORD n) { return _nConcat(p, n, BLOC_BINAIRE); }

int CVXBINBase::nConcatInit(const CVXBINBase& a, const void* pb, DWORD nb) {
  CVXBIN resultat;
  resultat.Assign(a);
  int nErr = resultat.nConcat(pb, nb);
  if (nErr == STR_OK) Take(resultat);
  return nErr;
}

int CVXBINBase::nConcatSeparateur(const CVXBINBase& a, const CVXBINBase& b, const void* pSeparateur,
                                  DWORD nSeparateur) {
  CVXBIN resultat;
  resultat.Assign(a);
  int nErr = STR_OK;
  if (!a.bVide() && !b.bVide()) nErr = resultat.nConcat(pSeparateur, nSeparateur);
  if (nErr == STR_OK) nErr = resultat.nConcat(b.m_pData, b.nGetLength());
  if (nErr == STR_OK) Take(resultat);
  return nErr;
}

int CVXBINBase::nCompare(const CVXBINBase& a, const CVXBINBase& b) {
  return nCompareOctets(a.m_pData, a.nGetLength(), b.m_pData, b.nGetLength());
}

int CVXBINBase::nCompare(const CVXBINBase& a, const CVXBINBase& b, DWORD nTaille) {
  DWORD na = a.nGetLength() < nTaille ? a.nGetLength() : nTaille;
  DWORD nb = b.nGetLength() < nTaille ? b.nGetLength() : nTaille;
  return nCompareOctets(a.m_pData, na, b.m_pData, nb);
}

int CVXBINBase::nCompareSouple(const CVXBINBase& a, const CVXBINBase& b) {
  std::string x = sMappe(a.m_pData, a.nGetLength(), 3), y = sMappe(b.m_pData, b.nGetLength(), 3);
  return nCompareOctets(x.data(), static_cast<DWORD>(x.size()), y.data(), static_cast<DWORD>(y.size()));
}

int CVXBINBase::nCompareTresSouple(const CVXBINBase& a, const CVXBINBase& b) {
  std::string x = sMappe(a.m_pData, a.nGetLength(), 7), y = sMappe(b.m_pData, b.nGetLength(), 7);
  return nCompareOctets(x.data(), static_cast<DWORD>(x.size()), y.data(), static_cast<DWORD>(y.size()));
}

bool CVXBINBase::bCommencePar(const CVXBINBase& a, const void* p, DWORD n) {
  return n <= a.nGetLength() && (n == 0 || std::memcmp(a.m_pData, p, n) == 0);
}

int CVXBINBase::nPos(const void* p, DWORD n, int nDebut) const {
  if (p == nullptr || nDebut < 0) return -1;
  return nCherche(m_pData, nGetLength(), p, n, static_cast<DWORD>(nDebut));
}

int CVXBINBase::nMilieu(CVXBINBase* pclCible, int nDebut, int nTaille) const {
  if (pclCible == nullptr) return STR_OK;
  DWORD m = nGetLength();
  if (nDebut < 0) nDebut = 0;
  if (static_cast<DWORD>(nDebut) >= m) return pclCible->nAssign(nullptr, 0);
  DWORD reste = m - static_cast<DWORD>(nDebut);
  DWORD n = nTaille < 0 || static_cast<DWORD>(nTaille) > reste ? reste : static_cast<DWORD>(nTaille);
  return pclCible->nAssign(m_pData + nDebut, n);
}

CVXBIN CVXBINBase::clMilieu(int nDebut, int nTaille) const {
  CVXBIN resultat;
  nMilieu(&resultat, nDebut, nTaille);
  return resultat;
}

int CVXBINBase::nSetSize(DWORD nTaille) { return _nSetLength(nTaille, BLOC_BINAIRE); }

int CVXBINBase::nSetMemorySize(DWORD nTaille) { return _nPrepare(nTaille, BLOC_BINAIRE); }

int CVXBINBase::nAffecteToUNICODE(const char* psz, int nLongueur, unsigned nPageCode) {
  CVXDSTR w;
  int nErr = w.nAffecteToUNICODE(psz, nLongueur, nPageCode);
  if (nErr != STR_OK) return nErr;
  nRecupereInit(&w);
  return STR_OK;
}

int CVXBINBase::nAffecteToANSI(const wchar_t* pw, int nLongueur, unsigned nPageCode, char cDefaut,
                               BOOL* pbDefautUtilise) {
  CVXDSTR s;
  int nErr = s.nAffecteToANSI(pw, nLongueur, nPageCode, 0, cDefaut, pbDefautUtilise);
  if (nErr != STR_OK) return nErr;
  nRecupereInit(&s);
  return STR_OK;
}
