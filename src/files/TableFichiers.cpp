// The process-wide table of open file handles and its module hooks.
#include "files/TableFichiers.h"

#include <cstdlib>
#include <mutex>
#include <vector>

#include "files/DiskFile.h"

namespace {

constexpr int TAILLE_INITIALE = 5;
constexpr int PAS_CROISSANCE = 5;

CTableFichiers g_clTable;
// Guards every slot of the table; held only for a lookup or a change.
std::mutex g_mutexTable;

}  // namespace

CTableFichiers& FIC_Table() { return g_clTable; }

void FIC_FinRecherche(_stXFINDDATA*& pst) {
  if (pst == nullptr) return;
  CDiskFile::bFindClose(pst);
  delete pst;
  pst = nullptr;
}

void FIC_Relache(_stINFOFIC* pst) {
  if (pst == nullptr || pst->nReferences.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  pst->pclFichier->dwRelease();
  delete pst;
}

CFichierPris& CFichierPris::operator=(CFichierPris&& o) noexcept {
  if (this != &o) {
    Relache();
    m_pst = o.m_pst;
    o.m_pst = nullptr;
  }
  return *this;
}

int CTableFichiers::nAjoute(_stINFOFIC* pst) {
  std::lock_guard<std::mutex> verrou(g_mutexTable);
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

void CTableFichiers::_Supprime(int n) {
  if (n < 0 || n >= m_nNbSlots || !m_pSlots[n].bUtilise) return;
  m_pSlots[n] = {nullptr, m_nPremierLibre, false};
  m_nPremierLibre = n;
}

_stINFOFIC* CTableFichiers::_pstGet(int n) const {
  if (n < 2 || n >= m_nNbSlots || !m_pSlots[n].bUtilise) return nullptr;
  return m_pSlots[n].pst;
}

CFichierPris CTableFichiers::clPrend(int n) {
  _stINFOFIC* pst;
  {
    std::lock_guard<std::mutex> verrou(g_mutexTable);
    pst = _pstGet(n);
    if (pst == nullptr) return CFichierPris();
    pst->nReferences.fetch_add(1, std::memory_order_relaxed);
  }
  // Waited for outside the table's lock: other handles stay usable meanwhile.
  pst->mutexUsage.lock();
  return CFichierPris(pst);
}

_stINFOFIC* CTableFichiers::pstRetire(int n) {
  std::lock_guard<std::mutex> verrou(g_mutexTable);
  _stINFOFIC* pst = _pstGet(n);
  if (pst != nullptr) _Supprime(n);
  return pst;
}

int CTableFichiers::nGetNbSlots() const {
  std::lock_guard<std::mutex> verrou(g_mutexTable);
  return m_nNbSlots;
}

void CTableFichiers::Libere() {
  std::lock_guard<std::mutex> verrou(g_mutexTable);
  std::free(m_pSlots);
  m_pSlots = nullptr;
  m_nNbSlots = m_nCapacite = 0;
  m_nPremierLibre = -1;
}

bool _FIC_bInitModule() {
  CTableFichiers& t = FIC_Table();
  t.Libere();
  return t.nAjoute(nullptr) == 0 && t.nAjoute(nullptr) == 1;
}

void _FIC_FinModule(void*) {
  CTableFichiers& t = FIC_Table();
  // Taken out first, closed after: no lock is held while files close.
  std::vector<_stINFOFIC*> ouverts;
  for (int i = 2, n = t.nGetNbSlots(); i < n; ++i) {
    if (_stINFOFIC* pst = t.pstRetire(i)) ouverts.push_back(pst);
  }
  t.Libere();
  for (_stINFOFIC* pst : ouverts) {
    if (pst->bSuppression) CDiskFile::bDelete(pst->pclFichier->pszGetName());
    FIC_Relache(pst);
  }
}
