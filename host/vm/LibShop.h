// The stand-in library manager: start check, module handles and paths of
// the libraries the component asks for.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "abi/InterfacesVM.h"

namespace kvhost {

class LibShop final : public ILibShop {
public:
  // `libraryPath`: the component's own file, answered for library 8.
  explicit LibShop(std::string libraryPath);
  LibShop(const LibShop&) = delete;
  LibShop& operator=(const LibShop&) = delete;
  ~LibShop() = default;

  // The answer of the start check (true unless a test wants a refusal).
  void setStartAllowed(bool allowed) { startAllowed_ = allowed; }
  // Every start check asked, as "library:version:compat:name" (components
  // of several threads may start at once).
  std::vector<std::string> checks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return checks_;
  }

  void* piGetInterface(int nGenre, int nLibrairie, const char* pszNom, CXError* pclErreur) override;
  BOOL bVerifie(IVXLibrary* piDemandeur, int nLibrairie, int nVersion, int nCompat, const char* pszNom,
                CXError* pclErreur) override;
  HMODULE hGetModule(int nLibrairie, CXError* pclErreur) override;
  BOOL bGetCheminLibrairie(int nLibrairie, char* pszChemin, unsigned nTaille) override;

private:
  std::string libraryPath_;
  bool startAllowed_ = true;
  mutable std::mutex mutex_;
  std::vector<std::string> checks_;
  void* self_ = nullptr;  // the host program's own module
};

}  // namespace kvhost
