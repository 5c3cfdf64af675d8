// Loading sibling libraries.
#include "frame/ProxyDll.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/XError.h"
#include "frame/Execution.h"
#include "gen/Erreurs.h"

char CProxyDll::ms_szCheminLib[TAILLE_CHEMIN] = {};

namespace {

// Records a loading failure: user error 80003 with the path, the loader's
// text as system message; added as a sub-error when an error is already held.
void ErreurChargement(CXError* pclErreur, const std::string& chemin, const char* pszRaison) {
  if (pclErreur == nullptr) return;
  CXError clNouvelle;
  clNouvelle.SetUserError(ERR_CHARGEMENT_LIBRAIRIE, chemin.c_str());
  clNouvelle.SetSystemErrorMessage("%s", pszRaison != nullptr ? pszRaison : "");
  clNouvelle.AddDebugMessage("DLL qui provoque le chargement : %1$s", "KVSTD");
  if (pclErreur->bIsError()) {
    pclErreur->AddSubError(&clNouvelle);
  } else {
    pclErreur->LightCopy(&clNouvelle);
  }
}

std::string sRepertoireProgramme() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "./";
  std::string s(exe, static_cast<std::size_t>(n));
  return s.substr(0, s.rfind('/') + 1);
}

bool bExiste(const std::string& chemin) {
  struct stat st {};
  return stat(chemin.c_str(), &st) == 0;
}

}  // namespace

bool CProxyDll::_bEssaie(const char* pszChemin, CXError* pclErreur) {
  m_hModule = dlopen(pszChemin, RTLD_NOW);
  if (m_hModule == nullptr) ErreurChargement(pclErreur, pszChemin, dlerror());
  return m_hModule != nullptr;
}

bool CProxyDll::bLoad(const char* pszNom, CXError* pclErreur, const char* pszRepertoire, char* pszChemin) {
  if (pszNom == nullptr) return false;
  Unload();
  std::string chemin;
  if (pszRepertoire != nullptr && *pszRepertoire != '\0') {
    chemin = std::string(pszRepertoire) + "/" + pszNom;
    if (!_bEssaie(chemin.c_str(), pclErreur)) return false;
  } else {
    chemin = (ms_szCheminLib[0] != '\0' ? std::string(ms_szCheminLib) : sRepertoireProgramme()) + pszNom;
    if (!_bEssaie(chemin.c_str(), pclErreur)) {
      char szCourant[PATH_MAX];
      chemin = std::string(getcwd(szCourant, sizeof szCourant) != nullptr ? szCourant : ".") + "/" + pszNom;
      if (!_bEssaie(chemin.c_str(), pclErreur)) return false;
    }
  }
  if (pszChemin != nullptr) std::snprintf(pszChemin, TAILLE_CHEMIN, "%s", chemin.c_str());
  using PFINIT = BOOL (*)(HINSTANCE);
  auto pfnInit = reinterpret_cast<PFINIT>(dlsym(m_hModule, "bInitLibrary"));
  if (pfnInit == nullptr || !pfnInit(m_hModule)) {
    ErreurChargement(pclErreur, chemin, pfnInit == nullptr ? "bInitLibrary" : "bInitLibrary = false");
    dlclose(m_hModule);
    m_hModule = nullptr;
    return false;
  }
  m_pfnQueryProxy = dlsym(m_hModule, "pQueryProxy");
  m_pfnQueryProxyEx = dlsym(m_hModule, "pQueryProxyEx");
  m_pfnDeclareProxy = dlsym(m_hModule, "DeclareProxy");
  m_pfnCommandeComposante = dlsym(m_hModule, "CommandeComposante");
  return true;
}

void CProxyDll::Unload() {
  if (m_hModule == nullptr) return;
  using PFTERM = void (*)();
  if (auto pfnTerm = reinterpret_cast<PFTERM>(dlsym(m_hModule, "TermLibrary"))) pfnTerm();
  dlclose(m_hModule);
  m_hModule = nullptr;
  m_pfnQueryProxy = m_pfnQueryProxyEx = m_pfnDeclareProxy = m_pfnCommandeComposante = nullptr;
}

bool CProxyDll::bInitDLLExecution() {
  if (m_hModule == nullptr) return false;
  auto pfn = reinterpret_cast<PFEXECUTION>(dlsym(m_hModule, "Execution"));
  if (pfn == nullptr) return true;
  STExecutionInit st{sizeof(STExecutionInit), nullptr, {4, 0}};
  return pfn(EXEC_INIT, &st) != 0;
}

void CProxyDll::TermDLLExecution() {
  if (m_hModule == nullptr) return;
  if (auto pfn = reinterpret_cast<PFEXECUTION>(dlsym(m_hModule, "Execution"))) pfn(EXEC_FIN, nullptr);
}

void CProxyDll::SetCheminLib(const char* pszChemin) {
  if (pszChemin == nullptr) pszChemin = "";
  while (*pszChemin == ' ') ++pszChemin;
  std::size_t n = strnlen(pszChemin, TAILLE_CHEMIN - 1);
  std::memcpy(ms_szCheminLib, pszChemin, n);
  ms_szCheminLib[n] = '\0';
  if (n > 0 && ms_szCheminLib[n - 1] == '\n') ms_szCheminLib[--n] = '\0';
  // The "/" goes in only when it fits with the terminator.
  if ((n == 0 || ms_szCheminLib[n - 1] != '/') && n + 1 < TAILLE_CHEMIN) {
    ms_szCheminLib[n] = '/';
    ms_szCheminLib[n + 1] = '\0';
  }
}

bool CProxyDll::s_bConstruitCheminDLL(char* pszSortie, const char* pszNom, const char* pszRepertoire1,
                                      const char* pszRepertoire2) {
  if (pszSortie == nullptr || pszNom == nullptr) return false;
  if (pszRepertoire2 != nullptr) {
    std::snprintf(pszSortie, TAILLE_CHEMIN, "%s/%s", pszRepertoire2, pszNom);
    if (bExiste(pszSortie)) return true;
  }
  if (pszRepertoire1 != nullptr) {
    std::snprintf(pszSortie, TAILLE_CHEMIN, "%s/%s", pszRepertoire1, pszNom);
    return bExiste(pszSortie);
  }
  std::snprintf(pszSortie, TAILLE_CHEMIN, "%s", pszNom);
  return false;
}
