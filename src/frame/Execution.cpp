// The Execution command function and the execution object.
#include "frame/Execution.h"

#include <dlfcn.h>

#include <new>

#include "abi/InterfacesVM.h"
#include "core/STR.h"

int CInformationDLL::ms_nCodeProduitExecution = 0;
int CInformationDLL::ms_nCodeProduitReel = 0;
int CInformationDLL::ms_nLangueInterne = 0;
const char* CInformationDLL::ms_pszNomProduit = nullptr;
DWORD CInformationDLL::ms_dwOptions = 0;
ILibShop* CInformationDLL::ms_piLibShop = nullptr;
void* CInformationDLL::ms_piGlobalFactory = nullptr;
DWORD CInformationDLL::ms_dwVersionActive = 0;
BOOL CInformationDLL::ms_bDotNet = 0;

CBaseExecutionDLL* CBaseExecutionDLL::ms_pclExecution = nullptr;

namespace {

// Extended types initialised with the global factory.
void* gpiFabriqueTypes = nullptr;

}  // namespace

void CInformationDLL::s_Lit(PFEXECUTION pfnVM) {
  auto lit = [pfnVM](int nSousCode) {
    return pfnVM(EXEC_INFO, reinterpret_cast<void*>(static_cast<std::intptr_t>(nSousCode)));
  };
  ms_nCodeProduitExecution = static_cast<int>(lit(1));
  ms_nCodeProduitReel = static_cast<int>(lit(5));
  ms_nLangueInterne = static_cast<int>(lit(2));
  ms_pszNomProduit = reinterpret_cast<const char*>(lit(3));
  ms_dwOptions = static_cast<DWORD>(lit(4));
  ms_piLibShop = reinterpret_cast<ILibShop*>(lit(7));
  ms_piGlobalFactory = reinterpret_cast<void*>(lit(9));
  auto dwVersion = static_cast<DWORD>(lit(8));
  if (dwVersion > ms_dwVersionActive) ms_dwVersionActive = dwVersion;
  ms_bDotNet = lit(6) != 0;
}

bool CBaseExecutionDLL::s_bInitialise(const STExecutionInit* pstDonnees) {
  if (pstDonnees == nullptr) return false;
  if (ms_pclExecution == nullptr) {
    auto pfnVM = reinterpret_cast<PFEXECUTION>(dlsym(pstDonnees->hModuleVM, "Execution"));
    // Found ourselves (the VM's module does not hold one): no VM to talk to.
    if (pfnVM == nullptr || pfnVM == &Execution) return false;
    ms_pclExecution = new (std::nothrow) CBaseExecutionDLL(pstDonnees->hModuleVM, pfnVM);
    if (ms_pclExecution == nullptr) return false;
    CInformationDLL::s_Lit(pfnVM);
  }
  ms_pclExecution->m_adwMot[0] = pstDonnees->adwMot[0];
  ms_pclExecution->m_adwMot[1] = pstDonnees->adwMot[1];
  ++ms_pclExecution->m_nNbInit;
  return true;
}

void CBaseExecutionDLL::s_Termine() {
  if (ms_pclExecution == nullptr) return;
  if (--ms_pclExecution->m_nNbInit > 0) return;
  ms_pclExecution->m_bFinNormale = true;
  delete ms_pclExecution;
  ms_pclExecution = nullptr;
}

void CBaseExecutionDLL::s_TermineDLL() {
  if (ms_pclExecution == nullptr) return;
  if (!ms_pclExecution->m_bFinNormale) ms_pclExecution->m_pfnVM(EXEC_FIN_ANORMALE, nullptr);
  delete ms_pclExecution;
  ms_pclExecution = nullptr;
}

extern "C" KV_EXPORT std::intptr_t Execution(unsigned nCommande, void* pDonnees) {
  auto* pdw = static_cast<std::intptr_t*>(pDonnees);
  switch (nCommande) {
    case EXEC_INIT:
      return CBaseExecutionDLL::s_bInitialise(static_cast<const STExecutionInit*>(pDonnees));
    case EXEC_FIN:
      CBaseExecutionDLL::s_Termine();
      return 1;
    case EXEC_ALPHABET:
      if (pdw == nullptr) return 0;
      STR_ChangeAlphabet(static_cast<int>(pdw[0]), reinterpret_cast<_stCHARTAB*>(pdw[1]));
      return 1;
    case EXEC_ALPHABET_INFO:
      if (pdw == nullptr) return 0;
      STR_ChangeAlphabet(static_cast<int>(pdw[0]), reinterpret_cast<_stCHARTAB*>(pdw[1]));
      STR_ChangeInfoAlphabet(reinterpret_cast<void*>(pdw[2]));
      return 1;
    case EXEC_TYPES_ETENDUS: {
      // The factory is a versioned interface; version 2 brings the extended types.
      auto* piFabrique = static_cast<IStdVersion*>(CInformationDLL::ms_piGlobalFactory);
      if (piFabrique == nullptr || piFabrique->nGetVersion() < 2) return 1;
      gpiFabriqueTypes = piFabrique;
      return 2;
    }
    default:
      return 0;
  }
}
