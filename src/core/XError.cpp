// CXError: construction, heap strings, reset and level.
#include "core/XError.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* MODULE_INTERNE = "kv140std.so";

// Information item types whose value is not an owned string.
enum : DWORD {
  EIT_RECNUM = 12,
  EIT_BASECODE = 15,
  EIT_NATIVECODE = 16,
  EIT_ADOCODE = 17,
  EIT_DATAACCESS = 21,
  EIT_POINTEUR = 29,
  EIT_XINFO = 30,
};

bool bInfoChaine(DWORD eType) {
  switch (eType) {
    case EIT_RECNUM:
    case EIT_BASECODE:
    case EIT_NATIVECODE:
    case EIT_ADOCODE:
    case EIT_DATAACCESS:
    case EIT_POINTEUR:
    case EIT_XINFO:
      return false;
    default:
      return true;
  }
}

}  // namespace

CXError::CXError() { __vpszAllocString(&m_pszModuleInterne, MODULE_INTERNE); }

CXError::~CXError() {
  RAZ();
  std::free(m_pdwIdentifiants);
  std::free(m_pstInfos);
  std::free(m_ppclSousErreurs);
  __vDeleteString(&m_pszModuleInterne);
}

char* CXError::__vpszAllocString(char** ppsz, const char* pszSource) {
  __vDeleteString(ppsz);
  if (pszSource != nullptr) *ppsz = strdup(pszSource);
  return *ppsz;
}

char* CXError::__vpszReallocString(char** ppsz, const char* pszSource) {
  if (pszSource == nullptr) {
    __vDeleteString(ppsz);
    return nullptr;
  }
  std::size_t n = std::strlen(pszSource) + 1;
  auto* p = static_cast<char*>(std::realloc(*ppsz, n));
  if (p == nullptr) return *ppsz;  // the previous text stays
  std::memcpy(p, pszSource, n);
  *ppsz = p;
  return p;
}

char* CXError::__vpszReallocString(char** ppsz, unsigned nTaille) {
  auto* p = static_cast<char*>(std::realloc(*ppsz, nTaille == 0 ? 1 : nTaille));
  if (p == nullptr) return *ppsz;
  if (*ppsz == nullptr) p[0] = '\0';
  *ppsz = p;
  return p;
}

char* CXError::__vpszConcatString(char** ppsz, const char* pszSource) {
  if (pszSource == nullptr) return *ppsz;
  if (*ppsz == nullptr) return __vpszAllocString(ppsz, pszSource);
  std::size_t a = std::strlen(*ppsz), b = std::strlen(pszSource);
  auto* p = static_cast<char*>(std::realloc(*ppsz, a + b + 1));
  if (p == nullptr) return *ppsz;
  std::memcpy(p + a, pszSource, b + 1);
  *ppsz = p;
  return p;
}

void CXError::__vDeleteString(char** ppsz) {
  std::free(*ppsz);
  *ppsz = nullptr;
}

void CXError::__AddSubError(CXError* pclErreur, int bLight, int bSansMessageUtilisateur) {
  // Sub-errors are built with the rest of the error operations.
  (void)pclErreur;
  (void)bLight;
  (void)bSansMessageUtilisateur;
}

void CXError::__DeleteAllSubError() {
  for (DWORD i = 0; i < m_nNbSousErreur; ++i) m_ppclSousErreurs[i]->dwRelease();
  m_nNbSousErreur = 0;
}

void CXError::RAZ() {
  __vDeleteString(&m_pszMessageUtilisateur);
  __vDeleteString(&m_pszMessageDebug);
  __vDeleteString(&m_pszFonction);
  __vDeleteString(&m_pszModule);
  __vDeleteString(&m_pszVersionModule);
  __vDeleteString(&m_pszMessageSysteme);
  __vDeleteString(&m_pszTraitement);
  __vDeleteString(&m_pszObjet);
  for (DWORD i = 0; i < m_nNbInfo; ++i) {
    _stERRORINFO& st = m_pstInfos[i];
    if (st.eType == EIT_DATAACCESS && st.adwValeur[0] != 0) {
      reinterpret_cast<CKVUnknown*>(st.adwValeur[0])->dwRelease();
    } else if (bInfoChaine(st.eType)) {
      std::free(reinterpret_cast<char*>(st.adwValeur[0]));
    }
  }
  m_nNbInfo = 0;
  m_nNbIdentifiant = 0;
  __DeleteAllSubError();
  m_eNiveau = EL_AUCUNE;
  m_nCodeUtilisateur = 0;
  m_bySyntaxe = 0;
  m_nDetail = 0;
  m_dwErreurSysteme = 0;
  m_wLigne = 0;
  m_wThread = 0;
  m_dwOperationBatch = 0;
}

void CXError::SetErrorLevel(DWORD eNiveau) {
  if (eNiveau == m_eNiveau) return;
  if (eNiveau == EL_AUCUNE) {
    RAZ();
    return;
  }
  m_eNiveau = eNiveau;
}
