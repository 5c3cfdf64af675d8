// CComposanteStandard: the component object. Every language function is one
// of its methods; it starts and stops the function modules and holds the
// variables the VM reaches by address.
#pragma once

#include <functional>
#include <memory>

#include "core/Any.h"
#include "core/VXDSTR.h"
#include "frame/VXLibrary.h"

// Named by the methods and the modules' state; each subsystem defines its own.
class CDiskFile;
class CFichierPris;
class CService;
class CServiceManager;
class CTauxDeChange;
class CTString;
struct CDateTimeBase;
struct CMoney;
struct _stCTXEURO;
struct _stINFOFIC;
struct _stXFINDDATA;
struct stCTXMEMCOMPO;

class CComposanteStandard : public CVXLibrary {
public:
  CComposanteStandard();
  ~CComposanteStandard() override;

  void* pQueryProxy(int nNumero) override;
  BOOL bFinInit() override;
  void TermCompo() override;
  // Variables 39 to 45: the address of their field; others null.
  void* pGetVariableAdresse(int nNumero) override;
  void EcritVariable(int, std::intptr_t) override {}

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

  // The variables the VM reaches by address, declared by their subsystem.
#include "system/Variables.inc"

private:
  // One function module: started in table order, stopped in reverse. A
  // shared module starts with the first component and stops with the last;
  // the others start and stop with each component.
  struct STModule {
    const char* pszNom;
    bool (*pfnDemarre)(CComposanteStandard* pclCompo);  // null: nothing to start
    void (*pfnArrete)(CComposanteStandard* pclCompo);   // null: nothing to stop
    bool bPartage;
  };
  static const STModule ms_tabModules[];

  bool m_bInit = false;
  // What belongs to this component alone, each in its module's own type: the
  // euro context, the search fRep continues, and its view of the memory
  // lists (current and default list, last element read).
  std::unique_ptr<_stCTXEURO> m_pstCtxEuro;
  _stXFINDDATA* m_pstRecherche = nullptr;
  std::unique_ptr<stCTXMEMCOMPO> m_pstVueMem;

  // Started and stopped under one lock, as components of several threads may
  // start and stop at once.
  static int m_snStaticCountInit;   // started components
  static bool m_sbStaticInit;       // shared modules started
};
