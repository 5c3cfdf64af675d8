// System information over the C library and /proc: the executable's path
// and kind, the memory status, the system's name. (Starting programs:
// Lancement.h.)
#pragma once

#include <string>

#include "abi/TypesBase.h"

// The running program's path (/proc/self/exe, else /proc/self/maps).
std::string GetModuleFileName();
// Kind of an executable: -2 not one, -1 cannot open, 0 DOS, 1 16-bit,
// 2 32-bit, 3 other, 4 64-bit.
int EXE_nGetTypeEXE(const char* pszFichier);

struct MEMORYSTATUS {
  DWORD dwLength;
  DWORD dwMemoryLoad;
  DWORD dwTotalPhys;
  DWORD dwAvailPhys;
  DWORD dwTotalPageFile;
  DWORD dwAvailPageFile;
};
// Refreshed at most once per second; sizes saturate at 0xFFFFFFFF.
void GlobalMemoryStatus(MEMORYSTATUS* pst);
// The same in 64 bits (bytes), for callers that need the true sizes.
void GlobalMemoryStatus64(unsigned long long* pllTotal, unsigned long long* pllDisponible);

// The system's name from uname, in upper case ("LINUX").
std::string sNomSysteme();
