// Numeric display masks ("999 999.99", "+9.99;(9.99);[Rouge]0", "DiskSize",
// "MoneySystemMask"): a mask of digit positions and separators, in up to
// four ";"-separated parts (positive, negative, zero, not a number), each
// with an optional colour in brackets, formats a value given as plain
// decimal text and reads a typed text back.
//
// Mask syntax: "0" a compulsory digit, "9" an optional one; the last "." or
// "," followed by digit positions is the decimal separator, a space and the
// other of "." and "," are thousands separators; "-", "+", "(" and ")" show
// the sign; "$" the currency symbol, "%" a percentage (the value × 100); a
// backslash makes the next character literal; anything else is copied.
#pragma once

#include <string>
#include <vector>

#include "core/TString.h"
#include "dates/MasqueDateHeure.h"

// The process-wide display separators, read once from the locale.
char cSeparateurMillierProcessus();
char cSeparateurDecimalProcessus();

constexpr DWORD COULEUR_AUCUNE = 0xFFFFFFFFu;  // a part without colour

class CMasqueNumerique : public CMasque {
public:
  explicit CMasqueNumerique(const char* pszMasque);

  // The value (plain decimal text, "." as its point, "-" for negatives)
  // formatted with the part that applies; in edit mode the literal
  // characters and the leading zeros are left out. "###" when the value has
  // more integer digits than the mask has positions.
  void MetAuFormat(const char* pszValeur, CTString* pclSortie, bool bEdition = false);
  // A typed text back to plain decimal text ("-1234.5").
  void DeformateNum(const char* pszTexte, CTString* pclSortie);
  // The colour of the part that applies to the value (COULEUR_AUCUNE without one).
  DWORD dwGetCouleurPourValeur(const char* pszValeur);

  bool bEstMasqueTailleDisque() const;
  // A size in a unit (0 automatic, 1 to 5 bytes to terabytes); any other
  // unit leaves the output untouched.
  void MetAuFormatTailleDisque(double dTaille, CTString* pclSortie, int nUnite);

  int nDecimalesMasque();
  bool bNegatifAccepte();
  bool bEstMasquePourcentage();
  // 9 (64-bit integer), 8 (integer) or 12 (real): the type the mask calls for.
  WORD wGetTypeFromMasque();

  char cGetSeparateurMillier() const { return m_cMillier; }
  char cGetSeparateurDecimal() const { return m_cDecimal; }
  void SetSeparateurs(char cMillier, char cDecimal) {
    m_cMillier = cMillier;
    m_cDecimal = cDecimal;
  }

private:
  struct STPartie {
    std::string sTexte;  // without its colour group
    DWORD dwCouleur = COULEUR_AUCUNE;
  };
  // The parts (resolving a system mask first); the fourth is always there.
  const std::vector<STPartie>& _vParties();
  // Index of the part for a value: 0 positive, 1 negative, 2 zero, 3 not a number.
  std::size_t _nPartie(const char* pszValeur);

  CTString m_clMasque;
  char m_cMillier = ' ';
  char m_cDecimal = ',';
  CTString m_clSuffixe;
  int m_bSysteme = 0;
  int m_bMonnaie = 0;
  int m_nChiffres = -1;

  std::vector<STPartie> m_vParties;
  bool m_bAnalyse = false;
  int m_nPartiesDonnees = 0;  // parts written in the mask
};
