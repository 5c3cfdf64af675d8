// Starting programs: one child per launch, waited for by its own launch
// only (never with a process-wide signal or alarm), and the reaper of the
// children that ran on when their launch returned.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// One launched child. fdPid is its pidfd (-1 where the system has none).
struct STLancement {
  pid_t pid = 0;
  int fdPid = -1;
  bool bEnCours = false;  // still running after the first second
  int nCode = 0;          // exit code when it ended (128 + signal when killed)
};

// Starts `pszProgramme` (not searched in the PATH) with the words of
// `pszArguments` (double quotes group words and are removed) and the
// environment `vEnvironnement` ("NAME=value" strings). Waits up to
// 1,000 ms for this child: true when it still runs (bEnCours, fdPid kept
// open) or ended with a code other than 255 (nCode). false with errno on
// failure.
bool CreateProcess(const char* pszProgramme, const char* pszArguments, const std::vector<std::string>& vEnvironnement,
                   STLancement* pst);
// Waits without limit for this child alone; nCode set. Closes fdPid.
bool WaitPid(STLancement* pst);
// A child that runs on and that nobody waits for: reaped by the library
// when it ends (no zombie). Closes fdPid.
void PROCESSUS_Abandonne(STLancement* pst);

// Reaps the abandoned children that have ended, and only them: a status
// some other waiter expects (another launch's, the program's own children)
// is never taken. Safe in a signal handler; the library's SIGCHLD handler
// calls it.
void PROCESSUS_RecolteAbandonnes();
// The same, and also the children beyond the table (normal context only).
void PROCESSUS_RecolteTout();

// Splits an argument text into words (quotes group and are removed).
std::vector<std::string> DecoupeArguments(const char* pszArguments);
