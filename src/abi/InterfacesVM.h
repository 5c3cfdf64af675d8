// The interfaces that cross the boundary between the component and the VM,
// in interface (slot) order. The library and the stand-in VM share this
// header; neither side may reorder, insert or remove an operation.
#pragma once

#include "abi/Appel.h"
#include "abi/TypesBase.h"

class CXError;
class CAny;
class IVXVariable;
class IObjetAPCode;
class IInfoLangue;
class ILibShop;
struct _stCHARTAB;

// First six slots of every versioned interface.
class IStdVersion {
public:
  virtual int nGetVersion() = 0;
  virtual int nGetCompatSince() = 0;
  virtual int nGetDllNum() = 0;
  virtual void StdVersion_EmptySlot_1() = 0;
  virtual void StdVersion_EmptySlot_2() = 0;
  virtual void StdVersion_EmptySlot_3() = 0;

protected:
  ~IStdVersion() = default;
};

// The component as the VM sees it.
class IVXLibrary : public IStdVersion {
public:
  virtual int Release() = 0;
  virtual void* pQueryProxy(int nNumero) = 0;
  virtual void AssertValid_INTERNE() = 0;
  virtual int nGetLibraryId() = 0;
  virtual int nGetVersionVX() = 0;
  virtual int nGetVersionVXCompat() = 0;
  virtual void GetResume(char* pszBuffer, unsigned nTaille) = 0;
  virtual void GetDescription(char* pszBuffer, unsigned nTaille) = 0;
  virtual const char* pzGetHelpFile() = 0;
  virtual void GetExportTable_OBSOLETE(void** ppFonctions, int* pnFonctions, void** ppConstantes,
                                       int* pnConstantes, void** ppVariables, int* pnVariables) = 0;
  virtual void GetPropertyTable_OBSOLETE(void** ppProprietes, int* pnProprietes, void** ppAcces,
                                         int* pnAcces) = 0;
  virtual CXError* pclGetError() = 0;
  virtual void SetLibShop(ILibShop* piLibShop) = 0;
  virtual int SetLanguage(int nLangue, const char* pszFichier) = 0;
  virtual BOOL bFinInitVXL() = 0;
  virtual void TermVXL() = 0;
  virtual BOOL bAppel_OBSOLETE(STVXAppel* pstAppel, void** ppParametres) = 0;
  virtual void* pAccesVariable_OBSOLETE(STVXAppel* pstAppel) = 0;
  virtual BOOL bEcritVariable_OBSOLETE(STVXAppel* pstAppel) = 0;
  virtual int SetAlphabet(int nAlphabet, _stCHARTAB* pstTable) = 0;
  virtual void GetTableSynonyme_OBSOLETE(void** ppFonctions, int* pnFonctions, void** ppConstantes,
                                         int* pnConstantes, void** ppVariables, int* pnVariables) = 0;
  virtual DWORD dwActionGenerique(unsigned nAction, unsigned long ulParam) = 0;
  virtual void AvantAppelFonctionVX_OBSOLETE() = 0;
  virtual void ApresAppelFonctionVX_OBSOLETE() = 0;
  virtual unsigned long InfoComposante(unsigned nCode, unsigned long ulIndex) = 0;
  virtual STVXAppel* ChangeContexteAppel(STVXAppel* pstAppel) = 0;
  virtual void* pRecupereAdresseVariable(STVXAppel* pstAppel) = 0;
  virtual BOOL bSignaleEcritureVariable(STVXAppel* pstAppel) = 0;
  virtual void m691EmptyMethodVXLibrary() = 0;
  virtual void m692EmptyMethodVXLibrary() = 0;
  virtual void m693EmptyMethodVXLibrary() = 0;

protected:
  ~IVXLibrary() = default;
};

// Request record of IVM::pclChargeElement: 21 words, word 0 its size (84 on
// i386; 104 on x86-64, where the name, the buffer and the window handle are
// pointer-sized).
struct STDemandeElement {
  DWORD dwTaille;             // sizeof(STDemandeElement)
  DWORD dwReserve1;
  const char* pszNom;         // element name (text after "KVL:")
  DWORD dwReserve3;
  void* pclBuffer;            // output buffer (CVXBIN*), filled on success
  DWORD dwReserve5;
  HWND hFenetre;              // from IVM::hGetFenetreDialogue
  DWORD adwReserve[14];
};
static_assert(sizeof(STDemandeElement) == nSelonEdition(84, 104));
static_assert(offsetof(STDemandeElement, pszNom) == nSelonEdition(8, 8));
static_assert(offsetof(STDemandeElement, pclBuffer) == nSelonEdition(16, 24));
static_assert(offsetof(STDemandeElement, hFenetre) == nSelonEdition(24, 40));

// The VM's services to the component. Operations on the current call take
// the context's call word; those that can fail take an error object.
class IVM {
public:
  virtual CXError* pclChargeElement(STDemandeElement* pstDemande) = 0;
  virtual int nGetModeExecution() = 0;
  virtual std::intptr_t InfoVM(int nCode, int nSousCode, void* pArgument) = 0;
  virtual int ChangeMode(int nMode) = 0;
  virtual BOOL bEmpileValeur(CAny* pclValeur, DWORD dwAppel) = 0;
  virtual void PrepareAppel() = 0;
  virtual void SetValeurRetour(CAny* pclValeur) = 0;
  virtual int nEtatExecution() = 0;
  virtual BOOL bRechercheProcedure(const char* pszNom, int nReserve, void** ppProcedure,
                                   CXError* pclErreur) = 0;
  virtual BOOL bAppelleProcedure(void* pProcedure, DWORD dwAppel, int nNbArgument, int nReserve) = 0;
  virtual void* GestionMT() = 0;
  virtual HWND hGetFenetreDialogue() = 0;
  virtual IInfoLangue* piGetInfoLangue(int nReserve1, int nReserve2) = 0;
  virtual BOOL bMTEnCours() = 0;
  virtual BOOL bThreadPrincipal() = 0;
  virtual unsigned uGetMessageMT() = 0;
  virtual void* piGetVMData() = 0;
  virtual IObjetAPCode* pGetCallingObject() = 0;
  virtual HANDLE_VX hGetObjetCourant() = 0;
  virtual HWND hGetFenetreCourant() = 0;
  virtual BOOL bParamNull(int nParametre, DWORD dwAppel) = 0;
  virtual BOOL bChaineUnicode(int nParametre, DWORD dwAppel) = 0;
  virtual BOOL bGetParamAny(int nParametre, DWORD dwAppel, CAny* pclValeur, CXError* pclErreur) = 0;
  virtual void* pGetParametre(int nParametre, DWORD dwAppel, DWORD dwType, CXError* pclErreur) = 0;
  virtual BOOL bGetParamAnyNULL(int nParametre, DWORD dwAppel, CAny* pclValeur, CXError* pclErreur) = 0;
  virtual BOOL bGetParamIVariable(int nParametre, DWORD dwAppel, IVXVariable** ppiVariable,
                                  CXError* pclErreur) = 0;
  virtual int nGetDSTR_ID(int nParametre, DWORD dwAppel) = 0;
  virtual BOOL bRepushParam(int nParametre, DWORD dwAppel, IVM* piCible) = 0;
  virtual void RenvoieValeur(DWORD dwAppel, const void* pValeur, DWORD dwType) = 0;
  virtual BOOL bGetValeurParametre(int nParametre, DWORD dwAppel, void* pSortie, CXError* pclErreur) = 0;
  virtual BOOL bGetParamIVariableNom(int nParametre, DWORD dwAppel, void* pSortie, CXError* pclErreur) = 0;
  virtual BOOL bGetNomVariable(int nParametre, DWORD dwAppel, void* pSortie, CXError* pclErreur) = 0;
  virtual int nEmpileParametre(int nParametre, DWORD dwAppel, void* pSortie, CXError* pclErreur) = 0;
  virtual BOOL bGetObjetAPCodeParametre(int nParametre, DWORD dwAppel, IObjetAPCode** ppiObjet,
                                        CXError* pclErreur) = 0;
  virtual BOOL bForceValeur(int nParametre, DWORD dwAppel, void* pValeur, CXError* pclErreur) = 0;
  virtual BOOL bGetParamIVariableOuValeur(int nParametre, DWORD dwAppel, void* pSortie,
                                          CXError* pclErreur) = 0;
  virtual void* piGetDBContext(int nParametre, DWORD dwAppel, void* pSortie, CXError* pclErreur) = 0;
  virtual BOOL bGetAdresseObjetComposante(int nParametre, DWORD dwAppel, void* pSortie,
                                          CXError* pclErreur) = 0;

protected:
  ~IVM() = default;
};

// The library manager.
class ILibShop {
public:
  // Interface of another library by kind, library number and name (null on failure).
  virtual void* piGetInterface(int nGenre, int nLibrairie, const char* pszNom, CXError* pclErreur) = 0;
  // Start check asked by bFinInitVXL; true lets the component start.
  virtual BOOL bVerifie(IVXLibrary* piDemandeur, int nLibrairie, int nVersion, int nCompat,
                        const char* pszNom, CXError* pclErreur) = 0;
  // Module handle of a library by number (0 runtime object library, 31 page library).
  virtual HMODULE hGetModule(int nLibrairie, CXError* pclErreur) = 0;
  // Path of a library by number into the caller's buffer.
  virtual BOOL bGetCheminLibrairie(int nLibrairie, char* pszChemin, unsigned nTaille) = 0;

protected:
  ~ILibShop() = default;
};

// A program object (control, window) of the running application.
class IObjetAPCode {
public:
  virtual int AddRef() = 0;
  virtual int Release() = 0;
  // Property value by name, into a dynamic value.
  virtual BOOL bGetPropriete(const char* pszNom, CAny* pclValeur, CXError* pclErreur) = 0;
  virtual BOOL bSetPropriete(const char* pszNom, const CAny* pclValeur, CXError* pclErreur) = 0;
  // Window object of this object (counted reference, or null).
  virtual IObjetAPCode* piGetFenetre() = 0;
  virtual HWND hGetHandle() = 0;

protected:
  ~IObjetAPCode() = default;
};

// Language data of the running application (names, date and time formats).
class IInfoLangue {
public:
  virtual int Release() = 0;
  // ";"-separated names, Monday first; null when the language gives none.
  virtual const char* pszGetJours(BOOL bAbrege) = 0;
  // ";"-separated names, January first; null when the language gives none.
  virtual const char* pszGetMois(BOOL bAbrege) = 0;
  virtual const char* pszGetShortDate() = 0;
  virtual const char* pszGetTimeFormat() = 0;
  virtual const char* pszGetAM() = 0;
  virtual const char* pszGetPM() = 0;
  // The language's own date mask, or null.
  virtual const char* pszGetMasqueDate() = 0;
  // Currency symbol and its number of decimals (sCurrency, iCurrDigits).
  virtual const char* pszGetMonnaie() = 0;
  virtual int nGetDecimalesMonnaie() = 0;
  // ";"-separated names of the size units, bytes to terabytes, or null.
  virtual const char* pszGetUnitesTaille() = 0;

protected:
  ~IInfoLangue() = default;
};

// A variable of the caller passed by reference.
class IVXVariable {
public:
  virtual int Release() = 0;
  virtual DWORD dwGetType() = 0;
  virtual BOOL bGetValeur(CAny* pclValeur, CXError* pclErreur) = 0;
  // Assignment with the language's conversion rules.
  virtual BOOL bAffecte(const CAny* pclValeur, CXError* pclErreur) = 0;

protected:
  ~IVXVariable() = default;
};
