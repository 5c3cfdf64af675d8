// CComposanteStandard: the component object. Every language function is one
// of its methods; it starts and stops the function modules and holds the
// variables the VM reaches by address.
#pragma once

#include <functional>
#include <memory>

#include "core/Any.h"
#include "core/VXDSTR.h"
#include "dates/DateHeure.h"
#include "memlists/MemStock.h"
#include "numbers/Monetaire.h"
#include "frame/VXLibrary.h"

class CDiskFile;
class CFichierPris;
struct _stINFOFIC;
struct _stXFINDDATA;

class CTauxDeChange;
class CService;
class CServiceManager;

// Euro context: loaded flag, the exchange-rate table once loaded, and the
// runtime object library's module that supplies it.
struct _stCTXEURO {
  DWORD bCharge;
  CTauxDeChange* pclTauxDeChange;
  HMODULE hModuleObjets;
};

// Numbers of the variables that have storage here.
enum : int {
  VAR_SERVICE_DESCRIPTION = 39,
  VAR_SERVICE_DEMARRAGE = 40,
  VAR_SERVICE_ERREURDEMARRAGE = 41,
  VAR_SERVICE_LIGNECOMMANDE = 42,
  VAR_SERVICE_UTILISATEUR = 43,
  VAR_SERVICE_MOTDEPASSE = 44,
  VAR_SERVICE_TYPE = 45,
};

class CComposanteStandard : public CVXLibrary {
public:
  CComposanteStandard();
  ~CComposanteStandard() override;

  void* pQueryProxy(int nNumero) override;
  BOOL bFinInit() override;
  void TermCompo() override;
  // Variables 39 to 45: the address of their field; others null.
  void* pGetVariableAdresse(int nNumero) override;
  void EcritVariable(int, int) override {}

  _stCTXEURO* pstGetCtxEuro() { return &m_stCtxEuro; }
  bool bModulesDemarres() const { return m_bInit; }
  // Number of started components (the shared modules run while it is positive).
  static int s_nNbComposanteDemarree() { return m_snStaticCountInit; }
  static bool s_bModulesPartagesDemarres() { return m_sbStaticInit; }

  // Window that owns dialogs of the calling object (0 when there is none).
  HWND _hGetOwnerWnd();
  // True when the user asked the VM to interrupt.
  static bool bVerifieInteruptionUtilisateur(IVM* piVM, int nReserve, CXError* pclErreur);

  // The language functions, declared by each subsystem next to its code.
#include "dates/Methodes.inc"
#include "memlists/Methodes.inc"
#include "misc/Methodes.inc"
#include "compression/Methodes.inc"
#include "crypto/Methodes.inc"
#include "numbers/Methodes.inc"
#include "system/Methodes.inc"
#include "files/Methodes.inc"

  // Redirected obsolete functions reach the VM through this (see Entree.h).
  void SetNiveauRedirection();

  // Variables of the services (39 to 45).
  CVXDSTR m_clServiceDescription;
  int m_nServiceDemarrage = 0;
  int m_nServiceErreurDemarrage = 0;
  CVXDSTR m_clServiceLigneCommande;
  CVXDSTR m_clServiceUtilisateur;
  CVXDSTR m_clServiceMotDePasse;
  int m_nServiceType = 0;

private:
  void _RAZVariablesService();

  _stCTXEURO m_stCtxEuro{};
  bool m_bInit = false;
  // What belongs to this component alone: the search fRep continues and its
  // view of the memory lists (current and default list, last element read).
  _stXFINDDATA* m_pstRecherche = nullptr;
  stCTXMEMCOMPO m_CtxMemVue;

  // Started and stopped under one lock, as components of several threads may
  // start and stop at once.
  static int m_snStaticCountInit;   // started components
  static bool m_sbStaticInit;       // shared modules started
  static stCTXMEM m_CtxMem;         // memory lists, shared by the components
};
