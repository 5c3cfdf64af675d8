// CProxyDll: loads a sibling library of the runtime, starts it and binds
// its proxy entries.
#pragma once

#include "abi/TypesBase.h"

class CXError;

constexpr int TAILLE_CHEMIN = 260;

class CProxyDll {
public:
  CProxyDll() = default;
  ~CProxyDll() { Unload(); }
  CProxyDll(const CProxyDll&) = delete;
  CProxyDll& operator=(const CProxyDll&) = delete;

  // Loads `pszNom`: from `pszRepertoire` when given (its failure ends the
  // attempt), else from the libraries' directory, then the current one.
  // Each failed attempt records a loading error (80003) in `pclErreur`. On
  // success the path used goes to `pszChemin` (TAILLE_CHEMIN bytes, may be
  // null), bInitLibrary is called and the entries are bound.
  bool bLoad(const char* pszNom, CXError* pclErreur, const char* pszRepertoire, char* pszChemin);
  // TermLibrary, then unload.
  void Unload();
  bool bEstCharge() const { return m_hModule != nullptr; }

  // The library's start and end commands (true when it has no Execution).
  bool bInitDLLExecution();
  void TermDLLExecution();

  void* pfnQueryProxy() const { return m_pfnQueryProxy; }
  void* pfnQueryProxyEx() const { return m_pfnQueryProxyEx; }
  void* pfnDeclareProxy() const { return m_pfnDeclareProxy; }
  void* pfnCommandeComposante() const { return m_pfnCommandeComposante; }
  void* hGetModule() const { return m_hModule; }

  // Directory of the runtime's libraries: leading spaces skipped, at most
  // 259 characters, one trailing newline dropped, "/" appended.
  static void SetCheminLib(const char* pszChemin);
  static const char* pszGetCheminLib() { return ms_szCheminLib; }
  // directory2/name when that file exists (true), else directory1/name
  // (whether it exists); with neither directory, the name and false.
  static bool s_bConstruitCheminDLL(char* pszSortie, const char* pszNom, const char* pszRepertoire1,
                                    const char* pszRepertoire2);

private:
  bool _bEssaie(const char* pszChemin, CXError* pclErreur);

  void* m_hModule = nullptr;
  void* m_pfnQueryProxy = nullptr;
  void* m_pfnQueryProxyEx = nullptr;
  void* m_pfnDeclareProxy = nullptr;
  void* m_pfnCommandeComposante = nullptr;

  static char ms_szCheminLib[TAILLE_CHEMIN];
};
