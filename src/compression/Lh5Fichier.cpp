// "-lh5-" coding between two open files: reads of 64 KiB, a 64 KiB
// write cache, progress points with the stop flag, CRC-16 of the data.
#include "compression/Lh5Fichier.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>

#include "compression/Compacte.h"
#include "compression/Lh5.h"
#include "core/Allocation.h"
#include "core/Progression.h"
#include "core/XError.h"
#include "files/DiskFile.h"

namespace {

constexpr DWORD TAILLE_CACHE = 1 << 16;
constexpr QWORD MARGE_INCOMPRESSIBLE = 288;

int nPourcent(QWORD qFait, QWORD qTotal) {
  return qTotal == 0 ? 100 : static_cast<int>(qFait * 100 / qTotal);
}

// Progress point: the routine, then the stop flag.
bool bPointProgression(QWORD qFait, QWORD qTotal) {
  COMPACTE_Progression(nPourcent(qFait, qTotal));
  PROGRESSION_Point(static_cast<long long>(qFait), static_cast<long long>(qTotal), -1);
  return !COMPACTE_bArretDemande();
}

// Reads up to n bytes (fewer only at the end of the file).
bool bLitTout(CDiskFile& cl, BYTE* p, DWORD n, DWORD* pnLu, DWORD* pdwErrno) {
  DWORD nTotal = 0;
  while (nTotal < n) {
    DWORD nLu = 0;
    if (!cl.bRead(p + nTotal, n - nTotal, &nLu)) {
      *pdwErrno = cl.pclGetXError()->dwGetSystemErrorCode();
      if (*pdwErrno == 0) *pdwErrno = EIO;
      return false;
    }
    if (nLu == 0) break;
    nTotal += nLu;
  }
  *pnLu = nTotal;
  return true;
}

// Output gathered before each write.
class CCacheEcriture {
public:
  CCacheEcriture(CDiskFile& cl, STLh5Fichier* pst) : m_cl(cl), m_pst(pst) {}
  bool bAlloue() {
    m_p.reset(KV_pNouveau<BYTE>(TAILLE_CACHE));
    return m_p != nullptr;
  }
  BYTE* pLibre() { return m_p.get() + m_n; }
  DWORD nLibre() const { return TAILLE_CACHE - m_n; }
  void Ajoute(DWORD n) { m_n += n; }
  bool bVide() {
    if (m_n == 0) return true;
    if (!m_cl.bWrite(m_p.get(), m_n)) {
      m_pst->dwErrno = m_cl.pclGetXError()->dwGetSystemErrorCode();
      if (m_pst->dwErrno == 0) m_pst->dwErrno = EIO;
      return false;
    }
    m_pst->qEcrit += m_n;
    m_n = 0;
    return true;
  }

private:
  CDiskFile& m_cl;
  STLh5Fichier* m_pst;
  std::unique_ptr<BYTE[]> m_p;
  DWORD m_n = 0;
};

}  // namespace

int LH5_nCompacteFichier(CDiskFile& clSource, CDiskFile& clDestination, QWORD qTaille, bool bLimite,
                         STLh5Fichier* pst) {
  *pst = STLh5Fichier{};
  CLh5Encodeur clCodeur;
  std::unique_ptr<BYTE[]> pEntree(KV_pNouveau<BYTE>(TAILLE_CACHE));
  CCacheEcriture clCache(clDestination, pst);
  if (!pEntree || !clCache.bAlloue() || !clCodeur.bDemarre()) return LH5F_MEMOIRE;
  CCrc16Arc clCrc;
  STLh5Flux flux;
  bool bFin = false;
  for (;;) {
    if (flux.nEntree == 0 && !bFin) {
      QWORD qReste = qTaille - pst->qLu;
      DWORD n = qReste < TAILLE_CACHE ? static_cast<DWORD>(qReste) : TAILLE_CACHE;
      DWORD nLu = 0;
      if (n > 0 && !bLitTout(clSource, pEntree.get(), n, &nLu, &pst->dwErrno)) return LH5F_LECTURE;
      clCrc.Ajoute(pEntree.get(), nLu);
      pst->qLu += nLu;
      flux.pEntree = pEntree.get();
      flux.nEntree = nLu;
      bFin = nLu < n || pst->qLu == qTaille;
      if (nLu > 0 && !bPointProgression(pst->qLu, qTaille)) return LH5F_ARRET;
    }
    flux.pSortie = clCache.pLibre();
    flux.nSortie = clCache.nLibre();
    const DWORD nAvant = flux.nSortie;
    const int r = clCodeur.nCode(flux, bFin);
    clCache.Ajoute(nAvant - flux.nSortie);
    if (r < 0) return r == LH5_ERREUR_MEMOIRE ? LH5F_MEMOIRE : LH5F_DONNEES;
    if (bLimite && flux.qTotalSortie + MARGE_INCOMPRESSIBLE > qTaille) {
      pst->wCrc = clCrc.wValeur();
      return LH5F_INCOMPRESSIBLE;
    }
    if (clCache.nLibre() == 0 && !clCache.bVide()) return LH5F_ECRITURE;
    if (r == LH5_FIN) break;
  }
  if (!clCache.bVide()) return LH5F_ECRITURE;
  pst->wCrc = clCrc.wValeur();
  return LH5F_OK;
}

int LH5_nDecompacteFichier(CDiskFile& clSource, QWORD qCompresse, CDiskFile& clDestination, QWORD qTaille,
                           bool bStocke, STLh5Fichier* pst) {
  *pst = STLh5Fichier{};
  CLh5Decodeur clDecodeur;
  std::unique_ptr<BYTE[]> pEntree(KV_pNouveau<BYTE>(TAILLE_CACHE));
  CCacheEcriture clCache(clDestination, pst);
  if (!pEntree || !clCache.bAlloue() || (!bStocke && !clDecodeur.bDemarre(qTaille))) return LH5F_MEMOIRE;
  CCrc16Arc clCrc;
  STLh5Flux flux;
  QWORD qLu = 0;
  bool bFin = false;
  QWORD qProgression = 0;
  while (pst->qLu < qTaille) {
    if (clCache.nLibre() == 0 && !clCache.bVide()) return LH5F_ECRITURE;
    if (flux.nEntree == 0 && !bFin) {
      const QWORD qReste = qCompresse - qLu;
      const DWORD n = qReste < TAILLE_CACHE ? static_cast<DWORD>(qReste) : TAILLE_CACHE;
      DWORD nLu = 0;
      if (n > 0 && !bLitTout(clSource, pEntree.get(), n, &nLu, &pst->dwErrno)) return LH5F_LECTURE;
      qLu += nLu;
      flux.pEntree = pEntree.get();
      flux.nEntree = nLu;
      bFin = nLu < n || qLu == qCompresse;
    }
    flux.pSortie = clCache.pLibre();
    flux.nSortie = clCache.nLibre();
    const DWORD nAvant = flux.nSortie;
    int r;
    if (bStocke) {
      QWORD q = qTaille - pst->qLu;
      if (q > flux.nEntree) q = flux.nEntree;
      if (q > flux.nSortie) q = flux.nSortie;
      std::copy(flux.pEntree, flux.pEntree + q, flux.pSortie);
      flux.pEntree += q;
      flux.nEntree -= static_cast<DWORD>(q);
      flux.nSortie -= static_cast<DWORD>(q);
      r = q == 0 && bFin ? LH5_ERREUR_DONNEES : LH5_OK;
    } else {
      r = clDecodeur.nDecode(flux, bFin);
    }
    const DWORD nProduit = nAvant - flux.nSortie;
    clCrc.Ajoute(clCache.pLibre(), nProduit);
    clCache.Ajoute(nProduit);
    pst->qLu += nProduit;
    if (r < 0) return LH5F_DONNEES;
    if (r == LH5_OK && nProduit == 0 && flux.nEntree == 0 && bFin)
      return LH5F_DONNEES;  // no progress possible: the stream ends too soon
    // A progress point every 8192 bytes produced.
    if (pst->qLu - qProgression >= 8192 || pst->qLu == qTaille) {
      qProgression = pst->qLu;
      if (!bPointProgression(pst->qLu, qTaille)) return LH5F_ARRET;
    }
  }
  if (!clCache.bVide()) return LH5F_ECRITURE;
  pst->wCrc = clCrc.wValeur();
  return LH5F_OK;
}
