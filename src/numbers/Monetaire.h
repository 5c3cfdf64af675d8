// The currency type: CMoney, a signed 80-bit two's-complement count of
// millionths in five little-endian 16-bit words (the value is the integer
// divided by 1 000 000), with its text forms, exact arithmetic, rounding and
// comparison; CMonetaireConvertible, a CMoney that can be marked invalid;
// and the conversions between a currency and the euro at a rate.
//
// Functions returning a pointer return their first argument, or null on
// overflow or bad input (the operand may then be partly computed).
#pragma once

#include "abi/TypesBase.h"

struct CMoney {
  WORD m_aw[5];  // least significant first; bit 15 of m_aw[4] is the sign
};
static_assert(sizeof(CMoney) == 10);

// One million millionths (the value 1) and the zero amount.
extern const CMoney gstMillion;
extern const CMoney gclMoneyNULL;
// The most negative 80-bit value, which marks an invalid amount.
extern const CMoney gstInvalide;

// Integers to currency: n × 1 000 000 millionths.
CMoney* pstLongVersMonetaire(CMoney* pst, LONG n);
CMoney* pstTresLongVersMonetaire(CMoney* pst, long long n);
CMoney* pstTresLongSansSigneVersMonetaire(CMoney* pst, unsigned long long n);
// A double through its "%.6f" text; the text form read back with strtod.
CMoney* pstDoubleVersMonetaire(CMoney* pst, double d);
double dMonetaireVersDouble(const CMoney* pst);

// Text: leading spaces, an optional sign, digits, "." and at most 6
// decimals (more are ignored, not rounded); the first other character ends
// the number. Null on overflow. The wide twin reads 16-bit units.
CMoney* pstChaineVersMonetaire(CMoney* pst, const char* psz);
CMoney* pstChaineVersMonetaire(CMoney* pst, const WORD* pwsz);
// The shortest decimal form ("1.5", "2", "0", "-0.000001") into psz, which
// must hold 32 characters; returns psz.
char* pszMonetaireVersChaineC(char* psz, const CMoney* pst);
// The raw 80-bit integer in hexadecimal (20 digits at most) or octal (27 at
// most), without leading zeros; returns psz. Reading the hexadecimal form
// back takes 1 to 20 hexadecimal digits, nothing else.
char* pszMonetaireVersChaineHexa(char* psz, const CMoney* pst);
char* pszMonetaireVersChaineOctale(char* psz, const CMoney* pst);
CMoney* pstChaineHexaVersMonetaire(CMoney* pst, const char* psz);

// Arithmetic: the result replaces a. Multiplication and division truncate
// to 6 decimals; a zero divisor fails.
CMoney* pstAddMonetaire(CMoney* a, const CMoney* b);
CMoney* pstSubMonetaire(CMoney* a, const CMoney* b);
CMoney* pstMulMonetaire(CMoney* a, const CMoney* b);
CMoney* pstDivMonetaire(CMoney* a, const CMoney* b);
void NegMonetaire(CMoney* pst);
CMoney* pstAbsMonetaire(CMoney* pst);
CMoney* pstEntMonetaire(CMoney* pst);  // integer part, toward zero
CMoney* pstDecMonetaire(CMoney* pst);  // decimal part, with the value's sign
// Rounded to d decimals (0 to 5), halves away from zero; other d: unchanged.
CMoney* pstArrMonetaire(CMoney* pst, short d);
bool bIncrementeMonetaire(CMoney* pst);  // + 1
bool bDecrementeMonetaire(CMoney* pst);  // - 1
bool bMul10Monetaire(CMoney* pst);

// The integer part (toward zero); the b forms report whether it fits.
LONG lMonetaireVersLong(const CMoney* pst);
bool bMonetaireVersLong(const CMoney* pst, LONG* pn);
long long lMonetaireVersTresLong(const CMoney* pst);
bool bMonetaireVersTresLong(const CMoney* pst, long long* pn);
bool bMonetaireVersTresLongSansSigne(const CMoney* pst, unsigned long long* pn);

// -1, 0 or 1; a null first operand compares greater, a null second smaller.
int nCmpMonetaire(const CMoney* a, const CMoney* b);
int nCmpMonetaireEtLong(const CMoney* a, LONG n);
// Ten bytes that sort as the amounts do when compared as unsigned bytes.
void MonetaireVersCleIndex(void* pCle, const CMoney* pst);

// Conversions at a rate given in millionths of a unit per euro.
bool bVersEuro_MONETAIRE(const CMoney& clMontant, CMoney* pclResultat, unsigned dwTaux);
bool bVersDevise_MONETAIRE(const CMoney& clMontant, CMoney* pclResultat, unsigned dwTaux);
bool bChangeDevise_MONETAIRE(const CMoney& clMontant, CMoney* pclResultat, unsigned dwTauxDe, unsigned dwTauxVers);

// An amount that starts invalid and becomes invalid when a conversion, a
// parse or a subtraction fails.
class CMonetaireConvertible : public CMoney {
public:
  CMonetaireConvertible() : CMoney(gstInvalide) {}
  explicit CMonetaireConvertible(const CMoney& cl) : CMoney(cl) {}
  bool bEstInvalide() const;
  // The decimal text (false, nothing written, for an invalid amount).
  bool bVersChaine(char* psz) const;
  bool bDepuisChaine(const char* psz);
  // A copy converted from the first rate to the second (invalid on failure).
  CMonetaireConvertible Converti(unsigned dwTauxDe, unsigned dwTauxVers) const;
  void Soustrait(const CMonetaireConvertible* pcl);
};
