// The exchange-rate table's operations.
#include "numbers/TauxDeChange.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

bool CTauxDeChange::bChange(unsigned short wDevise, unsigned dwTaux, const char* pszNom) {
  if (wDevise >= m_wNombre) return false;
  m_pdwTaux[wDevise] = dwTaux;
  if (pszNom != nullptr) {
    std::memset(m_pszNoms[wDevise], 0, sizeof m_pszNoms[wDevise]);
    std::strncpy(m_pszNoms[wDevise], pszNom, LONGUEUR_NOM_DEVISE);
  }
  return true;
}

bool CTauxDeChange::bDeviseEstValide(unsigned short wDevise) const {
  return wDevise == DEVISE_DEFAUT || wDevise < m_wNombre;
}

DWORD CTauxDeChange::dwGetTaux(unsigned short wDevise, int bAffichage) const {
  wDevise = wResout(wDevise, bAffichage);
  return wDevise < m_wNombre ? m_pdwTaux[wDevise] : TAUX_INEXISTANT;
}

unsigned short CTauxDeChange::wNomVersNumero(const char* pszNom) const {
  for (unsigned short i = 0; pszNom != nullptr && i < m_wNombre; ++i)
    if (strncasecmp(m_pszNoms[i], pszNom, sizeof m_pszNoms[i]) == 0) return i;
  return DEVISE_INEXISTANTE;
}

const char* CTauxDeChange::pszGetNom(unsigned short wDevise, int bAffichage) const {
  wDevise = wResout(wDevise, bAffichage);
  return wDevise < m_wNombre ? m_pszNoms[wDevise] : "";
}

bool CTauxDeChange::bIsValid() const { return m_wNombre == 0 || m_pdwTaux[0] == TAUX_EURO; }

void CTauxDeChange::Term() {
  if (m_bProprietaire) {
    std::free(m_pdwTaux);
    std::free(m_pszNoms);
  }
  m_pdwTaux = nullptr;
  m_pszNoms = nullptr;
  m_wNombre = 0;
}
