// Programs and system information over the C library and /proc: starting a
// program (CreateProcess, WaitPid), the executable's path and kind, the
// memory status, the system's name.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "abi/TypesBase.h"

// Starts `pszProgramme` (not searched in the PATH) with the words of
// `pszArguments` (double quotes group words and are removed). Waits up to
// 1,000 ms: true when the child still runs (*pbEnCours) or ended with a
// code other than 255 (*pnCode). false with errno on failure.
bool CreateProcess(const char* pszProgramme, const char* pszArguments, pid_t* ppid, bool* pbEnCours, int* pnCode);
// Waits for a child without limit; its exit code (high byte of the status).
bool WaitPid(pid_t pid, int* pnCode);
// Children of the library that ran on when their launch returned. A child
// that ends while a waiting launch holds SIGCHLD stays a zombie (the
// library's reaper is not installed then): the launch reaps the library's
// own finished children when it gives SIGCHLD back. Each is followed through
// a pidfd, so that a recycled process identifier is never waited for.
void PROCESSUS_InscritEnfant(pid_t pid);
void PROCESSUS_RecolteEnfants();
// Splits an argument text into words (quotes group and are removed).
std::vector<std::string> DecoupeArguments(const char* pszArguments);

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
