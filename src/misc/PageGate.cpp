// Binding the page library.
#include "misc/PageGate.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/XError.h"

namespace {

constexpr const char* MODULE = "kv140std.so";
constexpr const char* VERSION_MODULE = "14.00Cpe";
constexpr const char* MODULE_PAGE = "kv140page.so";
constexpr const char* VERSION_MINIMALE = "9.00Aa";
constexpr int LIB_PAGE = 31;
constexpr int GENRE_INTERFACE = 19;
constexpr DWORD MSG_PASSERELLE_ANCIENNE = 28567;
constexpr DWORD MSG_MODULE_REFUSE = 28117;

int gnUtilisateurs = 0;
bool gbLie = false;
IPageGate* gpiGate = nullptr;
HMODULE ghModulePage = nullptr;

struct Version {
  LONG nMajeur = 0, nMineur = 0;
  std::string lettres;
};

// A version number as a 32-bit value, clamped the same in both editions.
LONG lNombre(const char* psz, char** ppszFin) {
  const long long n = std::strtoll(psz, ppszFin, 10);
  return static_cast<LONG>(n < INT32_MIN ? INT32_MIN : n > INT32_MAX ? INT32_MAX : n);
}

Version lit(const char* psz) {
  Version v;
  if (psz == nullptr) return v;
  char* fin = nullptr;
  v.nMajeur = lNombre(psz, &fin);
  if (*fin == '.') v.nMineur = lNombre(fin + 1, &fin);
  v.lettres = fin;
  return v;
}

std::string sProgramme() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  return n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

bool bPlusAncien(const char* a, const char* b) {
  Version va = lit(a), vb = lit(b);
  if (va.nMajeur != vb.nMajeur) return va.nMajeur < vb.nMajeur;
  if (va.nMineur != vb.nMineur) return va.nMineur < vb.nMineur;
  return va.lettres < vb.lettres;
}

BOOL PAGE_bInit(ILibShop* piLibShop, CXError* pclErreur) {
  if (gnUtilisateurs++ > 0) return gbLie;
  if (piLibShop == nullptr) return 0;
  gpiGate = static_cast<IPageGate*>(piLibShop->piGetInterface(GENRE_INTERFACE, LIB_PAGE, "PageGate", pclErreur));
  if (gpiGate == nullptr) return 0;
  ghModulePage = piLibShop->hGetModule(LIB_PAGE, pclErreur);
  bool bAccepte = gpiGate->bAccepteModule(MODULE, VERSION_MODULE, pclErreur);
  const char* pszVersionPage = gpiGate->pszGetVersion();
  bool bAncienne = bPlusAncien(pszVersionPage, VERSION_MINIMALE);
  if (bAccepte && !bAncienne) {
    gpiGate->SetLibShop(piLibShop);
    gbLie = true;
    return 1;
  }
  if (pclErreur != nullptr) {
    std::string programme = sProgramme();
    pclErreur->AddUserMessage(bAncienne ? MSG_PASSERELLE_ANCIENNE : MSG_MODULE_REFUSE, MODULE, MODULE_PAGE,
                              VERSION_MODULE, pszVersionPage != nullptr ? pszVersionPage : "", programme.c_str());
    pclErreur->SetErrorLevel(EL_ERREUR_GRAVE);
  }
  gpiGate->Release();
  gpiGate = nullptr;
  return 0;
}

void PAGE_Term() {
  if (gnUtilisateurs == 0 || --gnUtilisateurs > 0) return;
  if (gpiGate != nullptr) gpiGate->Release();
  gpiGate = nullptr;
  ghModulePage = nullptr;
  gbLie = false;
}

IPageGate* PAGE_piGetGate() { return gpiGate; }

HMODULE PAGE_hGetModule() { return ghModulePage; }
