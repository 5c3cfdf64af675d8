// The VM's conversion routines, exported by name from programs built on the
// stand-in VM (see Conversions.cpp for the statuses).
#pragma once

#include "abi/TypesBase.h"

extern "C" {
int nConversionDepassement(void* pValeur, WORD wType, void* pTampon, WORD wCible);
int nConversionDepassementEx(void* pValeur, WORD wType, void* pTampon, WORD wCible, int nOption);
void FinConversion(void* pTampon, WORD wCible);
}


namespace kvhost {
struct Plain;

// The readers and writers of the conversion routines, one per kind of
// storage, named by the type table's rows.
namespace conv {
bool readBoolean(const void* storage, WORD code, Plain* v);
template <class T>
bool readInteger(const void* storage, WORD code, Plain* v);
template <class T>
bool readReal(const void* storage, WORD code, Plain* v);
bool readCurrencyValue(const void* storage, WORD code, Plain* v);
bool readDuration(const void* storage, WORD code, Plain* v);
bool readDate(const void* storage, WORD code, Plain* v);
bool readTime(const void* storage, WORD code, Plain* v);
bool readDateTime(const void* storage, WORD code, Plain* v);
bool readBlock(const void* storage, WORD code, Plain* v);
bool readWideBlock(const void* storage, WORD code, Plain* v);
bool readText(const void* storage, WORD code, Plain* v);

int writeBoolean(const Plain& v, WORD code, void* out);
template <class T>
int writeInteger(const Plain& v, WORD code, void* out);
template <class T>
int writeReal(const Plain& v, WORD code, void* out);
int writeCurrencyValue(const Plain& v, WORD code, void* out);
int writeDuration(const Plain& v, WORD code, void* out);
int writeDate(const Plain& v, WORD code, void* out);
int writeTime(const Plain& v, WORD code, void* out);
int writeDateTime(const Plain& v, WORD code, void* out);
int writeBlock(const Plain& v, WORD code, void* out);
int writeText(const Plain& v, WORD code, void* out);
int writeWideText(const Plain& v, WORD code, void* out);
}  // namespace conv
}  // namespace kvhost
