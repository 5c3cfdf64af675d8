// The process-wide table of open file handles and its module hooks.
#include "files/TableFichiers.h"

#include <cstdlib>

#include "files/DiskFile.h"

namespace {

constexpr int TAILLE_INITIALE = 5;
constexpr int PAS_CROISSANCE = 5;

CTableFichiers g_clTable;
_stXFINDDATA* g_pstRecherche = nullptr;

}  // namespace

CTableFichiers& FIC_Table() { return g_clTable; }

_stXFINDDATA*& FIC_RechercheEnCours() { return g_pstRecherche; }

void FIC_FinRecherche() {
  if (g_pstRecherche == nullptr) return;
  CDiskFile::bFindClose(g_pstRecherche);
  delete g_pstRecherche;
  g_pstRecherche = nullptr;
}

int CTableFichiers::nAjoute(_stINFOFIC* pst) {
  int n = m_nPremierLibre;
  if (n >= 0) {
    m_nPremierLibre = m_pSlots[n].nSuivantLibre;
  } else {
    if (m_nNbSlots == m_nCapacite) {
      int nNouvelle = m_nCapacite == 0 ? TAILLE_INITIALE : m_nCapacite + PAS_CROISSANCE;
      auto* p = static_cast<STSlot*>(std::realloc(m_pSlots, sizeof(STSlot) * static_cast<std::size_t>(nNouvelle)));
      if (p == nullptr) return -1;
      for (int i = m_nCapacite; i < nNouvelle; ++i) p[i] = {nullptr, -1, false};
      m_pSlots = p;
      m_nCapacite = nNouvelle;
    }
    n = m_nNbSlots++;
  }
  m_pSlots[n] = {pst, -1, true};
  return n;
}

void CTableFichiers::Supprime(int n) {
  if (n < 0 || n >= m_nNbSlots || !m_pSlots[n].bUtilise) return;
  m_pSlots[n] = {nullptr, m_nPremierLibre, false};
  m_nPremierLibre = n;
}

_stINFOFIC* CTableFichiers::pstGet(int n) const {
  if (n < 2 || n >= m_nNbSlots || !m_pSlots[n].bUtilise) return nullptr;
  return m_pSlots[n].pst;
}

void CTableFichiers::Libere() {
  std::free(m_pSlots);
  m_pSlots = nullptr;
  m_nNbSlots = m_nCapacite = 0;
  m_nPremierLibre = -1;
}

bool _FIC_bInitModule() {
  CTableFichiers& t = FIC_Table();
  t.Libere();
  FIC_FinRecherche();
  return t.nAjoute(nullptr) == 0 && t.nAjoute(nullptr) == 1;
}

void _FIC_FinModule(void*) {
  CTableFichiers& t = FIC_Table();
  for (int i = 2; i < t.nGetNbSlots(); ++i) {
    _stINFOFIC* pst = t.pstGet(i);
    if (pst == nullptr) continue;
    if (pst->bSuppression) CDiskFile::bDelete(pst->pclFichier->pszGetName());
    pst->pclFichier->dwRelease();
    delete pst;
    t.Supprime(i);
  }
  t.Libere();
  FIC_FinRecherche();
}
