// Number formatting: the language's small printf-like formats ("%5.2f",
// "+8.2fS", "12,3f", "x"), the locale's separators, the disk-size display,
// and the digit helpers of the calendar parsing.
#pragma once

#include <string>

#include "abi/TypesBase.h"

// Format information.
struct _stFMTINFO {
  WORD wFlags = 0;
  char cType = 'f';
  int nLargeur = 0;
  int nPrecision = -1;  // -1: absent
};

enum : WORD {
  FMT_GAUCHE = 1,        // "-"
  FMT_ZEROS = 2,         // leading "0" of the width
  FMT_LONG = 4,          // "l" or "L"
  FMT_SIGNE = 8,         // "+"
  FMT_MILLIERS = 16,     // trailing "S"
  FMT_VIRGULE = 32,      // precision introduced by ","
  FMT_64BITS = 64,       // a 64-bit integer or a currency value
  FMT_ENTIER_EXACT = 128,
};

// Reads a format (after an optional "%"); false when it ends on an
// unexpected character.
bool CHAINE_bAnalyseFormat(const char* pszFormat, _stFMTINFO* pst);
// The printf format for the information; returns its length.
int CHAINE_nFmtInfo2Format(char* pszSortie, const _stFMTINFO* pst);
// Inserts thousands separators into a formatted number (keeping the width).
std::string CHAINE_SeparateurMillier(const _stFMTINFO* pst, const std::string& texte, char cMillier, char cDecimal);

// The locale's decimal point and thousands separator (" " when none).
char cVirguleLocale();
char cPointLocale();

// Formats a real (or an exact 64-bit integer when bEntier) with a language
// format: the printed text, or false (error 80270) for an invalid format.
bool bFormateNombre(double dValeur, long long llEntier, bool bEntier, bool b64Bits, const char* pszFormat,
                    std::string* pSortie);

// Disk size with unit names "octets;Ko;Mo;Go;To": unit 0 automatic, 1 to 5
// forced; false for another unit (the output untouched).
bool bFormateTailleDisque(double dTaille, int nUnite, const char* pszNoms, char cDecimal, std::string* pSortie);

bool bCaractereNumerique(char c, bool bMoinsPermis);
bool bChaineNumerique(const char* psz, unsigned n, bool bSignePermis);
bool bChaineVersEntier(const char* psz, int* pn, bool bSignePermis);
