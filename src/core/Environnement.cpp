// Reads, changes and copies of the environment, one at a time.
#include "core/Environnement.h"

#include <cstdlib>

extern char** environ;

namespace {

std::mutex& MutexEnvironnement() {
  static std::mutex m;
  return m;
}

}  // namespace

std::unique_lock<std::mutex> ENV_Verrou() { return std::unique_lock<std::mutex>(MutexEnvironnement()); }

bool ENV_bLit(const char* pszNom, std::string* psValeur) {
  auto verrou = ENV_Verrou();
  const char* p = std::getenv(pszNom);
  if (p == nullptr) return false;
  *psValeur = p;
  return true;
}

std::string ENV_sLit(const char* pszNom, const char* pszDefaut) {
  std::string s;
  return ENV_bLit(pszNom, &s) && !s.empty() ? s : std::string(pszDefaut);
}

int ENV_nEcrit(const char* pszNom, const char* pszValeur) {
  auto verrou = ENV_Verrou();
  return setenv(pszNom, pszValeur, 1);
}

int ENV_nEfface(const char* pszNom) {
  auto verrou = ENV_Verrou();
  return unsetenv(pszNom);
}

std::vector<std::string> ENV_vCopie() {
  auto verrou = ENV_Verrou();
  std::vector<std::string> v;
  for (char** p = environ; p != nullptr && *p != nullptr; ++p) v.emplace_back(*p);
  return v;
}

std::vector<char*> ENV_vPointeurs(std::vector<std::string>& vTextes) {
  std::vector<char*> v;
  v.reserve(vTextes.size() + 1);
  for (auto& s : vTextes) v.push_back(s.data());
  v.push_back(nullptr);
  return v;
}

time_t ENV_tMkTime(struct tm* pst) {
  auto verrou = ENV_Verrou();
  return mktime(pst);
}

struct tm* ENV_pstLocalTime(const time_t* pt, struct tm* pst) {
  auto verrou = ENV_Verrou();
  return localtime_r(pt, pst);
}
