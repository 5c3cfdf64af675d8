// The stand-in library manager.
#include "LibShop.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "PageLibrary.h"
#include "core/XError.h"

namespace kvhost {

namespace {

constexpr int kRuntimeObjects = 0;  // served by the host program itself
constexpr int kComponent = 8;
constexpr int kPageLibrary = 31;
constexpr int kInterfaceKind = 19;

}  // namespace

LibShop::LibShop(std::string libraryPath) : libraryPath_(std::move(libraryPath)) {
  self_ = dlopen(nullptr, RTLD_NOW);
}

void* LibShop::piGetInterface(int nGenre, int nLibrairie, const char* pszNom, CXError* pclErreur) {
  // The page library's gate is the only sibling interface of the stand-in.
  if (nGenre == kInterfaceKind && nLibrairie == kPageLibrary && pszNom != nullptr && std::strcmp(pszNom, "PageGate") == 0)
    return static_cast<IPageGate*>(&pageLibrary());
  if (pclErreur != nullptr) pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
  return nullptr;
}

BOOL LibShop::bVerifie(IVXLibrary*, int nLibrairie, int nVersion, int nCompat, const char* pszNom, CXError*) {
  std::lock_guard<std::mutex> lock(mutex_);
  checks_.push_back(std::to_string(nLibrairie) + ":" + std::to_string(nVersion) + ":" + std::to_string(nCompat) + ":" +
                    (pszNom != nullptr ? pszNom : ""));
  return startAllowed_;
}

HMODULE LibShop::hGetModule(int nLibrairie, CXError* pclErreur) {
  if (nLibrairie == kRuntimeObjects || nLibrairie == kPageLibrary) return self_;
  if (pclErreur != nullptr) pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
  return nullptr;
}

BOOL LibShop::bGetCheminLibrairie(int nLibrairie, char* pszChemin, unsigned nTaille) {
  if (pszChemin == nullptr || nTaille == 0) return 0;
  std::string path;
  if (nLibrairie == kComponent) {
    path = libraryPath_;
  } else if (nLibrairie == kRuntimeObjects) {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return 0;
    path.assign(exe, static_cast<std::size_t>(n));
  } else {
    return 0;
  }
  if (path.size() >= nTaille) return 0;
  std::memcpy(pszChemin, path.c_str(), path.size() + 1);
  return 1;
}

}  // namespace kvhost
