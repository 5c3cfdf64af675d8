// Message resources and languages: module state and the second-language
// flag that selects the English names.
#pragma once

#include "frame/TypesBase.h"

BOOL DLLRES_bInit(HINSTANCE hInstance, int nReserve);
void DLLRES_Term();
BOOL DLLRES_bUtiliseDLLRes();
void DLLRES_SetLangue(int bLangue2);
BOOL DLLRES_bLangue2();
void DLLRES_SetFichierKVM(const char* pszFichier);
