// CKVBuffer: storage and growth, position, reads and writes, typed
// serialisation, placeholders and buffers in buffers. The coding of the tail
// is in KVBufferCodage.cpp, file transfer in KVBufferFichier.cpp.
#include "compression/KVBuffer.h"

#include <cstring>

#include "compression/KVBufferInterne.h"
#include "core/Allocation.h"
#include "core/TString.h"
#include "dates/DateHeure.h"

using kvbuffer::TAILLE_MAX;

// ---- construction ----

CKVBuffer::CKVBuffer() { __Init(BUFFER_CRYPT_AUCUN, BUFFER_PACK_AUCUN, 0, PAS_DEFAUT); }

CKVBuffer::CKVBuffer(DWORD dwTaille) { __Init(BUFFER_CRYPT_AUCUN, BUFFER_PACK_AUCUN, dwTaille, PAS_DEFAUT); }

CKVBuffer::CKVBuffer(eBUFFER_PACKMETHOD ePack, DWORD dwTaille, DWORD dwPas) {
  __Init(BUFFER_CRYPT_AUCUN, ePack, dwTaille, dwPas);
}

CKVBuffer::CKVBuffer(eBUFFER_CRYPTMETHOD eCrypt, eBUFFER_PACKMETHOD ePack, DWORD dwTaille, DWORD dwPas,
                     const char* pszMotDePasse) {
  __Init(eCrypt, ePack, dwTaille, dwPas);
  if (pszMotDePasse != nullptr && m_eCrypt != BUFFER_CRYPT_AUCUN) ChangePassword(pszMotDePasse);
}

CKVBuffer::CKVBuffer(eBUFFER_CRYPTMETHOD eCrypt, eBUFFER_PACKMETHOD ePack, DWORD dwTaille, DWORD dwPas,
                     const BYTE abyCle[16]) {
  __Init(eCrypt, ePack, dwTaille, dwPas);
  if (abyCle != nullptr) {
    std::memcpy(m_abyCle, abyCle, 16);
    if (m_eCrypt != BUFFER_CRYPT_AUCUN) ChangeCryptKey(abyCle);
  }
}

CKVBuffer::CKVBuffer(const CKVBuffer& autre) : CKVUnknown(autre) {
  __Init(BUFFER_CRYPT_AUCUN, BUFFER_PACK_AUCUN, 0, autre.m_dwPas);
  __CopieDepuis(autre);
}

CKVBuffer& CKVBuffer::operator=(const CKVBuffer& autre) {
  if (this != &autre) {
    ClearAll();
    __FreePack();
    __FreeCrypt();
    m_dwPas = autre.m_dwPas;
    __CopieDepuis(autre);
  }
  return *this;
}

CKVBuffer::~CKVBuffer() {
  __Libere();
  __FreePack();
  __FreeCrypt();
}

void CKVBuffer::__Init(eBUFFER_CRYPTMETHOD eCrypt, eBUFFER_PACKMETHOD ePack, DWORD dwTaille, DWORD dwPas) {
  m_dwPas = dwPas != 0 ? dwPas : PAS_DEFAUT;
  m_eCrypt = eCrypt;
  m_ePack = ePack;
  if (m_eCrypt != BUFFER_CRYPT_AUCUN) __InitCrypt();
  if (m_ePack != BUFFER_PACK_AUCUN) __InitPack();
  if (dwTaille > 0) {
    if (dwTaille > TAILLE_MAX || (m_pbyDonnees = __vAllocBuffer(dwTaille)) == nullptr) {
      m_bEchec = true;
      return;
    }
    m_dwTailleAllouee = dwTaille;
  }
}

// The contents are copied as they are (coded or not) with the flags that
// say how, so the copy reads back exactly what the original does.
void CKVBuffer::__CopieDepuis(const CKVBuffer& autre) {
  m_eCrypt = autre.m_eCrypt;
  m_ePack = autre.m_ePack;
  std::memcpy(m_abyCle, autre.m_abyCle, 16);
  m_bCleManquante = autre.m_bCleManquante;
  m_dwPremierCode = autre.m_dwPremierCode;
  if (m_eCrypt != BUFFER_CRYPT_AUCUN) __InitCrypt();
  if (m_ePack != BUFFER_PACK_AUCUN) __InitPack();
  if (autre.m_dwTailleUtile > 0) {
    m_pbyDonnees = __vAllocBuffer(autre.m_dwTailleUtile);
    if (m_pbyDonnees == nullptr) {
      m_bEchec = true;
      return;
    }
    std::memcpy(m_pbyDonnees, autre.m_pbyDonnees, autre.m_dwTailleUtile);
    m_dwTailleAllouee = m_dwTailleUtile = autre.m_dwTailleUtile;
  }
  m_bCode = autre.m_bCode;
  m_bPacke = autre.m_bPacke;
  m_bCrypte = autre.m_bCrypte;
}

bool CKVBuffer::InitMemoire(DWORD dwTaille, DWORD dwPas) {
  ClearAll();
  m_dwPas = dwPas != 0 ? dwPas : PAS_DEFAUT;
  if (dwTaille == 0) return true;
  if (dwTaille > TAILLE_MAX || (m_pbyDonnees = __vAllocBuffer(dwTaille)) == nullptr) {
    m_bEchec = true;
    return false;
  }
  m_dwTailleAllouee = dwTaille;
  return true;
}

// ---- storage ----

BYTE* CKVBuffer::__vAllocBuffer(DWORD n) { return static_cast<BYTE*>(KV_pAlloue(std::size_t{n} + 1)); }

BYTE* CKVBuffer::__vReallocBuffer(BYTE* p, DWORD n) {
  return static_cast<BYTE*>(KV_pRealloue(p, std::size_t{n} + 1));
}

void CKVBuffer::__vFreeBuffer(BYTE* p) { std::free(p); }

BYTE* CKVBuffer::__vAllocZBuffer(DWORD n) { return static_cast<BYTE*>(KV_pAlloue(std::size_t{n} + 1)); }

void CKVBuffer::__vFreeZBuffer(BYTE* p) { std::free(p); }

void CKVBuffer::__Libere() {
  if (m_pbyDonnees != nullptr) __vFreeBuffer(m_pbyDonnees);
  m_pbyDonnees = nullptr;
  m_dwTailleAllouee = m_dwTailleUtile = m_dwPos = 0;
}

bool CKVBuffer::__ResizeBuffer(DWORD n) {
  if (n == 0) {
    __Libere();
    return true;
  }
  if (n > TAILLE_MAX) {
    m_bEchec = true;
    return false;
  }
  if (n <= m_dwTailleAllouee) {
    if (n > m_dwTailleUtile) {
      std::memset(m_pbyDonnees + m_dwTailleUtile, 0, n - m_dwTailleUtile);
    } else if (m_dwTailleAllouee - n >= m_dwPas) {
      // Giving memory back: a refusal only keeps the larger block.
      if (BYTE* p = __vReallocBuffer(m_pbyDonnees, n)) {
        m_pbyDonnees = p;
        m_dwTailleAllouee = n;
      }
    }
    m_dwTailleUtile = n;
    if (m_dwPos > n) m_dwPos = 0;
    return true;
  }
  // Growth by the step, and by half of the allocation once that is larger,
  // so that n bytes written piece by piece cost O(n) copies in all.
  QWORD q = QWORD{m_dwTailleAllouee} + m_dwPas;
  if (QWORD{m_dwTailleAllouee} + m_dwTailleAllouee / 2 > q) q = QWORD{m_dwTailleAllouee} + m_dwTailleAllouee / 2;
  if (q < n) q = n;
  if (q > TAILLE_MAX) q = TAILLE_MAX;
  DWORD dwNouvelle = static_cast<DWORD>(q);
  BYTE* p = m_pbyDonnees != nullptr ? __vReallocBuffer(m_pbyDonnees, dwNouvelle) : __vAllocBuffer(dwNouvelle);
  if (p == nullptr && dwNouvelle > n) {
    dwNouvelle = n;
    p = m_pbyDonnees != nullptr ? __vReallocBuffer(m_pbyDonnees, dwNouvelle) : __vAllocBuffer(dwNouvelle);
  }
  if (p == nullptr) {
    // The old storage and its contents stay as they were.
    m_bEchec = true;
    return false;
  }
  std::memset(p + m_dwTailleUtile, 0, n - m_dwTailleUtile);
  m_pbyDonnees = p;
  m_dwTailleAllouee = dwNouvelle;
  m_dwTailleUtile = n;
  return true;
}

// ---- size and position ----

bool CKVBuffer::SetSize(DWORD n) {
  if (m_bCode && n <= m_dwPremierCode) {
    // The whole coded region goes: nothing to decode.
    if (!__ResizeBuffer(n)) return false;
    m_bCode = m_bPacke = m_bCrypte = false;
    return true;
  }
  if (!__bPretPlain(n, n + 1)) return false;
  return __ResizeBuffer(n);
}

bool CKVBuffer::SetCodedSize(DWORD n) {
  if (!m_bCode && !__CodeBuffer()) {
    m_bEchec = true;
    return false;
  }
  return __ResizeBuffer(n);
}

namespace {

// Base of a seek: 0 start, 1 current, 2 end; -1 for another origin.
long long oBase(int nOrigine, DWORD dwPos, DWORD dwFin) {
  switch (nOrigine) {
    case 0: return 0;
    case 1: return dwPos;
    case 2: return dwFin;
    default: return -1;
  }
}

}  // namespace

bool CKVBuffer::Seek(long lOffset, int nOrigine) {
  // The end is the end of the decoded contents.
  if (nOrigine == 2 && !__bPretPlain(m_dwTailleUtile, m_dwTailleUtile + 1)) return false;
  const long long oBaseSeek = oBase(nOrigine, m_dwPos, m_dwTailleUtile);
  if (oBaseSeek < 0) return false;
  const long long o = oBaseSeek + lOffset;
  if (o < 0 || o > TAILLE_MAX) return false;
  const DWORD dw = static_cast<DWORD>(o);
  if (dw > m_dwTailleUtile) {
    if (!__bPretPlain(m_dwTailleUtile, dw)) return false;
    if (dw > m_dwTailleUtile && !__ResizeBuffer(dw)) return false;
  }
  m_dwPos = dw;
  return true;
}

bool CKVBuffer::SeekNoResize(long lOffset, int nOrigine) {
  if (nOrigine == 2 && !__bPretPlain(m_dwTailleUtile, m_dwTailleUtile + 1)) return false;
  const long long oBaseSeek = oBase(nOrigine, m_dwPos, m_dwTailleUtile);
  if (oBaseSeek < 0) return false;
  long long o = oBaseSeek + lOffset;
  if (o < 0) return false;
  if (o > m_dwTailleUtile) o = m_dwTailleUtile;
  m_dwPos = static_cast<DWORD>(o);
  return true;
}

DWORD CKVBuffer::dwGetCodedSize() {
  if (!__CodeBuffer()) {
    m_bEchec = true;
    return 0;
  }
  m_dwPos = 0;
  return m_dwTailleUtile;
}

DWORD CKVBuffer::dwGetUncodedSize() {
  if (!__UncodeBuffer()) {
    m_bEchec = true;
    return 0;
  }
  m_dwPos = 0;
  return m_dwTailleUtile;
}

void CKVBuffer::Clear() {
  m_dwTailleUtile = m_dwPos = 0;
  m_bCode = m_bPacke = m_bCrypte = false;
  m_bEchec = false;
}

void CKVBuffer::ClearAll() {
  __Libere();
  Clear();
}

DWORD CKVBuffer::dwSizeof() const {
  DWORD dw = m_dwTailleAllouee + 80;
  if (m_pclPack != nullptr) dw += 28;
  if (m_pclCrypt != nullptr) dw += 24;
  return dw;
}

// ---- reads and writes ----

bool CKVBuffer::__bPretPlain(DWORD dwDebut, DWORD dwFin) {
  (void)dwDebut;
  if (!m_bCode || dwFin <= m_dwPremierCode) return true;
  if (__UncodeBuffer()) return true;
  m_bEchec = true;
  return false;
}

bool CKVBuffer::__bPretCode(DWORD dwDebut, DWORD dwFin) {
  (void)dwDebut;
  if (m_bCode || dwFin <= m_dwPremierCode) return true;
  if (__CodeBuffer()) return true;
  m_bEchec = true;
  return false;
}

// Writes n bytes at dwOffset, growing the buffer when they pass its end.
bool CKVBuffer::__bEcritBrut(DWORD dwOffset, const void* p, DWORD n) {
  if (n == 0) return true;
  if (n > TAILLE_MAX || dwOffset > TAILLE_MAX - n) {
    m_bEchec = true;
    return false;
  }
  // The source may lie in this buffer, whose storage may move.
  const BYTE* pby = static_cast<const BYTE*>(p);
  const bool bInterne = m_pbyDonnees != nullptr && pby >= m_pbyDonnees && pby < m_pbyDonnees + m_dwTailleAllouee + 1;
  const std::size_t dwDecalage = bInterne ? static_cast<std::size_t>(pby - m_pbyDonnees) : 0;
  if (dwOffset + n > m_dwTailleUtile && !__ResizeBuffer(dwOffset + n)) return false;
  if (bInterne) pby = m_pbyDonnees + dwDecalage;
  std::memmove(m_pbyDonnees + dwOffset, pby, n);
  return true;
}

bool CKVBuffer::Set(const void* p, DWORD n) {
  if (n == 0) return true;
  if (p == nullptr || n > TAILLE_MAX || m_dwPos > TAILLE_MAX - n) {
    m_bEchec = true;
    return false;
  }
  if (!__bPretPlain(m_dwPos, m_dwPos + n) || !__bEcritBrut(m_dwPos, p, n)) return false;
  m_dwPos += n;
  return true;
}

bool CKVBuffer::Set(CKVBuffer* pclSource, DWORD n) {
  if (pclSource == nullptr || pclSource == this) return false;
  if (n == 0) return true;
  const DWORD dwFinSource = pclSource->__dwFinLisible(n);
  if (pclSource->m_dwPos > dwFinSource || dwFinSource - pclSource->m_dwPos < n) return false;
  if (!Set(pclSource->m_pbyDonnees + pclSource->m_dwPos, n)) return false;
  pclSource->m_dwPos += n;
  return true;
}

bool CKVBuffer::SetCodedData(const void* p, DWORD n) {
  if (n == 0) return true;
  if (p == nullptr || n > TAILLE_MAX || m_dwPos > TAILLE_MAX - n) {
    m_bEchec = true;
    return false;
  }
  if (!__bPretCode(m_dwPos, m_dwPos + n) || !__bEcritBrut(m_dwPos, p, n)) return false;
  m_dwPos += n;
  return true;
}

DWORD CKVBuffer::__dwFinLisible(DWORD n) {
  const DWORD dwFin = n > 0xFFFFFFFFu - m_dwPos ? 0xFFFFFFFFu : m_dwPos + n;
  __bPretPlain(m_dwPos, dwFin);
  // Still coded (the range stays in the header, or the tail does not decode):
  // only the header reads as it is.
  if (m_bCode && m_dwPremierCode < m_dwTailleUtile) return m_dwPremierCode;
  return m_dwTailleUtile;
}

bool CKVBuffer::Get(void* p, DWORD n) {
  if (n == 0) return true;
  const DWORD dwFin = __dwFinLisible(n);
  if (p == nullptr || m_dwPos > dwFin || dwFin - m_dwPos < n) return false;
  std::memcpy(p, m_pbyDonnees + m_dwPos, n);
  m_dwPos += n;
  return true;
}

DWORD CKVBuffer::dwGet(void* p, DWORD n) {
  if (n == 0 || p == nullptr) return 0;
  const DWORD dwFin = __dwFinLisible(n);
  if (m_dwPos >= dwFin) return 0;
  const DWORD dw = dwFin - m_dwPos < n ? dwFin - m_dwPos : n;
  std::memcpy(p, m_pbyDonnees + m_dwPos, dw);
  m_dwPos += dw;
  return dw;
}

bool CKVBuffer::GetAll(CKVBuffer* pclCible) { return pclCible != nullptr && pclCible->SetAll(this); }

bool CKVBuffer::SetAll(CKVBuffer* pclSource) {
  if (pclSource == nullptr) return false;
  if (pclSource == this) {
    m_dwPos = 0;
    return bDecode();
  }
  if (!pclSource->bDecode()) {
    m_bEchec = true;
    return false;
  }
  const DWORD n = pclSource->m_dwTailleUtile;
  BYTE* p = nullptr;
  if (n > 0) {
    p = __vAllocBuffer(n);
    if (p == nullptr) {
      m_bEchec = true;
      return false;
    }
    std::memcpy(p, pclSource->m_pbyDonnees, n);
  }
  __Libere();
  m_pbyDonnees = p;
  m_dwTailleAllouee = m_dwTailleUtile = n;
  m_bCode = m_bPacke = m_bCrypte = false;
  return true;
}

bool CKVBuffer::MoveData(DWORD dwVers, DWORD dwDe, DWORD n) {
  if (n == 0) {
    m_dwPos = 0;
    return true;
  }
  if (n > TAILLE_MAX || dwVers > TAILLE_MAX - n || dwDe > TAILLE_MAX - n) return false;
  const DWORD dwFin = (dwVers > dwDe ? dwVers : dwDe) + n;
  if (!__bPretPlain(dwVers < dwDe ? dwVers : dwDe, dwFin)) return false;
  if (dwDe + n > m_dwTailleUtile) return false;
  if (dwVers + n > m_dwTailleUtile && !__ResizeBuffer(dwVers + n)) return false;
  std::memmove(m_pbyDonnees + dwVers, m_pbyDonnees + dwDe, n);
  m_dwPos = 0;
  return true;
}

bool CKVBuffer::SetString(const char* psz) {
  if (psz == nullptr) psz = "";
  return Set(psz, static_cast<DWORD>(std::strlen(psz)) + 1);
}

const char* CKVBuffer::__pszLitTexte(DWORD* pdwLongueur) {
  *pdwLongueur = 0;
  if (m_pbyDonnees == nullptr) return "";
  // A text inside the header needs no decoding.
  DWORD dwFin = m_dwTailleUtile;
  if (m_bCode && m_dwPremierCode < dwFin) dwFin = m_dwPremierCode;
  const void* pZero = m_dwPos < dwFin ? std::memchr(m_pbyDonnees + m_dwPos, 0, dwFin - m_dwPos) : nullptr;
  if (pZero == nullptr && m_bCode) {
    if (!__bPretPlain(m_dwPos, m_dwTailleUtile)) return "";
    dwFin = m_dwTailleUtile;
    pZero = m_dwPos < dwFin ? std::memchr(m_pbyDonnees + m_dwPos, 0, dwFin - m_dwPos) : nullptr;
  }
  if (m_dwPos >= dwFin) return "";
  const char* psz = reinterpret_cast<const char*>(m_pbyDonnees + m_dwPos);
  if (pZero != nullptr) {
    *pdwLongueur = static_cast<DWORD>(static_cast<const BYTE*>(pZero) - (m_pbyDonnees + m_dwPos));
    m_dwPos += *pdwLongueur + 1;
  } else {
    // No 0 before the end: the text ends there (the storage always has one
    // byte beyond the used size), and the position stays.
    m_pbyDonnees[m_dwTailleUtile] = 0;
    *pdwLongueur = m_dwTailleUtile - m_dwPos;
  }
  return psz;
}

const char* CKVBuffer::pszGetString() {
  DWORD dw;
  return __pszLitTexte(&dw);
}

char CKVBuffer::czGetXCHAR() {
  char c = 0;
  _Lit(&c, 1);
  return c;
}

CKVBuffer& CKVBuffer::_Ecrit(const void* p, DWORD n) {
  Set(p, n);
  return *this;
}

CKVBuffer& CKVBuffer::_Lit(void* p, DWORD n) {
  const DWORD dw = dwGet(p, n);
  if (dw < n) {
    std::memset(static_cast<BYTE*>(p) + dw, 0, n - dw);
    m_bEchec = true;
    const DWORD dwFin = __dwFinLisible(0);
    if (m_dwPos < dwFin) m_dwPos = dwFin;
  }
  return *this;
}

CKVBuffer& CKVBuffer::_EcritEntier(unsigned long long v, unsigned nOctets) {
  BYTE aby[8];
  for (unsigned i = 0; i < nOctets; ++i) aby[i] = static_cast<BYTE>(v >> (8 * i));
  return _Ecrit(aby, nOctets);
}

unsigned long long CKVBuffer::_qLitEntier(unsigned nOctets) {
  BYTE aby[8];
  _Lit(aby, nOctets);
  unsigned long long v = 0;
  for (unsigned i = 0; i < nOctets; ++i) v |= static_cast<unsigned long long>(aby[i]) << (8 * i);
  return v;
}

CKVBuffer& CKVBuffer::operator<<(float v) {
  DWORD dw;
  std::memcpy(&dw, &v, 4);
  return _EcritEntier(dw, 4);
}

CKVBuffer& CKVBuffer::operator<<(double v) {
  QWORD q;
  std::memcpy(&q, &v, 8);
  return _EcritEntier(q, 8);
}

CKVBuffer& CKVBuffer::operator>>(float& v) {
  const DWORD dw = static_cast<DWORD>(_qLitEntier(4));
  std::memcpy(&v, &dw, 4);
  return *this;
}

CKVBuffer& CKVBuffer::operator>>(double& v) {
  const QWORD q = _qLitEntier(8);
  std::memcpy(&v, &q, 8);
  return *this;
}

CKVBuffer& CKVBuffer::operator<<(const KVRECT& r) {
  BYTE aby[16];
  const int an[4] = {r.left, r.top, r.right, r.bottom};
  for (int i = 0; i < 4; ++i) kvbuffer::EcritLE(aby + 4 * i, static_cast<DWORD>(an[i]), 4);
  return _Ecrit(aby, 16);
}

CKVBuffer& CKVBuffer::operator>>(KVRECT& r) {
  BYTE aby[16];
  _Lit(aby, 16);
  r.left = static_cast<int>(kvbuffer::qLitLE(aby, 4));
  r.top = static_cast<int>(kvbuffer::qLitLE(aby + 4, 4));
  r.right = static_cast<int>(kvbuffer::qLitLE(aby + 8, 4));
  r.bottom = static_cast<int>(kvbuffer::qLitLE(aby + 12, 4));
  return *this;
}

CKVBuffer& CKVBuffer::operator<<(const CTString& s) {
  // The text and its terminating 0 in one growth, so a refusal writes nothing.
  const DWORD n = s.nTaille();
  if (n >= TAILLE_MAX || m_dwPos > TAILLE_MAX - (n + 1)) {
    m_bEchec = true;
    return *this;
  }
  if (!__bPretPlain(m_dwPos, m_dwPos + n + 1)) return *this;
  if (m_dwPos + n + 1 > m_dwTailleUtile && !__ResizeBuffer(m_dwPos + n + 1)) return *this;
  if (n > 0) std::memcpy(m_pbyDonnees + m_dwPos, s.pszGet(), n);
  m_pbyDonnees[m_dwPos + n] = 0;
  m_dwPos += n + 1;
  return *this;
}

CKVBuffer& CKVBuffer::operator>>(CTString& s) {
  DWORD n;
  const char* psz = __pszLitTexte(&n);
  s.Vide();
  s.Add(psz, n);
  return *this;
}

CKVBuffer& CKVBuffer::operator<<(const CDateTimeBase& dt) {
  BYTE aby[8];
  kvbuffer::EcritLE(aby, DWORD{dt.m_byJour} | (DWORD{dt.m_byMois} << 8) | (DWORD{dt.m_wAnnee} << 16), 4);
  kvbuffer::EcritLE(aby + 4, dt.m_dwHeure, 4);
  return _Ecrit(aby, 8);
}

CKVBuffer& CKVBuffer::operator>>(CDateTimeBase& dt) {
  BYTE aby[8];
  _Lit(aby, 8);
  const DWORD dwDate = static_cast<DWORD>(kvbuffer::qLitLE(aby, 4));
  dt.m_byJour = static_cast<BYTE>(dwDate);
  dt.m_byMois = static_cast<BYTE>(dwDate >> 8);
  dt.m_wAnnee = static_cast<WORD>(dwDate >> 16);
  dt.m_dwHeure = static_cast<DWORD>(kvbuffer::qLitLE(aby + 4, 4));
  return *this;
}

CKVBuffer& CKVBuffer::operator<<(const CDureeBase& d) {
  return _EcritEntier(static_cast<unsigned long long>(d.m_llMillis), 8);
}

CKVBuffer& CKVBuffer::operator>>(CDureeBase& d) {
  d.m_llMillis = static_cast<long long>(_qLitEntier(8));
  return *this;
}

// ---- placeholders ----

DWORD CKVBuffer::dwReserveNombreElement() {
  const DWORD dwOffset = m_dwPos;
  const BYTE aby[4] = {};
  return Set(aby, 4) ? dwOffset : 0xFFFFFFFFu;
}

int CKVBuffer::nReserveTaillePartie() {
  const DWORD dw = dwReserveNombreElement();
  return dw == 0xFFFFFFFFu || dw > 0x7FFFFFFFu ? -1 : static_cast<int>(dw);
}

bool CKVBuffer::SetNombreElement(DWORD dwOffset, DWORD n) {
  if (dwOffset > TAILLE_MAX || !__bPretPlain(dwOffset, dwOffset + 4)) return false;
  if (dwOffset > m_dwTailleUtile || m_dwTailleUtile - dwOffset < 4) return false;
  kvbuffer::EcritLE(m_pbyDonnees + dwOffset, n, 4);
  return true;
}

bool CKVBuffer::SetTaillePartie(int nOffset) {
  if (nOffset < 0 || m_dwPos < static_cast<DWORD>(nOffset) + 4) return false;
  return SetNombreElement(static_cast<DWORD>(nOffset), m_dwPos - static_cast<DWORD>(nOffset) - 4);
}

// ---- buffer in buffer ----

bool CKVBuffer::SerialiseBuffer(CKVBuffer* pclCible) {
  if (pclCible == nullptr || pclCible == this) return false;
  if (!bDecode()) {
    m_bEchec = true;
    return false;
  }
  const DWORD n = m_dwTailleUtile;
  if (n > TAILLE_MAX - 4) return false;
  // Size and bytes in one growth of the target, so a refusal writes nothing.
  CKVBuffer& c = *pclCible;
  if (c.m_dwPos > TAILLE_MAX - (n + 4) || !c.__bPretPlain(c.m_dwPos, c.m_dwPos + n + 4)) {
    c.m_bEchec = true;
    return false;
  }
  if (c.m_dwPos + n + 4 > c.m_dwTailleUtile && !c.__ResizeBuffer(c.m_dwPos + n + 4)) return false;
  kvbuffer::EcritLE(c.m_pbyDonnees + c.m_dwPos, n, 4);
  if (n > 0) std::memcpy(c.m_pbyDonnees + c.m_dwPos + 4, m_pbyDonnees, n);
  c.m_dwPos += n + 4;
  return true;
}

bool CKVBuffer::DeserialiseBuffer(CKVBuffer* pclSource) {
  if (pclSource == nullptr || pclSource == this) return false;
  Clear();
  const DWORD dwAvant = pclSource->m_dwPos;
  BYTE aby[4];
  if (!pclSource->Get(aby, 4)) return false;
  const DWORD n = static_cast<DWORD>(kvbuffer::qLitLE(aby, 4));
  if (n > 0) {
    // Never more than the source holds, whatever the size says.
    const DWORD dwFin = pclSource->__dwFinLisible(n);
    if (pclSource->m_dwPos > dwFin || dwFin - pclSource->m_dwPos < n || !__ResizeBuffer(n) ||
        !pclSource->Get(m_pbyDonnees, n)) {
      pclSource->m_dwPos = dwAvant;
      Clear();
      return false;
    }
  }
  m_dwPos = 0;
  return true;
}
