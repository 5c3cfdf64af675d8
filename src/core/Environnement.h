// The process environment as the library reads and changes it. The C
// library's getenv, setenv and unsetenv are not safe against each other
// across threads (setenv may move the array a reader walks), so every read,
// change and copy made by the library goes through one lock.
#pragma once

#include <ctime>
#include <mutex>
#include <string>
#include <vector>

// The variable's value; false when it is not set.
bool ENV_bLit(const char* pszNom, std::string* psValeur);
// The variable's value, or `pszDefaut` when it is unset or empty.
std::string ENV_sLit(const char* pszNom, const char* pszDefaut);
// setenv (replacing) and unsetenv: 0, or -1 with errno.
int ENV_nEcrit(const char* pszNom, const char* pszValeur);
int ENV_nEfface(const char* pszNom);

// The environment as it stands now: its "NAME=value" strings.
std::vector<std::string> ENV_vCopie();
// A copy in the form execve takes (pointers into `vTextes`, ending in null).
std::vector<char*> ENV_vPointeurs(std::vector<std::string>& vTextes);

// Held while something outside the library reads `environ` itself (a
// program started with posix_spawnp reads PATH and the environment).
std::unique_lock<std::mutex> ENV_Verrou();

// mktime and localtime_r under the same lock: the C library reads TZ from
// the environment there (mktime at every call, through tzset), with a
// getenv of its own that a change made meanwhile by another thread could
// pull from under it.
time_t ENV_tMkTime(struct tm* pst);
struct tm* ENV_pstLocalTime(const time_t* pt, struct tm* pst);
