// The VM's conversion routines, exported by name from programs built on the
// stand-in VM (see Conversions.cpp for the statuses).
#pragma once

#include "abi/TypesBase.h"

extern "C" {
int nConversionDepassement(void* pValeur, WORD wType, void* pTampon, WORD wCible);
int nConversionDepassementEx(void* pValeur, WORD wType, void* pTampon, WORD wCible, int nOption);
void FinConversion(void* pTampon, WORD wCible);
}
