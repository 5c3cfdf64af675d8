// Message resources and languages: numbered texts embedded in the library
// (or given by an external loader), their formatting with printf inserts
// (positional, "%1$u"), message files read by number, and the tables that
// map character sets, code pages and languages.
#pragma once

#include <cstdarg>

#include "abi/TypesBase.h"

class CTString;

// Number of entries of the embedded block, markers included.
constexpr int NB_RESSOURCES = 366;

// External loader (language module): same form as DLLRES_nLoadString.
extern "C" {
using PFLOADSTRINGKVM = int (*)(unsigned nId, char* pszBuffer, int nTaille);
}

BOOL DLLRES_bInit(HINSTANCE hInstance, int nReserve);
void DLLRES_Term();
// True while the embedded block is in use.
BOOL DLLRES_bUtiliseDLLRes();

// Text of message `nId` into `pszBuffer` of `nTaille` bytes (terminated):
// its length; nTaille - 1 when it had to be cut; 0 when absent.
int DLLRES_nLoadString(unsigned nId, char* pszBuffer, int nTaille);
// The same into a growable string; false when absent.
BOOL DLLRES_bLoadString(unsigned nId, CTString* pclTexte);

// Message `nId` with its inserts: the char** forms give a malloc'ed text
// (the caller frees it) and return its length (0, null text, on failure);
// the CTString forms append and return false on failure.
int DLLRES_nFormatMessage(unsigned nId, char** ppszSortie, ...);
int DLLRES_nFormatMessageList(unsigned nId, char** ppszSortie, va_list args);
BOOL DLLRES_bFormatMessage(unsigned nId, CTString* pclSortie, ...);
BOOL DLLRES_bFormatMessageList(unsigned nId, CTString* pclSortie, va_list args);
// A given format with its inserts (same results).
DWORD DLLRES_dwFormatMessage(const char* pszFormat, char** ppszSortie, va_list args);
DWORD DLLRES_dwFormatMessage(const char* pszFormat, CTString* pclSortie, va_list args);

// FormatMessageA flags understood here.
enum : DWORD {
  FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100,  // pBuffer is a char** receiving a malloc'ed text
  FORMAT_MESSAGE_FROM_STRING = 0x400,      // pSource is the format
  FORMAT_MESSAGE_FROM_SYSTEM = 0x1000,     // the format is strerror(errno)
};
// Expands a printf format (positional inserts allowed; the Windows form
// "%1!u!" is read as "%1$u"). With ALLOCATE_BUFFER the text is allocated,
// at least nTaille bytes; otherwise written into the nTaille-byte buffer.
// Returns the length written; 0 (and a null text) on failure.
DWORD FormatMessageA(DWORD dwFlags, const void* pSource, DWORD dwIdMessage, DWORD dwIdLangue, char* pBuffer,
                     DWORD nTaille, va_list* pArgs);

// Second language: selects the English names and messages.
void DLLRES_SetLangue(int bLangue2);
BOOL DLLRES_bLangue2();
void DLLRES_SetFichierKVM(const char* pszFichier);
HINSTANCE ghGetRessourceHandle();
// The external loader asked first (null: the embedded block only).
void DLLRES_SetLoader(PFLOADSTRINGKVM pfn);

// Reads message `nMessage` of component `nComposante` from a message file
// into `pszBuffer` (`nTaille` bytes, last byte set to 0); false when the
// header, the component or the message is missing or a read fails.
BOOL bRM_LoadMess(unsigned nComposante, const char* pszFichier, unsigned nMessage, char* pszBuffer, unsigned nTaille);
