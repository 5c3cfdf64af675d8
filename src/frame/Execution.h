// Start-up data exchanged with the VM through the exported Execution
// command function, and the execution object that lives between the VM's
// initialise and end commands.
#pragma once

#include "frame/TypesBase.h"

class ILibShop;

// Execution(command, data) as exported by the VM and by this library.
extern "C" {
using PFEXECUTION = std::intptr_t (*)(unsigned nCommande, void* pDonnees);
}

// Commands of Execution.
enum : unsigned {
  EXEC_FIN_ANORMALE = 3052,   // to the VM: the library ends without the VM's end command
  EXEC_INFO = 3053,           // to the VM: start-up datum by sub-code (data = sub-code)
  EXEC_INIT = 3985,           // from the VM: initialise (data = {size, VM module, word, word})
  EXEC_FIN = 4875,            // from the VM: normal end
  EXEC_ALPHABET = 4876,       // change alphabet {alphabet, table}
  EXEC_ALPHABET_INFO = 4877,  // same, and the alphabet information object
  EXEC_TYPES_ETENDUS = 4963,  // initialise the extended types with the global factory
};

// Data of EXEC_INIT: four 32-bit words.
struct STExecutionInit {
  DWORD dwTaille;       // 16
  HMODULE hModuleVM;    // module holding the VM's Execution (null: global scope)
  DWORD adwMot[2];      // passed to the execution object
};

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
