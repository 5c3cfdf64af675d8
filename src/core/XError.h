// CXError: the outcome of an operation (level, user error code, user and
// debug messages, system error, information items, sub-errors). The
// component hands its own one to the VM through pclGetError.
#pragma once

#include "core/KVUnknown.h"
#include "frame/TypesBase.h"

enum eERRORLEVEL : DWORD {
  EL_AUCUNE = 1,              // no error
  EL_ERREUR = 2,              // error, first grade
  EL_ERREUR_GRAVE = 3,        // error, second grade
  EL_REDIRECTION = 0x40000010 // the call is handed to another library
};

// One information item: its type (1..33) and two 32-bit words of value.
struct _stERRORINFO {
  DWORD eType;
  DWORD adwValeur[2];
};

class CXError : public CKVUnknown {
public:
  CXError();
  ~CXError() override;
  CXError(const CXError&) = delete;
  CXError& operator=(const CXError&) = delete;

  // Heap strings of the object (malloc, realloc, free).
  virtual char* __vpszAllocString(char** ppsz, const char* pszSource);
  virtual char* __vpszReallocString(char** ppsz, const char* pszSource);
  virtual char* __vpszReallocString(char** ppsz, unsigned nTaille);
  virtual char* __vpszConcatString(char** ppsz, const char* pszSource);
  virtual void __vDeleteString(char** ppsz);
  virtual void __AddSubError(CXError* pclErreur, int bLight, int bSansMessageUtilisateur);
  virtual void __DeleteAllSubError();

  // Frees every string, item and sub-error; level back to 1.
  void RAZ();
  // Level 1 performs RAZ; any other level is stored.
  void SetErrorLevel(DWORD eNiveau);
  DWORD eGetErrorLevel() const { return m_eNiveau; }
  bool bIsError() const { return m_eNiveau != EL_AUCUNE; }

  DWORD nGetUserErrorCode() const { return m_nCodeUtilisateur; }
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
  int nNumInfo() const { return static_cast<int>(m_nNbInfo); }
  int nGetNbSubError() const { return static_cast<int>(m_nNbSousErreur); }
  CXError* pclGetSubError(int i) const {
    return i >= 0 && static_cast<DWORD>(i) < m_nNbSousErreur ? m_ppclSousErreurs[i] : nullptr;
  }

protected:
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
