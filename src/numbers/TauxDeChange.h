// CTauxDeChange, the exchange-rate table: for each currency the number of
// its units worth one euro (in millionths) and its name, plus the default
// display and memory currencies. Currency 0 is the euro (rate 1 000 000).
// The table is supplied by the runtime's object library, which lays it out
// exactly as here; this library reads and changes it in place.
#pragma once

#include "abi/TypesBase.h"

constexpr unsigned short DEVISE_DEFAUT = 65535;     // the default currency
constexpr unsigned short DEVISE_INEXISTANTE = 65534;
constexpr DWORD TAUX_INEXISTANT = 4294967294u;       // -2: no such currency
constexpr DWORD TAUX_EURO = 1000000;
constexpr int LONGUEUR_NOM_DEVISE = 7;

class CTauxDeChange {
public:
  // Changes a currency's rate and name (cut to 7 characters); false for a
  // number past the count.
  bool bChange(unsigned short wDevise, unsigned dwTaux, const char* pszNom);
  unsigned short wGetNombreDeDevise() const { return m_wNombre; }
  // True for the default currency and for numbers below the count.
  bool bDeviseEstValide(unsigned short wDevise) const;
  // The rate of a currency (65535: the display default when bAffichage,
  // else the memory default); TAUX_INEXISTANT when there is none.
  DWORD dwGetTaux(unsigned short wDevise, int bAffichage) const;
  // The number of a currency named so (case ignored); DEVISE_INEXISTANTE.
  unsigned short wNomVersNumero(const char* pszNom) const;
  // The name ("" for a number past the count).
  const char* pszGetNom(unsigned short wDevise, int bAffichage) const;
  // Empty, or currency 0 at 1 000 000.
  bool bIsValid() const;
  // Frees both arrays when the table owns them.
  void Term();

  // The currency a number stands for (defaults resolved).
  unsigned short wResout(unsigned short wDevise, int bAffichage) const {
    return wDevise == DEVISE_DEFAUT ? (bAffichage ? m_wAffichageDefaut : m_wMemoireDefaut) : wDevise;
  }

  DWORD* m_pdwTaux;
  char (*m_pszNoms)[8];
  unsigned short m_wNombre;
  unsigned short m_wAffichageDefaut;
  unsigned short m_wMemoireDefaut;
  bool m_bProprietaire;  // the arrays come from malloc and are freed by Term
};
