// CXError: levels, user and debug messages, system errors, information
// items, sub-errors and copies.
#include "core/XError.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "core/ErreursDef.h"
#include "core/TString.h"
#include "core/accesdllres.h"

namespace {

constexpr const char* MODULE_INTERNE = "kv140std.so";
constexpr const char* VERSION_MODULE = "14.00Cpe";
constexpr const char* SEPARATEUR = "\r\n";
constexpr DWORD PAS_TABLEAU = 30;
constexpr DWORD PREMIERES_SOUS_ERREURS = 10;
constexpr DWORD MESSAGE_MEMOIRE = 25193;

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

const char* pszLibelleInfo(DWORD eType) {
  static const char* const libelles[] = {
      nullptr,           "EIT_SRCFILE",      "EIT_DSTFILE",     "EIT_USERNAME",      "EIT_HELPFILE",
      "EIT_PATHKVD",     "EIT_LOGICALTABLENAME", "EIT_ITEMNAME", "EIT_PATHFIC",       "EIT_PATHNDX",
      "EIT_PATHMMO",     "EIT_LINKNAME",     "EIT_RECNUM",      "EIT_ODBCCODE",      "EIT_ODBCDESCRIPTION",
      "EIT_BASECODE",    "EIT_NATIVECODE",   "EIT_ADOCODE",     "EIT_BASEMESSAGE",   "EIT_NATIVEMESSAGE",
      "EIT_ADOMESSAGE",  "EIT_DATAACCESS",   "EIT_INFOCLIENT",  "EIT_INFOSERVEUR",   "EIT_PILEVX",
      "EIT_DATEHEURE",   "EIT_LOCKINFO",     "EIT_CORRIGE_ETAT", "EIT_INFOCS",       nullptr,
      "EIT_XINFO",       "EIT_COMPOSANT",    "EIT_SERVEURCS",   "EIT_PILEC"};
  return eType < sizeof libelles / sizeof libelles[0] ? libelles[eType] : nullptr;
}

// Grows a malloc'ed array by `PAS_TABLEAU` (or to `nPremier` on first use); false when memory is short.
template <class T>
bool bAgrandit(T*& p, DWORD& nMax, DWORD nPremier = PAS_TABLEAU) {
  DWORD n = p == nullptr ? nPremier : nMax + PAS_TABLEAU;
  auto* q = static_cast<T*>(std::realloc(p, n * sizeof(T)));
  if (q == nullptr) return false;
  p = q;
  nMax = n;
  return true;
}

char* pszDuplique(const char* psz) { return psz != nullptr ? strdup(psz) : nullptr; }

}  // namespace

const _stERRORDEF* pstGetErrorDef(DWORD nCode) {
  for (const auto& st : gstErrorDef) {
    if (st.nCodeUtilisateur == nCode) return &st;
  }
  return nullptr;
}

// ---- Construction -------------------------------------------------------

CXError::CXError() { __vpszAllocString(&m_pszModuleInterne, MODULE_INTERNE); }

CXError::CXError(DWORD nCode, ...) : CXError() {
  va_list args;
  va_start(args, nCode);
  SetUserErrorList(nCode, args);
  va_end(args);
}

CXError::CXError(const char* pszModule, DWORD nCode, ...) : CXError() {
  if (pszModule != nullptr) __vpszAllocString(&m_pszModuleInterne, pszModule);
  va_list args;
  va_start(args, nCode);
  SetUserErrorList(nCode, args);
  va_end(args);
}

CXError::CXError(CXError* pclAutre, int bLight) : CXError() {
  if (bLight) {
    LightCopy(pclAutre);
  } else {
    Copy(pclAutre);
  }
}

CXError::CXError(CXError& clAutre, int bLight) : CXError(&clAutre, bLight) {}

CXError::CXError(const CXError& clAutre) : CXError() { Copy(&clAutre); }

CXError::~CXError() {
  RAZ();
  std::free(m_pdwIdentifiants);
  std::free(m_pstInfos);
  std::free(m_ppclSousErreurs);
  __vDeleteString(&m_pszModuleInterne);
}

// ---- Heap strings ---------------------------------------------------------

char* CXError::__vpszAllocString(char** ppsz, const char* pszSource) {
  if (pszSource == nullptr) {
    __vDeleteString(ppsz);
    return nullptr;
  }
  char* p = strdup(pszSource);
  if (p == nullptr) return *ppsz;  // the previous text stays
  __vDeleteString(ppsz);
  *ppsz = p;
  return p;
}

char* CXError::__vpszReallocString(char** ppsz, const char* pszSource) {
  if (pszSource == nullptr) {
    __vDeleteString(ppsz);
    return nullptr;
  }
  std::size_t n = std::strlen(pszSource) + 1;
  auto* p = static_cast<char*>(std::realloc(*ppsz, n));
  if (p == nullptr) return *ppsz;
  std::memmove(p, pszSource, n);
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

// ---- Level and reset --------------------------------------------------------

void CXError::_LibereInfo(_stERRORINFO* pst) {
  if (pst->eType == EIT_DATAACCESS) {
    if (pst->pclObjet != nullptr) pst->pclObjet->dwRelease();
  } else if (bInfoChaine(pst->eType)) {
    std::free(pst->pszValeur);
  }
  pst->llValeur = 0;
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
  for (DWORD i = 0; i < m_nNbInfo; ++i) _LibereInfo(&m_pstInfos[i]);
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

// ---- User errors ------------------------------------------------------------

void CXError::InitModInfo(bool bForce) {
  if (!bForce && m_pszModule != nullptr) return;
  __vpszAllocString(&m_pszModule, m_pszModuleInterne);
  __vpszAllocString(&m_pszVersionModule, VERSION_MODULE);
}

void CXError::SetUserError(DWORD nCode, ...) {
  va_list args;
  va_start(args, nCode);
  SetUserErrorList(nCode, args);
  va_end(args);
}

void CXError::SetUserErrorList(DWORD nCode, va_list args) {
  RAZ();
  ChangeUserErrorList(nCode, args);
}

void CXError::ChangeUserError(DWORD nCode, ...) {
  va_list args;
  va_start(args, nCode);
  ChangeUserErrorList(nCode, args);
  va_end(args);
}

void CXError::ChangeUserErrorList(DWORD nCode, va_list args) {
  InitModInfo(true);
  const _stERRORDEF* pst = pstGetErrorDef(nCode);
  if (pst == nullptr) {
    SetErrorLevel(EL_ERREUR_GRAVE);
    AddDebugMessage("##(CXError)-Pas de d\xE9" "finition d'erreur dans gstErrorDef pour l'identifiant <%1!u!>##", nCode);
    return;
  }
  m_nCodeUtilisateur = nCode;
  if (pst->nIdMessage != 0) AddUserMessageFirstList(pst->nIdMessage, args);
  m_nDetail = pst->nIdDetail;
  SetErrorLevel(pst->eNiveau);
}

void CXError::SetUserErrorMessage(DWORD nCode, const char* pszTexte) {
  RAZ();
  ChangeUserErrorMessage(nCode, pszTexte);
}

void CXError::ChangeUserErrorMessage(DWORD nCode, const char* pszTexte) {
  InitModInfo(true);
  const _stERRORDEF* pst = pstGetErrorDef(nCode);
  if (pst == nullptr) {
    SetErrorLevel(EL_ERREUR_GRAVE);
    AddDebugMessage("##(CXError)-Pas de d\xE9" "finition d'erreur dans gstErrorDef pour l'identifiant <%1!u!>##", nCode);
    return;
  }
  m_nCodeUtilisateur = nCode;
  AddUserMessageFirst(pszTexte);
  m_nDetail = pst->nIdDetail;
  SetErrorLevel(pst->eNiveau);
}

DWORD CXError::nGetRessourceIdFromUserErrorCode(DWORD nCode) {
  const _stERRORDEF* pst = pstGetErrorDef(nCode);
  return pst != nullptr ? pst->nIdMessage : 0;
}

// ---- Messages ---------------------------------------------------------------

void CXError::_AjouteIdentifiant(DWORD nId) {
  if (m_nNbIdentifiant == m_nMaxIdentifiant && !bAgrandit(m_pdwIdentifiants, m_nMaxIdentifiant)) return;
  m_pdwIdentifiants[m_nNbIdentifiant++] = nId;
}

void CXError::_AjouteMessage(char** ppsz, const char* pszTexte, bool bDevant) {
  if (pszTexte == nullptr || *pszTexte == '\0') return;
  if (*ppsz == nullptr || **ppsz == '\0') {
    __vpszAllocString(ppsz, pszTexte);
    return;
  }
  if (!bDevant) {
    __vpszConcatString(ppsz, SEPARATEUR);
    __vpszConcatString(ppsz, pszTexte);
    return;
  }
  char* pszNouveau = nullptr;
  __vpszAllocString(&pszNouveau, pszTexte);
  __vpszConcatString(&pszNouveau, SEPARATEUR);
  __vpszConcatString(&pszNouveau, *ppsz);
  if (pszNouveau == nullptr) return;
  __vDeleteString(ppsz);
  *ppsz = pszNouveau;
}

bool CXError::_bFormateRessource(DWORD nId, va_list args, CTString* pclTexte) {
  va_list copie;
  va_copy(copie, args);
  bool bOk = DLLRES_bFormatMessageList(nId, pclTexte, copie);
  va_end(copie);
  if (!bOk) {
    AddDebugMessage("##(CXError)-Ressource <%1$u> non charg\xE9" "e##", nId);
    return false;
  }
  if (pclTexte->bVide()) {
    AddDebugMessage("##(CXError)-Ressource <%1$u> vide. LastError = <%2$u>##", nId, static_cast<unsigned>(errno));
    return false;
  }
  return true;
}

void CXError::AddUserMessage(DWORD nId, ...) {
  va_list args;
  va_start(args, nId);
  AddUserMessageList(nId, args);
  va_end(args);
}

void CXError::AddUserMessageList(DWORD nId, va_list args) {
  _AjouteIdentifiant(nId);
  CTString texte;
  if (_bFormateRessource(nId, args, &texte)) _AjouteMessage(&m_pszMessageUtilisateur, texte.pszGet(), false);
}

void CXError::AddUserMessageFirst(DWORD nId, ...) {
  va_list args;
  va_start(args, nId);
  AddUserMessageFirstList(nId, args);
  va_end(args);
}

void CXError::AddUserMessageFirstList(DWORD nId, va_list args) {
  _AjouteIdentifiant(nId);
  CTString texte;
  if (_bFormateRessource(nId, args, &texte)) _AjouteMessage(&m_pszMessageUtilisateur, texte.pszGet(), true);
}

void CXError::AddUserMessage(const char* pszTexte) { _AjouteMessage(&m_pszMessageUtilisateur, pszTexte, false); }

void CXError::AddUserMessageFirst(const char* pszTexte) { _AjouteMessage(&m_pszMessageUtilisateur, pszTexte, true); }

void CXError::AddDebugMessage(DWORD nId, ...) {
  va_list args;
  va_start(args, nId);
  CTString texte;
  bool bOk = DLLRES_bFormatMessageList(nId, &texte, args);
  va_end(args);
  if (bOk) {
    _AjouteMessage(&m_pszMessageDebug, texte.pszGet(), false);
  } else {
    AddDebugMessage("##(CXError)-Ressource <%1$u> non charg\xE9" "e##", nId);
  }
}

void CXError::AddDebugMessage(const char* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  AddDebugMessageList(pszFormat, args);
  va_end(args);
}

void CXError::AddDebugMessageList(const char* pszFormat, va_list args) {
  if (pszFormat == nullptr) return;
  char* psz = nullptr;
  va_list copie;
  va_copy(copie, args);
  DLLRES_dwFormatMessage(pszFormat, &psz, copie);
  va_end(copie);
  if (psz == nullptr) {
    CTString texte;
    texte.Add("##(CXError)-Message non format\xE9" " : <");
    texte.Add(pszFormat);
    texte.Add(">##");
    _AjouteMessage(&m_pszMessageDebug, texte.pszGet(), false);
    return;
  }
  _AjouteMessage(&m_pszMessageDebug, psz, false);
  std::free(psz);
}

void CXError::AddDebugMessageNoFormat(const char* pszTexte) { _AjouteMessage(&m_pszMessageDebug, pszTexte, false); }

void CXError::AddDebugMessageFirst(const char* pszFormat, ...) {
  if (pszFormat == nullptr) return;
  va_list args;
  va_start(args, pszFormat);
  char* psz = nullptr;
  DLLRES_dwFormatMessage(pszFormat, &psz, args);
  va_end(args);
  _AjouteMessage(&m_pszMessageDebug, psz != nullptr ? psz : pszFormat, true);
  std::free(psz);
}

// ---- System error -------------------------------------------------------------

void CXError::SetSystemError(DWORD dwCode) {
  m_dwErreurSysteme = dwCode;
  if (dwCode == 0) {
    __vDeleteString(&m_pszMessageSysteme);
    return;
  }
  // The text of the code given (the caller's errno may have changed since).
  __vpszAllocString(&m_pszMessageSysteme, std::strerror(static_cast<int>(dwCode)));
}

void CXError::SetSystemErrorMessage(const char* pszFormat, ...) {
  if (pszFormat == nullptr) return;
  va_list args;
  va_start(args, pszFormat);
  char* psz = nullptr;
  DLLRES_dwFormatMessage(pszFormat, &psz, args);
  va_end(args);
  __vpszAllocString(&m_pszMessageSysteme, psz != nullptr ? psz : pszFormat);
  std::free(psz);
}

void CXError::SetSystemErrorMessage(DWORD nId, ...) {
  va_list args;
  va_start(args, nId);
  CTString texte;
  if (DLLRES_bFormatMessageList(nId, &texte, args)) __vpszAllocString(&m_pszMessageSysteme, texte.pszGet());
  va_end(args);
}

void CXError::SetErrorNoMemory() {
  RAZ();
  InitModInfo(true);
  AddUserMessageFirst(MESSAGE_MEMOIRE);
  SetSystemError(ENOMEM);
  SetErrorLevel(EL_ERREUR_GRAVE);
}

// ---- Context ------------------------------------------------------------------

void CXError::SetFunctionName(const char* pszNom, int nSyntaxe) {
  __vpszAllocString(&m_pszFonction, pszNom);
  m_bySyntaxe = static_cast<BYTE>(nSyntaxe);
}

void CXError::SetVMContext(const char* pszTraitement, const char* pszObjet, WORD wLigne, WORD wThread) {
  __vpszAllocString(&m_pszTraitement, pszTraitement);
  __vpszAllocString(&m_pszObjet, pszObjet);
  m_wLigne = wLigne;
  m_wThread = wThread;
}

// ---- Information items ---------------------------------------------------------

_stERRORINFO* CXError::_pstInfo(DWORD eType) {
  for (DWORD i = 0; i < m_nNbInfo; ++i) {
    if (m_pstInfos[i].eType == eType) return &m_pstInfos[i];
  }
  return nullptr;
}

_stERRORINFO* CXError::_pstNouvelleInfo(DWORD eType) {
  if (_stERRORINFO* pst = _pstInfo(eType)) {
    _LibereInfo(pst);
    return pst;
  }
  if (m_nNbInfo == m_nMaxInfo && !bAgrandit(m_pstInfos, m_nMaxInfo)) return nullptr;
  _stERRORINFO* pst = &m_pstInfos[m_nNbInfo++];
  pst->eType = eType;
  pst->llValeur = 0;
  return pst;
}

void CXError::AddInfo(DWORD eType, const char* pszValeur) {
  if (!bInfoChaine(eType)) return;
  char* psz = pszDuplique(pszValeur);
  if (pszValeur != nullptr && psz == nullptr) return;
  _stERRORINFO* pst = _pstNouvelleInfo(eType);
  if (pst == nullptr) {
    std::free(psz);
    return;
  }
  pst->pszValeur = psz;
}

void CXError::AddInfo(DWORD eType, long long llValeur) {
  if (eType != EIT_RECNUM) return;
  if (_stERRORINFO* pst = _pstNouvelleInfo(eType)) pst->llValeur = llValeur;
}

void CXError::AddInfo(DWORD eType, DWORD dwValeur) {
  if (eType != EIT_BASECODE && eType != EIT_NATIVECODE && eType != EIT_ADOCODE && eType != EIT_XINFO) return;
  if (_stERRORINFO* pst = _pstNouvelleInfo(eType)) pst->dwValeur = dwValeur;
}

void CXError::AddInfo(DWORD eType, CKVUnknown* pclObjet) {
  if (eType != EIT_DATAACCESS) return;
  if (_stERRORINFO* pst = _pstNouvelleInfo(eType)) {
    if (pclObjet != nullptr) pclObjet->dwAddRef();
    pst->pclObjet = pclObjet;
  }
}

void CXError::AddInfoPointeur(DWORD eType, void* p) {
  if (eType != EIT_POINTEUR) return;
  if (_stERRORINFO* pst = _pstNouvelleInfo(eType)) pst->pValeur = p;
}

bool CXError::GetInfo(int i, DWORD* peType, const _stERRORINFO** ppstValeur) const {
  if (i < 0 || static_cast<DWORD>(i) >= m_nNbInfo) return false;
  if (peType != nullptr) *peType = m_pstInfos[i].eType;
  if (ppstValeur != nullptr) *ppstValeur = &m_pstInfos[i];
  return true;
}

bool CXError::bGetInfo(DWORD eType, const _stERRORINFO** ppstValeur) const {
  for (DWORD i = 0; i < m_nNbInfo; ++i) {
    if (m_pstInfos[i].eType == eType) {
      if (ppstValeur != nullptr) *ppstValeur = &m_pstInfos[i];
      return true;
    }
  }
  return false;
}

const char* CXError::pszGetInfo(DWORD eType) const {
  const _stERRORINFO* pst = nullptr;
  if (!bInfoChaine(eType) || !bGetInfo(eType, &pst)) return nullptr;
  return pst->pszValeur;
}

void CXError::DeleteInfo(DWORD eType) {
  for (DWORD i = 0; i < m_nNbInfo; ++i) {
    if (m_pstInfos[i].eType == eType) {
      _LibereInfo(&m_pstInfos[i]);
      std::memmove(&m_pstInfos[i], &m_pstInfos[i + 1], (m_nNbInfo - i - 1) * sizeof(_stERRORINFO));
      --m_nNbInfo;
      return;
    }
  }
}

void CXError::DumpInfo(DWORD eType, const _stERRORINFO* pstValeur, CTString* pclSortie) {
  const char* pszLibelle = pszLibelleInfo(eType);
  if (pclSortie == nullptr || pstValeur == nullptr || pszLibelle == nullptr) return;
  switch (eType) {
    case EIT_RECNUM: {
      pclSortie->AddFormat("%s : <%lld>", pszLibelle, pstValeur->llValeur);
      break;
    }
    case EIT_BASECODE:
    case EIT_NATIVECODE:
    case EIT_ADOCODE:
      pclSortie->AddFormat("%s : <%d>", pszLibelle, static_cast<int>(pstValeur->dwValeur));
      break;
    case EIT_XINFO:
      pclSortie->AddFormat("%s : <%u>", pszLibelle, static_cast<unsigned>(pstValeur->dwValeur));
      break;
    case EIT_DATAACCESS:
      pclSortie->AddFormat("%s : <%p>", pszLibelle, pstValeur->pValeur);
      break;
    case EIT_PILEVX:
    case EIT_PILEC: {
      const char* psz = pstValeur->pszValeur;
      pclSortie->AddFormat("%s :\r\n%s", pszLibelle, psz != nullptr ? psz : "");
      break;
    }
    default: {
      const char* psz = pstValeur->pszValeur;
      pclSortie->AddFormat("%s : <%s>", pszLibelle, psz != nullptr ? psz : "");
      break;
    }
  }
}

void CXError::SetErreurDroit() {
  const _stERRORINFO* pst = nullptr;
  DWORD dw = bGetInfo(EIT_XINFO, &pst) ? pst->dwValeur : 0;
  AddInfo(EIT_XINFO, static_cast<DWORD>(dw | XINFO_ERREUR_DROIT));
}

bool CXError::bErreurDroit() const {
  const _stERRORINFO* pst = nullptr;
  return bGetInfo(EIT_XINFO, &pst) && (pst->dwValeur & XINFO_ERREUR_DROIT) != 0;
}

void CXError::SansTraitementAutomatique() {
  const _stERRORINFO* pst = nullptr;
  DWORD dw = bGetInfo(EIT_XINFO, &pst) ? pst->dwValeur : 0;
  AddInfo(EIT_XINFO, static_cast<DWORD>(dw | XINFO_SANS_TRAITEMENT_AUTOMATIQUE));
}

// ---- Sub-errors and copies ---------------------------------------------------------

void CXError::__AddSubError(CXError* pclErreur, int bLight, int bSansMessageUtilisateur) {
  if (pclErreur == nullptr || pclErreur == this) return;
  if (m_nNbSousErreur == m_nMaxSousErreur &&
      !bAgrandit(m_ppclSousErreurs, m_nMaxSousErreur, PREMIERES_SOUS_ERREURS))
    return;
  auto* pclCopie = new (std::nothrow) CXError;
  if (pclCopie == nullptr) return;
  if (bLight) {
    pclCopie->LightCopy(pclErreur);
  } else {
    pclCopie->Copy(pclErreur);
  }
  pclCopie->dwAddRef();
  m_ppclSousErreurs[m_nNbSousErreur++] = pclCopie;
  if (!bSansMessageUtilisateur && m_nNbSousErreur == 1)
    _AjouteMessage(&m_pszMessageUtilisateur, pclCopie->m_pszMessageUtilisateur, false);
}

void CXError::__DeleteAllSubError() {
  for (DWORD i = 0; i < m_nNbSousErreur; ++i) m_ppclSousErreurs[i]->dwRelease();
  m_nNbSousErreur = 0;
}

void CXError::Copy(const CXError* pclSource) {
  if (pclSource == nullptr || pclSource == this) return;
  RAZ();
  m_eNiveau = pclSource->m_eNiveau;
  m_nCodeUtilisateur = pclSource->m_nCodeUtilisateur;
  __vpszAllocString(&m_pszMessageUtilisateur, pclSource->m_pszMessageUtilisateur);
  __vpszAllocString(&m_pszMessageDebug, pclSource->m_pszMessageDebug);
  __vpszAllocString(&m_pszFonction, pclSource->m_pszFonction);
  __vpszAllocString(&m_pszModule, pclSource->m_pszModule);
  __vpszAllocString(&m_pszVersionModule, pclSource->m_pszVersionModule);
  m_bySyntaxe = pclSource->m_bySyntaxe;
  m_nDetail = pclSource->m_nDetail;
  for (DWORD i = 0; i < pclSource->m_nNbIdentifiant; ++i) _AjouteIdentifiant(pclSource->m_pdwIdentifiants[i]);
  for (DWORD i = 0; i < pclSource->m_nNbInfo; ++i) {
    const _stERRORINFO& st = pclSource->m_pstInfos[i];
    if (st.eType == EIT_DATAACCESS) {
      AddInfo(st.eType, st.pclObjet);
    } else if (bInfoChaine(st.eType)) {
      AddInfo(st.eType, st.pszValeur);
    } else if (_stERRORINFO* pst = _pstNouvelleInfo(st.eType)) {
      pst->llValeur = st.llValeur;
    }
  }
  m_dwErreurSysteme = pclSource->m_dwErreurSysteme;
  __vpszAllocString(&m_pszMessageSysteme, pclSource->m_pszMessageSysteme);
  __vpszAllocString(&m_pszTraitement, pclSource->m_pszTraitement);
  m_wLigne = pclSource->m_wLigne;
  m_wThread = pclSource->m_wThread;
  for (DWORD i = 0; i < pclSource->m_nNbSousErreur; ++i) __AddSubError(pclSource->m_ppclSousErreurs[i], 0, 1);
  __vpszAllocString(&m_pszObjet, pclSource->m_pszObjet);
  m_dwOperationBatch = pclSource->m_dwOperationBatch;
}

void CXError::LightCopy(CXError* pclSource) {
  if (pclSource == nullptr || pclSource == this) return;
  RAZ();
  auto prend = [](auto& mien, auto& sien) {
    std::swap(mien, sien);
  };
  prend(m_eNiveau, pclSource->m_eNiveau);
  prend(m_nCodeUtilisateur, pclSource->m_nCodeUtilisateur);
  prend(m_pszMessageUtilisateur, pclSource->m_pszMessageUtilisateur);
  prend(m_pszMessageDebug, pclSource->m_pszMessageDebug);
  prend(m_pszFonction, pclSource->m_pszFonction);
  prend(m_pszModule, pclSource->m_pszModule);
  prend(m_pszVersionModule, pclSource->m_pszVersionModule);
  prend(m_bySyntaxe, pclSource->m_bySyntaxe);
  prend(m_nDetail, pclSource->m_nDetail);
  prend(m_pdwIdentifiants, pclSource->m_pdwIdentifiants);
  prend(m_nNbIdentifiant, pclSource->m_nNbIdentifiant);
  prend(m_nMaxIdentifiant, pclSource->m_nMaxIdentifiant);
  prend(m_pstInfos, pclSource->m_pstInfos);
  prend(m_nNbInfo, pclSource->m_nNbInfo);
  prend(m_nMaxInfo, pclSource->m_nMaxInfo);
  prend(m_dwErreurSysteme, pclSource->m_dwErreurSysteme);
  prend(m_pszMessageSysteme, pclSource->m_pszMessageSysteme);
  prend(m_pszTraitement, pclSource->m_pszTraitement);
  prend(m_wLigne, pclSource->m_wLigne);
  prend(m_wThread, pclSource->m_wThread);
  prend(m_ppclSousErreurs, pclSource->m_ppclSousErreurs);
  prend(m_nNbSousErreur, pclSource->m_nNbSousErreur);
  prend(m_nMaxSousErreur, pclSource->m_nMaxSousErreur);
  prend(m_pszObjet, pclSource->m_pszObjet);
  prend(m_dwOperationBatch, pclSource->m_dwOperationBatch);
  pclSource->RAZ();
}
