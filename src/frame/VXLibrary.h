// CVXLibrary: the library base class behind IVXLibrary. It keeps the
// installed call context, the error object and the library manager, answers
// the VM's queries and forwards the VM services the function code uses.
#pragma once

#include <atomic>

#include <cstdarg>

#include "abi/Appel.h"
#include "abi/InterfacesVM.h"
#include "abi/TypesBase.h"

class CXError;

class CVXLibrary : public IVXLibrary {
public:
  CVXLibrary();
  CVXLibrary(const CVXLibrary&) = delete;
  CVXLibrary& operator=(const CVXLibrary&) = delete;

  // IStdVersion
  int nGetVersion() override { return 6; }
  int nGetCompatSince() override { return 2; }
  int nGetDllNum() override { return 8; }
  void StdVersion_EmptySlot_1() override {}
  void StdVersion_EmptySlot_2() override {}
  void StdVersion_EmptySlot_3() override {}

  // IVXLibrary
  int Release() override;
  void* pQueryProxy(int nNumero) override;
  void AssertValid_INTERNE() override {}
  int nGetLibraryId() override { return 8; }
  int nGetVersionVX() override { return 589; }
  int nGetVersionVXCompat() override { return 1; }
  void GetResume(char* pszBuffer, unsigned nTaille) override;
  void GetDescription(char* pszBuffer, unsigned nTaille) override;
  const char* pzGetHelpFile() override;
  void GetExportTable_OBSOLETE(void** ppFonctions, int* pnFonctions, void** ppConstantes, int* pnConstantes,
                               void** ppVariables, int* pnVariables) override;
  void GetPropertyTable_OBSOLETE(void** ppProprietes, int* pnProprietes, void** ppAcces, int* pnAcces) override;
  CXError* pclGetError() override { return m_pclErreur; }
  void SetLibShop(ILibShop* piLibShop) override { m_piLibShop = piLibShop; }
  int SetLanguage(int nLangue, const char* pszFichier) override;
  BOOL bFinInitVXL() override;
  void TermVXL() override { TermCompo(); }
  BOOL bAppel_OBSOLETE(STVXAppel*, void**) override { return 0; }
  void* pAccesVariable_OBSOLETE(STVXAppel*) override { return nullptr; }
  BOOL bEcritVariable_OBSOLETE(STVXAppel*) override { return 0; }
  int SetAlphabet(int nAlphabet, _stCHARTAB* pstTable) override;
  void GetTableSynonyme_OBSOLETE(void** ppFonctions, int* pnFonctions, void** ppConstantes, int* pnConstantes,
                                 void** ppVariables, int* pnVariables) override;
  DWORD dwActionGenerique(unsigned, unsigned long) override { return 0; }
  void AvantAppelFonctionVX_OBSOLETE() override {}
  void ApresAppelFonctionVX_OBSOLETE() override {}
  unsigned long InfoComposante(unsigned nCode, unsigned long ulIndex) override;
  STVXAppel* ChangeContexteAppel(STVXAppel* pstAppel) override;
  void* pRecupereAdresseVariable(STVXAppel* pstAppel) override;
  BOOL bSignaleEcritureVariable(STVXAppel* pstAppel) override;
  void m691EmptyMethodVXLibrary() override {}
  void m692EmptyMethodVXLibrary() override {}
  void m693EmptyMethodVXLibrary() override {}

  // Own virtual operations.
  virtual ~CVXLibrary();
  virtual BOOL bFinInit() { return 1; }
  virtual void TermCompo() {}
  virtual void* pGetVariableAdresse(int) { return nullptr; }
  // The value is the address of the written value, pointer-sized so that
  // no edition cuts it.
  virtual void EcritVariable(int, std::intptr_t) {}

  // Library-wide state.
  static BOOL bInit(HINSTANCE hInstance);
  static void Term() {}
  static unsigned long s_InfoComposante(unsigned nCode, unsigned long ulIndex);
  static void GetLanguage(int* pnLangue, const char** ppszFichier);
  static HINSTANCE hGetDllInstance() { return m_ghInstance; }

  // Errors of the current call, in the component's error object.
  void RaiseError(DWORD nCode, ...);            // SetUserError with the inserts
  void RaiseErrorList(DWORD nCode, va_list args);
  void RaiseError(CXError* pclErreur);          // moved in (LightCopy); null resets
  void RaiseErrorCopy(const CXError* pclErreur);
  void RAZError();
  // Notification after the error object has been filled: nothing here.
  void RaiseError() {}

  // Name of the function being executed (French, or English when the
  // messages run in the second language); "" outside a call.
  const char* _pszGetNomFonction() const;

  // The current call and the VM.
  bool bVXCall() const { return m_pstAppel != nullptr; }
  STVXAppel* pstGetAppel() const { return m_pstAppel; }
  IVM* piGetVM() const { return m_pstAppel != nullptr ? m_pstAppel->piVM : nullptr; }
  ILibShop* piGetLibShop() const { return m_piLibShop; }
  int nGetNbParametre() const { return m_pstAppel != nullptr ? nNbArgumentAppel(m_pstAppel->dwAppel) : 0; }

  // VM services on the current call (no call installed: null, 0 or false).
  BOOL bGetParamAny(int nParametre, CAny* pclValeur);
  BOOL bGetParamIVariable(int nParametre, IVXVariable** ppiVariable);
  BOOL bParamNull(int nParametre);
  BOOL bChaineUnicode(int nParametre);
  void RenvoieValeur(const void* pValeur, DWORD dwType);
  // Hands a constant string to the VM as the result (type 0x17).
  void RenvoieChaine(const char* pszTexte);

  const char* pszGetLibelleTraitementCourant();
  const char* pszGetNomTraitementCourant();
  const char* pszGetNomObjetCourant();
  int nGetLigneTraitementCourant();
  DWORD dwGetTypeFichierTraitementCourant();
  DWORD dwGetIDCodeTraitementCourant();
  QWORD qwGetIDObjetTraitementCourant();
  BOOL bSimulateurPocket();
  BOOL bExecutionMCU();
  BOOL bRemplitSystemTime(SYSTEMTIME* pstHeure);
  BOOL bChargeOBJ(const char* pszFichier);
  int nGetModeExecution();
  int ChangeMode(int nMode);
  BOOL bMTEnCours();
  BOOL bThreadPrincipal();
  void* GestionMT();
  unsigned uGetMessageMT();
  void* piGetVMData();
  IObjetAPCode* pGetCallingObject();
  HANDLE_VX hGetObjetCourant();
  HWND hGetFenetreCourant();
  void* piGetDBContext(int nParametre, void* pSortie);

protected:
  STVXAppel* m_pstAppel = nullptr;   // installed call context, null outside a call
  CXError* m_pclErreur = nullptr;    // the component's error object
  ILibShop* m_piLibShop = nullptr;   // library manager, from SetLibShop

  static HINSTANCE m_ghInstance;
  static std::atomic<int> ms_eLanguage;  // 0 French texts, other values English
  // Heap copy of a language file name, shared by every component object:
  // changed under a lock, freed with the last object (a name replaced
  // meanwhile is kept until then, as another thread may still read it).
  static char* ms_pzKvmFile;

private:
  std::intptr_t _InfoVM(int nCode, int nSousCode, void* pArgument);
};
