// CKVBuffer: coding of the tail (pack, then encipher) and decoding (decipher,
// then unpack), the methods, keys and first coded byte. Each step works on
// new storage, which replaces the buffer's only once the whole coding or
// decoding has succeeded.
#include <cstring>
#include <new>

#include "compression/Compresseur.h"
#include "compression/KVBuffer.h"
#include "compression/KVBufferInterne.h"
#include "core/Allocation.h"
#include "core/DataCompressor.h"
#include "crypto/Crypt.h"

using kvbuffer::TAILLE_MAX;

namespace {

// Most bytes an LZW block (type 2 or 4) with nCharge payload bytes can
// decode to: at most one code per 9 bits, the j-th code giving at most j + 1
// bytes and never more than 65535.
DWORD dwMaxDecodeLZW(DWORD nCharge) {
  const QWORD k = QWORD{nCharge} * 8 / 9 + 1;
  QWORD q = k * (k + 1) / 2 + k;
  if (k * 65535 < q) q = k * 65535;
  return q > TAILLE_MAX ? TAILLE_MAX : static_cast<DWORD>(q);
}

// Releases a work block unless it has been handed over.
struct CGardeBloc {
  CKVBuffer* pcl;
  BYTE* p = nullptr;
  void (*pfnLibere)(CKVBuffer*, BYTE*);
  ~CGardeBloc() {
    if (p != nullptr) pfnLibere(pcl, p);
  }
  BYTE* pRend() {
    BYTE* q = p;
    p = nullptr;
    return q;
  }
};

}  // namespace

int CKVBuffer::g_eGetCompresseurType(eBUFFER_PACKMETHOD e) {
  switch (e) {
    case BUFFER_PACK_AUCUN:
    case BUFFER_PACK_LZW: return COMPRESSEUR_ZLW;
    case BUFFER_PACK_CHAINECOURTE: return COMPRESSEUR_KVC40;
    default: return -1;
  }
}

// ---- objects ----

CCompresseur* CKVBuffer::__vAllocPackObject(eBUFFER_PACKMETHOD e) {
  const int nType = g_eGetCompresseurType(e);
  if (nType < 0) return nullptr;
  auto* p = KV_pCree<CCompresseur>(static_cast<BYTE>(nType));
  if (p != nullptr && p->byGetType() == 255) {
    delete p;
    return nullptr;
  }
  return p;
}

void CKVBuffer::__vFreePackObject(CCompresseur* p) { delete p; }

CCrypt* CKVBuffer::__vAllocCryptObject(eBUFFER_CRYPTMETHOD e) {
  return pclCreeCrypt(static_cast<int>(e));
}

void CKVBuffer::__vFreeCryptObject(CCrypt* p) {
  if (p != nullptr) p->dwRelease();
}

bool CKVBuffer::__InitPack() {
  if (m_pclPack != nullptr) return true;
  if (g_eGetCompresseurType(m_ePack) < 0 || m_ePack == BUFFER_PACK_AUCUN) return false;
  m_pclPack = __vAllocPackObject(m_ePack);
  return m_pclPack != nullptr;
}

bool CKVBuffer::__InitCrypt() {
  if (m_bCleManquante) return false;
  if (m_pclCrypt != nullptr) return true;
  CCrypt* p = __vAllocCryptObject(m_eCrypt);
  if (p == nullptr) return false;
  // A cipher that cannot take the key would leave the data as it is.
  if (!p->bSetCryptKey(m_abyCle)) {
    __vFreeCryptObject(p);
    return false;
  }
  m_pclCrypt = p;
  return true;
}

void CKVBuffer::__FreePack() {
  if (m_pclPack != nullptr) __vFreePackObject(m_pclPack);
  m_pclPack = nullptr;
}

void CKVBuffer::__FreeCrypt() {
  if (m_pclCrypt != nullptr) __vFreeCryptObject(m_pclCrypt);
  m_pclCrypt = nullptr;
}

// ---- pipeline ----

void CKVBuffer::__Adopte(BYTE* p, DWORD dwTaille, DWORD dwCapacite) {
  if (m_pbyDonnees != nullptr) __vFreeBuffer(m_pbyDonnees);
  m_pbyDonnees = p;
  m_dwTailleAllouee = dwCapacite;
  m_dwTailleUtile = dwTaille;
  if (dwCapacite - dwTaille >= m_dwPas && dwTaille > 0) {
    if (BYTE* q = __vReallocBuffer(m_pbyDonnees, dwTaille)) {
      m_pbyDonnees = q;
      m_dwTailleAllouee = dwTaille;
    }
  }
}

BYTE* CKVBuffer::__Pack(DWORD* pdwTaille, DWORD* pdwCapacite) {
  const DWORD dwPremier = m_dwPremierCode;
  const DWORD n = m_dwTailleUtile - dwPremier;
  const BYTE* pbyQueue = m_pbyDonnees + dwPremier;
  // The short-string coding cannot carry a 0 byte: such a tail is stored.
  bool bStocke = m_ePack == BUFFER_PACK_CHAINECOURTE && std::memchr(pbyQueue, 0, n) != nullptr;
  QWORD qCapacite = bStocke ? QWORD{n} + TAILLE_ENTETE_COPIE : QWORD{m_pclPack->dwTailleBufferCompression(n)};
  if (!bStocke && m_ePack == BUFFER_PACK_CHAINECOURTE && n <= 0x7FFFFFF0u) {
    // Measured: a short tail with raw bytes takes more than twice its length.
    CDataCompressor cl;
    const int nCode = cl.nTailleCodage(pbyQueue, static_cast<int>(n));
    if (nCode > 0) qCapacite = static_cast<DWORD>(nCode);
  }
  if (qCapacite < QWORD{n} + TAILLE_ENTETE_COPIE) qCapacite = QWORD{n} + TAILLE_ENTETE_COPIE;
  if (qCapacite + dwPremier > TAILLE_MAX) return nullptr;
  const DWORD dwCapacite = static_cast<DWORD>(qCapacite);
  CGardeBloc garde{this, __vAllocZBuffer(dwPremier + dwCapacite), [](CKVBuffer* pcl, BYTE* p) { pcl->__vFreeZBuffer(p); }};
  if (garde.p == nullptr) return nullptr;
  BYTE* pbyBloc = garde.p + dwPremier;
  std::memcpy(garde.p, m_pbyDonnees, dwPremier);
  DWORD dw = 0;
  if (!bStocke && m_ePack == BUFFER_PACK_CHAINECOURTE) {
    // The whole tail is coded, so that it decodes to itself (the short-string
    // compressor object would take its first 4 bytes as a length to drop).
    CDataCompressor cl;
    const int nCapacite = dwCapacite > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(dwCapacite);
    if (cl.nCompress(pbyBloc, nCapacite, pbyQueue, static_cast<int>(n)) == CDataCompressor::DC_OK)
      dw = static_cast<DWORD>(std::strlen(reinterpret_cast<char*>(pbyBloc)));
  } else if (!bStocke) {
    m_pclPack->ChangeSource(pbyQueue, n);
    m_pclPack->ChangeDestination(pbyBloc, dwCapacite);
    dw = m_pclPack->dwCompression();
    m_pclPack->ChangeSource(nullptr, 0);
    m_pclPack->ChangeDestination(nullptr, 0);
  }
  if (dw == 0 || dw > dwCapacite) {
    // Coding refused (memory short, or a 0 byte): the stored form.
    pbyBloc[0] = COMPRESSEUR_COPIE;
    EcritLE32(pbyBloc + 1, n);
    std::memcpy(pbyBloc + TAILLE_ENTETE_COPIE, pbyQueue, n);
    dw = n + TAILLE_ENTETE_COPIE;
  }
  *pdwTaille = dwPremier + dw;
  *pdwCapacite = dwPremier + dwCapacite;
  return garde.pRend();
}

BYTE* CKVBuffer::__Unpack(const BYTE* pbySource, DWORD* pdwTaille, DWORD* pdwCapacite) {
  const DWORD dwPremier = m_dwPremierCode;
  const DWORD n = m_dwTailleUtile - dwPremier;
  const BYTE* pbyQueue = pbySource + dwPremier;
  enum { STOCKE, COURTE, BLOC } eForme;
  DWORD dwBloc = n, dwDecode;
  if (n >= TAILLE_ENTETE_COPIE && pbyQueue[0] == COMPRESSEUR_COPIE) {
    eForme = STOCKE;
    dwDecode = dwLitLE32(pbyQueue + 1);
    if (dwDecode > n - TAILLE_ENTETE_COPIE) return nullptr;
  } else if (m_ePack == BUFFER_PACK_CHAINECOURTE) {
    eForme = COURTE;
    dwDecode = CCompresseurKVC40::g_dwTailleBufferDecompression(n);
  } else {
    eForme = BLOC;
    m_pclPack->ChangeSource(pbyQueue, n);
    dwBloc = m_pclPack->dwTailleEntree();
    dwDecode = m_pclPack->dwTailleDecompression();
    if (dwBloc == TAILLE_INCONNUE || dwDecode == TAILLE_INCONNUE || dwBloc > n || dwBloc < TAILLE_ENTETE_BLOC ||
        dwDecode > dwMaxDecodeLZW(dwBloc - TAILLE_ENTETE_BLOC))
      return nullptr;
  }
  if (dwDecode > TAILLE_MAX - dwPremier) return nullptr;
  CGardeBloc garde{this, __vAllocZBuffer(dwPremier + dwDecode), [](CKVBuffer* pcl, BYTE* p) { pcl->__vFreeZBuffer(p); }};
  if (garde.p == nullptr) return nullptr;
  std::memcpy(garde.p, pbySource, dwPremier);
  BYTE* pbySortie = garde.p + dwPremier;
  DWORD dw = 0;
  if (eForme == STOCKE) {
    std::memcpy(pbySortie, pbyQueue + TAILLE_ENTETE_COPIE, dwDecode);
    dw = dwDecode;
  } else if (dwDecode > 0) {
    m_pclPack->ChangeSource(pbyQueue, dwBloc);
    m_pclPack->ChangeDestination(pbySortie, dwDecode);
    dw = m_pclPack->dwDecompression(static_cast<BYTE>(g_eGetCompresseurType(m_ePack)));
    m_pclPack->ChangeSource(nullptr, 0);
    m_pclPack->ChangeDestination(nullptr, 0);
    // A block must give what its header says; a short-string text at least one byte.
    if (eForme == BLOC ? dw != dwDecode : (dw == 0 || dw > dwDecode)) return nullptr;
  }
  *pdwTaille = dwPremier + dw;
  *pdwCapacite = dwPremier + dwDecode;
  return garde.pRend();
}

bool CKVBuffer::__CodeBuffer() {
  if (m_bCode) return true;
  if (m_ePack != BUFFER_PACK_AUCUN && !__InitPack()) return false;
  if (m_eCrypt != BUFFER_CRYPT_AUCUN && !__InitCrypt()) return false;
  if (m_dwTailleUtile > m_dwPremierCode && (m_ePack != BUFFER_PACK_AUCUN || m_eCrypt != BUFFER_CRYPT_AUCUN)) {
    DWORD dwTaille = m_dwTailleUtile, dwCapacite = m_dwTailleUtile;
    CGardeBloc garde{this, nullptr, [](CKVBuffer* pcl, BYTE* p) { pcl->__vFreeZBuffer(p); }};
    if (m_ePack != BUFFER_PACK_AUCUN && (garde.p = __Pack(&dwTaille, &dwCapacite)) == nullptr) return false;
    if (m_eCrypt != BUFFER_CRYPT_AUCUN) {
      if (garde.p == nullptr) {
        if ((garde.p = __vAllocZBuffer(m_dwTailleUtile)) == nullptr) return false;
        std::memcpy(garde.p, m_pbyDonnees, m_dwTailleUtile);
      }
      m_pclCrypt->Crypt(garde.p + m_dwPremierCode, dwTaille - m_dwPremierCode);
    }
    __Adopte(garde.pRend(), dwTaille, dwCapacite);
  }
  m_bPacke = m_ePack != BUFFER_PACK_AUCUN;
  m_bCrypte = m_eCrypt != BUFFER_CRYPT_AUCUN;
  m_bCode = true;
  return true;
}

bool CKVBuffer::__UncodeBuffer() {
  if (!m_bCode) return true;
  if (m_dwTailleUtile > m_dwPremierCode && (m_bPacke || m_bCrypte)) {
    if (m_bPacke && !__InitPack()) return false;
    if (m_bCrypte && !__InitCrypt()) return false;
    DWORD dwTaille = m_dwTailleUtile, dwCapacite = m_dwTailleUtile;
    CGardeBloc clair{this, nullptr, [](CKVBuffer* pcl, BYTE* p) { pcl->__vFreeZBuffer(p); }};
    if (m_bCrypte) {
      if ((clair.p = __vAllocZBuffer(m_dwTailleUtile)) == nullptr) return false;
      std::memcpy(clair.p, m_pbyDonnees, m_dwTailleUtile);
      m_pclCrypt->Uncrypt(clair.p + m_dwPremierCode, m_dwTailleUtile - m_dwPremierCode);
    }
    BYTE* p;
    if (m_bPacke) {
      p = __Unpack(clair.p != nullptr ? clair.p : m_pbyDonnees, &dwTaille, &dwCapacite);
      if (p == nullptr) return false;
    } else {
      p = clair.pRend();
    }
    __Adopte(p, dwTaille, dwCapacite);
  }
  m_bCode = m_bPacke = m_bCrypte = false;
  return true;
}

// ---- methods and keys ----

bool CKVBuffer::SetPackMethod(eBUFFER_PACKMETHOD e) {
  if (g_eGetCompresseurType(e) < 0) return false;
  if (e == m_ePack && (e == BUFFER_PACK_AUCUN || m_pclPack != nullptr)) return true;
  if (!__UncodeBuffer()) {
    m_bEchec = true;
    return false;
  }
  CCompresseur* p = nullptr;
  if (e != BUFFER_PACK_AUCUN && (p = __vAllocPackObject(e)) == nullptr) return false;
  __FreePack();
  m_pclPack = p;
  m_ePack = e;
  return true;
}

bool CKVBuffer::SetCryptMethod(eBUFFER_CRYPTMETHOD e) {
  if (e < BUFFER_CRYPT_AUCUN || e > BUFFER_CRYPT_RC5_16) return false;
  if (e == m_eCrypt && (e == BUFFER_CRYPT_AUCUN || m_pclCrypt != nullptr)) return true;
  if (!__UncodeBuffer()) {
    m_bEchec = true;
    return false;
  }
  CCrypt* p = nullptr;
  if (e != BUFFER_CRYPT_AUCUN) {
    if ((p = __vAllocCryptObject(e)) == nullptr) return false;
    if (!p->bSetCryptKey(m_abyCle)) {
      __vFreeCryptObject(p);
      return false;
    }
  }
  __FreeCrypt();
  m_pclCrypt = p;
  m_eCrypt = e;
  return true;
}

void CKVBuffer::ChangePackMethod(eBUFFER_PACKMETHOD e, bool bDejaCode) {
  __FreePack();
  m_ePack = e;
  if (e != BUFFER_PACK_AUCUN) __InitPack();  // a failure is met again when coding
  m_bPacke = bDejaCode && e != BUFFER_PACK_AUCUN;
  m_bCode = m_bPacke || m_bCrypte;
}

void CKVBuffer::ChangeCryptMethod(eBUFFER_CRYPTMETHOD e, bool bDejaCode) {
  __FreeCrypt();
  m_eCrypt = e;
  if (e != BUFFER_CRYPT_AUCUN) __InitCrypt();
  m_bCrypte = bDejaCode && e != BUFFER_CRYPT_AUCUN;
  m_bCode = m_bPacke || m_bCrypte;
}

bool CKVBuffer::ChangeCryptKey(const BYTE abyCle[16]) {
  if (abyCle == nullptr) return false;
  std::memmove(m_abyCle, abyCle, 16);
  m_bCleManquante = false;
  if (m_pclCrypt != nullptr && !m_pclCrypt->bSetCryptKey(m_abyCle)) {
    // Made again with the key when next needed.
    __FreeCrypt();
    return false;
  }
  return true;
}

bool CKVBuffer::SetCryptKey(const BYTE abyCle[16]) {
  if (abyCle == nullptr || m_eCrypt == BUFFER_CRYPT_AUCUN) return false;
  if (std::memcmp(abyCle, m_abyCle, 16) == 0) return true;
  if (!__UncodeBuffer()) {
    m_bEchec = true;
    return false;
  }
  return ChangeCryptKey(abyCle);
}

bool CKVBuffer::ChangePassword(const char* pszMotDePasse) {
  if (m_eCrypt == BUFFER_CRYPT_AUCUN) return false;
  m_bCleManquante = false;
  if (!__InitCrypt()) {
    m_bCleManquante = true;
    m_bEchec = true;
    return false;
  }
  BYTE aby[16];
  m_pclCrypt->BuildCryptKey(aby, pszMotDePasse != nullptr ? pszMotDePasse : "");
  return ChangeCryptKey(aby);
}

bool CKVBuffer::SetPassword(const char* pszMotDePasse) {
  if (m_eCrypt == BUFFER_CRYPT_AUCUN) return false;
  if (m_bCleManquante) return ChangePassword(pszMotDePasse);  // nothing was coded without the key
  if (!__InitCrypt()) return false;
  if (!__UncodeBuffer()) {
    m_bEchec = true;
    return false;
  }
  return ChangePassword(pszMotDePasse);
}

bool CKVBuffer::DefineFirstCodedByte(DWORD dwOffset) {
  if (dwOffset == m_dwPremierCode) return true;
  if (!__UncodeBuffer()) {
    m_bEchec = true;
    return false;
  }
  m_dwPremierCode = dwOffset;
  return true;
}

bool CKVBuffer::bDecode() {
  if (__UncodeBuffer()) return true;
  m_bEchec = true;
  return false;
}

bool CKVBuffer::ForceCode() {
  if (!__CodeBuffer()) {
    m_bEchec = true;
    return false;
  }
  __FreePack();
  __FreeCrypt();
  m_ePack = BUFFER_PACK_AUCUN;
  m_eCrypt = BUFFER_CRYPT_AUCUN;
  m_bCode = m_bPacke = m_bCrypte = false;
  return true;
}

BYTE* CKVBuffer::pbyGetCodedBuffer() {
  if (!__CodeBuffer()) {
    m_bEchec = true;
    return nullptr;
  }
  return m_pbyDonnees;
}

BYTE* CKVBuffer::pbyGetUncodedBuffer() {
  if (!__UncodeBuffer()) {
    m_bEchec = true;
    return nullptr;
  }
  return m_pbyDonnees;
}

// ---- storage set aside ----

kvbuffer::STEtat CKVBuffer::__Detache() {
  kvbuffer::STEtat st;
  st.pbyDonnees = m_pbyDonnees;
  st.dwTailleAllouee = m_dwTailleAllouee;
  st.dwTailleUtile = m_dwTailleUtile;
  st.dwPos = m_dwPos;
  st.bCode = m_bCode;
  st.bPacke = m_bPacke;
  st.bCrypte = m_bCrypte;
  m_pbyDonnees = nullptr;
  m_dwTailleAllouee = m_dwTailleUtile = m_dwPos = 0;
  m_bCode = m_bPacke = m_bCrypte = false;
  return st;
}

void CKVBuffer::__Rattache(const kvbuffer::STEtat& st) {
  m_pbyDonnees = st.pbyDonnees;
  m_dwTailleAllouee = st.dwTailleAllouee;
  m_dwTailleUtile = st.dwTailleUtile;
  m_dwPos = st.dwPos;
  m_bCode = st.bCode;
  m_bPacke = st.bPacke;
  m_bCrypte = st.bCrypte;
}
