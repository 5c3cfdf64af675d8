// The table adapter over the page library's controls access.
#include "misc/TableKorval.h"

#include "abi/InterfacesVM.h"
#include "abi/TypesVX.h"
#include "core/Any.h"
#include "core/TString.h"
#include "core/XError.h"
#include "misc/PageGate.h"

namespace {

constexpr const char* PROPRIETE_OCCURRENCE = "Occurrence";

}  // namespace

CTableKorval::CTableKorval(IObjetAPCode* piSource, bool bColonnesInvisibles, bool bTitre, bool bTotaux)
    : m_piSource(piSource), m_bColonnesInvisibles(bColonnesInvisibles), m_bTitre(bTitre), m_bTotaux(bTotaux) {}

CTableKorval::~CTableKorval() {
  if (m_bPageLie) PAGE_Term();
}

int CTableKorval::s_nGetType(IControlesPage* pi, IObjetAPCode* piObjet) {
  return pi != nullptr && piObjet != nullptr ? pi->nGetType(piObjet) : -1;
}

bool CTableKorval::bInit(ILibShop* piLibShop, CXError* pclErreur) {
  if (!m_bPageLie) {
    m_bPageLie = true;  // counted even when it fails: PAGE_Term balances it
    if (!PAGE_bInit(piLibShop, pclErreur)) {
      if (pclErreur != nullptr && !pclErreur->bIsError()) pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
      return false;
    }
  }
  IPageGate* piGate = PAGE_piGetGate();
  m_piControles = piGate != nullptr ? piGate->piGetControles() : nullptr;
  m_nType = s_nGetType(m_piControles, m_piSource);
  if (m_piControles == nullptr || m_nType < 0) {
    if (pclErreur != nullptr) pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
    return false;
  }

  // Rows: the selected ones, or the occurrence count, or a looper's walk.
  m_vLignes.clear();
  m_nNombreRangee = 0;
  if (m_bSelection) {
    for (int n = 0;; ++n) {
      const int nLigne = m_piControles->nGetLigneSelectionnee(m_piSource, n);
      if (nLigne < 0) break;
      m_vLignes.push_back(nLigne);
    }
    m_nNombreRangee = static_cast<int>(m_vLignes.size());
  } else if (m_nType == TYPE_PAGE_ZONEREPETEE) {
    for (BOOL b = m_piControles->bPremiereOccurrence(m_piSource); b; b = m_piControles->bOccurrenceSuivante(m_piSource))
      ++m_nNombreRangee;
  } else if (m_nType == TYPE_PAGE_TABLE) {
    CAny clOccurrence;
    if (!m_piSource->bGetPropriete(PROPRIETE_OCCURRENCE, &clOccurrence, pclErreur)) {
      if (pclErreur != nullptr && !pclErreur->bIsError()) pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
      return false;
    }
    int n = 0;
    if (clOccurrence.nCastTo(VXT_ENTIER) <= 1) {
      const WORD w = clOccurrence.wGetType();
      if ((w == 1 || w == 4 || w == 8) && clOccurrence.nGetINT(&n) == ANY_OK && n > 0) m_nNombreRangee = n;
    }
  }
  m_nTotaux = m_bTotaux && m_nType == TYPE_PAGE_ZONEREPETEE ? m_piControles->nGetNombreTotaux(m_piSource) : 0;
  if (m_nTotaux < 0) m_nTotaux = 0;

  // Columns: all of them in order, or those the visibility test keeps.
  m_vColonnes.clear();
  if (m_nType == TYPE_PAGE_TABLE || m_nType == TYPE_PAGE_ZONEREPETEE) {
    const int nColonnes = m_piControles->nGetNombreColonne(m_piSource);
    for (int c = 0; c < nColonnes; ++c) {
      if (m_bColonnesInvisibles && !m_bOrdreAffichage) {
        m_vColonnes.push_back(c);
      } else if (m_piControles->bColonneVisible(m_piSource, c)) {
        m_vColonnes.push_back(c);
      }
    }
  }
  return true;
}

bool CTableKorval::bSetPremiereLigne(int nSautees) {
  if (nSautees < 0 || nSautees > _nNombreLignesTotal()) return false;
  m_nSautees = nSautees;
  return true;
}

bool CTableKorval::bInitParcours(int) {
  if (m_bTitre) {
    m_nLigne = 0;
  } else {
    m_nLigne = m_nSautees + 1;
    if (m_nLigne > m_nNombreRangee) return false;
  }
  if (_nNombreLignesTotal() == 0) return false;
  m_bParcours = true;
  return true;
}

void CTableKorval::GetTitreColonne(int nColonne, CTString* pclTitre) {
  const char* psz = nullptr;
  if (nColonne >= 0 && nColonne < nNombreColonne())
    psz = m_piControles->pszGetTitreColonne(m_piSource, m_vColonnes[static_cast<std::size_t>(nColonne)]);
  pclTitre->Set(psz != nullptr ? psz : "");
}

bool CTableKorval::bParcoursLigneSuivante() {
  if (!m_bParcours) return false;
  m_nLigne = m_nLigne == 0 ? m_nSautees + 1 : m_nLigne + 1;
  if (m_nLigne > m_nNombreRangee) {
    m_bParcours = false;
    return false;
  }
  return true;
}

bool CTableKorval::bDonneValeurCelluleLigneCourante(int nColonne, CAny* pclValeur, CXError* pclErreur, unsigned,
                                                    IInfoLangue*) {
  if (!m_bParcours || m_nLigne < 1 || m_nLigne > m_nNombreRangee || nColonne < 0 || nColonne >= nNombreColonne())
    return false;
  const int nRangee = m_bSelection ? m_vLignes[static_cast<std::size_t>(m_nLigne - 1)] : m_nLigne;
  return m_piControles->bGetValeurCellule(m_piSource, nRangee, m_vColonnes[static_cast<std::size_t>(nColonne)],
                                          pclValeur, pclErreur) != 0;
}
