// CXError: the outcome of an operation (level, user error code, user and
// debug messages, system error, information items, sub-errors). Every
// operation that can fail fills one; the component hands its own to the VM
// through pclGetError.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "abi/TypesBase.h"
#include "abi/Valeurs.h"
#include "core/KVUnknown.h"

class CTString;

enum eERRORLEVEL : DWORD {
  EL_AUCUNE = 1,              // no error
  EL_ERREUR = 2,              // error, first grade
  EL_ERREUR_GRAVE = 3,        // error, second grade
  EL_REDIRECTION = 0x40000010 // the call is handed to another library
};

// Types of information items, with the label DumpInfo writes.
enum eERRORINFOTYPE : DWORD {
  EIT_SRCFILE = 1,
  EIT_DSTFILE = 2,
  EIT_USERNAME = 3,
  EIT_HELPFILE = 4,
  EIT_PATHKVD = 5,
  EIT_LOGICALTABLENAME = 6,
  EIT_ITEMNAME = 7,
  EIT_PATHFIC = 8,
  EIT_PATHNDX = 9,
  EIT_PATHMMO = 10,
  EIT_LINKNAME = 11,
  EIT_RECNUM = 12,             // 64-bit integer
  EIT_ODBCCODE = 13,
  EIT_ODBCDESCRIPTION = 14,
  EIT_BASECODE = 15,           // 32-bit integer
  EIT_NATIVECODE = 16,         // 32-bit integer
  EIT_ADOCODE = 17,            // 32-bit integer
  EIT_BASEMESSAGE = 18,
  EIT_NATIVEMESSAGE = 19,
  EIT_ADOMESSAGE = 20,
  EIT_DATAACCESS = 21,         // reference-counted object
  EIT_INFOCLIENT = 22,
  EIT_INFOSERVEUR = 23,
  EIT_PILEVX = 24,
  EIT_DATEHEURE = 25,
  EIT_LOCKINFO = 26,
  EIT_CORRIGE_ETAT = 27,
  EIT_INFOCS = 28,
  EIT_POINTEUR = 29,           // raw pointer, not owned
  EIT_XINFO = 30,              // flag word
  EIT_COMPOSANT = 31,
  EIT_SERVEURCS = 32,
  EIT_PILEC = 33,
};

// Flags of EIT_XINFO.
enum : DWORD {
  XINFO_ERREUR_DROIT = 1,               // rights error
  XINFO_SANS_TRAITEMENT_AUTOMATIQUE = 2 // no automatic handling
};

class CXError : public CKVUnknown {
public:
  CXError();
  // As SetUserError(nCode, inserts...).
  explicit CXError(DWORD nCode, ...);
  // As above, with a module name.
  CXError(const char* pszModule, DWORD nCode, ...);
  // A copy of another error (bLight: the other's fields are moved, as LightCopy).
  CXError(CXError* pclAutre, int bLight);
  CXError(CXError& clAutre, int bLight);
  CXError(const CXError& clAutre);
  CXError& operator=(const CXError&) = delete;
  ~CXError() override;

  // Heap strings of the object (malloc, realloc, free); concatenating onto
  // a null string makes a copy. Allocation failures leave the old text.
  virtual char* __vpszAllocString(char** ppsz, const char* pszSource);
  virtual char* __vpszReallocString(char** ppsz, const char* pszSource);
  virtual char* __vpszReallocString(char** ppsz, unsigned nTaille);
  virtual char* __vpszConcatString(char** ppsz, const char* pszSource);
  virtual void __vDeleteString(char** ppsz);
  virtual void __AddSubError(CXError* pclErreur, int bLight, int bSansMessageUtilisateur);
  virtual void __DeleteAllSubError();

  // Frees every string, item and sub-error; every field back to its start (level 1).
  void RAZ();
  // No change when equal; level 1 performs RAZ; any other level is stored.
  void SetErrorLevel(DWORD eNiveau);
  DWORD eGetErrorLevel() const { return m_eNiveau; }
  bool bIsError() const { return m_eNiveau != EL_AUCUNE; }

  // User errors of the error table, formatted with their inserts.
  void SetUserError(DWORD nCode, ...);
  void SetUserErrorList(DWORD nCode, va_list args);
  void ChangeUserError(DWORD nCode, ...);
  void ChangeUserErrorList(DWORD nCode, va_list args);
  // The same with a ready text in place of the row's message.
  void SetUserErrorMessage(DWORD nCode, const char* pszTexte);
  void ChangeUserErrorMessage(DWORD nCode, const char* pszTexte);
  static DWORD nGetRessourceIdFromUserErrorCode(DWORD nCode);

  // User messages: resource `nId` formatted with its inserts, appended after
  // "\r\n" (or put first with the ...First forms).
  void AddUserMessage(DWORD nId, ...);
  void AddUserMessageList(DWORD nId, va_list args);
  void AddUserMessageFirst(DWORD nId, ...);
  void AddUserMessageFirstList(DWORD nId, va_list args);
  void AddUserMessage(const char* pszTexte);
  void AddUserMessageFirst(const char* pszTexte);

  // Debug messages: from a resource or a printf format.
  void AddDebugMessage(DWORD nId, ...);
  void AddDebugMessage(const char* pszFormat, ...);
  void AddDebugMessageList(const char* pszFormat, va_list args);
  void AddDebugMessageNoFormat(const char* pszTexte);
  void AddDebugMessageFirst(const char* pszFormat, ...);

  // System error: the code and its text (code 0 clears the text).
  void SetSystemError(DWORD dwCode);
  void SetSystemErrorMessage(const char* pszFormat, ...);
  void SetSystemErrorMessage(DWORD nId, ...);
  // Out of memory: reset, user message 25193 first, system error 12, level 3.
  void SetErrorNoMemory();

  void SetFunctionName(const char* pszNom, int nSyntaxe);
  void SetVMContext(const char* pszTraitement, const char* pszObjet, WORD wLigne, WORD wThread);
  void SetDetailId(DWORD nId) { m_nDetail = nId; }
  void SetUserErrorCode(DWORD nCode) { m_nCodeUtilisateur = nCode; }
  void SetUserErrorCode55(DWORD nCode) { m_dwOperationBatch = nCode; }
  void SetBatchOperation(DWORD nOperation) { m_dwOperationBatch = nOperation; }
  // Module name and version ("14.00Cpe"); without bForce only when none is set.
  void InitModInfo(bool bForce);

  DWORD nGetUserErrorCode() const { return m_nCodeUtilisateur; }
  DWORD nGetUserErrorCode55() const { return m_dwOperationBatch; }
  DWORD nGetBatchOperation() const { return m_dwOperationBatch; }
  const char* pszGetUserMessage() const { return m_pszMessageUtilisateur; }
  const char* pszGetDebugMessage() const { return m_pszMessageDebug; }
  const char* pszGetFunctionName() const { return m_pszFonction; }
  int nGetFunctionSyntax() const { return m_bySyntaxe; }
  const char* pszGetModName() const { return m_pszModule; }
  const char* pszGetModVersion() const { return m_pszVersionModule; }
  DWORD nGetDetailId() const { return m_nDetail; }
  DWORD dwGetSystemErrorCode() const { return m_dwErreurSysteme; }
  const char* pszGetSystemErrorMessage() const { return m_pszMessageSysteme; }
  const char* pszGetTraitmentCaption() const { return m_pszTraitement; }
  WORD wGetTraitmentLine() const { return m_wLigne; }
  WORD wGetTraitmentThread() const { return m_wThread; }
  const char* pszGetObjectName() const { return m_pszObjet; }
  int nNumErrorId() const { return static_cast<int>(m_nNbIdentifiant); }
  DWORD nGetErrorId(int i) const {
    return i >= 0 && static_cast<DWORD>(i) < m_nNbIdentifiant ? m_pdwIdentifiants[i] : 0;
  }

  // Information items: at most one per type; adding a present type replaces it.
  void AddInfo(DWORD eType, const char* pszValeur);     // string types
  void AddInfo(DWORD eType, long long llValeur);        // EIT_RECNUM
  void AddInfo(DWORD eType, DWORD dwValeur);            // 32-bit integer types, EIT_XINFO
  void AddInfo(DWORD eType, CKVUnknown* pclObjet);      // EIT_DATAACCESS (count raised)
  void AddInfoPointeur(DWORD eType, void* p);           // EIT_POINTEUR (not owned)
  bool GetInfo(int i, DWORD* peType, const _stERRORINFO** ppstValeur) const;
  bool bGetInfo(DWORD eType, const _stERRORINFO** ppstValeur) const;
  const char* pszGetInfo(DWORD eType) const;            // a string item, or null
  void DeleteInfo(DWORD eType);
  int nNumInfo() const { return static_cast<int>(m_nNbInfo); }
  // Appends the item with its label, e.g. "EIT_SRCFILE : <name>".
  static void DumpInfo(DWORD eType, const _stERRORINFO* pstValeur, CTString* pclSortie);
  void SetErreurDroit();
  bool bErreurDroit() const;
  void SansTraitementAutomatique();

  // Sub-errors: a copy of another error (light forms move its fields);
  // unless the form without user message is used, the first sub-error's
  // user message is appended to this one's.
  void AddSubError(CXError* pclErreur) { __AddSubError(pclErreur, 0, 0); }
  void AddSubErrorLight(CXError* pclErreur) { __AddSubError(pclErreur, 1, 0); }
  void AddSubErrorLightNoUserMessage(CXError* pclErreur) { __AddSubError(pclErreur, 1, 1); }
  CXError* pclGetSubError(int i) const {
    return i >= 0 && static_cast<DWORD>(i) < m_nNbSousErreur ? m_ppclSousErreurs[i] : nullptr;
  }
  int nGetNbSubError() const { return static_cast<int>(m_nNbSousErreur); }
  void DeleteAllSubError() { __DeleteAllSubError(); }

  // Deep copy of another error; LightCopy moves every field and leaves the
  // source reset to level 1.
  void Copy(const CXError* pclSource);
  void LightCopy(CXError* pclSource);

private:
  void _AjouteIdentifiant(DWORD nId);
  // Formats resource nId into pclTexte; false (with the debug message) when it cannot.
  bool _bFormateRessource(DWORD nId, va_list args, CTString* pclTexte);
  void _AjouteMessage(char** ppsz, const char* pszTexte, bool bDevant);
  _stERRORINFO* _pstInfo(DWORD eType);
  _stERRORINFO* _pstNouvelleInfo(DWORD eType);
  static void _LibereInfo(_stERRORINFO* pst);

  DWORD m_eNiveau = EL_AUCUNE;
  DWORD m_nCodeUtilisateur = 0;
  char* m_pszMessageUtilisateur = nullptr;
  char* m_pszMessageDebug = nullptr;
  char* m_pszFonction = nullptr;
  char* m_pszModule = nullptr;
  char* m_pszVersionModule = nullptr;
  BYTE m_bySyntaxe = 0;
  DWORD m_nDetail = 0;
  DWORD* m_pdwIdentifiants = nullptr;   // grows by 30
  DWORD m_nNbIdentifiant = 0;
  DWORD m_nMaxIdentifiant = 0;
  _stERRORINFO* m_pstInfos = nullptr;   // grows by 30
  DWORD m_nNbInfo = 0;
  DWORD m_nMaxInfo = 0;
  DWORD m_dwErreurSysteme = 0;
  char* m_pszMessageSysteme = nullptr;
  char* m_pszTraitement = nullptr;
  WORD m_wLigne = 0;
  WORD m_wThread = 0;
  CXError** m_ppclSousErreurs = nullptr;  // first use: 10, then grows by 30
  DWORD m_nNbSousErreur = 0;
  DWORD m_nMaxSousErreur = 0;
  char* m_pszObjet = nullptr;
  char* m_pszModuleInterne = nullptr;   // "kv140std.so"
  DWORD m_dwOperationBatch = 0;         // also the user code 55
};
