// The block-compression framework: sizes from the block header, the stored
// form, the locking of one compression, the short-string blocks and the
// dispatcher.
#include "compression/Compresseur.h"

#include <cstring>
#include <new>

#include "compression/ZLWCompresseur.h"
#include "core/Allocation.h"
#include "core/DataCompressor.h"

CCompresseurBase::CCompresseurBase() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&m_Mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

CCompresseurBase::~CCompresseurBase() { pthread_mutex_destroy(&m_Mutex); }

DWORD CCompresseurBase::dwTailleEntree(const BYTE* block, DWORD nDisponible) {
  if (block == nullptr || nDisponible < 1) return TAILLE_INCONNUE;
  switch (block[0]) {
    case COMPRESSEUR_COPIE:
      if (nDisponible < TAILLE_ENTETE_COPIE) return TAILLE_INCONNUE;
      return dwLitLE32(block + 1) > TAILLE_INCONNUE - TAILLE_ENTETE_COPIE ? TAILLE_INCONNUE
                                                                          : dwLitLE32(block + 1) + TAILLE_ENTETE_COPIE;
    case COMPRESSEUR_VIEUXBLOC:
    case COMPRESSEUR_ZLW:
      if (nDisponible < TAILLE_ENTETE_BLOC) return TAILLE_INCONNUE;
      return dwLitLE32(block + 1) > TAILLE_INCONNUE - TAILLE_ENTETE_BLOC ? TAILLE_INCONNUE
                                                                         : dwLitLE32(block + 1) + TAILLE_ENTETE_BLOC;
    default:
      return TAILLE_INCONNUE;
  }
}

DWORD CCompresseurBase::dwTailleDecompression(const BYTE* block, DWORD blockSize) {
  if (block == nullptr || blockSize < 1) return TAILLE_INCONNUE;
  switch (block[0]) {
    case COMPRESSEUR_COPIE:
      return blockSize < TAILLE_ENTETE_COPIE ? TAILLE_INCONNUE : dwLitLE32(block + 1);
    case COMPRESSEUR_VIEUXBLOC:
    case COMPRESSEUR_ZLW:
      return blockSize < TAILLE_ENTETE_BLOC ? TAILLE_INCONNUE : dwLitLE32(block + 5);
    default:
      return TAILLE_INCONNUE;
  }
}

namespace {

// Holds a recursive mutex for a scope.
class CVerrou {
public:
  explicit CVerrou(pthread_mutex_t& m) : m_m(m) { pthread_mutex_lock(&m_m); }
  ~CVerrou() { pthread_mutex_unlock(&m_m); }
  CVerrou(const CVerrou&) = delete;
  CVerrou& operator=(const CVerrou&) = delete;

private:
  pthread_mutex_t& m_m;
};

}  // namespace

DWORD CCompresseurBase::dwCompression(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity) {
  CVerrou verrou(m_Mutex);
  m_pbySource = src;
  m_dwTailleSource = srcSize;
  m_pbyDestination = dst;
  m_dwTailleDestination = dstCapacity;
  const DWORD dw = (dst == nullptr || dstCapacity < dwTailleBufferCompression(srcSize)) ? 0 : _dwCompression();
  m_pbySource = nullptr;
  return dw;
}

DWORD CCompresseurBase::dwDecompression(const BYTE* src, DWORD srcSize, BYTE* dst, DWORD dstCapacity) {
  CVerrou verrou(m_Mutex);
  m_pbySource = src;
  m_dwTailleSource = srcSize;
  m_pbyDestination = dst;
  m_dwTailleDestination = dstCapacity;
  const DWORD dw = (src == nullptr || srcSize == 0) ? 0 : _dwDecompression();
  m_pbySource = nullptr;
  return dw;
}

void CCompresseurBase::_EcritEntete(BYTE byType, DWORD dwTailleCompressee) {
  BYTE* p = m_pbyDestination;
  p[0] = byType;
  if (byType == COMPRESSEUR_COPIE) {
    EcritLE32(p + 1, m_dwTailleSource);
    return;
  }
  EcritLE32(p + 1, dwTailleCompressee);
  EcritLE32(p + 5, m_dwTailleSource);
  p[9] = p[10] = 0;
}

DWORD CCompresseurBase::_dwCompresseCopie() {
  _EcritEntete(COMPRESSEUR_COPIE, m_dwTailleSource);
  if (m_dwTailleSource > 0) std::memmove(m_pbyDestination + TAILLE_ENTETE_COPIE, m_pbySource, m_dwTailleSource);
  return m_dwTailleSource + TAILLE_ENTETE_COPIE;
}

DWORD CCompresseurBase::_dwDecompresseCopie() {
  if (m_dwTailleSource < TAILLE_ENTETE_COPIE) return 0;
  const DWORD n = dwLitLE32(m_pbySource + 1);
  if (n > m_dwTailleDestination || n > m_dwTailleSource - TAILLE_ENTETE_COPIE) return 0;
  if (n > 0) std::memmove(m_pbyDestination, m_pbySource + TAILLE_ENTETE_COPIE, n);
  return n;
}

// ---- short-string blocks ----

DWORD CCompresseurKVC40::dwTailleEntree(const BYTE* block, DWORD nDisponible) {
  if (block == nullptr) return TAILLE_INCONNUE;
  const void* pFin = std::memchr(block, 0, nDisponible);
  // A block without its terminator ends where the bytes end.
  return pFin != nullptr ? static_cast<DWORD>(static_cast<const BYTE*>(pFin) - block) + 1 : nDisponible;
}

DWORD CCompresseurKVC40::_dwCompression() {
  if (m_dwTailleSource < 4) return 0;
  DWORD n = dwLitLE32(m_pbySource);
  if (n > m_dwTailleSource - 4) n = m_dwTailleSource - 4;
  CDataCompressor cl;
  const int nCapacite = m_dwTailleDestination > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(m_dwTailleDestination);
  if (cl.nCompress(m_pbyDestination, nCapacite, m_pbySource + 4, static_cast<int>(n)) != CDataCompressor::DC_OK)
    return 0;
  return static_cast<DWORD>(std::strlen(reinterpret_cast<char*>(m_pbyDestination)));
}

DWORD CCompresseurKVC40::_dwDecompression() {
  CDataCompressor cl;
  int n = m_dwTailleDestination > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(m_dwTailleDestination);
  const int nSource = m_dwTailleSource > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(m_dwTailleSource);
  if (cl.nDeCompress(m_pbyDestination, &n, m_pbySource, nSource) != CDataCompressor::DC_OK) return 0;
  return static_cast<DWORD>(n);
}

// ---- dispatcher ----

CCompresseur::CCompresseur(BYTE byType) { ChangeMethodeCompression(byType); }

CCompresseur::~CCompresseur() { delete m_pclObjet; }

CCompresseurBase* CCompresseur::s_pclCree(BYTE byType) {
  switch (byType) {
    case COMPRESSEUR_VIEUXBLOC: return KV_pCree<CVieuxBlocCompresseur>();
    case COMPRESSEUR_KVC40: return KV_pCree<CCompresseurKVC40>();
    default: return KV_pCree<CZLWCompresseur>();
  }
}

bool CCompresseur::ChangeMethodeCompression(BYTE byType) {
  if (m_pclObjet != nullptr && (byType == m_byType || byType == COMPRESSEUR_COPIE)) return true;
  CCompresseurBase* pcl = s_pclCree(byType);
  if (pcl == nullptr) return false;
  delete m_pclObjet;
  m_pclObjet = pcl;
  m_byType = (byType == COMPRESSEUR_COPIE || byType == COMPRESSEUR_VIEUXBLOC || byType == COMPRESSEUR_KVC40)
                 ? byType
                 : static_cast<BYTE>(COMPRESSEUR_ZLW);
  return true;
}

DWORD CCompresseur::dwCompression() {
  if (m_pclObjet == nullptr) return 0;
  return m_pclObjet->dwCompression(m_pbySource, m_dwTailleSource, m_pbyDestination, m_dwTailleDestination);
}

DWORD CCompresseur::dwDecompression(BYTE byAttendu) {
  if (m_pclObjet == nullptr || m_pbySource == nullptr || m_dwTailleSource == 0) return 0;
  const BYTE byAvant = m_byType;
  if (byAttendu != COMPRESSEUR_KVC40 && !ChangeMethodeCompression(m_pbySource[0])) return 0;
  const DWORD dw =
      m_pclObjet->dwDecompression(m_pbySource, m_dwTailleSource, m_pbyDestination, m_dwTailleDestination);
  ChangeMethodeCompression(byAvant);
  return dw;
}
