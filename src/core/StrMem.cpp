// Block allocator of the language strings: capacity classes, growth rule,
// the two caches and the per-thread recyclers.
#include "core/StrMem.h"

#include <cstdlib>
#include <cstring>

namespace {

pthread_key_t gCleRecycleur;
bool gbCleRecycleur = false;
const int* gpbMT = nullptr;

class CVerrou {
public:
  explicit CVerrou(pthread_mutex_t& m) : m_(m) { pthread_mutex_lock(&m_); }
  ~CVerrou() { pthread_mutex_unlock(&m_); }
  CVerrou(const CVerrou&) = delete;
  CVerrou& operator=(const CVerrou&) = delete;

private:
  pthread_mutex_t& m_;
};

int nIndiceCache(DWORD dwCapacite) {
  if (dwCapacite == STR_CAPACITE_PETITE) return 0;
  if (dwCapacite == STR_CAPACITE_MOYENNE) return 1;
  return -1;
}

// Next free block, kept at the start of a cached block's data (every cached
// block has room for it: the smallest capacity is 104 bytes). The count
// word cannot hold it: a pointer is wider than it on x86-64.
STBlocStr* pstSuivant(const STBlocStr* pst) {
  STBlocStr* pstSuiv;
  std::memcpy(&pstSuiv, pszGetDonnees(const_cast<STBlocStr*>(pst)), sizeof pstSuiv);
  return pstSuiv;
}
void SetSuivant(STBlocStr* pst, STBlocStr* pstSuiv) {
  pst->dwRef = 0;
  std::memcpy(pszGetDonnees(pst), &pstSuiv, sizeof pstSuiv);
}

}  // namespace

DWORD STR_nCapaciteInitiale(DWORD nTaille) {
  if (nTaille < STR_CAPACITE_PETITE + 1) return STR_CAPACITE_PETITE;
  if (nTaille <= STR_CAPACITE_MOYENNE) return STR_CAPACITE_MOYENNE;
  return STR_nCapaciteCroissance(0, nTaille);
}

DWORD STR_nCapaciteCroissance(DWORD nAncienne, DWORD nTaille) {
  if (nAncienne == 0) return 2 * nTaille;
  DWORD d = nTaille - nAncienne;
  if (d < nAncienne / 10) return nAncienne + nAncienne / 5;
  if (d < nAncienne / 5) return nAncienne + nAncienne / 2;
  if (d < nAncienne / 2) return 2 * nAncienne;
  return 2 * nTaille;
}

CStrMemCache::CStrMemCache(const char* pszLibelle) : m_pszLibelle(pszLibelle) {
  // A plain mutex: it guards the two free lists only, never a call out.
  pthread_mutex_init(&m_mutex, nullptr);
}

CStrMemCache::~CStrMemCache() {
  for (auto& pst : m_apstLibres) {
    while (pst != nullptr) {
      STBlocStr* pstSuiv = pstSuivant(pst);
      std::free(pst);
      pst = pstSuiv;
    }
  }
  pthread_mutex_destroy(&m_mutex);
}

void CStrMemCache::s_SetCleRecycleur(pthread_key_t cle) {
  gCleRecycleur = cle;
  gbCleRecycleur = true;
}

void CStrMemCache::s_SetFlagMT(const int* pbMT) { gpbMT = pbMT; }

IRecycleurStr* CStrMemCache::_piRecycleur() const {
  if (!gbCleRecycleur || gpbMT == nullptr || *gpbMT == 0) return nullptr;
  return static_cast<IRecycleurStr*>(pthread_getspecific(gCleRecycleur));
}

void* CStrMemCache::_pAlloueMemoire(DWORD nOctets) {
  if (IRecycleurStr* pi = _piRecycleur()) {
    if (void* p = pi->pDonneBloc(nOctets)) return p;
  }
  return std::malloc(nOctets);
}

void CStrMemCache::_LibereMemoire(void* p, DWORD nOctets) {
  if (IRecycleurStr* pi = _piRecycleur()) {
    if (pi->bPrendBloc(p, nOctets)) return;
  }
  std::free(p);
}

int CStrMemCache::nNbCache(DWORD dwCapacite) const {
  int i = nIndiceCache(dwCapacite);
  return i < 0 ? 0 : m_anLibres[i];
}

STBlocStr* CStrMemCache::pstAlloue(DWORD nTaille, DWORD dwFlags) {
  if (nTaille > STR_LONGUEUR_MAX) return nullptr;
  DWORD dwCapacite = STR_nCapaciteInitiale(nTaille);
  STBlocStr* pst = nullptr;
  int i = nIndiceCache(dwCapacite);
  if (i >= 0) {
    CVerrou verrou(m_mutex);
    if (m_apstLibres[i] != nullptr) {
      pst = m_apstLibres[i];
      m_apstLibres[i] = pstSuivant(pst);
      --m_anLibres[i];
    }
  }
  if (pst == nullptr) {
    pst = static_cast<STBlocStr*>(_pAlloueMemoire(dwCapacite + STR_TAILLE_SUPPLEMENT));
    if (pst == nullptr) return nullptr;
  }
  pst->pclProprietaire = this;
  pst->dwFlags = dwFlags;
  pst->dwRef = 1;
  pst->dwCapacite = dwCapacite;
  pst->dwLongueur = 0;
  std::memset(pszGetDonnees(pst), 0, 4);
  std::memset(pszGetDonnees(pst) + dwCapacite, 0, 4);
  return pst;
}

STBlocStr* CStrMemCache::pstAgrandit(STBlocStr* pst, DWORD nTaille) {
  if (nTaille > STR_LONGUEUR_MAX) return nullptr;
  if (nTaille <= pst->dwCapacite) return pst;
  DWORD dwCapacite = STR_nCapaciteCroissance(pst->dwCapacite, nTaille);
  if (dwCapacite > STR_LONGUEUR_MAX + 1) dwCapacite = STR_LONGUEUR_MAX + 1;
  // A recycled block may not come from malloc: move it rather than realloc.
  void* p;
  if (_piRecycleur() != nullptr) {
    p = _pAlloueMemoire(dwCapacite + STR_TAILLE_SUPPLEMENT);
    if (p == nullptr) return nullptr;
    std::memcpy(p, pst, STR_TAILLE_ENTETE + pst->dwLongueur + 4);
    _LibereMemoire(pst, pst->dwCapacite + STR_TAILLE_SUPPLEMENT);
  } else {
    p = std::realloc(pst, dwCapacite + STR_TAILLE_SUPPLEMENT);
    if (p == nullptr) return nullptr;
  }
  pst = static_cast<STBlocStr*>(p);
  pst->dwCapacite = dwCapacite;
  std::memset(pszGetDonnees(pst) + dwCapacite, 0, 4);
  return pst;
}

void CStrMemCache::Libere(STBlocStr* pst) {
  if (pst == nullptr) return;
  int i = nIndiceCache(pst->dwCapacite);
  if (i >= 0) {
    CVerrou verrou(m_mutex);
    if (m_anLibres[i] < STR_NB_CACHE) {
      SetSuivant(pst, m_apstLibres[i]);
      m_apstLibres[i] = pst;
      ++m_anLibres[i];
      return;
    }
  }
  _LibereMemoire(pst, pst->dwCapacite + STR_TAILLE_SUPPLEMENT);
}
