// The library's side of the start-up exchange: the data read from the VM
// and the execution object that lives between the VM's initialise and end
// commands.
#pragma once

#include "abi/Demarrage.h"
#include "abi/TypesBase.h"

class ILibShop;

// Start-up data read from the VM.
class CInformationDLL {
public:
  static int ms_nCodeProduitExecution;   // sub-code 1
  static int ms_nCodeProduitReel;        // sub-code 5
  static int ms_nLangueInterne;          // sub-code 2
  static const char* ms_pszNomProduit;   // sub-code 3
  static DWORD ms_dwOptions;             // sub-code 4
  static ILibShop* ms_piLibShop;         // sub-code 7
  static void* ms_piGlobalFactory;       // sub-code 9
  static DWORD ms_dwVersionActive;       // sub-code 8, kept when higher
  static BOOL ms_bDotNet;                // sub-code 6

  static void s_Lit(PFEXECUTION pfnVM);
};

class CBaseExecutionDLL {
public:
  // EXEC_INIT: creates the object on the first call; false when the VM's
  // Execution cannot be found.
  static bool s_bInitialise(const STExecutionInit* pstDonnees);
  // EXEC_FIN: one initialisation less; the last one ends and deletes the object.
  static void s_Termine();
  // Library termination: an object not ended normally tells the VM, then goes.
  static void s_TermineDLL();
  static CBaseExecutionDLL* s_pclGet() { return ms_pclExecution; }

  int nGetNbInit() const { return m_nNbInit; }
  HMODULE hGetModuleVM() const { return m_hModuleVM; }
  const DWORD* pdwGetMots() const { return m_adwMot; }

private:
  CBaseExecutionDLL(HMODULE hModuleVM, PFEXECUTION pfnVM) : m_hModuleVM(hModuleVM), m_pfnVM(pfnVM) {}

  HMODULE m_hModuleVM;
  PFEXECUTION m_pfnVM;
  int m_nNbInit = 0;
  bool m_bFinNormale = false;
  DWORD m_adwMot[2]{};

  static CBaseExecutionDLL* ms_pclExecution;
};

extern "C" KV_EXPORT std::intptr_t Execution(unsigned nCommande, void* pDonnees);
