// The block-compression framework: sizes from the block header, the stored
// form, the locking of one compression, the short-string blocks, the
// dispatcher, and the frame of a compressed buffer.
#include "compression/Compresseur.h"

#include <cstring>
#include <new>

#include "compression/ZLWCompresseur.h"
#include "core/Allocation.h"
#include "core/DataCompressor.h"
#include "core/VXDSTR.h"

CCompresseurBase::CCompresseurBase() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&m_Mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

CCompresseurBase::~CCompresseurBase() { pthread_mutex_destroy(&m_Mutex); }

DWORD CCompresseurBase::dwTailleEntree(const BYTE* pbyBloc, DWORD nDisponible) {
  if (pbyBloc == nullptr || nDisponible < 1) return TAILLE_INCONNUE;
  switch (pbyBloc[0]) {
    case COMPRESSEUR_COPIE:
      if (nDisponible < TAILLE_ENTETE_COPIE) return TAILLE_INCONNUE;
      return dwLitLE32(pbyBloc + 1) > TAILLE_INCONNUE - TAILLE_ENTETE_COPIE
                 ? TAILLE_INCONNUE
                 : dwLitLE32(pbyBloc + 1) + TAILLE_ENTETE_COPIE;
    case COMPRESSEUR_VIEUXBLOC:
    case COMPRESSEUR_ZLW:
      if (nDisponible < TAILLE_ENTETE_BLOC) return TAILLE_INCONNUE;
      return dwLitLE32(pbyBloc + 1) > TAILLE_INCONNUE - TAILLE_ENTETE_BLOC
                 ? TAILLE_INCONNUE
                 : dwLitLE32(pbyBloc + 1) + TAILLE_ENTETE_BLOC;
    default:
      return TAILLE_INCONNUE;
  }
}

DWORD CCompresseurBase::dwTailleDecompression(const BYTE* pbyBloc, DWORD dwTailleBloc) {
  if (pbyBloc == nullptr || dwTailleBloc < 1) return TAILLE_INCONNUE;
  switch (pbyBloc[0]) {
    case COMPRESSEUR_COPIE:
      return dwTailleBloc < TAILLE_ENTETE_COPIE ? TAILLE_INCONNUE : dwLitLE32(pbyBloc + 1);
    case COMPRESSEUR_VIEUXBLOC:
    case COMPRESSEUR_ZLW:
      return dwTailleBloc < TAILLE_ENTETE_BLOC ? TAILLE_INCONNUE : dwLitLE32(pbyBloc + 5);
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

DWORD CCompresseurBase::dwCompression(const BYTE* pbySource, DWORD dwTailleSource, BYTE* pbyDestination,
                                      DWORD dwCapacite) {
  CVerrou verrou(m_Mutex);
  m_pbySource = pbySource;
  m_dwTailleSource = dwTailleSource;
  m_pbyDestination = pbyDestination;
  m_dwTailleDestination = dwCapacite;
  const DWORD dw =
      (pbyDestination == nullptr || dwCapacite < dwTailleBufferCompression(dwTailleSource)) ? 0 : _dwCompression();
  m_pbySource = nullptr;
  return dw;
}

DWORD CCompresseurBase::dwDecompression(const BYTE* pbySource, DWORD dwTailleSource, BYTE* pbyDestination,
                                        DWORD dwCapacite) {
  CVerrou verrou(m_Mutex);
  m_pbySource = pbySource;
  m_dwTailleSource = dwTailleSource;
  m_pbyDestination = pbyDestination;
  m_dwTailleDestination = dwCapacite;
  const DWORD dw = (pbySource == nullptr || dwTailleSource == 0) ? 0 : _dwDecompression();
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

DWORD CCompresseurKVC40::dwTailleEntree(const BYTE* pbyBloc, DWORD nDisponible) {
  if (pbyBloc == nullptr) return TAILLE_INCONNUE;
  const void* pFin = std::memchr(pbyBloc, 0, nDisponible);
  // A pbyBloc without its terminator ends where the bytes end.
  return pFin != nullptr ? static_cast<DWORD>(static_cast<const BYTE*>(pFin) - pbyBloc) + 1 : nDisponible;
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

// ---- The compressed-buffer frame ----

namespace {

// Most bytes a type-2 or type-4 block of nCharge payload bytes can decode
// to: one string of at most 65535 bytes per 9 bits.
DWORD dwMaxDecode(DWORD nCharge) {
  const QWORD q = (QWORD{nCharge} * 8 / 9 + 1) * 65535;
  return q > 0xFFFFFFF0u ? 0xFFFFFFF0u : static_cast<DWORD>(q);
}

}  // namespace

int CADRE_nCompresse(CVXBIN* pclSortie, const BYTE* pbyDonnees, DWORD dwTaille, bool bTexte, int nMethode) {
  CVXBIN& clSortie = *pclSortie;
  clSortie.Vide();
  if (nMethode < 0 || nMethode > 2) return CADRE_METHODE;
  if (nMethode == 2) {
    // The short-string coding of the bytes (it cannot carry a 0 byte: a
    // buffer holding one is framed with LZW instead). The coding is measured
    // first: short texts with raw bytes take more than twice their length.
    CDataCompressor cl;
    const int nCode = dwTaille > 0x7FFFFFF0u ? -1 : cl.nTailleCodage(pbyDonnees, static_cast<int>(dwTaille));
    if (nCode > 0) {
      const DWORD dwCadre = bTexte ? 0 : TAILLE_CADRE;
      const QWORD qCapacite = QWORD{static_cast<DWORD>(nCode)} + dwCadre;
      if (qCapacite > 0x7FFFFFF0u || clSortie.nSetMemorySize(static_cast<DWORD>(qCapacite)) != 0) return CADRE_MEMOIRE;
      BYTE* p = reinterpret_cast<BYTE*>(clSortie.pGetData());
      if (cl.nCompress(p + dwCadre, static_cast<int>(qCapacite - dwCadre), pbyDonnees, static_cast<int>(dwTaille)) ==
          CDataCompressor::DC_OK) {
        if (!bTexte) {
          p[0] = 0;
          EcritLE32(p + 1, 2);
        }
        clSortie.SetUtilSize(dwCadre + static_cast<DWORD>(std::strlen(reinterpret_cast<char*>(p + dwCadre))));
        return CADRE_OK;
      }
    }
    if (bTexte) {
      // A text has no frame to say that another method was used.
      clSortie.Vide();
      return CADRE_MEMOIRE;
    }
    nMethode = 1;
  }
  // Frame, then [u32 length][bytes] stored or as one LZW block.
  const QWORD qCapacite = QWORD{dwTaille} + TAILLE_CADRE + 4 + 7;
  if (qCapacite > 0x7FFFFFF0u || clSortie.nSetMemorySize(static_cast<DWORD>(qCapacite)) != 0) return CADRE_MEMOIRE;
  BYTE* p = reinterpret_cast<BYTE*>(clSortie.pGetData());
  p[0] = bTexte ? 1 : 0;
  EcritLE32(p + 1, static_cast<DWORD>(nMethode));
  BYTE abyLongueur[4];
  EcritLE32(abyLongueur, dwTaille);
  DWORD dwUtile;
  if (nMethode == 0) {
    std::memcpy(p + TAILLE_CADRE, abyLongueur, 4);
    if (dwTaille > 0) std::memcpy(p + TAILLE_CADRE + 4, pbyDonnees, dwTaille);
    dwUtile = TAILLE_CADRE + 4 + dwTaille;
  } else {
    const CZLWCompresseur::STMorceau morceaux[2] = {{abyLongueur, 4}, {pbyDonnees, dwTaille}};
    CZLWCompresseur cl;
    const DWORD dwBloc =
        cl.dwCompressionMorceaux(morceaux, 2, p + TAILLE_CADRE, static_cast<DWORD>(qCapacite) - TAILLE_CADRE);
    if (dwBloc == 0) {
      clSortie.Vide();
      return CADRE_MEMOIRE;
    }
    dwUtile = TAILLE_CADRE + dwBloc;
  }
  clSortie.SetUtilSize(dwUtile);
  return CADRE_OK;
}

int CADRE_nDecompresse(CVXBIN* pclSortie, const BYTE* p, DWORD n, int nMethode) {
  CVXBIN& clSortie = *pclSortie;
  clSortie.Vide();
  if (p == nullptr || n == 0) return CADRE_OK;
  auto endommage = [&] {
    clSortie.Vide();
    return CADRE_ENDOMMAGE;
  };
  auto prepare = [&](DWORD dwTaille) { return clSortie.nSetMemorySize(dwTaille > 0 ? dwTaille : 1) == 0; };
  // A short-string coding: the coded bytes up to a 0 or the end.
  auto decodeCourte = [&](const BYTE* pCode, DWORD nCode) {
    const DWORD dwMax = CCompresseurKVC40::g_dwTailleBufferDecompression(nCode);
    if (!prepare(dwMax)) return CADRE_MEMOIRE;
    CDataCompressor cl;
    int nSortie = static_cast<int>(dwMax);
    if (cl.nDeCompress(reinterpret_cast<BYTE*>(clSortie.pGetData()), &nSortie, pCode, static_cast<int>(nCode)) !=
        CDataCompressor::DC_OK)
      return endommage();
    clSortie.SetUtilSize(static_cast<DWORD>(nSortie));
    return CADRE_OK;
  };
  if (nMethode == 2) return decodeCourte(p, n);

  if (n < TAILLE_CADRE) return endommage();
  const DWORD dwPack = dwLitLE32(p + 1);
  if (dwPack > 2) return CADRE_METHODE;
  p += TAILLE_CADRE;
  n -= TAILLE_CADRE;
  if (dwPack == 2) return decodeCourte(p, n);
  if (dwPack == 0) {
    if (n < 4) return endommage();
    const DWORD dwLongueur = dwLitLE32(p);
    if (dwLongueur > n - 4) return endommage();
    if (!prepare(dwLongueur)) return CADRE_MEMOIRE;
    if (dwLongueur > 0) std::memcpy(clSortie.pGetData(), p + 4, dwLongueur);
    clSortie.SetUtilSize(dwLongueur);
    return CADRE_OK;
  }
  // One block, decoded in place in the result, then its length taken off.
  CCompresseur clCompresseur(COMPRESSEUR_ZLW);
  clCompresseur.ChangeSource(p, n);
  const DWORD dwBloc = clCompresseur.dwTailleEntree();
  const DWORD dwDecode = clCompresseur.dwTailleDecompression();
  if (dwBloc == TAILLE_INCONNUE || dwDecode == TAILLE_INCONNUE || dwDecode < 4 || dwBloc > n) return endommage();
  if (p[0] != COMPRESSEUR_COPIE && dwDecode > dwMaxDecode(dwBloc - TAILLE_ENTETE_BLOC)) return endommage();
  if (!prepare(dwDecode)) return CADRE_MEMOIRE;
  BYTE* pSortie = reinterpret_cast<BYTE*>(clSortie.pGetData());
  clCompresseur.ChangeSource(p, dwBloc);
  clCompresseur.ChangeDestination(pSortie, dwDecode);
  if (clCompresseur.dwDecompression(COMPRESSEUR_ZLW) != dwDecode) return endommage();
  const DWORD dwLongueur = dwLitLE32(pSortie);
  if (dwLongueur > dwDecode - 4) return endommage();
  std::memmove(pSortie, pSortie + 4, dwLongueur);
  clSortie.SetUtilSize(dwLongueur);
  return CADRE_OK;
}
